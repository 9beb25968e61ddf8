#include "report/paged_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/error.h"
#include "support/test_support.h"

namespace strnum {
namespace paged_text_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::TempDir;

Report numbered(int lines) {
    Report r;
    for (int i = 1; i <= lines; ++i) r.appendLine("L" + std::to_string(i));
    return r;
}

std::string paged(const Report& r, const PageOptions& options = {}) {
    TempDir dir;
    OutputFile out(dir / "REPORT.TXT");
    writePagedText(r, out, options);
    out.close();
    return test::readBytes(dir / "REPORT.TXT");
}

std::string lines(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i) s += "L" + std::to_string(i) + "\r\n";
    return s;
}

std::string header(int page) { return std::string(30, ' ') + std::to_string(page) + "\r\n\r\n"; }

TEST(PagedText, SixtyTwoLinesMakeOnePage) { EXPECT_EQ(paged(numbered(62)), lines(1, 62) + "\f"); }

TEST(PagedText, SixtyThirdLineStartsPageTwo) {
    EXPECT_EQ(paged(numbered(63)), lines(1, 62) + "\f" + header(2) + "L63\r\n\f");
}

TEST(PagedText, LaterPagesHoldNMinusTwoLines) {
    EXPECT_EQ(paged(numbered(62 + 60 + 1)),
              lines(1, 62) + "\f" + header(2) + lines(63, 122) + "\f" + header(3) + "L123\r\n\f");
}

TEST(PagedText, PageBreakLineForcesAPageAndIsNotWritten) {
    Report r;
    r.appendLine("a");
    r.appendLine("\fdropped text");
    r.appendLine("b");
    EXPECT_EQ(paged(r), "a\r\n\f" + header(2) + "b\r\n\f");
}

TEST(PagedText, RangeTwoToTwoOfThreePages) {
    PageOptions o;
    o.firstPage = o.lastPage = 2;
    EXPECT_EQ(paged(numbered(130), o), header(2) + lines(63, 122) + "\f");
}

TEST(PagedText, RangeAfterTheLastPage) {
    PageOptions o;
    o.firstPage = 5;
    o.lastPage = 9;
    EXPECT_EQ(paged(numbered(10), o), "\f");
    o.finalFormFeed = false;
    EXPECT_EQ(paged(numbered(10), o), "");
}

TEST(PagedText, FinalFormFeedOnlyWhenAsked) {
    PageOptions o;
    o.finalFormFeed = false;
    EXPECT_EQ(paged(numbered(63), o), lines(1, 62) + "\f" + header(2) + "L63\r\n");
    EXPECT_EQ(paged(Report()), "\f");
}

TEST(PagedText, NoPagingForZeroOrNegativeLines) {
    Report r = numbered(100);
    r.appendLine("\f");
    r.appendLine("end");
    for (int n : {0, -3}) {
        PageOptions o;
        o.linesPerPage = n;
        EXPECT_EQ(paged(r, o), lines(1, 100) + "end\r\n\f");
    }
}

TEST(PagedText, OneOrTwoLinesPerPageStillWriteOneReportLine) {
    PageOptions o;
    o.linesPerPage = 1;
    EXPECT_EQ(paged(numbered(3), o), "L1\r\n\f" + header(2) + "L2\r\n\f" + header(3) + "L3\r\n\f");
    o.linesPerPage = 2;
    EXPECT_EQ(paged(numbered(4), o), "L1\r\nL2\r\n\f" + header(2) + "L3\r\n\f" + header(3) + "L4\r\n\f");
}

TEST(PagedText, LongLinesAreCutAnd1251BecomesUpperDos) {
    Report r;
    r.appendLine(std::string(300, 'x'));
    r.appendLine(test::w("иван Ёё№"));
    r.appendLine("");
    EXPECT_EQ(paged(r), std::string(255, 'x') + "\r\n" + "\x88\x82\x80\x8D \xB8\xF8\xF9\r\n\r\n\f");
}

TEST(PagedText, FailedWriteIsAnIoErrorAndKeepsWhatWasWritten) {
    // /dev/full refuses every write: the error names the destination.
    try {
        OutputFile out("/dev/full");
        writePagedText(numbered(5000), out, {});
        out.close();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        EXPECT_NE(e.utf8().find("/dev/full"), std::string::npos) << e.utf8();
    }
    EXPECT_THROW(OutputFile("/nonexistent-dir/REPORT.TXT"), Error);
}

TEST(PagedText, WritesToADevice) {
    OutputFile out("/dev/null");
    writePagedText(numbered(100), out, {});
    EXPECT_NO_THROW(out.close());
}

// The pieces of a line as text, for readable expectations.
std::vector<std::string> wrapped(std::string_view line, std::size_t columns) {
    std::vector<std::string> out;
    for (const LinePiece& p : wrapAtWords(line, columns)) {
        EXPECT_LE(p.begin, p.end);
        EXPECT_LE(p.end, line.size());
        EXPECT_LE(p.end - p.begin, std::max<std::size_t>(columns, 1));
        out.emplace_back(line.substr(p.begin, p.end - p.begin));
    }
    return out;
}

using Lines = std::vector<std::string>;

// A printed check line was broken as "указана д/" | "р 27.08.1931": lines longer than the
// page now break only between words.
TEST(WrapAtWords, BreaksBetweenWordsOnly) {
    const std::string line = "1 10 87742246445: IVANOVA  v SPU so str.N 123-456-789 64 ukazana d/r 27.08.1931";
    for (std::size_t columns = 12; columns < line.size(); ++columns) {
        std::string joined;
        for (const LinePiece& p : wrapAtWords(line, columns)) {
            // Every piece starts at a word's start and ends at a word's end.
            EXPECT_TRUE(p.begin == 0 || line[p.begin - 1] == ' ') << columns;
            EXPECT_TRUE(p.end == line.size() || line[p.end] == ' ') << columns;
            EXPECT_NE(line[p.end - 1], ' ') << columns;
            joined += std::string(line.substr(p.begin, p.end - p.begin)) + ' ';
        }
        EXPECT_NE(joined.find("d/r 27.08.1931 "), std::string::npos) << columns;
        EXPECT_NE(joined.find("123-456-789 64 "), std::string::npos) << columns;
    }
    EXPECT_EQ(wrapped(test::w("в СПУ указана д/р 27.08.1931"), 14),
              (Lines{test::w("в СПУ указана"), test::w("д/р 27.08.1931")}));
}

TEST(WrapAtWords, FittingEmptyAndBlankLinesAreOnePiece) {
    EXPECT_EQ(wrapped("", 10), Lines{""});
    EXPECT_EQ(wrapped("exactly 10", 10), Lines{"exactly 10"});
    EXPECT_EQ(wrapped("  two  ", 10), Lines{"  two  "});
    EXPECT_EQ(wrapped(std::string(25, ' '), 10), Lines{""});
    // Blanks at a break are left out, however many; a tab counts as a blank.
    EXPECT_EQ(wrapped("one     two\tthree", 6), (Lines{"one", "two", "three"}));
    EXPECT_EQ(wrapped("one two   ", 4), (Lines{"one", "two"}));
}

TEST(WrapAtWords, OnlyAWordLongerThanALineIsCut) {
    EXPECT_EQ(wrapped("ab 0123456789ABCDEF cd", 8), (Lines{"ab", "01234567", "89ABCDEF", "cd"}));
    EXPECT_EQ(wrapped("0123456789", 1).size(), 10u);
    EXPECT_EQ(wrapped("abc", 0), (Lines{"a", "b", "c"}));  // no width counts as one column
}

TEST(WrapAtWords, IndentationStaysUnlessTheWordWouldNotFit) {
    EXPECT_EQ(wrapped("   in SPU chislitsya", 12), (Lines{"   in SPU", "chislitsya"}));
    // "          WORD" in 12 columns: the word goes on alone rather than being cut.
    EXPECT_EQ(wrapped("          WORD more", 12), (Lines{"WORD more"}));
    EXPECT_EQ(wrapped("    LONGERTHANALINE", 8), (Lines{"LONGERTH", "ANALINE"}));
}

}  // namespace
}  // namespace paged_text_test
}  // namespace strnum
