// A near match: a number-directory entry that is probably the person of a district record
// whom the exact lookup (surname, name, patronymic and birth date all equal) did not find.
// Made by NearMatchIndex (hints/near_match_index.h); this header is what a caller keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace strnum {

// What a hint's entry differs in from the record, compared exactly as the person lookup
// compares (whole texts, letter case and Ё count; dates by value).
enum HintDiffers : unsigned {
    kDiffersSurname = 1u << 0,
    kDiffersName = 1u << 1,
    kDiffersPatronymic = 1u << 2,
    kDiffersBirth = 1u << 3,
};

// The kinds of difference that explain a hint; a hint carries every kind its explanation
// needs.
enum HintKind : unsigned {
    kHintSpelling = 1u << 0,       // letter case, Ё for Е, a look-alike Latin letter, blank for hyphen
    kHintSlip = 1u << 1,           // letters dropped, doubled, exchanged or hit on a neighbouring key
    kHintSwapped = 1u << 2,        // name and patronymic exchanged
    kHintShort = 1u << 3,          // a name cut, written as an initial or in a short form, or left out
    kHintDoubleSurname = 1u << 4,  // one part of a double surname
    kHintSexForm = 1u << 5,        // the surname in the other sex's form (ИВАНОВ for ИВАНОВА)
    kHintMarried = 1u << 6,        // another surname, name, patronymic and birth date the same
    kHintBirthDigit = 1u << 7,     // one digit of the birth date wrong
    kHintBirthDayMonth = 1u << 8,  // day and month of the birth date exchanged
    kHintBirthMissing = 1u << 9,   // the birth date empty on one side
    kHintOther = 1u << 10,         // a difference none of the kinds above explains
};

enum class HintConfidence {
    Certain,   // "точно": one kind explains it and no other entry comes close
    Possible,  // "возможно"
};

// "точно" or "возможно", code page 1251.
std::string_view confidenceText(HintConfidence c);

struct Hint {
    std::size_t entry = 0;  // the entry's position in the directory's stored order, from 0
    std::int32_t num = 0;   // its NUM
    unsigned differs = 0;   // HintDiffers
    unsigned kinds = 0;     // HintKind
    HintConfidence confidence = HintConfidence::Possible;
    double score = 0;  // how likely the entry is the record's person, 0 to 1
};

}  // namespace strnum
