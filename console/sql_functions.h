// What SQLite is given so that Russian text and the tables' dates behave as the
// technicians expect.
//
// SQLite's own upper(), lower(), LIKE and NOCASE fold only ASCII letters.  Here they are
// replaced by versions that fold the Cyrillic letters too (А-Я, Ё and the other letters of
// code page 1251) and Latin-1 ones; everything else as SQLite does it (LIKE with % and _,
// an ESCAPE character, NULL in gives NULL).  NOCASE also puts Ё right after Е.
//
// Dates are text "dd.mm.yyyy" in the console (as the tables show them everywhere), and the
// table columns holding them compare with the collation DATE: as dates, earliest first; a
// text that is no date after every date, in byte order.  "yyyy-mm-dd" is read as a date
// too, so `dtr > '1990-01-01'` and `dtr > '01.01.1990'` mean the same.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/date.h"

struct sqlite3;

namespace strnum::console {

inline constexpr const char* kDateCollation = "DATE";

// Registers the functions and collations on a connection.  Returns false on failure.
bool registerRussianText(sqlite3* db);

// The pieces, for tests and for the table module.
char32_t foldLower(char32_t c);
char32_t foldUpper(char32_t c);
std::string utf8Lower(std::string_view s);
std::string utf8Upper(std::string_view s);
// pattern LIKE text, case-insensitively as above; escape: 0 for none.
bool likeMatches(std::string_view pattern, std::string_view text, char32_t escape = 0);
// "d.m.yyyy" (day and month of one or two digits) or "yyyy-mm-dd", a real day; else nullopt.
std::optional<Date> sqlDate(std::string_view text);
int compareAsDates(std::string_view a, std::string_view b);
int compareNoCase(std::string_view a, std::string_view b);

}  // namespace strnum::console
