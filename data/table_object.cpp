#include "data/table_object.h"

#include "base/error.h"
#include "base/ru.h"
#include "data/table_open.h"

namespace strnum {

using namespace strnum::literals;

void TableObject::setDirectory(const std::filesystem::path& directory) {
    if (directory != directory_) close();
    directory_ = directory;
}

void TableObject::setTableName(std::string name) {
    if (name != name_) close();
    name_ = std::move(name);
}

void TableObject::setTableType(TableType type) {
    if (type != type_) close();
    type_ = type;
}

void TableObject::setIndexFieldNames(std::string names) {
    if (table_) table_->setIndexFieldNames(names);
    indexNames_ = std::move(names);
}

void TableObject::open() {
    close();
    auto t = openTable(directory_, name_, type_, settings_);
    if (!indexNames_.empty()) t->setIndexFieldNames(indexNames_);
    table_ = std::move(t);
}

void TableObject::close() noexcept {
    if (table_ && closing_) closing_();
    table_.reset();
}

Table& TableObject::table() const {
    if (!table_) throwError(ErrorKind::InvalidArgument, std::string("Таблица не открыта: "_cp) + name_);
    return *table_;
}

}  // namespace strnum
