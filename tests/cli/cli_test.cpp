// strnum-cli as a user and a script see it: output, exit status, files written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>

#include "identity/insurance_number.h"
#include "support/test_support.h"

namespace strnum {
namespace {

struct Result {
    int status;
    std::string out;
};

Result runCommand(const std::string& command) {
    Result r{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) r.out.append(buf.data(), n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

Result run(const std::string& args) { return runCommand(std::string(STRNUM_CLI_PATH) + " " + args + " 2>/dev/null"); }

// The same in another current directory (where SOBES.INI and the journals are).
Result runIn(const std::filesystem::path& dir, const std::string& args) {
    return runCommand("cd '" + dir.string() + "' && " + STRNUM_CLI_PATH + " " + args + " 2>/dev/null");
}

TEST(CliNumber, BodiesAndNumberTexts) {
    EXPECT_EQ(run("number 123456789").out, "123-456-789 64\n");
    EXPECT_EQ(run("number 1").out, "000-000-001 01\n");
    const Result valid = run("number 12345678964");
    EXPECT_EQ(valid.out, "valid 123-456-789 64\n");
    EXPECT_EQ(valid.status, 0);
    const Result invalid = run("number 12345678965");
    EXPECT_EQ(invalid.out, "invalid 123-456-789 64\n");
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(run("number 1234567A964").status, 1);
    EXPECT_EQ(run("number abc").status, 2);
    EXPECT_EQ(run("").status, 2);
}

TEST(CliNumber, AgreesWithTheLibraryOnRandomBodies) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> body(0, 999'999'999);
    for (int i = 0; i < 20; ++i) {
        const int b = body(rng);
        EXPECT_EQ(run("number " + std::to_string(b)).out, displayForm(b) + "\n");
        EXPECT_EQ(run("number " + numberText(b)).out, "valid " + displayForm(b) + "\n");
    }
}

// Number assignment over a demonstration region walked on one, two and three threads: the
// report line for line and the district files byte for byte are the same.
TEST(CliAssign, TheSameWhateverTheThreads) {
    test::TempDir dir;
    const auto region = dir / "region";
    ASSERT_EQ(run("demo " + region.string() + " --districts 3 --people 2500 --directory 20000 --seed 7").status, 0);
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
        const Result inRegion = [&] {
            const std::string command = "cd '" + region.string() + "' && " + STRNUM_CLI_PATH + " assign 2>/dev/null";
            Result out{-1, {}};
            FILE* pipe = ::popen(command.c_str(), "r");
            std::array<char, 4096> buf;
            for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;) out.out.append(buf.data(), n);
            const int raw = ::pclose(pipe);
            out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            return out;
        }();
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
    ASSERT_EQ(run("demo " + region.string()).status, 0);
    const std::string pdl = test::readBytes(region / "ORTAN" / "U01" / "PDL.DBF");
    const Result json = runIn(region, "hints --json");
    ASSERT_EQ(json.status, 0);
    const std::string report = runIn(region, "hints").out;
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
    ASSERT_EQ(run("demo " + region.string() + " --districts 2 --people 300 --seed 3").status, 0);
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
    ASSERT_EQ(runIn(region, "assign").status, 0);
    EXPECT_NE(bytes(), before);
    const Result listed = runIn(region, "journal");
    EXPECT_NE(listed.out.find("assign"), std::string::npos) << listed.out;
    const std::string journal = listed.out.substr(0, listed.out.find("  "));

    const Result dry = runIn(region, "undo --dry-run " + journal);
    EXPECT_EQ(dry.status, 0) << dry.out;
    EXPECT_NE(bytes(), before);
    const Result undo = runIn(region, "undo " + journal);
    EXPECT_EQ(undo.status, 0) << undo.out;
    EXPECT_NE(undo.out.find("Участок "), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("Всего: восстановлено "), std::string::npos) << undo.out;
    EXPECT_EQ(bytes(), before);
    const Result again = runIn(region, "undo " + journal);
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("Всего: восстановлено 0, оставлено 0"), std::string::npos) << again.out;
    EXPECT_EQ(runIn(region, "undo nothere.jsonl").status, 1);
}

TEST(CliPage, ReadsLinesAsTheReportWindowWouldWriteThem) {
    test::TempDir dir;
    test::writeBytes(dir / "in.txt", "one\r\nдва\n\n\fskip\nlast\n");
    ASSERT_EQ(run("page --lines 3 " + (dir / "in.txt").string() + " " + (dir / "out.txt").string()).status, 0);
    // "два" in upper-case DOS is \x84\x82\x80.
    EXPECT_EQ(test::readBytes(dir / "out.txt"), "one\r\n\x84\x82\x80\r\n\r\n\f" + std::string(30, ' ') + "2\r\n\r\n\f" +
                                                    std::string(30, ' ') + "3\r\n\r\nlast\r\n\f");
    ASSERT_EQ(run("page --first 2 --last 2 --no-form-feed --lines 3 " + (dir / "in.txt").string() + " " +
                  (dir / "out2.txt").string())
                  .status,
              0);
    EXPECT_EQ(test::readBytes(dir / "out2.txt"), std::string(30, ' ') + "2\r\n\r\n\f");
    EXPECT_EQ(run("page " + (dir / "in.txt").string() + " /dev/null").status, 0);
}

TEST(CliPage, RefusesWhatItCannotReadOrWrite) {
    test::TempDir dir;
    EXPECT_NE(run("page " + (dir / "missing.txt").string() + " " + (dir / "o.txt").string()).status, 0);
    test::writeBytes(dir / "cjk.txt", "\xE4\xB8\xAD\n");
    EXPECT_NE(run("page " + (dir / "cjk.txt").string() + " " + (dir / "o.txt").string()).status, 0);
    test::writeBytes(dir / "ok.txt", "x\n");
    EXPECT_NE(run("page " + (dir / "ok.txt").string() + " " + (dir / "no/such/dir.txt").string()).status, 0);
    EXPECT_NE(run("page " + (dir / "ok.txt").string() + " /dev/full").status, 0);
}

}  // namespace
}  // namespace strnum
