#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/dump.h"

#include <iostream>

#include "base/error.h"
#include "base/ru.h"

namespace strnum::cli {

using namespace strnum::literals;

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
    bool memoFailed = false;
    for (table.first(); !table.eof(); table.next()) {
        nlohmann::ordered_json record = nlohmann::ordered_json::object();
        for (FieldId f = 0; f < n; ++f) {
            const FieldInfo& info = table.fields()[static_cast<std::size_t>(f)];
            auto& value = record[cp1251ToUtf8(info.name)];
            if (info.kind != FieldKind::Memo) {
                value = cp1251ToUtf8(table.text(f));
                continue;
            }
            // A memo: its text; a binary value as hex digits; a memo file that cannot be
            // read as the error, the record still printed.
            try {
                const MemoValue m = table.memo(f);
                if (m.text) {
                    value = cp1251ToUtf8(m.bytes);
                } else {
                    static const char* const kHex = "0123456789ABCDEF";
                    std::string hex;
                    for (unsigned char c : m.bytes) (hex += kHex[c >> 4]) += kHex[c & 15];
                    value = {{"bytes", m.bytes.size()}, {"hex", std::move(hex)}};
                }
            } catch (const Error& e) {
                if (!memoFailed) std::cerr << e.utf8() << '\n';
                memoFailed = true;
                value = {{"error", e.utf8()}};
            }
        }
        out << record.dump() << '\n';
    }
    if (memoFailed) throwError(ErrorKind::Corrupt, std::string(table.tableName()) + std::string(": не все значения мемо-полей прочитаны"_cp));
}

}  // namespace strnum::cli
