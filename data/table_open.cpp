// openTable: the one place that picks the format of a table by its type and name.  Kept apart
// from table.cpp so that a program using only one format does not pull in the other.
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "data/dbf_table.h"
#include "data/paths.h"
#include "data/table.h"

namespace strnum {

using namespace strnum::literals;

std::unique_ptr<Table> openTable(const std::filesystem::path& directory, std::string_view name, TableType type,
                                 const EngineSettings& settings) {
    std::string fileName(name);
    bool paradox = false;
    if (type == TableType::Default) {
        const std::size_t dot = fileName.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : fileName.substr(dot);
        if (ext.empty()) fileName += ".DB";
        paradox = !equalsIgnoreCase(ext, ".DBF");
    }
    const auto found = findInDirectory(directory, cp1251ToUtf8(fileName));
    if (!found)
        throwError(ErrorKind::NotFound, std::string("Таблица не найдена: "_cp) + pathTo1251(directory / pathFrom1251(fileName)));
    if (paradox) return openParadoxTable(*found, settings);
    return std::make_unique<DbfTable>(*found, std::string(name), settings);
}

}  // namespace strnum

// Until the Paradox reader is part of the build, Paradox names fail clearly instead of
// breaking the link.  Weak: the reader's own definition replaces it.
// TODO(dbase/paradox): remove once data/ holds the Paradox opener.
namespace strnum {
__attribute__((weak)) std::unique_ptr<Table> openParadoxTable(const std::filesystem::path& file, const EngineSettings&) {
    throwError(ErrorKind::Unsupported, std::string("Таблицы Paradox пока не читаются: "_cp) + pathTo1251(file));
}
}  // namespace strnum
