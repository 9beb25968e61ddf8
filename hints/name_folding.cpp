#include "hints/name_folding.h"

#include <array>

#include "base/ru.h"

namespace strnum::hints {

using namespace strnum::literals;

namespace {

unsigned char byteOf(std::string_view cp1251, std::size_t i) { return static_cast<unsigned char>(cp1251[i]); }

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

struct FoldingTables {
    NameFolding cp1251, cp866;

    FoldingTables() {
        unsigned char* m = cp1251.map_;
        for (int b = 0; b < 256; ++b) m[b] = static_cast<unsigned char>(b);
        for (int b = 0; b < 32; ++b) m[b] = NameFolding::kDrop;
        for (char c : std::string_view(" \t-.,_/")) m[static_cast<unsigned char>(c)] = NameFolding::kBlank;
        for (char c : std::string_view("'`\"")) m[static_cast<unsigned char>(c)] = NameFolding::kDrop;
        m[0x92] = m[0x91] = m[0xB4] = m[0x93] = m[0x94] = m[0xAB] = m[0xBB] = NameFolding::kDrop;  // ’ ‘ ´ “ ” « »
        m[0x96] = m[0x97] = m[0xA0] = NameFolding::kBlank;                                         // – — and NBSP
        for (int b = 0xE0; b <= 0xFF; ++b) m[b] = static_cast<unsigned char>(b - 0x20);            // а..я -> А..Я
        const std::string_view ye = "ЁёЕ"_cp;
        m[byteOf(ye, 0)] = m[byteOf(ye, 1)] = byteOf(ye, 2);
        // Latin capitals and digits that look like Cyrillic capitals; a small Latin letter
        // as its capital, so that a text folds as its capitals do.
        const std::string_view latin = "ABEKMHOPCTXY03";
        const std::string_view cyrillic = "АВЕКМНОРСТХУОЗ"_cp;
        for (std::size_t i = 0; i < latin.size(); ++i) m[static_cast<unsigned char>(latin[i])] = byteOf(cyrillic, i);
        for (int b = 'a'; b <= 'z'; ++b) m[b] = m[b - 'a' + 'A'];

        // Code page 866: each byte as 1251 reads it, then folded alike.
        for (int b = 0; b < 256; ++b) {
            const std::string one(1, static_cast<char>(b));
            const std::string as1251 = b < 0x80 ? one : cp866To1251Lossy(one);
            cp866.map_[b] = as1251.size() == 1 ? m[static_cast<unsigned char>(as1251[0])] : NameFolding::kDrop;
        }
    }
};

const NameFolding& NameFolding::of(CodePage cp) {
    static const FoldingTables tables;
    return cp == CodePage::Cp866 ? tables.cp866 : tables.cp1251;
}

std::size_t NameFolding::fold(const char* raw, std::size_t size, char* out) const {
    std::size_t n = 0;
    bool blank = false;  // a separator waits for the next letter
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(raw[i]);
        if (b == 0) break;
        const unsigned char f = map_[b];
        if (f == kDrop) continue;
        if (f == kBlank) {
            blank = n > 0;
            continue;
        }
        if (blank) out[n++] = ' ';
        blank = false;
        out[n++] = static_cast<char>(f);
    }
    return n;
}

std::string NameFolding::fold(std::string_view raw) const {
    std::string out(raw.size(), '\0');
    out.resize(fold(raw.data(), raw.size(), out.data()));
    return out;
}

std::uint64_t nameHash(std::string_view folded) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (char c : folded) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ull;
    }
    h ^= h >> 31;
    h *= 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    return h;
}

std::uint32_t packName(std::string_view folded) {
    // 0 for no letter, 1..32 for А..Я, 33..63 for any other byte.
    const auto code = [&](std::size_t i) -> std::uint32_t {
        if (i >= folded.size()) return 0;
        const unsigned char b = static_cast<unsigned char>(folded[i]);
        return b >= 0xC0 ? b - 0xC0u + 1 : 33u + b % 31u;
    };
    return (code(0) << 26) | (code(1) << 20) | static_cast<std::uint32_t>(nameHash(folded) >> 44);
}

Sex sexOf(std::string_view name, std::string_view patronymic) {
    for (std::string_view tail : {"ИЧ"_cp, "ОГЛЫ"_cp, "ОГЛУ"_cp, "УЛЫ"_cp})
        if (endsWith(patronymic, tail)) return Sex::Male;
    for (std::string_view tail : {"НА"_cp, "КЫЗЫ"_cp, "ГЫЗЫ"_cp, "КИЗИ"_cp})
        if (endsWith(patronymic, tail)) return Sex::Female;
    if (name.size() < 2) return Sex::Unknown;
    for (std::string_view man : {"НИКИТА"_cp, "ИЛЬЯ"_cp, "ФОМА"_cp, "КУЗЬМА"_cp, "ЛУКА"_cp, "САВВА"_cp, "ФОКА"_cp,
                                 "ЕРЕМА"_cp, "МУСА"_cp, "ИСА"_cp})
        if (name == man) return Sex::Male;
    const unsigned char last = static_cast<unsigned char>(name.back());
    const std::string_view vowels = "АЕИОУЫЭЮЯЬЪ"_cp;
    if (last == byteOf("А"_cp, 0) || last == byteOf("Я"_cp, 0)) return Sex::Female;
    if (last == byteOf("Й"_cp, 0)) return Sex::Male;
    if (last >= 0xC0 && vowels.find(static_cast<char>(last)) == std::string_view::npos) return Sex::Male;
    return Sex::Unknown;
}

Sex surnameSex(std::string_view s) {
    if (s.size() < 4) return Sex::Unknown;
    for (std::string_view tail : {"ОВА"_cp, "ЕВА"_cp, "ИНА"_cp, "ЫНА"_cp, "АЯ"_cp})
        if (endsWith(s, tail)) return Sex::Female;
    for (std::string_view tail : {"ОВ"_cp, "ЕВ"_cp, "ИН"_cp, "ЫН"_cp, "ИЙ"_cp, "ОЙ"_cp, "ЫЙ"_cp})
        if (endsWith(s, tail)) return Sex::Male;
    return Sex::Unknown;
}

bool sexFormsOfOneSurname(std::string_view a, std::string_view b) {
    struct Pair {
        std::string_view male, female;
    };
    static const std::array<Pair, 9> pairs{{{"ОВ"_cp, "ОВА"_cp},
                                            {"ЕВ"_cp, "ЕВА"_cp},
                                            {"ИН"_cp, "ИНА"_cp},
                                            {"ЫН"_cp, "ЫНА"_cp},
                                            {"СКИЙ"_cp, "СКАЯ"_cp},
                                            {"ЦКИЙ"_cp, "ЦКАЯ"_cp},
                                            {"ОЙ"_cp, "АЯ"_cp},
                                            {"ЫЙ"_cp, "АЯ"_cp},
                                            {"ИЙ"_cp, "ЯЯ"_cp}}};
    const auto oneWay = [](std::string_view m, std::string_view f) {
        for (const Pair& p : pairs) {
            if (!endsWith(m, p.male) || !endsWith(f, p.female)) continue;
            const std::string_view stem = m.substr(0, m.size() - p.male.size());
            if (stem.size() >= 2 && stem == f.substr(0, f.size() - p.female.size())) return true;
        }
        return false;
    };
    return oneWay(a, b) || oneWay(b, a);
}

}  // namespace strnum::hints
