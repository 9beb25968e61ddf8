#include "tables/table.h"

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/file.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::vector<std::string> splitFieldNames(std::string_view names) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= names.size()) {
        std::size_t end = names.find(';', pos);
        if (end == std::string_view::npos) end = names.size();
        std::string_view n = names.substr(pos, end - pos);
        while (!n.empty() && n.front() == ' ') n.remove_prefix(1);
        while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
        if (!n.empty()) out.emplace_back(n);
        pos = end + 1;
    }
    return out;
}

std::optional<FieldId> Table::findField(std::string_view name) const {
    const auto& fs = fields();
    for (std::size_t i = 0; i < fs.size(); ++i)
        if (equalsIgnoreCase(fs[i].name, name)) return static_cast<FieldId>(i);
    return std::nullopt;
}

FieldId Table::fieldByName(std::string_view name) const {
    if (auto f = findField(name)) return *f;
    throwError(ErrorKind::NotFound,
               std::string("Таблица "_cp) + pathTo1251(file()) + ": нет поля "_cp.data() + std::string(name));
}

bool Table::textStartIs(FieldId f, std::size_t maxChars, std::string_view value) const {
    const std::string t = text(f);
    return std::string_view(t).substr(0, maxChars) == value;
}

}  // namespace strnum
