// The likeness of a district record's person to a number-directory entry, part by part.
//
// Each comparison answers one question: how much more likely is the record's text, if the
// record was typed for this entry's person, than if it is of some person the directory
// does not hold?  The answer is a log likelihood ratio (natural log): above 0 speaks for
// the entry, below against it.  The first likelihood comes from a model of how clerks
// type Russian names (hints/README.md gives the kinds and their weights); the second from
// how common the record's text is among the directory's entries (Population), so that an
// equal rare surname counts for much and an equal Иван for little, and a name no entry
// has is taken for a slip more readily.  The ratios of the parts add up to the entry's
// weight in NearMatchIndex.
//
// Texts here are folded (hints/name_folding.h); the record's text comes first, the
// entry's second.  Pure functions; Population is read only.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "base/date.h"
#include "hints/hint.h"
#include "hints/name_folding.h"

namespace strnum::hints {

// How common values are among the directory's entries, as shares of all entries (always
// above 0: a value no entry has gets a small share of its own).
class Population {
public:
    virtual ~Population() = default;
    virtual double surname(std::string_view folded) const = 0;
    virtual double name(std::string_view folded) const = 0;
    virtual double patronymic(std::string_view folded) const = 0;
    // Entries whose name (patronymic) starts with prefix.
    virtual double namePrefix(std::string_view prefix) const = 0;
    virtual double patronymicPrefix(std::string_view prefix) const = 0;
    virtual double birth(Date date) const = 0;
};

enum class Part { Surname, Name, Patronymic };

struct Likeness {
    double logRatio = 0;
    unsigned kinds = 0;  // HintKind of the best explanation; 0 for equal texts
};

// Cost (minus the natural log of the probability) of the record's text `typed` coming from
// `meant` by typing slips: letters dropped, doubled, exchanged with the next one, keys next
// to the right one on the Russian ЙЦУКЕН layout, letters of like sound (О/А, Е/И, Б/П ...),
// Ь and Ъ left out or added.  Infinity when the texts differ by more than the costliest
// two slips, or in length by more than two.
double slipCost(std::string_view typed, std::string_view meant);
inline constexpr double kNoSlips = std::numeric_limits<double>::infinity();

// One name part.  share: the record's text's share among the entries' texts of this part
// (Population; given, as it is the same for every entry the record is compared with).  sex:
// what the record's name and patronymic say (a new surname after marriage is far likelier
// for a woman).
Likeness compareNamePart(Part part, std::string_view record, std::string_view entry, double share,
                         const Population& population, Sex sex);

// Name and patronymic exchanged: the record's name against the entry's patronymic and the
// record's patronymic against the entry's name, with the chance of the exchange itself.
// The shares are those of the record's name among names and its patronymic among
// patronymics (a patronymic in the name field is rare among names, which speaks for the
// exchange).
Likeness compareSwapped(std::string_view recordName, std::string_view recordPatronymic, std::string_view entryName,
                        std::string_view entryPatronymic, double nameShare, double patronymicShare);

// Birth dates; share: the record's date's share among the entries' dates.  An empty date
// tells nothing either way.
Likeness compareBirth(Date record, Date entry, double share);

// The eight digits of a date (ddmmyyyy) as 4-bit groups, for quick tests; 0 for the empty date.
std::uint32_t dateDigits(Date d);

// Whether two dates' digits differ in one digit only, or by day and month exchanged.
inline bool oneDigitApart(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t x = a ^ b;
    const std::uint32_t groups = (x | x >> 1 | x >> 2 | x >> 3) & 0x11111111u;  // a bit for each differing digit
    return a != 0 && b != 0 && groups != 0 && (groups & (groups - 1)) == 0;
}
inline bool dayMonthExchanged(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t swapped = ((a >> 8) & 0x00FF0000u) | ((a << 8) & 0xFF000000u) | (a & 0xFFFFu);
    return a != 0 && a != b && swapped == b;
}

}  // namespace strnum::hints
