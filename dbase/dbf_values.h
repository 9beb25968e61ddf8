// Values of dBASE fields: the stored bytes of one field <-> the typed values of the table
// interface (tables/table.h).  Pure functions over bytes, shared by the table, the table
// creator and the tests.
//
// Reading never fails on stored bytes (a walk must not stop at one odd value) except the
// explicit conversions integer() and date() of fields that do not hold one.  Encoding
// fails (Error: Conversion, InvalidArgument, Unsupported) when the value cannot be stored
// exactly: too long, not a number, too wide, a character the code page lacks.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/date.h"
#include "base/text.h"
#include "dbase/dbf_header.h"
#include "tables/table.h"

namespace strnum {

FieldKind dbfFieldKind(char type);

// The stored bytes of a character value: up to the first NUL, without trailing blanks.
inline std::string_view dbfCharBytes(std::string_view raw) {
    // Blank padding first, eight bytes at a time; then a NUL before it cuts the value.
    std::size_t n = raw.size();
    constexpr std::uint64_t blanks = 0x2020202020202020ull;
    for (std::uint64_t w = 0; n >= 8; n -= 8) {
        std::memcpy(&w, raw.data() + n - 8, 8);
        if (w != blanks) break;
    }
    while (n > 0 && raw[n - 1] == ' ') --n;
    if (const void* nul = n ? std::memchr(raw.data(), 0, n) : nullptr) {
        n = static_cast<std::size_t>(static_cast<const char*>(nul) - raw.data());
        while (n > 0 && raw[n - 1] == ' ') --n;
    }
    return raw.substr(0, n);
}

// raw: exactly field.length bytes of the record.
std::string dbfText(const DbfField& field, std::string_view raw, CodePage cp);
// nullopt when the field does not hold a whole number within 32 bits (empty reads 0).
std::optional<std::int32_t> dbfInteger(const DbfField& field, std::string_view raw);
// nullopt when the field is not a date or date-time field; the empty Date for an empty one.
std::optional<Date> dbfDate(const DbfField& field, std::string_view raw);
bool dbfIsEmpty(const DbfField& field, std::string_view raw);

// The stored bytes (field.length of them) for a value given as 1251 text, an integer or a
// date.  fileName (1251) names the file in messages.
std::string dbfEncodeText(const DbfField& field, std::string_view value, CodePage cp, const std::string& fileName);
std::string dbfEncodeInteger(const DbfField& field, std::int32_t value, const std::string& fileName);
std::string dbfEncodeDate(const DbfField& field, Date value, const std::string& fileName);

// A decimal number text "[-]digits[.digits]" (blanks around allowed) in shortest form:
// no leading zeros, no trailing fraction zeros, "-0" as "0".  nullopt when it is not one.
std::optional<std::string> canonicalDecimal(std::string_view text);

}  // namespace strnum
