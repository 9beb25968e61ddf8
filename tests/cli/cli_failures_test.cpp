// strnum-cli over inputs that are damaged, foreign or not files at all: the exit status
// tells what happened (0 done, 1 ended with an error, 3 went to its end past something it
// could not read or write), standard error names the file and the reason, and no file that
// is not ours is written.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "support/test_support.h"

namespace strnum {
namespace {

namespace fs = std::filesystem;

// Runs strnum-cli in `dir` (where SOBES.INI is read) with a time limit: a command that
// blocks on a pipe fails the test instead of hanging it.
test::ProgramRun cli(const fs::path& dir, const std::vector<std::string>& args) { return test::runCli(args, dir, 60); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A small demonstration region in a folder of its own, with its SOBES.INI.
struct Demo {
    test::TempDir dir;
    fs::path district = dir / "ORTAN" / "U01";
    Demo() { EXPECT_EQ(cli(dir.path(), {"demo", ".", "--districts", "2", "--people", "30"}).status, 0); }
};

TEST(CliFailures, ADamagedDistrictFileIsNamedWithItsReason) {
    Demo d;
    test::writeBytes(d.district / "PDL.DBF", std::string(40, 'x'));
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"assign", "--count-only"}, {"check"}, {"find", "--fam", "ИВАНОВ"}}) {
        SCOPED_TRACE(command[0]);
        const test::ProgramRun o = cli(d.dir.path(), command);
        EXPECT_EQ(o.status, 3);
        EXPECT_TRUE(has(o.err, test::utf8(d.district / "PDL.DBF"))) << o.err;
    }
    // A file that is simply not there is part of a region.
    fs::remove(d.district / "PDL.DBF");
    EXPECT_EQ(cli(d.dir.path(), {"assign", "--count-only"}).status, 0);
}

TEST(CliFailures, AForeignNumberDirectoryEndsTheRunBeforeAnythingIsWritten) {
    Demo d;
    fs::copy_file(test::corpusPath("paradox/paradoxdriver/db/CUSTOMER.DB"), d.dir / "NUMS" / "NUMS.DB",
                  fs::copy_options::overwrite_existing);
    fs::remove(d.dir / "NUMS" / "NUMS.PX");
    const fs::path out = d.dir / "out";
    fs::create_directory(out);
    const test::ProgramRun check = cli(d.dir.path(), {"check", "--not-found", "--batch", "--out", "out"});
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(has(check.err, "NUMS.DB")) << check.err;
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(cli(d.dir.path(), {"assign", "--count-only"}).status, 1);
}

TEST(CliFailures, ANotFoundTableThatIsNotOursIsNamedAndLeftAlone) {
    Demo d;
    const fs::path out = d.dir / "out";
    fs::create_directory(out);
    fs::copy_file(test::corpusPath("paradox/paradoxdriver/db/CUSTOMER.DB"), out / "ANKT.DB");
    const std::string before = test::readBytes(out / "ANKT.DB");
    const test::ProgramRun o = cli(d.dir.path(), {"check", "--not-found", "--out", "out"});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(has(o.out, "Ошибка при открытии таблицы ANKT"));
    EXPECT_TRUE(has(o.err, test::utf8(out / "ANKT.DB"))) << o.err;
    EXPECT_EQ(test::readBytes(out / "ANKT.DB"), before);
    EXPECT_FALSE(fs::exists(out / "ANKT.PX"));

    // --out naming a file: the table cannot be there.
    test::writeBytes(d.dir / "afile", "x");
    const test::ProgramRun file = cli(d.dir.path(), {"check", "--not-found", "--out", "afile"});
    EXPECT_EQ(file.status, 3);
    EXPECT_TRUE(has(file.err, "afile")) << file.err;
    EXPECT_EQ(test::readBytes(d.dir / "afile"), "x");
}

TEST(CliFailures, PipesWhereFilesShouldBeAreRefusedWithoutWaiting) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps its pipes apart from the folders: no pipe can stand where a file is";
#else
    Demo d;
    const std::string settings = test::readBytes(d.dir / "SOBES.INI");
    fs::remove(d.dir / "NUMS" / "NUMS.DB");
    ASSERT_EQ(::mkfifo((d.dir / "NUMS" / "NUMS.DB").c_str(), 0600), 0);
    const test::ProgramRun nums = cli(d.dir.path(), {"check"});
    EXPECT_EQ(nums.status, 1);
    EXPECT_TRUE(has(nums.err, "NUMS.DB")) << nums.err;

    fs::remove(d.dir / "SOBES.INI");
    ASSERT_EQ(::mkfifo((d.dir / "SOBES.INI").c_str(), 0600), 0);
    const test::ProgramRun ini = cli(d.dir.path(), {"find", "--fam", "ИВАНОВ", "--way", "."});
    EXPECT_TRUE(has(ini.err, "SOBES.INI")) << ini.err;
    EXPECT_NE(ini.status, -1);  // it ended, whatever it found
    (void)settings;
#endif
}

TEST(CliFailures, ADistrictListWhoseDirectoryFieldIsNoTextIsAnError) {
    Demo d;
    // W stored as a field of a type no program writes directories into.
    std::string way = test::readBytes(d.dir / "WAY.DBF");
    const std::size_t w = way.find(std::string("W\0", 2), 32);
    ASSERT_NE(w, std::string::npos);
    way[w + 11] = 'Y';  // the field's type letter
    test::writeBytes(d.dir / "WAY.DBF", way);
    const test::ProgramRun o = cli(d.dir.path(), {"assign", "--count-only"});
    EXPECT_EQ(o.status, 1);
    EXPECT_FALSE(has(o.out, "Не найден каталог"));
    EXPECT_TRUE(has(o.err, "поле W")) << o.err;
}

TEST(CliFailures, ANumberTypedAsItIsPrintedIsQuotedWhole) {
    Demo d;
    const test::ProgramRun o = cli(d.dir.path(), {"find", "--num", "877-422-464 45"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "\"877-422-4\" не является целым числом")) << o.err;
    EXPECT_TRUE(has(o.err, "877-422-464 45")) << o.err;
}

TEST(CliFailures, AReportFileThatCannotBeSavedIsExitStatusThree) {
    Demo d;
    const test::ProgramRun o = cli(d.dir.path(), {"assign", "--count-only", "--paged", "nosuchdir/report.txt"});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(has(o.err, "report.txt")) << o.err;
}

}  // namespace
}  // namespace strnum
