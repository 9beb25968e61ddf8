#include "hints/likeness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "base/ru.h"

namespace strnum::hints {

using namespace strnum::literals;

namespace {

// ---- the model: how likely each way of typing a name is (hints/README.md says why) -------

// One slip, for one given place and letter.
constexpr double kNeighbourKey = 2e-3;       // a key next to the right one
constexpr double kSoundAlike = 2e-3;         // a letter of like sound
constexpr double kOtherLetter = 1e-4;        // any other letter
constexpr double kExchanged = 3e-3;          // two letters in turn exchanged
constexpr double kDoubled = 3e-3;            // a letter typed twice, or a double one once
constexpr double kDropped = 2e-3;            // a letter left out
constexpr double kSoftSign = 3e-3;           // Ь or Ъ left out or added
constexpr double kExtraNeighbourKey = 1e-3;  // a key next to the one before or after pressed too
constexpr double kExtraOther = 2e-4;         // any other letter added
// Beyond two of the costliest slips a text is no slip of the other.
const double kSlipCap = -2 * std::log(kOtherLetter) + 0.5;

constexpr double kSame = 0.9;           // a part typed as the directory has it (folded)
constexpr double kShort = 0.5;          // cut, initial or short form, against the share of such
constexpr std::size_t kSurnameCut = 6;  // letters a cut surname keeps at least
constexpr double kLeftOut = 0.02;       // the record leaves a part out
constexpr double kFilledIn = 0.05;      // the record has a part the directory lacks
constexpr double kDoublePart = 0.2;     // one part of a double surname, against its share
constexpr double kSexForm = 0.01;       // the surname in the other sex's form
constexpr double kUnlike = 1e-5;        // a name or patronymic with nothing in common
constexpr double kMarriedWoman = 0.02;  // another surname: a woman after marriage
constexpr double kMarriedUnknown = 0.01;
constexpr double kMarriedMan = 0.002;
constexpr double kExchangedParts = 0.02;  // name and patronymic exchanged

constexpr double kBirthSame = 0.9;
constexpr double kBirthNeighbourDigit = 0.003;  // one digit one off (the key beside it)
constexpr double kBirthOtherDigit = 0.0007;     // one digit any other
constexpr double kBirthDayMonth = 0.01;
constexpr double kBirthUnlike = 0.003;  // the date as good as any

double ln(double p) { return std::log(p); }

// Cyrillic capitals 0xC0..0xDF as bits of a 32-bit set.
int letterIndex(unsigned char c) { return c >= 0xC0 ? c - 0xC0 : -1; }

struct LetterTables {
    std::array<std::uint32_t, 32> neighbours{}, soundAlike{};

    static void both(std::array<std::uint32_t, 32>& t, unsigned char a, unsigned char b) {
        const int i = letterIndex(a), j = letterIndex(b);
        if (i < 0 || j < 0 || i == j) return;
        t[static_cast<std::size_t>(i)] |= 1u << j;
        t[static_cast<std::size_t>(j)] |= 1u << i;
    }
    LetterTables() {
        // The Russian layout, each row shifted half a key right of the one above.
        const std::array<std::string_view, 3> rows{"ЙЦУКЕНГШЩЗХЪ"_cp, "ФЫВАПРОЛДЖЭ"_cp, "ЯЧСМИТЬБЮ"_cp};
        const auto at = [&](std::size_t r, std::size_t i) { return static_cast<unsigned char>(rows[r][i]); };
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t i = 0; i < rows[r].size(); ++i) {
                if (i + 1 < rows[r].size()) both(neighbours, at(r, i), at(r, i + 1));
                if (r + 1 < rows.size()) {
                    if (i < rows[r + 1].size()) both(neighbours, at(r, i), at(r + 1, i));
                    if (i > 0 && i - 1 < rows[r + 1].size()) both(neighbours, at(r, i), at(r + 1, i - 1));
                }
            }
        // Letters written for one another by ear: unstressed vowels, voiced and voiceless
        // consonants, Й and И, the soft sign for И (НАТАЛЬЯ, НАТАЛИЯ).
        const std::string_view pairs = "АОЕИИЫЕЭИЙШЩЬЪБПВФГКДТЖШЗСЮУЯАЕЯЬИ"_cp;
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
            both(soundAlike, static_cast<unsigned char>(pairs[i]), static_cast<unsigned char>(pairs[i + 1]));
    }
    bool isNeighbour(unsigned char a, unsigned char b) const {
        const int i = letterIndex(a), j = letterIndex(b);
        return i >= 0 && j >= 0 && (neighbours[static_cast<std::size_t>(i)] >> j & 1u) != 0;
    }
    bool isSoundAlike(unsigned char a, unsigned char b) const {
        const int i = letterIndex(a), j = letterIndex(b);
        return i >= 0 && j >= 0 && (soundAlike[static_cast<std::size_t>(i)] >> j & 1u) != 0;
    }
};

const LetterTables& letters() {
    static const LetterTables t;
    return t;
}

bool softSign(unsigned char c) { return c == 0xDC || c == 0xDA; }  // Ь Ъ

// Full names and the short forms offices write for them.
struct ShortForm {
    std::string_view full, shortForm;
};
const std::vector<ShortForm>& shortForms() {
    static const std::vector<ShortForm> forms = {
        {"АЛЕКСАНДР"_cp, "САША"_cp},  {"АЛЕКСАНДР"_cp, "ШУРА"_cp}, {"АЛЕКСАНДРА"_cp, "САША"_cp},
        {"АЛЕКСАНДРА"_cp, "ШУРА"_cp}, {"АЛЕКСЕЙ"_cp, "АЛЕША"_cp},  {"АЛЕКСЕЙ"_cp, "ЛЕША"_cp},
        {"АНАСТАСИЯ"_cp, "НАСТЯ"_cp}, {"АНАТОЛИЙ"_cp, "ТОЛЯ"_cp},  {"АННА"_cp, "АНЯ"_cp},
        {"АНТОНИНА"_cp, "ТОНЯ"_cp},   {"ВАЛЕНТИНА"_cp, "ВАЛЯ"_cp}, {"ВАЛЕНТИН"_cp, "ВАЛЯ"_cp},
        {"ВАСИЛИЙ"_cp, "ВАСЯ"_cp},    {"ВИКТОР"_cp, "ВИТЯ"_cp},    {"ВЛАДИМИР"_cp, "ВОВА"_cp},
        {"ВЛАДИМИР"_cp, "ВОЛОДЯ"_cp}, {"ГАЛИНА"_cp, "ГАЛЯ"_cp},    {"ГЕННАДИЙ"_cp, "ГЕНА"_cp},
        {"ДМИТРИЙ"_cp, "ДИМА"_cp},    {"ДМИТРИЙ"_cp, "МИТЯ"_cp},   {"ЕВГЕНИЙ"_cp, "ЖЕНЯ"_cp},
        {"ЕВГЕНИЯ"_cp, "ЖЕНЯ"_cp},    {"ЕВДОКИЯ"_cp, "ДУСЯ"_cp},   {"ЕКАТЕРИНА"_cp, "КАТЯ"_cp},
        {"ЕЛЕНА"_cp, "ЛЕНА"_cp},      {"ЕЛИЗАВЕТА"_cp, "ЛИЗА"_cp}, {"ЗИНАИДА"_cp, "ЗИНА"_cp},
        {"ИВАН"_cp, "ВАНЯ"_cp},       {"ИРИНА"_cp, "ИРА"_cp},      {"КОНСТАНТИН"_cp, "КОСТЯ"_cp},
        {"КСЕНИЯ"_cp, "КСЮША"_cp},    {"ЛЮБОВЬ"_cp, "ЛЮБА"_cp},    {"ЛЮДМИЛА"_cp, "ЛЮДА"_cp},
        {"ЛЮДМИЛА"_cp, "ЛЮСЯ"_cp},    {"МАРИЯ"_cp, "МАША"_cp},     {"МИХАИЛ"_cp, "МИША"_cp},
        {"НАДЕЖДА"_cp, "НАДЯ"_cp},    {"НАТАЛЬЯ"_cp, "НАТАША"_cp}, {"НАТАЛИЯ"_cp, "НАТАША"_cp},
        {"НИКОЛАЙ"_cp, "КОЛЯ"_cp},    {"ОЛЬГА"_cp, "ОЛЯ"_cp},      {"ПАВЕЛ"_cp, "ПАША"_cp},
        {"ПЕТР"_cp, "ПЕТЯ"_cp},       {"РАИСА"_cp, "РАЯ"_cp},      {"СВЕТЛАНА"_cp, "СВЕТА"_cp},
        {"СЕРГЕЙ"_cp, "СЕРЕЖА"_cp},   {"ТАМАРА"_cp, "ТОМА"_cp},    {"ТАТЬЯНА"_cp, "ТАНЯ"_cp},
        {"ЮЛИЯ"_cp, "ЮЛЯ"_cp},        {"ЮРИЙ"_cp, "ЮРА"_cp},       {"ЯКОВ"_cp, "ЯША"_cp},
    };
    return forms;
}

// The blank-separated parts of a folded text (a double surname's two, an abbreviation's
// beginning and end); past four, the rest stays in the last.
struct Parts {
    std::array<std::string_view, 4> part;
    std::size_t count = 0;
    std::size_t size() const { return count; }
    const std::string_view* begin() const { return part.data(); }
    const std::string_view* end() const { return part.data() + count; }
    std::string_view operator[](std::size_t i) const { return part[i]; }
};
Parts partsOf(std::string_view s) {
    Parts parts;
    while (!s.empty()) {
        const std::size_t blank = s.find(' ');
        if (blank == std::string_view::npos || parts.count + 1 == parts.part.size()) {
            parts.part[parts.count++] = s;
            break;
        }
        parts.part[parts.count++] = s.substr(0, blank);
        s.remove_prefix(blank + 1);
    }
    return parts;
}

double shareOf(Part part, std::string_view folded, const Population& p) {
    switch (part) {
        case Part::Surname:
            return p.surname(folded);
        case Part::Name:
            return p.name(folded);
        case Part::Patronymic:
            return p.patronymic(folded);
    }
    return 1;
}

// The share of entries whose part starts with prefix.  Surnames have no prefix counts: a
// surname cut short is long enough to stand for the one surname it was cut from.
double prefixShare(Part part, std::string_view prefix, std::string_view whole, const Population& p) {
    switch (part) {
        case Part::Surname:
            return std::min(1.0, 2 * std::max(p.surname(prefix), p.surname(whole)));
        case Part::Name:
            return p.namePrefix(prefix);
        case Part::Patronymic:
            return p.patronymicPrefix(prefix);
    }
    return 1;
}

void consider(Likeness& best, double logRatio, unsigned kind) {
    if (logRatio > best.logRatio) best = {logRatio, kind};
}

}  // namespace

double slipCost(std::string_view a, std::string_view b) {
    const std::size_t la = a.size(), lb = b.size();
    if ((la > lb ? la - lb : lb - la) > 2) return kNoSlips;
    const LetterTables& t = letters();
    const auto at = [](std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const double sub = -ln(kOtherLetter), subNear = -ln(kNeighbourKey), subSound = -ln(kSoundAlike),
                 subBoth = -ln(kNeighbourKey + kSoundAlike), exch = -ln(kExchanged), dbl = -ln(kDoubled),
                 drop = -ln(kDropped), soft = -ln(kSoftSign), extraNear = -ln(kExtraNeighbourKey),
                 extraOther = -ln(kExtraOther);
    // d[i][j]: the cheapest way a[0, i) was typed for b[0, j).
    const std::size_t w = lb + 1;
    std::array<double, 1024> small;  // names are short: no allocation for them
    std::vector<double> large;
    double* d = small.data();
    if ((la + 1) * w > small.size()) {
        large.resize((la + 1) * w);
        d = large.data();
    }
    std::fill(d, d + (la + 1) * w, kNoSlips);
    d[0] = 0;
    for (std::size_t i = 0; i <= la; ++i) {
        double rowBest = kNoSlips;
        for (std::size_t j = 0; j <= lb; ++j) {
            double best = d[i * w + j];
            if (i > 0 && j > 0) {
                const unsigned char x = at(a, i - 1), y = at(b, j - 1);
                double c = 0;
                if (x != y) {
                    const bool near = t.isNeighbour(x, y), sound = t.isSoundAlike(x, y);
                    c = near && sound ? subBoth : near ? subNear : sound ? subSound : sub;
                }
                best = std::min(best, d[(i - 1) * w + j - 1] + c);
            }
            if (j > 0) {  // b[j-1] left out of a
                const unsigned char y = at(b, j - 1);
                const bool twice = (j > 1 && at(b, j - 2) == y) || (j < lb && at(b, j) == y);
                best = std::min(best, d[i * w + j - 1] + (twice ? dbl : softSign(y) ? soft : drop));
            }
            if (i > 0) {  // a[i-1] added
                const unsigned char x = at(a, i - 1);
                const bool twice = (i > 1 && at(a, i - 2) == x) || (i < la && at(a, i) == x);
                const bool near = (i > 1 && t.isNeighbour(at(a, i - 2), x)) || (i < la && t.isNeighbour(at(a, i), x));
                best = std::min(best, d[(i - 1) * w + j] + (twice         ? dbl
                                                            : softSign(x) ? soft
                                                            : near        ? extraNear
                                                                          : extraOther));
            }
            if (i > 1 && j > 1 && at(a, i - 1) == at(b, j - 2) && at(a, i - 2) == at(b, j - 1) &&
                at(a, i - 1) != at(a, i - 2))
                best = std::min(best, d[(i - 2) * w + j - 2] + exch);
            d[i * w + j] = best;
            rowBest = std::min(rowBest, best);
        }
        if (rowBest > kSlipCap) return kNoSlips;
    }
    const double cost = d[la * w + lb];
    return cost > kSlipCap ? kNoSlips : cost;
}

Likeness compareNamePart(Part part, std::string_view a, std::string_view b, double share, const Population& pop,
                         Sex sex) {
    if (a == b) return {ln(kSame) - ln(share), 0};
    Likeness best{ln(kUnlike), kHintOther};
    if (part == Part::Surname)
        consider(best,
                 ln(sex == Sex::Female ? kMarriedWoman
                    : sex == Sex::Male ? kMarriedMan
                                       : kMarriedUnknown),
                 kHintMarried);
    if (a.empty() || b.empty()) {
        consider(best, a.empty() ? ln(kLeftOut) - ln(share) : ln(kFilledIn), kHintShort);
        return best;
    }
    const double slips = slipCost(a, b);
    if (slips != kNoSlips) consider(best, -slips - ln(share), kHintSlip);

    // Cut at a field's width, an initial, or a short form such as АЛЕКС; not where the cut
    // leaves a whole part of a double surname or name.  A surname is not cut short of six
    // letters, nor to its other sex's form (ИВАНОВ of ИВАНОВА).
    const bool aShorter = a.size() < b.size();
    const std::string_view shorter = aShorter ? a : b, longer = aShorter ? b : a;
    const bool surnameCut =
        part != Part::Surname || (shorter.size() >= kSurnameCut && !sexFormsOfOneSurname(shorter, longer));
    if (!shorter.empty() && surnameCut && longer.starts_with(shorter) && longer[shorter.size()] != ' ')
        consider(best, ln(kShort) - ln(prefixShare(part, shorter, longer, pop)), kHintShort);

    if (part != Part::Surname) {
        // АЛ-ДР for АЛЕКСАНДР (folded: АЛ ДР), the beginning and the end kept.
        const auto abbreviation = [&](std::string_view abbr, std::string_view full) {
            const auto parts = partsOf(abbr);
            return parts.size() == 2 && full.find(' ') == std::string_view::npos &&
                   full.size() > parts[0].size() + parts[1].size() && full.starts_with(parts[0]) &&
                   full.ends_with(parts[1]);
        };
        if (abbreviation(a, b) || abbreviation(b, a)) {
            const std::string_view head = partsOf(aShorter ? a : b)[0];
            consider(best, ln(kShort) - ln(prefixShare(part, head, longer, pop)), kHintShort);
        }
        for (const ShortForm& f : shortForms())
            if ((a == f.shortForm && b == f.full) || (a == f.full && b == f.shortForm))
                consider(best, ln(kShort) - ln(shareOf(part, f.full, pop)), kHintShort);
        return best;
    }

    // A double surname with one part, or its parts the other way round.
    const auto pa = partsOf(a), pb = partsOf(b);
    if (pa.size() != pb.size() && (pa.size() > 1 || pb.size() > 1)) {
        const auto& few = pa.size() < pb.size() ? pa : pb;
        const auto& many = pa.size() < pb.size() ? pb : pa;
        for (std::string_view part1 : few)
            if (std::find(many.begin(), many.end(), part1) != many.end())
                consider(best, ln(kDoublePart) - ln(pop.surname(part1)), kHintDoubleSurname);
    } else if (pa.size() > 1 && std::is_permutation(pa.begin(), pa.end(), pb.begin(), pb.end())) {
        consider(best, ln(kDoublePart) - ln(share), kHintDoubleSurname);
    }
    if (sexFormsOfOneSurname(a, b)) consider(best, ln(kSexForm) - ln(share), kHintSexForm);
    return best;
}

Likeness compareSwapped(std::string_view recordName, std::string_view recordPatronymic, std::string_view entryName,
                        std::string_view entryPatronymic, double nameShare, double patronymicShare) {
    // The record's name field holds the entry's patronymic: judged as a name, against how
    // common that text is among names (a patronymic there is not common at all).
    const auto side = [&](Part part, std::string_view record, std::string_view entry) {
        const double share = part == Part::Name ? nameShare : patronymicShare;
        if (record == entry) return Likeness{ln(kSame) - ln(share), kHintSwapped};
        const double slips = record.empty() || entry.empty() ? kNoSlips : slipCost(record, entry);
        if (slips != kNoSlips) return Likeness{-slips - ln(share), kHintSwapped | kHintSlip};
        return Likeness{ln(kUnlike), kHintSwapped | kHintOther};
    };
    const Likeness n = side(Part::Name, recordName, entryPatronymic);
    const Likeness p = side(Part::Patronymic, recordPatronymic, entryName);
    return {ln(kExchangedParts) + n.logRatio + p.logRatio, n.kinds | p.kinds};
}

std::uint32_t dateDigits(Date date) {
    if (date.empty()) return 0;
    int y = 0, m = 0, d = 0;
    date.ymd(y, m, d);
    const auto digit = [](int v, int shift) { return static_cast<std::uint32_t>(v % 10) << shift; };
    return digit(d / 10, 28) | digit(d, 24) | digit(m / 10, 20) | digit(m, 16) | digit(y / 1000, 12) |
           digit(y / 100, 8) | digit(y / 10, 4) | digit(y, 0);
}

Likeness compareBirth(Date record, Date entry, double share) {
    if (record.empty() && entry.empty()) return {0, 0};
    if (record.empty() || entry.empty()) return {0, kHintBirthMissing};
    if (record == entry) return {ln(kBirthSame) - ln(share), 0};
    const std::uint32_t a = dateDigits(record), b = dateDigits(entry);
    if (oneDigitApart(a, b)) {
        std::uint32_t x = a ^ b;
        int shift = 0;
        while ((x & 0xF) == 0) x >>= 4, shift += 4;
        const int da = static_cast<int>(a >> shift & 0xF), db = static_cast<int>(b >> shift & 0xF);
        const double p = std::abs(da - db) == 1 ? kBirthNeighbourDigit : kBirthOtherDigit;
        return {ln(p) - ln(share), kHintBirthDigit};
    }
    if (dayMonthExchanged(a, b)) return {ln(kBirthDayMonth) - ln(share), kHintBirthDayMonth};
    return {ln(kBirthUnlike), kHintOther};
}

}  // namespace strnum::hints
