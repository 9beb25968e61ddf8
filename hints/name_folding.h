// The folded form of a name text, in which near matching compares surnames, names and
// patronymics, and what the form tells about the person's sex.
//
// Two offices type the same name differently without either being wrong: letter case, Ё
// against Е, a Latin letter that looks like a Cyrillic one (A, B, E, K, M, H, O, P, C, T, X
// typed in the Latin layout), a hyphen, dot or doubled blank between the parts.  The folded
// form makes all of these one text: capitals of code page 1251, Ё as Е, look-alike Latin
// capitals (and the digits 0 and 3) as their Cyrillic letters, a small Latin letter as its
// capital (so that a text folds as its capitals do), every run of blanks, hyphens,
// dots, commas, underscores and slashes as one blank (none at either end), apostrophes and
// quotes dropped.  Nothing else changes: a typing slip stays a slip.
//
// Folding works on the stored bytes of either code page a table may hold (866 or 1251)
// through one byte table, so that the number directory's millions of entries fold without
// converting their texts first.  Everything here is a pure function; the tables are
// constant and shared by all threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"

namespace strnum::hints {

// The byte table of one code page.
class NameFolding {
public:
    // The table for text in this code page (866 or 1251).
    static const NameFolding& of(CodePage cp);

    // Folds raw[0, size) into out (room for size bytes: the folded form is never longer);
    // stops at the first NUL.  Returns the folded length.
    std::size_t fold(const char* raw, std::size_t size, char* out) const;
    std::string fold(std::string_view raw) const;

private:
    NameFolding() = default;
    // What a byte becomes: a letter (its folded byte), kBlank (a separator) or kDrop.
    static constexpr unsigned char kBlank = ' ', kDrop = 0;
    unsigned char map_[256] = {};
    friend struct FoldingTables;
};

// A folded text as 32 bits for the index: its first two letters as 6-bit codes in the top
// 12 bits (so that texts can be told to begin alike without reading them) and 20 bits of
// its hash below.  Equal texts give equal values; different texts rarely do, and near
// matching confirms every candidate on its texts.
std::uint32_t packName(std::string_view folded);
// 64 bits of hash of a folded text (packName takes its top 20).
std::uint64_t nameHash(std::string_view folded);

// Whether two packed texts begin alike as one slip at their start leaves them: the same
// first or second letter, or the first of one the second of the other (a letter dropped,
// added or exchanged at the start).
inline bool beginAlike(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t a1 = a >> 26, a2 = (a >> 20) & 63, b1 = b >> 26, b2 = (b >> 20) & 63;
    return a1 == b1 || a2 == b2 || a1 == b2 || a2 == b1;
}

enum class Sex { Unknown, Male, Female };

// The sex a folded name and patronymic point to: the patronymic's ending (-ИЧ, -ОГЛЫ male;
// -НА, -КЫЗЫ female) decides, else the name's (-А, -Я female but for Никита, Илья and the
// like; a consonant or -Й male); Unknown when neither tells.
Sex sexOf(std::string_view name, std::string_view patronymic);

// The sex a folded surname's ending belongs to: -ОВ, -ЕВ, -ИН, -ЫН, -СКИЙ, -ЦКИЙ, -ОЙ, -ЫЙ
// male, the same with -А or -АЯ female; Unknown for surnames of both (ШЕВЧЕНКО, СЕДЫХ).
Sex surnameSex(std::string_view surname);

// Whether two folded surnames are one surname in its male and female forms: ИВАНОВ and
// ИВАНОВА, ПЕТРОВСКИЙ and ПЕТРОВСКАЯ, ТОЛСТОЙ and ТОЛСТАЯ (either way round).
bool sexFormsOfOneSurname(std::string_view a, std::string_view b);

}  // namespace strnum::hints
