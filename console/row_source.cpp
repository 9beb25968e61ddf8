#include "console/row_source.h"

#include <algorithm>

#include "base/ru.h"

namespace strnum::console {

using namespace strnum::literals;

QueryStopped::QueryStopped() : Error(ErrorKind::InvalidArgument, std::string("Запрос прерван"_cp)) {}

std::int64_t RowSource::skip(std::int64_t n) {
    std::vector<std::string> cells;
    std::int64_t k = 0;
    while (k < n && fetch(cells)) ++k;
    return k;
}

int displayWidth(const FieldInfo& f) {
    switch (f.kind) {
        case FieldKind::Text:
            return f.length;
        case FieldKind::Number:
            return f.width > 0 ? f.width : 15;
        case FieldKind::Integer:
            return f.width > 0 ? f.width : 11;
        case FieldKind::Date:
            return 10;
        case FieldKind::Logical:
            return 5;
        case FieldKind::Memo:
            return f.textMemo ? 40 : 20;
        case FieldKind::Other:
            return 20;
    }
    return 20;
}

namespace {

// Names compare as SQL compares them: ASCII letters without regard to case.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) return false;
    }
    return true;
}

bool among(const std::vector<std::string>& names, std::string_view name) {
    for (const auto& n : names)
        if (sameName(n, name)) return true;
    return false;
}

}  // namespace

std::vector<std::string> columnNames(const std::vector<FieldInfo>& fields) {
    std::vector<std::string> own;
    own.reserve(fields.size());
    for (std::size_t k = 0; k < fields.size(); ++k)
        own.push_back(fields[k].name.empty() ? "F" + std::to_string(k + 1) : fields[k].name);
    std::vector<std::string> names;
    names.reserve(fields.size());
    for (const auto& name : own) {
        std::string chosen = name;
        for (int n = 2; among(names, chosen); ++n) {
            chosen = name + "_" + std::to_string(n);
            if (among(own, chosen)) chosen = name;  // another field's own name: go on
        }
        names.push_back(std::move(chosen));
    }
    return names;
}

std::string blobText(std::size_t bytes) {
    return std::string("(двоичные данные, "_cp) + std::to_string(bytes) + std::string(" байт)"_cp);
}

TableRows::TableRows(Table& table) : table_(table) {
    const auto& fields = table.fields();
    const std::vector<std::string> names = columnNames(fields);
    for (std::size_t k = 0; k < fields.size(); ++k) {
        int width = displayWidth(fields[k]);
        if (names[k] != fields[k].name) width = std::max(width, static_cast<int>(names[k].size()));
        columns_.push_back(ResultColumn{names[k], width});
    }
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
