#include "data/number_directory.h"

#include <algorithm>
#include <array>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"

namespace strnum {

using namespace strnum::literals;

namespace {

std::string tableText(const Table& t) { return std::string("Таблица "_cp) + pathTo1251(t.file()); }

void requireKind(const Table& t, std::string_view name, std::initializer_list<FieldKind> kinds, std::string_view what) {
    const FieldInfo& f = t.fields()[static_cast<std::size_t>(t.fieldByName(name))];
    if (std::find(kinds.begin(), kinds.end(), f.kind) != kinds.end()) return;
    throwError(ErrorKind::Unsupported, tableText(t) + std::string(" не справочник номеров: поле "_cp) + f.name +
                                           std::string(" не "_cp) + std::string(what));
}

}  // namespace

Table& openNumberDirectory(TableObject& tblNUM) {
    if (!tblNUM.isOpen()) {
        tblNUM.setTableName("NUMS");
        tblNUM.setTableType(TableType::Default);
        tblNUM.open();
    }
    return tblNUM.table();
}

void requireNumberOrder(const Table& t) {
    if (t.fields().empty() || !equalsIgnoreCase(t.fields().front().name, "NUM"))
        throwError(ErrorKind::Unsupported,
                   tableText(t) + std::string(" не справочник номеров: первое поле (ключ поиска по номеру) "_cp) +
                       (t.fields().empty() ? std::string() : t.fields().front().name + " ") +
                       std::string("вместо NUM"_cp));
    requireKind(t, "NUM", {FieldKind::Integer, FieldKind::Number}, "числовое"_cp);
}

void requirePersonOrder(const Table& t) {
    for (const char* name : {"FAM", "NAM", "OTCH"}) requireKind(t, name, {FieldKind::Text}, "символьное"_cp);
    requireKind(t, "BIRTH", {FieldKind::Date}, "дата"_cp);
}

NumberDirectory::NumberDirectory(const std::filesystem::path& file, const EngineSettings& settings)
    : table_(file, settings) {
    table_.prepareOrders({std::string(kPersonOrder), std::string()});
}

bool NumberDirectory::findNumber(std::int32_t num) {
    if (!table_.indexFieldNames().empty()) table_.setIndexFieldNames("");
    const KeyValue key = num;
    return table_.findKey(std::span(&key, 1));
}

bool NumberDirectory::findPerson(std::string_view fam, std::string_view nam, std::string_view otch, Date birth) {
    if (table_.indexFieldNames() != kPersonOrder) table_.setIndexFieldNames(kPersonOrder);
    const std::array<KeyValue, 4> key{std::string(fam), std::string(nam), std::string(otch), birth};
    return table_.findKey(key);
}

}  // namespace strnum
