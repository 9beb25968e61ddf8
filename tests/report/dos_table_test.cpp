#include "report/dos_table.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "support/test_support.h"

namespace strnum {
namespace dos_table_test {  // names of its own: the Windows build compiles test files together
namespace {

TEST(DosTable, EveryByte) {
    for (int b = 0; b < 256; ++b) {
        int expected;
        if (b < 128)
            expected = b;
        else if (b < 144)
            expected = 192 + (b - 128);
        else if (b < 160)
            expected = 208 + (b - 144);
        else if (b < 176)
            expected = 176 + (b - 160);
        else if (b < 192)
            expected = 240 + (b - 176);
        else if (b < 224)
            expected = 128 + (b - 192);
        else
            expected = 128 + (b - 224);
        ASSERT_EQ(toUpperDos(static_cast<unsigned char>(b)), expected) << "byte " << b;
    }
}

TEST(DosTable, RussianLettersBecome866Capitals) {
    const std::string text = test::w("Иванов Пётр, №5 ЁЖ abc");
    const std::string dos = toUpperDos(text);
    // Through code page 866 the letters read back as capitals; Latin keeps its case.
    EXPECT_EQ(test::u(*cp866To1251(dos.substr(0, 6))), "ИВАНОВ");
    EXPECT_EQ(static_cast<unsigned char>(dos[8]), 248);   // ё is no letter to the table
    EXPECT_EQ(static_cast<unsigned char>(dos[13]), 249);  // №
    EXPECT_EQ(static_cast<unsigned char>(dos[16]), 184);  // Ё
    EXPECT_EQ(dos.substr(dos.size() - 3), "abc");
}

}  // namespace
}  // namespace dos_table_test
}  // namespace strnum
