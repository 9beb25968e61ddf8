// The saved result, byte for byte: cells cut and filled to their widths with one blank
// after each, the 255-character rule, 1251 and CR LF, an empty result, a query that is
// closed, a row that cannot be read, and a full disk or a stopped walk that must leave the
// previous file.
#include "console/result_file.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "base/error.h"
#include "support/test_support.h"
#include "system/file_faults.h"

namespace strnum::console {
namespace result_file_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::w;

// Rows from memory, with an optional failure (of the given kind) or stop at one row.
class FixedRows : public RowSource {
public:
    enum class Ends { Damaged, Unreadable, Stopped };
    FixedRows(std::vector<ResultColumn> c, std::vector<std::vector<std::string>> r, int failAt = -1,
              Ends how = Ends::Damaged)
        : columns_(std::move(c)), rows_(std::move(r)), failAt_(failAt), how_(how) {}
    const std::vector<ResultColumn>& columns() const override { return columns_; }
    bool fetch(std::vector<std::string>& cells) override {
        if (static_cast<int>(next_) == failAt_) {
            if (how_ == Ends::Stopped) throw QueryStopped();
            throwError(how_ == Ends::Damaged ? ErrorKind::Corrupt : ErrorKind::Io, "damaged row");
        }
        if (next_ >= rows_.size()) return false;
        cells = rows_[next_++];
        return true;
    }
    void rewind() override { next_ = 0; }

private:
    std::vector<ResultColumn> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t next_ = 0;
    int failAt_;
    Ends how_;
};

TEST(ResultFile, CellsAreCutOrFilledToTheirWidthAndFollowedByOneBlank) {
    EXPECT_EQ(resultCell("abc", 5), "abc   ");
    EXPECT_EQ(resultCell("abcdef", 3), "abc ");
    EXPECT_EQ(resultCell("abc", 0), " ");
    EXPECT_EQ(resultCell("", 2), "   ");
    const std::string long300(300, 'x');
    const std::string cell = resultCell(long300, 300);
    EXPECT_EQ(cell.size(), 301u);
    EXPECT_EQ(cell.substr(0, 45), std::string(45, ' '));  // the width above 255 as blanks first
    EXPECT_EQ(cell.substr(45, 255), std::string(255, 'x'));
    EXPECT_EQ(resultCell("ab", 256), std::string(1, ' ') + "ab" + std::string(253, ' ') + " ");
}

TEST(ResultFile, TheFileHoldsTheTextTheSeparatorTheHeaderAndTheRows) {
    test::TempDir dir;
    FixedRows rows({{w("ФАМИЛИЯ"), 4}, {"N", 3}}, {{w("ИВАНОВ"), "1"}, {"", "12345"}});
    EXPECT_EQ(writeResultFile(dir / "REPORT.TXT", {w("select фамилия,"), "  n from t"}, &rows), 2);
    const std::string expected =
        w("select фамилия,\r\n  n from t\r\n=========================\r\nФАМИ N   \r\n"
          "ИВАН 1   \r\n     123 \r\n");
    EXPECT_EQ(test::readBytes(dir / "REPORT.TXT"), expected);

    // A second save writes the file anew; an empty result has the header line only.
    FixedRows none({{"A", 1}}, {});
    writeResultFile(dir / "REPORT.TXT", {"select a from t where 0"}, &none);
    EXPECT_EQ(test::readBytes(dir / "REPORT.TXT"), "select a from t where 0\r\n=========================\r\nA \r\n");
}

TEST(ResultFile, AClosedQuerySavesTheTextAndTheSeparatorThenFails) {
    test::TempDir dir;
    test::writeBytes(dir / "REPORT.TXT", "old");
    try {
        writeResultFile(dir / "REPORT.TXT", initialStatement(), nullptr);
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(e.utf8().find("закрытым набором данных"), std::string::npos) << e.utf8();
    }
    std::string expected;
    for (const auto& l : initialStatement()) expected += l + "\r\n";
    EXPECT_EQ(test::readBytes(dir / "REPORT.TXT"), expected + "=========================\r\n");
}

TEST(ResultFile, ARowThatCannotBeReadEndsTheFileAfterTheRowsBefore) {
    test::TempDir dir;
    FixedRows rows({{"A", 1}}, {{"1"}, {"2"}, {"3"}}, 2);
    bool placed = false;
    EXPECT_THROW(writeResultFile(dir / "R.TXT", {"q"}, &rows, {}, &placed), Error);
    EXPECT_TRUE(placed);
    EXPECT_EQ(test::readBytes(dir / "R.TXT"), "q\r\n=========================\r\nA \r\n1 \r\n2 \r\n");
    // A read that the system refused is a row that cannot be read too, not a failed write.
    FixedRows unreadable({{"A", 1}}, {{"1"}, {"2"}}, 1, FixedRows::Ends::Unreadable);
    EXPECT_THROW(writeResultFile(dir / "R.TXT", {"u"}, &unreadable, {}, &placed), Error);
    EXPECT_TRUE(placed);
    EXPECT_EQ(test::readBytes(dir / "R.TXT"), "u\r\n=========================\r\nA \r\n1 \r\n");
}

// "Прервать" while Save Result walks the rows: the save is called off, nothing replaces
// the previous file, and the stop is no failure to the caller.
TEST(ResultFile, AStoppedWalkLeavesThePreviousFileAsItWas) {
    test::TempDir dir;
    test::writeBytes(dir / "REPORT.TXT", "previous save");
    FixedRows rows({{"A", 1}}, {{"1"}, {"2"}, {"3"}}, 2, FixedRows::Ends::Stopped);
    bool placed = true;
    EXPECT_THROW(writeResultFile(dir / "REPORT.TXT", {"q"}, &rows, {}, &placed), QueryStopped);
    EXPECT_FALSE(placed);
    EXPECT_EQ(test::readBytes(dir / "REPORT.TXT"), "previous save");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

TEST(ResultFile, AFullDiskLeavesThePreviousFileAsItWas) {
    test::TempDir dir;
    test::writeBytes(dir / "REPORT.TXT", "previous save");
    std::vector<std::vector<std::string>> many(20000, {std::string(200, 'x')});
    FixedRows rows({{"A", 200}}, many);
    {
        int writes = 0;
        faults::ScopedInjector fail([&](const faults::WriteCall& c) {
            return c.call == faults::Call::Write && ++writes == 3 ? faults::Fault{ENOSPC, 100} : faults::Fault{};
        });
        try {
            writeResultFile(dir / "REPORT.TXT", {"q"}, &rows);
            FAIL();
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Io);
        }
    }
    EXPECT_EQ(test::readBytes(dir / "REPORT.TXT"), "previous save");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);  // nothing left beside it
}

TEST(ResultFile, SqlTextLines) {
    EXPECT_EQ(sqlLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(sqlLines("a\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(sqlLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(sqlLines("").empty());
}

}  // namespace
}  // namespace result_file_test
}  // namespace strnum::console
