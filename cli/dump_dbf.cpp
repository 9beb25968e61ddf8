// `strnum-cli dump` for dBASE tables: the header facts, then every visible record, one JSON
// object per line, values as the table engine reads them as text (UTF-8 here).
#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"
#include "data/dbf_table.h"

namespace strnum::cli {

void dumpDbfTable(const std::filesystem::path& file, std::ostream& out) {
    DbfTable table(file, pathTo1251(file.filename()), EngineSettings{});
    const DbfHeader& h = table.header();

    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", h.version);
    nlohmann::ordered_json head;
    head["version"] = version;
    head["code_page"] = codePageNumber(table.codePage());
    head["records"] = table.recordCount();
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const auto& f : table.fields())
        fields.push_back({{"name", cp1251ToUtf8(f.name)},
                          {"type", cp1251ToUtf8(std::string(1, f.type))},
                          {"length", f.length},
                          {"decimals", f.decimals}});
    head["fields"] = std::move(fields);
    out << head.dump() << '\n';

    const int n = static_cast<int>(table.fields().size());
    for (table.first(); !table.eof(); table.next()) {
        nlohmann::ordered_json record = nlohmann::ordered_json::object();
        for (FieldId f = 0; f < n; ++f)
            record[cp1251ToUtf8(table.fields()[static_cast<std::size_t>(f)].name)] = cp1251ToUtf8(table.text(f));
        out << record.dump() << '\n';
    }
}

}  // namespace strnum::cli
