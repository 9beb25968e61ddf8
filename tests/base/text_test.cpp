#include "base/text.h"

#include <gtest/gtest.h>

#include "base/convert.h"
#include "base/date.h"
#include "base/ru.h"
#include "support/test_support.h"

namespace strnum {
namespace text_test {  // names of its own: the Windows build compiles test files together
namespace {

using namespace strnum::literals;

TEST(Text, LiteralsBecome1251AtCompileTime) {
#if !defined(__clang__)  // clang's build converts at first use
    constexpr std::string_view s = "Ёжик №1"_cp;
    static_assert(s.size() == 7);
#else
    const std::string_view s = "Ёжик №1"_cp;
#endif
    EXPECT_EQ(s, std::string_view("\xA8\xE6\xE8\xEA \xB9\x31"));
    EXPECT_EQ(""_cp.size(), 0u);
}

TEST(Text, Cp1251RoundTripsThroughUtf8AndUtf16ForEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8To1251(cp1251ToUtf8(all)), all);
    EXPECT_EQ(utf16To1251(cp1251ToUtf16(all)), all);
    // Appended after what is there, the NUL byte included.
    std::string out("x");
    appendCp1251AsUtf8(std::string_view("\0", 1), out);
    appendCp1251AsUtf8(all, out);
    EXPECT_EQ(out, std::string("x\0", 2) + cp1251ToUtf8(all));
    EXPECT_EQ(cp1251ToUtf8(test::w("Ё№")), "Ё№");
}

TEST(Text, Cp866AndCp1251AgreeOnEveryRussianLetter) {
    const std::string letters = test::w("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№");
    const auto dos = cp1251To866(letters);
    ASSERT_TRUE(dos);
    EXPECT_EQ(static_cast<unsigned char>((*dos)[0]), 0x80);    // А
    EXPECT_EQ(static_cast<unsigned char>((*dos)[6]), 0xF0);    // Ё
    EXPECT_EQ(static_cast<unsigned char>(dos->back()), 0xFC);  // №
    EXPECT_EQ(cp866To1251(*dos), letters);
}

TEST(Text, StrictConversionsNameTheFirstForeignCharacter) {
    std::size_t bad = 99;
    EXPECT_FALSE(
        cp866To1251("ab\xC4"
                    "c",
                    &bad));  // box drawing has no 1251 byte
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(cp866To1251Lossy("ab\xC4"
                               "c"),
              "ab?c");
    EXPECT_FALSE(cp1251To866("x\x80", &bad));  // Ђ has no 866 byte
    EXPECT_EQ(bad, 1u);
    EXPECT_FALSE(utf8To1251("ok \xE4\xB8\xAD", &bad));  // a Chinese character
    EXPECT_EQ(bad, 3u);
    EXPECT_FALSE(utf8To1251("\xC0\x80"));      // overlong NUL
    EXPECT_FALSE(utf8To1251("\xD0"));          // cut sequence
    EXPECT_FALSE(utf8To1251("\xED\xA0\x80"));  // surrogate
}

TEST(Convert, Int32AcceptsBlanksSignAndDigitsOnly) {
    EXPECT_EQ(toInt32("  42"), 42);
    EXPECT_EQ(toInt32("-7"), -7);
    EXPECT_EQ(toInt32("+007"), 7);
    EXPECT_EQ(toInt32("2147483647"), 2147483647);
    EXPECT_EQ(toInt32("-2147483648"), INT32_MIN);
    for (const char* bad :
         {"", "   ", "-", "+", "12 ", "1a", "2147483648", "-2147483649", "0x10", " - 1", "99999999999999999999"})
        EXPECT_FALSE(toInt32(bad)) << bad;
}

TEST(Date, EmptyDateEqualsOnlyItself) {
    EXPECT_TRUE(Date().empty());
    EXPECT_EQ(Date(), Date::fromYmd(2023, 2, 29));  // no such day: empty
    EXPECT_NE(Date(), Date::fromYmd(1, 1, 1));
    EXPECT_EQ(Date::fromYmd(1, 1, 1).serial(), 1);
    EXPECT_EQ(Date().text(), "");
}

TEST(Date, SerialAndCalendarAgreeAcrossCenturies) {
    for (int y : {1, 4, 99, 100, 400, 1899, 1900, 1999, 2000, 2024, 9999})
        for (int m = 1; m <= 12; ++m)
            for (int d : {1, 28, 29, 30, 31}) {
                const Date date = Date::fromYmd(y, m, d);
                if (date.empty()) continue;
                int yy, mm, dd;
                date.ymd(yy, mm, dd);
                ASSERT_EQ(std::tie(yy, mm, dd), std::tie(y, m, d));
                ASSERT_EQ(Date::fromSerial(date.serial() + 1), Date::fromYmd(y, m, d + 1).empty()
                                                                   ? Date::fromSerial(date.serial() + 1)
                                                                   : Date::fromYmd(y, m, d + 1));
            }
    EXPECT_EQ(Date::fromYmd(1975, 3, 7).text(), "07.03.1975");
    EXPECT_EQ(Date::fromYmd(2000, 3, 1).serial() - Date::fromYmd(2000, 2, 28).serial(), 2);
}

}  // namespace
}  // namespace text_test
}  // namespace strnum
