#include "UREPORT2/paged_text.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "support/test_support.h"

namespace strnum {
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
    EXPECT_EQ(paged(numbered(62 + 60 + 1)), lines(1, 62) + "\f" + header(2) + lines(63, 122) + "\f" + header(3) +
                                               "L123\r\n\f");
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

}  // namespace
}  // namespace strnum
