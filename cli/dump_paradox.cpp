// `strnum-cli dump` for Paradox tables: the header facts, then every record in table order,
// one JSON object per line, values as the table engine reads them as text (UTF-8 here).
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"
#include "paradox/paradox_table.h"

namespace strnum::cli {

namespace {
// The type letter Paradox shows for a field type code.
std::string typeLetter(std::uint8_t code) {
    switch (code) {
        case pxtype::Alpha:
            return "A";
        case pxtype::Date:
            return "D";
        case pxtype::Short:
            return "S";
        case pxtype::Long:
            return "I";
        case pxtype::Money:
            return "$";
        case pxtype::Number:
            return "N";
        case pxtype::Logical:
            return "L";
        case pxtype::Memo:
            return "M";
        case pxtype::Blob:
            return "B";
        case pxtype::FmtMemo:
            return "F";
        case pxtype::Ole:
            return "O";
        case pxtype::Graphic:
            return "G";
        case pxtype::Time:
            return "T";
        case pxtype::Timestamp:
            return "@";
        case pxtype::AutoInc:
            return "+";
        case pxtype::Bcd:
            return "#";
        case pxtype::Bytes:
            return "Y";
        default:
            return "?";
    }
}
}  // namespace

void dumpParadoxTable(const std::filesystem::path& file, std::ostream& out) {
    ParadoxTable table(file, EngineSettings{});
    const ParadoxHeader& h = table.header();
    writeTableDump(
        table, h.versionNumber(), table.codePage() == CodePage::Cp866 ? 866 : 1251,
        [](const FieldInfo& f) { return std::string(typeLetter(static_cast<std::uint8_t>(f.type))); }, out);
}

}  // namespace strnum::cli
