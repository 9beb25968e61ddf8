// `strnum-cli dump` for dBASE tables: the header facts, then every visible record, one JSON
// object per line, values as the table engine reads them as text (UTF-8 here).
#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"
#include "dbase/dbf_table.h"

namespace strnum::cli {

void dumpDbfTable(const std::filesystem::path& file, std::ostream& out) {
    DbfTable table(file, pathTo1251(file.filename()), EngineSettings{});
    const DbfHeader& h = table.header();

    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", h.version);
    writeTableDump(
        table, version, codePageNumber(table.codePage()),
        [](const FieldInfo& f) { return cp1251ToUtf8(std::string(1, f.type)); }, out);
}

}  // namespace strnum::cli
