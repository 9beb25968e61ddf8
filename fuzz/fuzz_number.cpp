// Number texts and integer conversion under any bytes: the one integer rule (toInt32)
// against a second reading of the rule, a number text taken apart, the number text and
// display form of a body read back, and the integer values of dBASE fields (numeric and
// character) read and, where they can be, written and read again.
//
//   build/fuzz/fuzz/fuzz_number fuzz/corpus_number -max_total_time=60
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/convert.h"
#include "base/error.h"
#include "dbase/dbf_values.h"
#include "fuzz/fuzz_check.h"
#include "identity/insurance_number.h"

namespace {
// The rule read once more, differently: blanks, a sign, digits only, within 32 bits.
std::optional<std::int32_t> referenceInt32(std::string_view s) {
    const std::size_t start = s.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    s.remove_prefix(start);
    const bool negative = s.front() == '-';
    if (s.front() == '+' || s.front() == '-') s.remove_prefix(1);
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const std::size_t nonZero = s.find_first_not_of('0');
    s = nonZero == std::string_view::npos ? std::string_view("0") : s.substr(nonZero);
    if (s.size() > 10) return std::nullopt;
    std::int64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace strnum;
    using fuzz::check;
    const std::string_view in(reinterpret_cast<const char*>(data), size);

    check(toInt32(in) == referenceInt32(in));

    // A number text: characters 1-9 the body, 10-11 the written check number.
    const NumberReading r = readNumberText(in);
    check(r.body == toInt32(in.substr(0, 9)));
    check(r.written == toInt32(in.size() > 9 ? in.substr(9, 2) : std::string_view()));
    check(r.valid() == (r.body && r.written && *r.written == checkNumber(*r.body)));
    if (r.body) (void)displayForm(*r.body);

    const std::string completed = completeLeadingZeros(in);
    check(completed.size() == (in.size() == 9 ? 11 : in.size() == 10 ? 11 : in.size()));
    check(std::string_view(completed).substr(completed.size() - in.size()) == in);

    // A body of the directory: its number text reads back valid, its display form shows
    // the same digits.
    if (size >= 4) {
        std::uint32_t raw;
        std::memcpy(&raw, data, 4);
        const std::int32_t body = static_cast<std::int32_t>(raw % 1000000000u);
        const std::string text = numberText(body);
        check(text.size() == 11 && text.find_first_not_of("0123456789") == std::string::npos);
        const NumberReading back = readNumberText(text);
        check(back.valid() && *back.body == body);
        const std::string shown = displayForm(body);
        check(shown.size() == 14 && shown[3] == '-' && shown[7] == '-' && shown[11] == ' ');
        check(shown.substr(0, 3) + shown.substr(4, 3) + shown.substr(8, 3) + shown.substr(12, 2) == text);
    }

    // Integer values of dBASE fields: the input's tail as the stored bytes of an N or C
    // field whose width and decimals the first bytes choose.
    if (size >= 2) {
        DbfField f;
        f.type = (data[0] & 1) ? 'N' : 'C';
        f.length = 1 + data[0] % 20;
        f.decimals = f.type == 'N' ? data[1] % 4 : 0;
        f.offset = 1;
        std::string stored(in.substr(2, static_cast<std::size_t>(f.length)));
        stored.resize(static_cast<std::size_t>(f.length), ' ');
        (void)dbfInteger(f, stored);
        (void)dbfIsEmpty(f, stored);
        if (auto c = canonicalDecimal(in.substr(2))) check(canonicalDecimal(*c) == c);
        if (auto v = toInt32(in.substr(2))) {
            try {
                const std::string bytes = dbfEncodeInteger(f, *v, "F.DBF");
                check(bytes.size() == static_cast<std::size_t>(f.length));
                check(dbfInteger(f, bytes) == v);
            } catch (const Error&) {
                // too wide for the field: refused before anything is written
            }
        }
    }
    return 0;
}
