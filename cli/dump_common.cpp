#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"

namespace strnum::cli {

void writeTableDump(Table& table, nlohmann::ordered_json version, int codePage,
                    const std::function<std::string(const FieldInfo&)>& typeName, std::ostream& out) {
    nlohmann::ordered_json head;
    head["version"] = std::move(version);
    head["code_page"] = codePage;
    head["records"] = table.recordCount();
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const auto& f : table.fields())
        fields.push_back(
            {{"name", cp1251ToUtf8(f.name)}, {"type", typeName(f)}, {"length", f.length}, {"decimals", f.decimals}});
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
