// `strnum-cli dump` over dBASE tables: header line and records as JSON lines in UTF-8.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "base/error.h"
#include "support/test_support.h"

namespace strnum {
namespace {

// Runs the command-line tool (the dump lives in the tool, not in the core).
std::vector<nlohmann::json> dumpLines(const std::string& rel) {
    const test::ProgramRun run = test::runCli({"dump", test::utf8(test::corpusPath("dbf/" + rel))});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<nlohmann::json> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST(DumpDbf, HeaderLineThenRecords) {
    const auto lines = dumpLines("fias-component/testRead.dbf");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["version"], "0x03");
    EXPECT_EQ(lines[0]["code_page"], 866);
    EXPECT_EQ(lines[0]["records"], 4);
    ASSERT_EQ(lines[0]["fields"].size(), 3u);
    EXPECT_EQ(lines[0]["fields"][0]["name"], "STRSTATID");
    EXPECT_EQ(lines[0]["fields"][0]["type"], "N");
    EXPECT_EQ(lines[0]["fields"][1]["length"], 50);
    EXPECT_EQ(lines[1]["NAME"], "Не определено");
    EXPECT_EQ(lines[2]["STRSTATID"], "1");
}

TEST(DumpDbf, DatesAndEmptyValues) {
    const auto lines = dumpLines("dbfread/memotest.dbf");
    ASSERT_EQ(lines.size(), 3u);  // one deleted record is not shown
    EXPECT_EQ(lines[1]["BIRTHDATE"], "01.03.1987");
    EXPECT_EQ(lines[1]["MEMO"], "Alice memo");  // memo contents from the .FPT
}

TEST(DumpDbf, CommandLineReportsErrorsOnStandardError) {
    test::TempDir dir;
    test::writeBytes(dir / "BAD.DBF", "not a table at all, but long enough for a header");
    const test::ProgramRun run = test::runCli({"dump", test::utf8(dir / "BAD.DBF")});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("BAD.DBF"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace strnum
