#include "report/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/rtf_writer.h"
#include "support/test_support.h"

namespace strnum {
namespace report_test {  // names of its own: the Windows build compiles test files together
namespace {

TEST(Report, LinesAndRuns) {
    Report r;
    r.appendRun("first", kRed);  // a run into an empty report makes the first line
    r.appendLine("");
    r.appendLine("plain");
    r.appendRun(" more", Colour());
    r.appendRun(" blue", kBlue);
    r.newLine();
    ASSERT_EQ(r.lineCount(), 4u);
    EXPECT_EQ(r.line(0), "first");
    EXPECT_EQ(r.line(1), "");
    EXPECT_EQ(r.line(2), "plain more blue");
    EXPECT_EQ(r.line(3), "");
    EXPECT_TRUE(r.runs(1).empty());
    const auto runs = r.runs(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "plain more");
    EXPECT_TRUE(runs[0].colour.isDefault());
    EXPECT_EQ(runs[1].text, " blue");
    EXPECT_EQ(runs[1].colour, kBlue);
    EXPECT_EQ(r.runs(0)[0].colour, kRed);
    r.clear();
    EXPECT_TRUE(r.empty());
    EXPECT_FALSE(r.hasColour());
}

TEST(Report, ColourCarriesAcrossLinesOnlyWhenWritten) {
    Report r;
    r.appendRun("red", kRed);
    r.appendLine("plain");  // a plain line is default whatever came before
    r.newLine();
    r.appendRun("x", kRed);
    r.appendRun("", kBlue);  // an empty run changes nothing
    r.appendRun("y", kRed);
    EXPECT_TRUE(r.runs(1)[0].colour.isDefault());
    ASSERT_EQ(r.runs(2).size(), 1u);
    EXPECT_EQ(r.runs(2)[0].text, "xy");
}

// Lines appended in one piece are the lines appended one by one, empty ones included, and
// plain after a coloured run.
TEST(Report, LinesInOnePieceAreLinesOneByOne) {
    Report one, piece;
    for (Report* r : {&one, &piece}) r->appendRun("red", kRed);
    const std::string text =
        "abc"
        ""
        "de"
        ""
        "f";
    const std::vector<std::size_t> begins{0, 3, 3, 5, 5};
    for (const char* line : {"abc", "", "de", "", "f"}) one.appendLine(line);
    piece.appendLines(text, begins);
    piece.appendLines("", std::vector<std::size_t>{0});
    one.appendLine("");
    piece.appendLines("ignored", {});
    ASSERT_EQ(piece.lineCount(), one.lineCount());
    for (std::size_t i = 0; i < one.lineCount(); ++i) {
        EXPECT_EQ(piece.line(i), one.line(i)) << i;
        const auto a = one.runs(i), b = piece.runs(i);
        ASSERT_EQ(a.size(), b.size()) << i;
        for (std::size_t k = 0; k < a.size(); ++k) EXPECT_EQ(a[k].colour, b[k].colour) << i;
    }
    EXPECT_TRUE(piece.runs(1)[0].colour.isDefault());
}

TEST(Report, HalfAMillionLinesStaySmall) {
    Report r;
    for (int i = 0; i < 500000; ++i) {
        r.appendLine("Участок 01 файл PDL.DBF запись 12345 ошибка");
        if (i % 10 == 0) r.appendRun("x", kRed);
    }
    EXPECT_EQ(r.lineCount(), 500000u);
    EXPECT_EQ(r.runs(499990).size(), 2u);
}

TEST(RtfWriter, DeclaresCodePageFontAndColours) {
    Report r;
    r.appendLine(test::w("Иванов {x}\\"));
    r.newLine();
    r.appendRun("a", Colour());
    r.appendRun("b", kRed);
    r.appendRun("c", kBlue);
    test::TempDir dir;
    OutputFile out(dir / "r.rtf");
    writeRtf(r, out);
    out.close();
    const std::string rtf = test::readBytes(dir / "r.rtf");
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1251", 0), 0u);
    EXPECT_NE(rtf.find("\\fcharset204 Courier New;"), std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"), std::string::npos);
    // (with a word joiner after the closing brace, where a reader could break the word)
    EXPECT_NE(rtf.find("\\'c8\\'e2\\'e0\\'ed\\'ee\\'e2 \\{x\\}\\u8288 \\\\"), std::string::npos);
    EXPECT_NE(rtf.find("\\cf0 a\\cf1 b\\cf2 c"), std::string::npos);
    // Braces balance: every group opened is closed.
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\')
            ++i;
        else if (rtf[i] == '{')
            ++depth;
        else if (rtf[i] == '}')
            --depth;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

std::string rtfOf(const Report& r) {
    test::TempDir dir;
    OutputFile out(dir / "r.rtf");
    writeRtf(r, out);
    out.close();
    return test::readBytes(dir / "r.rtf");
}

// LibreOffice took the page for Letter and broke "указана д/" | "р 27.08.1931" at the slash:
// the file names an A4 page, and word joiners keep words whole.
TEST(RtfWriter, NamesAnA4PageAndKeepsWordsWhole) {
    Report r;
    r.appendLine(test::w(" указана д/р 27.08.1931 в СПУ 123-456-789 64 (ОРТАН) -x a- / b"));
    r.newLine();
    r.appendRun("a/", Colour());
    r.appendRun("b", kRed);  // a joiner also where a colour changes inside a word
    const std::string rtf = rtfOf(r);
    EXPECT_NE(rtf.find("\\paperw11906\\paperh16838\\margl1134\\margr567\\margt850\\margb850"), std::string::npos);
    EXPECT_NE(rtf.find("\\uc0"), std::string::npos);  // joiners without a substitute character
    EXPECT_EQ(rtf.find("\\uc1"), std::string::npos);
    const std::string wj = "\\u8288 ";
    EXPECT_NE(rtf.find("\\'e4/" + wj + "\\'f0 27.08.1931"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("123-" + wj + "456-" + wj + "789 64"), std::string::npos);
    EXPECT_NE(rtf.find(" (\\'ce"), std::string::npos);               // a bracket after a blank: nothing to join
    EXPECT_NE(rtf.find(" -" + wj + "x a- / b"), std::string::npos);  // none next to blanks
    EXPECT_NE(rtf.find("a/\\cf1 " + wj + "b"), std::string::npos);
    EXPECT_EQ(rtf.find("27.08.1931" + wj), std::string::npos);
}

TEST(RtfWriter, JoinsBeforeAnOpeningBracketInsideAWord) {
    Report r;
    r.appendLine("f(x) [y]z");
    const std::string rtf = rtfOf(r);
    const std::string wj = "\\u8288 ";
    EXPECT_NE(rtf.find("f" + wj + "(x)" + " " + "[y]" + wj + "z"), std::string::npos) << rtf;
}

}  // namespace
}  // namespace report_test
}  // namespace strnum
