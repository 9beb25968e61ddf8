#include "console/row_source.h"

#include "base/ru.h"
#include "data/paradox_format.h"

namespace strnum::console {

using namespace strnum::literals;

std::int64_t RowSource::skip(std::int64_t n) {
    std::vector<std::string> cells;
    std::int64_t k = 0;
    while (k < n && fetch(cells)) ++k;
    return k;
}

int displayWidth(const FieldInfo& f) {
    const bool paradox = f.type >= 0 && f.type < 0x20;  // Paradox types are codes, dBASE ones letters
    switch (f.kind) {
        case FieldKind::Text:
            return f.length;
        case FieldKind::Number:
            return paradox ? 15 : f.length;
        case FieldKind::Integer:
            return paradox && static_cast<unsigned char>(f.type) == pxtype::Short ? 6 : 11;
        case FieldKind::Date:
            return 10;
        case FieldKind::Logical:
            return 5;
        case FieldKind::Memo: {
            const bool text = paradox ? (static_cast<unsigned char>(f.type) == pxtype::Memo ||
                                         static_cast<unsigned char>(f.type) == pxtype::FmtMemo)
                                      : f.type == 'M';
            return text ? 40 : 20;
        }
        case FieldKind::Other:
            return 20;
    }
    return 20;
}

std::string blobText(std::size_t bytes) {
    return std::string("(двоичные данные, "_cp) + std::to_string(bytes) + std::string(" байт)"_cp);
}

TableRows::TableRows(Table& table) : table_(table) {
    for (const auto& f : table.fields()) columns_.push_back(ResultColumn{f.name, displayWidth(f)});
}

bool TableRows::fetch(std::vector<std::string>& cells) {
    if (!started_) {
        table_.first();
        started_ = true;
    }
    if (table_.eof()) return false;
    const auto& fields = table_.fields();
    cells.resize(fields.size());
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const FieldId f = static_cast<FieldId>(k);
        if (fields[k].kind == FieldKind::Memo) {
            const MemoValue m = table_.memo(f);
            cells[k] = m.text ? m.bytes : blobText(m.bytes.size());
        } else {
            table_.textInto(f, cells[k]);
        }
    }
    table_.next();
    return true;
}

void TableRows::rewind() { started_ = false; }

}  // namespace strnum::console
