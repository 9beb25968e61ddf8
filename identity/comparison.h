// How a district record's person is judged against the number-directory entry found by
// its insurance number: names, birth date, account status, and where two texts differ.
// Texts are compared exactly — case, Ё against Е, blanks and punctuation all count.
#pragma once

#include <string>
#include <string_view>

#include "base/date.h"

namespace strnum {

// Names of a district record are kept to 25 characters.
inline constexpr std::size_t kNameMax = 25;

struct NameComparison {
    bool surnameDiffers = false;
    bool nameDiffers = false;
    bool patronymicDiffers = false;
    bool differs = false;  // the name difference that is reported
    int partsDiffering() const { return int{surnameDiffers} + int{nameDiffers} + int{patronymicDiffers}; }
};

// District texts are cut to 25 characters, directory texts are used in full.  With
// severeOnly a name difference needs at least two differing parts; the part flags are
// the same either way.
NameComparison compareNames(std::string_view surname, std::string_view name, std::string_view patronymic,
                            std::string_view dirSurname, std::string_view dirName, std::string_view dirPatronymic,
                            bool severeOnly);

// Different date values (an empty date differs from every real one); never with
// noBirthErrors.
bool birthDiffers(Date record, Date directory, bool noBirthErrors);

// The first character of COND must be the Latin capital A; with noStatusErrors B and I
// are in order too.  An empty COND is a status error.
bool statusError(std::string_view cond, bool noStatusErrors);

// The stretch of b, 1-based positions first..last, in which b departs from a: first is
// the first differing position (or the shorter length + 1), last is the length of b less
// the common ending.  The two ends are measured independently, so last may be below
// first; the writers then lift last to first.
struct Span {
    int first = 1;
    int last = 0;
};
Span differenceSpan(std::string_view a, std::string_view b);

// surname + " " + name + " " + patronymic with the Latin capitals A-Z lower-cased; every
// other character as it is.
std::string nameKey(std::string_view surname, std::string_view name, std::string_view patronymic);
// FAM + " " + NAM + " " + OTCH, not lower-cased.
std::string directoryNameText(std::string_view fam, std::string_view nam, std::string_view otch);

}  // namespace strnum
