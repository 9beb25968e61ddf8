#include "identity/comparison.h"

#include <algorithm>

namespace strnum {

NameComparison compareNames(std::string_view surname, std::string_view name, std::string_view patronymic,
                            std::string_view dirSurname, std::string_view dirName, std::string_view dirPatronymic,
                            bool severeOnly) {
    NameComparison c;
    c.surnameDiffers = surname.substr(0, kNameMax) != dirSurname;
    c.nameDiffers = name.substr(0, kNameMax) != dirName;
    c.patronymicDiffers = patronymic.substr(0, kNameMax) != dirPatronymic;
    c.differs = c.partsDiffering() >= (severeOnly ? 2 : 1);
    return c;
}

bool birthDiffers(Date record, Date directory, bool noBirthErrors) { return !noBirthErrors && record != directory; }

bool statusError(std::string_view cond, bool noStatusErrors) {
    const char status = cond.empty() ? '\0' : cond.front();
    if (status == 'A') return false;
    if (noStatusErrors && (status == 'B' || status == 'I')) return false;
    return true;
}

Span differenceSpan(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t first = 1;
    while (first <= n && a[first - 1] == b[first - 1]) ++first;
    std::size_t k = 0;
    while (k < n && a[a.size() - 1 - k] == b[b.size() - 1 - k]) ++k;
    return Span{static_cast<int>(first), static_cast<int>(b.size() - k)};
}

std::string nameKey(std::string_view surname, std::string_view name, std::string_view patronymic) {
    std::string key = directoryNameText(surname, name, patronymic);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string directoryNameText(std::string_view fam, std::string_view nam, std::string_view otch) {
    std::string text;
    text.reserve(fam.size() + nam.size() + otch.size() + 2);
    text.append(fam).append(" ").append(nam).append(" ").append(otch);
    return text;
}

}  // namespace strnum
