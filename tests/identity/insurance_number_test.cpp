#include "identity/insurance_number.h"

#include <gtest/gtest.h>

#include <random>

namespace strnum {
namespace insurance_number_test {  // names of its own: the Windows build compiles test files together
namespace {

TEST(InsuranceNumber, CheckNumberExamples) {
    EXPECT_EQ(checkNumber(0), 0);
    EXPECT_EQ(checkNumber(1), 1);
    EXPECT_EQ(checkNumber(100), 3);
    EXPECT_EQ(checkNumber(123456789), 64);
}

TEST(InsuranceNumber, WeightedSumsOf100And101GiveZero) {
    // Find bodies with those sums by brute force over a small range and check the rule.
    int found100 = 0, found101 = 0;
    for (std::int64_t body = 0; body < 2'000'000 && (found100 < 3 || found101 < 3); ++body) {
        std::int64_t v = body, sum = 0;
        for (int k = 1; k <= 9; ++k, v /= 10) sum += k * (v % 10);
        if (sum == 100) {
            ++found100;
            EXPECT_EQ(checkNumber(body), 0) << body;
        }
        if (sum == 101) {
            ++found101;
            EXPECT_EQ(checkNumber(body), 0) << body;
        }
    }
    EXPECT_GT(found100, 0);
    EXPECT_GT(found101, 0);
}

TEST(InsuranceNumber, NegativeBodiesGiveZeroOrNegativeCheck) {
    EXPECT_EQ(checkNumber(-1), -1);
    EXPECT_EQ(checkNumber(-123456789), -64);
    for (std::int64_t b : {-5, -99, -100000, -999999999}) EXPECT_LE(checkNumber(b), 0);
}

TEST(InsuranceNumber, DigitsBeyondTheNinthAreIgnored) {
    EXPECT_EQ(checkNumber(1'123'456'789), checkNumber(123'456'789));
}

TEST(InsuranceNumber, NumberTextAndDisplayForm) {
    EXPECT_EQ(numberText(0), "00000000000");
    EXPECT_EQ(numberText(1), "00000000101");
    EXPECT_EQ(numberText(123456789), "12345678964");
    EXPECT_EQ(displayForm(0), "000-000-000 00");
    EXPECT_EQ(displayForm(1), "000-000-001 01");
    EXPECT_EQ(displayForm(123456789), "123-456-789 64");
    EXPECT_EQ(displayForm(-1), "000-000-001   ");
    EXPECT_EQ(displayForm(-123456789), "123-456-789   ");
    EXPECT_EQ(displayForm(1234567890), "1234-567-890 " + numberText(234567890).substr(9));
    EXPECT_EQ(displayForm(-2147483648LL), "2147-483-648   ");
}

TEST(InsuranceNumber, ReadingJudgesTheWrittenCheck) {
    EXPECT_TRUE(readNumberText("12345678964").valid());
    EXPECT_FALSE(readNumberText("12345678965").valid());
    EXPECT_TRUE(readNumberText("00000000000").valid());
    // Ten characters: the tenth alone is the written check.
    const NumberReading ten = readNumberText("0000000011");
    EXPECT_EQ(ten.body, 1);
    EXPECT_EQ(ten.written, 1);
    EXPECT_TRUE(ten.valid());
    // Nine characters or fewer: the check piece is empty and fails.
    EXPECT_FALSE(readNumberText("123456789").written);
    EXPECT_FALSE(readNumberText("").body);
    // A letter among the first nine characters.
    EXPECT_FALSE(readNumberText("12345A78964").body);
    // Blanks before a piece and a sign are accepted by the conversion.
    EXPECT_EQ(readNumberText("      12301").body, 123);
    EXPECT_EQ(readNumberText("000000001 1").written, 1);
    EXPECT_FALSE(readNumberText("0000000011 ").written);  // trailing blank
}

TEST(InsuranceNumber, CompletingLeadingZeros) {
    EXPECT_EQ(completeLeadingZeros("123456789"), "00123456789");
    EXPECT_EQ(completeLeadingZeros("1234567890"), "01234567890");
    EXPECT_EQ(completeLeadingZeros("12345678"), "12345678");
    EXPECT_EQ(completeLeadingZeros("12345678964"), "12345678964");
    EXPECT_EQ(completeLeadingZeros(""), "");
}

TEST(InsuranceNumber, NumberTextOfEveryBodyReadsBackValid) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int32_t> body(0, 999'999'999);
    for (int i = 0; i < 20000; ++i) {
        const std::int32_t b = body(rng);
        const NumberReading r = readNumberText(numberText(b));
        ASSERT_EQ(r.body, b);
        ASSERT_TRUE(r.valid()) << b;
        ASSERT_EQ(displayForm(b).substr(12), numberText(b).substr(9));
    }
}

}  // namespace
}  // namespace insurance_number_test
}  // namespace strnum
