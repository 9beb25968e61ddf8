#include "identity/comparison.h"

#include <gtest/gtest.h>

#include "identity/coloured_writer.h"
#include "support/test_support.h"

namespace strnum {
namespace comparison_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::w;

NameComparison names(std::string_view f, std::string_view n, std::string_view o, std::string_view df,
                     std::string_view dn, std::string_view dop, bool severe = false) {
    return compareNames(w(f), w(n), w(o), w(df), w(dn), w(dop), severe);
}

TEST(CompareNames, ExactComparisonOfEachPart) {
    EXPECT_FALSE(names("ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ").differs);
    EXPECT_TRUE(names("СЕМЕНОВ", "ИВАН", "ИВАНОВИЧ", "СЕМЁНОВ", "ИВАН", "ИВАНОВИЧ").surnameDiffers);
    EXPECT_TRUE(names("ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "ИВАНОВА", "ИВАН", "ИВАНОВИЧ").surnameDiffers);
    EXPECT_TRUE(names("Иванов", "ИВАН", "ИВАНОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ").differs);
    EXPECT_TRUE(names("ИВАНОВ ", "ИВАН", "ИВАНОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ").differs);
}

TEST(CompareNames, SevereOnlyNeedsTwoParts) {
    const auto one = names("ИВАНОВ", "ИВАН", "ПЕТРОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", true);
    EXPECT_FALSE(one.differs);
    EXPECT_TRUE(one.patronymicDiffers);  // the part flag stays for the exchange batch
    EXPECT_TRUE(names("ПЕТРОВ", "ИВАН", "ПЕТРОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", true).differs);
    EXPECT_TRUE(names("ИВАНОВ", "ИВАН", "ПЕТРОВИЧ", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", false).differs);
}

TEST(CompareNames, DistrictTextsAreCutTo25) {
    const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";
    EXPECT_FALSE(compareNames(thirty, "N", "O", thirty.substr(0, 25), "N", "O", false).differs);
    EXPECT_TRUE(compareNames(thirty, "N", "O", thirty, "N", "O", false).differs);
}

TEST(CompareBirth, EmptyDatesAndTheOption) {
    const Date d = Date::fromYmd(1950, 5, 1);
    EXPECT_FALSE(birthDiffers(Date(), Date(), false));
    EXPECT_TRUE(birthDiffers(Date(), d, false));
    EXPECT_TRUE(birthDiffers(d, Date::fromYmd(1950, 5, 2), false));
    EXPECT_FALSE(birthDiffers(d, d, false));
    EXPECT_FALSE(birthDiffers(Date(), d, true));
}

TEST(JudgeStatus, OnlyCapitalAUnlessRelaxed) {
    EXPECT_FALSE(statusError("A", false));
    EXPECT_FALSE(statusError("AX", false));
    EXPECT_TRUE(statusError("B", false));
    EXPECT_FALSE(statusError("B", true));
    EXPECT_FALSE(statusError("I", true));
    EXPECT_TRUE(statusError("C", true));
    EXPECT_TRUE(statusError("a", false));
    EXPECT_TRUE(statusError("a", true));
    EXPECT_TRUE(statusError("", false));
    EXPECT_TRUE(statusError("", true));
    EXPECT_TRUE(statusError(w("А"), false));  // Cyrillic А is not the Latin capital
}

TEST(DifferenceSpan, Examples) {
    auto span = [](std::string_view a, std::string_view b) {
        const Span s = differenceSpan(w(a), w(b));
        return std::make_pair(s.first, s.last);
    };
    EXPECT_EQ(span("ИВАНОВ", "ИВАНОВА"), std::make_pair(7, 7));
    EXPECT_EQ(span("ПЕТРОВ", "ПЕТРОВ"), std::make_pair(7, 0));
    EXPECT_EQ(span("АА", "ААА"), std::make_pair(3, 1));
    EXPECT_EQ(span("", "АБВ"), std::make_pair(1, 3));
    EXPECT_EQ(span("АБВ", ""), std::make_pair(1, 0));
    EXPECT_EQ(span("ИВАНОВ", "ИЛАНОВ"), std::make_pair(2, 2));
    EXPECT_EQ(span("12.03.1950", "12.04.1950"), std::make_pair(5, 5));
}

TEST(NameKey, LowerCasesLatinCapitalsOnly) {
    EXPECT_EQ(nameKey("IVANOV", w("Иван"), "Q-Z"), std::string("ivanov ") + w("Иван") + " q-z");
    EXPECT_EQ(nameKey(w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ")), w("ИВАНОВ ИВАН ИВАНОВИЧ"));
    EXPECT_EQ(directoryNameText("IVANOV", "I", ""), "IVANOV I ");
    // A Latin-capital record against the directory: the span starts at the first letter.
    const Span s = differenceSpan(nameKey("IVANOV", "I", "I"), directoryNameText("IVANOV", "I", "I"));
    EXPECT_EQ(s.first, 1);
}

// The report as "text|colour" pieces, colours as d (default), r (red), b (blue).
std::string pieces(const Report& r) {
    std::string out;
    for (std::size_t i = 0; i < r.lineCount(); ++i) {
        if (i) out += " / ";
        for (const Run& run : r.runs(i)) {
            const char c = run.colour.isDefault() ? 'd' : run.colour == kRed ? 'r' : run.colour == kBlue ? 'b' : '?';
            out += "[" + test::u(run.text) + "|" + c + "]";
        }
    }
    return out;
}

TEST(ColouredWriter, SpanPiecesAndLifting) {
    Report report;
    Colour highlight = kRed;
    ColouredWriter writer(report, highlight);
    writer.writeWithSpanOnNewLine(7, 7, w("ИВАНОВА ИВАН"));
    EXPECT_EQ(pieces(report), "[ИВАНОВ|d][А|r][ ИВАН|d]");
    report.clear();
    writer.writeWithSpanOnNewLine(7, 0, w("ПЕТРОВ"));  // equal texts: nothing highlighted
    EXPECT_EQ(pieces(report), "[ПЕТРОВ|d]");
    report.clear();
    writer.writeWithSpanOnNewLine(3, 1, w("ААА"));  // last lifted to first
    EXPECT_EQ(pieces(report), "[АА|d][А|r]");
    report.clear();
    writer.writeWithSpanOnNewLine(1, 0, "");  // non-empty A against empty B
    EXPECT_EQ(report.lineCount(), 1u);
    EXPECT_EQ(pieces(report), "");
}

TEST(ColouredWriter, AtMost99CharactersAfterTheSpan) {
    Report report;
    Colour highlight = kRed;
    ColouredWriter writer(report, highlight);
    const std::string text = "AB" + std::string(150, 'x');
    writer.writeWithSpanOnNewLine(1, 2, text);
    EXPECT_EQ(report.line(0).size(), 2u + 99u);
}

TEST(ColouredWriter, HighlightIsReadAtEachCallAndLinesFollowOnTheirOwn) {
    Report report;
    Colour highlight = kBlue;
    ColouredWriter writer(report, highlight);
    writer.writeWithSpanOnNewLine(1, 3, "abc");
    highlight = kRed;
    writer.writeWithSpan(1, 1, "z");
    report.appendLine("plain");
    writer.writeOnNewLine("next");
    EXPECT_EQ(pieces(report), "[abc|b][z|r] / [plain|d] / [next|d]");
}

}  // namespace
}  // namespace comparison_test
}  // namespace strnum
