// `strnum-cli dump` for Paradox tables: the header facts, then every record in table order,
// one JSON object per line, values as the table engine reads them as text (UTF-8 here).
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"
#include "data/paradox_table.h"

namespace strnum::cli {

namespace {
// The type letter Paradox shows for a field type code.
std::string typeLetter(std::uint8_t code) {
    switch (code) {
        case pxtype::Alpha: return "A";
        case pxtype::Date: return "D";
        case pxtype::Short: return "S";
        case pxtype::Long: return "I";
        case pxtype::Money: return "$";
        case pxtype::Number: return "N";
        case pxtype::Logical: return "L";
        case pxtype::Memo: return "M";
        case pxtype::Blob: return "B";
        case pxtype::FmtMemo: return "F";
        case pxtype::Ole: return "O";
        case pxtype::Graphic: return "G";
        case pxtype::Time: return "T";
        case pxtype::Timestamp: return "@";
        case pxtype::AutoInc: return "+";
        case pxtype::Bcd: return "#";
        case pxtype::Bytes: return "Y";
        default: return "?";
    }
}
}  // namespace

void dumpParadoxTable(const std::filesystem::path& file, std::ostream& out) {
    ParadoxTable table(file, EngineSettings{});
    const ParadoxHeader& h = table.header();
    nlohmann::ordered_json head;
    head["version"] = h.versionNumber();
    head["code_page"] = table.codePage() == CodePage::Cp866 ? 866 : 1251;
    head["records"] = table.recordCount();
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const auto& f : table.fields())
        fields.push_back({{"name", cp1251ToUtf8(f.name)},
                          {"type", typeLetter(static_cast<std::uint8_t>(f.type))},
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
