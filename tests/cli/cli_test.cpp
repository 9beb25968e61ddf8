// strnum-cli as a user and a script see it: output, exit status, files written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "identity/insurance_number.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::ProgramRun;

ProgramRun run(const std::vector<std::string>& args) { return test::runCli(args); }

// The same in another current directory (where SOBES.INI and the journals are).
ProgramRun runIn(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    return test::runCli(args, dir);
}

// The device that takes every byte and keeps none.
#ifdef _WIN32
const char* const kNullDevice = "NUL";
#else
const char* const kNullDevice = "/dev/null";
#endif

TEST(CliNumber, BodiesAndNumberTexts) {
    EXPECT_EQ(run({"number", "123456789"}).out, "123-456-789 64\n");
    EXPECT_EQ(run({"number", "1"}).out, "000-000-001 01\n");
    const ProgramRun valid = run({"number", "12345678964"});
    EXPECT_EQ(valid.out, "valid 123-456-789 64\n");
    EXPECT_EQ(valid.status, 0);
    const ProgramRun invalid = run({"number", "12345678965"});
    EXPECT_EQ(invalid.out, "invalid 123-456-789 64\n");
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(run({"number", "1234567A964"}).status, 1);
    EXPECT_EQ(run({"number", "abc"}).status, 2);
    EXPECT_EQ(run({}).status, 2);
}

TEST(CliNumber, AgreesWithTheLibraryOnRandomBodies) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> body(0, 999'999'999);
    for (int i = 0; i < 20; ++i) {
        const int b = body(rng);
        EXPECT_EQ(run({"number", std::to_string(b)}).out, displayForm(b) + "\n");
        EXPECT_EQ(run({"number", numberText(b)}).out, "valid " + displayForm(b) + "\n");
    }
}

// Number assignment over a demonstration region walked on one, two and three threads: the
// report line for line and the district files byte for byte are the same.
TEST(CliAssign, TheSameWhateverTheThreads) {
    test::TempDir dir;
    const auto region = dir / "region";
    ASSERT_EQ(
        run({"demo", test::utf8(region), "--districts", "3", "--people", "2500", "--directory", "20000", "--seed", "7"})
            .status,
        0);
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(region / "ORTAN"))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> pristine;
    for (const auto& f : files) pristine.push_back(test::readBytes(f));
    const std::string settings = test::readBytes(region / "SOBES.INI");
    std::string first, firstBytes;
    for (const char* threads : {"1", "2", "3"}) {
        for (std::size_t i = 0; i < files.size(); ++i) test::writeBytes(files[i], pristine[i]);
        test::writeBytes(region / "SOBES.INI", settings + "\r\n[Tables]\r\nThreads=" + threads + "\r\n");
        // SOBES.INI is read from the current directory.
        const ProgramRun inRegion = runIn(region, {"assign"});
        ASSERT_EQ(inRegion.status, 0) << threads;
        std::string bytes;
        for (const auto& f : files) bytes += test::readBytes(f).erase(1, 3);
        if (first.empty()) {
            first = inRegion.out;
            firstBytes = bytes;
            EXPECT_GT(std::count(first.begin(), first.end(), '\n'), 1000) << "a report worth comparing";
            EXPECT_NE(bytes, [&] {
                std::string b;
                for (const auto& p : pristine) b += std::string(p).erase(1, 3);
                return b;
            }()) << "numbers written";
            continue;
        }
        EXPECT_EQ(inRegion.out, first) << threads << " threads";
        EXPECT_EQ(bytes, firstBytes) << threads << " threads";
    }
}

TEST(CliHints, OneJsonObjectPerPersonNotFoundAndNothingWritten) {
    test::TempDir dir;
    const auto region = dir / "region";
    ASSERT_EQ(run({"demo", test::utf8(region)}).status, 0);
    const std::string pdl = test::readBytes(region / "ORTAN" / "U01" / "PDL.DBF");
    const ProgramRun json = runIn(region, {"hints", "--json"});
    ASSERT_EQ(json.status, 0);
    const std::string report = runIn(region, {"hints"}).out;
    std::size_t persons = 0, hinted = 0;
    for (std::size_t at = 0, end; (end = json.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = json.out.substr(at, end - at);
        ++persons;
        // The fields in their order.
        std::size_t last = 0;
        for (const char* key : {"\"district\":", "\"file\":", "\"record\":", "\"surname\":", "\"name\":",
                                "\"patronymic\":", "\"birth\":", "\"hints\":["}) {
            const std::size_t k = line.find(key);
            ASSERT_NE(k, std::string::npos) << key << " in " << line;
            EXPECT_GT(k, last) << key << " in " << line;
            last = k;
        }
        if (line.find("\"hints\":[]") != std::string::npos) continue;
        ++hinted;
        for (const char* key : {"\"NUM\":", "\"number\":", "\"status\":", "\"differs\":[", "\"confidence\":"})
            EXPECT_NE(line.find(key), std::string::npos) << key << " in " << line;
    }
    EXPECT_GT(persons, 10u);
    EXPECT_GT(hinted, 0u) << "the region types some people as another office would";
    EXPECT_NE(report.find("Не найдено : " + std::to_string(persons) + ", есть похожие : " + std::to_string(hinted)),
              std::string::npos)
        << report;
    EXPECT_EQ(test::readBytes(region / "ORTAN" / "U01" / "PDL.DBF"), pdl);
    EXPECT_FALSE(std::filesystem::exists(region / "journal"));
}

TEST(CliUndo, AWritingRunListedUndoneAndUndoneAgain) {
    test::TempDir dir;
    const auto region = dir / "region";
    ASSERT_EQ(run({"demo", test::utf8(region), "--districts", "2", "--people", "300", "--seed", "3"}).status, 0);
    std::string before;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(region / "ORTAN"))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    const auto bytes = [&] {
        std::string b;
        for (const auto& f : files) b += test::readBytes(f).erase(1, 3);
        return b;
    };
    before = bytes();
    ASSERT_EQ(runIn(region, {"assign"}).status, 0);
    EXPECT_NE(bytes(), before);
    const ProgramRun listed = runIn(region, {"journal"});
    EXPECT_NE(listed.out.find("assign"), std::string::npos) << listed.out;
    const std::string journal = listed.out.substr(0, listed.out.find("  "));

    const ProgramRun dry = runIn(region, {"undo", "--dry-run", journal});
    EXPECT_EQ(dry.status, 0) << dry.out;
    EXPECT_NE(bytes(), before);
    const ProgramRun undo = runIn(region, {"undo", journal});
    EXPECT_EQ(undo.status, 0) << undo.out;
    EXPECT_NE(undo.out.find("Участок "), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("Всего: восстановлено "), std::string::npos) << undo.out;
    EXPECT_EQ(bytes(), before);
    const ProgramRun again = runIn(region, {"undo", journal});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("Всего: восстановлено 0, оставлено 0"), std::string::npos) << again.out;
    EXPECT_EQ(runIn(region, {"undo", "nothere.jsonl"}).status, 1);
}

TEST(CliPage, ReadsLinesAsTheReportWindowWouldWriteThem) {
    test::TempDir dir;
    test::writeBytes(dir / "in.txt", "one\r\nдва\n\n\fskip\nlast\n");
    const std::string in = test::utf8(dir / "in.txt");
    ASSERT_EQ(run({"page", "--lines", "3", in, test::utf8(dir / "out.txt")}).status, 0);
    // "два" in upper-case DOS is \x84\x82\x80.
    EXPECT_EQ(test::readBytes(dir / "out.txt"), "one\r\n\x84\x82\x80\r\n\r\n\f" + std::string(30, ' ') + "2\r\n\r\n\f" +
                                                    std::string(30, ' ') + "3\r\n\r\nlast\r\n\f");
    ASSERT_EQ(
        run({"page", "--first", "2", "--last", "2", "--no-form-feed", "--lines", "3", in, test::utf8(dir / "out2.txt")})
            .status,
        0);
    EXPECT_EQ(test::readBytes(dir / "out2.txt"), std::string(30, ' ') + "2\r\n\r\n\f");
    EXPECT_EQ(run({"page", in, kNullDevice}).status, 0);
}

TEST(CliPage, RefusesWhatItCannotReadOrWrite) {
    test::TempDir dir;
    EXPECT_NE(run({"page", test::utf8(dir / "missing.txt"), test::utf8(dir / "o.txt")}).status, 0);
    test::writeBytes(dir / "cjk.txt", "\xE4\xB8\xAD\n");
    EXPECT_NE(run({"page", test::utf8(dir / "cjk.txt"), test::utf8(dir / "o.txt")}).status, 0);
    test::writeBytes(dir / "ok.txt", "x\n");
    EXPECT_NE(run({"page", test::utf8(dir / "ok.txt"), test::utf8(dir / "no/such/dir.txt")}).status, 0);
}

TEST(CliPage, ADeviceThatRefusesEveryWriteIsAnError) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that refuses every write as /dev/full does";
#else
    test::TempDir dir;
    test::writeBytes(dir / "ok.txt", "x\n");
    EXPECT_NE(run({"page", test::utf8(dir / "ok.txt"), "/dev/full"}).status, 0);
#endif
}

}  // namespace
}  // namespace strnum
