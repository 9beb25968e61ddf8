#include "data/table_open.h"

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"
#include "system/paths.h"
#include "tables/table.h"

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
    } else if (fileName.find('.') == std::string::npos) {
        fileName += ".DBF";  // a dBASE table named without its extension
    }
    const auto found = findInDirectory(directory, cp1251ToUtf8(fileName));
    if (!found)
        throwError(ErrorKind::NotFound,
                   std::string("Таблица не найдена: "_cp) + pathTo1251(directory / pathFrom1251(fileName)));
    if (paradox) return openParadoxTable(*found, settings);
    return std::make_unique<DbfTable>(*found, std::string(name), settings);
}

}  // namespace strnum
