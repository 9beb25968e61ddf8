#include "walk/district_walk.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "walk/recording_host.h"

namespace strnum {
namespace {

using test::RecordingHost;
using test::TempDir;

void writeWay(const TempDir& dir, const std::vector<std::string>& districts) {
    DbfWriter way(dir / "WAY.DBF", {{"W", 'C', 60, 0}, {"NAME", 'C', 20, 0}}, 0x65);
    for (const auto& d : districts) way.append({d, "x"});
    way.finish();
}

std::vector<std::string> after(const std::vector<std::string>& calls, const std::string& first) {
    auto it = std::find(calls.begin(), calls.end(), first);
    return std::vector<std::string>(it, calls.end());
}

TEST(DistrictWalk, VisitsEveryDistrictAndSkipsMissingDirectories) {
    TempDir dir;
    std::filesystem::create_directory(dir / "U01");
    std::filesystem::create_directory(dir / "u03");
    writeWay(dir, {(dir / "U01").string(), (dir / "U02").string(), (dir / "U03").string()});
    RecordingHost host;
    host.answer = true;
    Report report;
    std::vector<std::string> visited;
    DistrictWalk walk;
    walk.step = [&](const std::string& written, const std::filesystem::path& d) {
        visited.push_back(test::u(written) + " -> " + d.filename().string());
    };
    walk.summary = [] { return std::string("done"); };
    EXPECT_TRUE(runDistrictWalk(host, report, dir.path().string(), {}, walk));
    // U03 is found as u03, without regard to letter case (on Windows by the system itself,
    // the directory as written).
#ifdef _WIN32
    const char* const u03 = "U03";
#else
    const char* const u03 = "u03";
#endif
    EXPECT_EQ(visited,
              (std::vector<std::string>{(dir / "U01").string() + " -> U01", (dir / "U03").string() + " -> " + u03}));
    ASSERT_EQ(report.lineCount(), 1u);
    EXPECT_EQ(test::u(report.line(0)), "Не найден каталог " + (dir / "U02").string());
    EXPECT_EQ(host.calls.front(), "range 0..3");
    EXPECT_EQ(after(host.calls, "progress 3")[1], "label 2 " + (dir / "U03").string());
    EXPECT_EQ(after(host.calls, "not busy"),
              (std::vector<std::string>{"not busy", "progress hidden", "confirm done", "report"}));
}

TEST(DistrictWalk, EmptyListStillAsksTheQuestion) {
    TempDir dir;
    writeWay(dir, {});
    RecordingHost host;
    Report report;
    report.appendLine("old");
    DistrictWalk walk;
    walk.step = [](const std::string&, const std::filesystem::path&) { FAIL(); };
    walk.summary = [] { return std::string("0"); };
    EXPECT_TRUE(runDistrictWalk(host, report, dir.path().string(), {}, walk));
    EXPECT_TRUE(report.empty());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"range 0..0", "progress 0", "progress shown", "busy", "not busy",
                                                    "progress hidden", "confirm 0"}));
}

TEST(DistrictWalk, ErrorInAStepEndsTheRunAfterTheClosingStep) {
    TempDir dir;
    std::filesystem::create_directory(dir / "U01");
    writeWay(dir, {(dir / "U01").string(), (dir / "U01").string()});
    RecordingHost host;
    Report report;
    int steps = 0;
    bool finished = false;
    DistrictWalk walk;
    walk.step = [&](const std::string&, const std::filesystem::path&) {
        ++steps;
        throw Error(ErrorKind::NotFound, "boom");
    };
    walk.summary = [] { return std::string("q"); };
    walk.finish = [&] { finished = true; };
    EXPECT_FALSE(runDistrictWalk(host, report, dir.path().string(), {}, walk));
    EXPECT_EQ(steps, 1);
    EXPECT_TRUE(finished);
    EXPECT_EQ(after(host.calls, "not busy"),
              (std::vector<std::string>{"not busy", "progress hidden", "confirm q", "error boom"}));
}

TEST(DistrictWalk, MissingDistrictListIsShownWithoutAQuestion) {
    TempDir dir;
    RecordingHost host;
    Report report;
    bool prepared = false;
    DistrictWalk walk;
    walk.prepare = [&] { prepared = true; };
    walk.step = [](const std::string&, const std::filesystem::path&) {};
    EXPECT_FALSE(runDistrictWalk(host, report, (dir / "nowhere").string(), {}, walk));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].rfind("error ", 0), 0u);
    EXPECT_FALSE(prepared);
}

TEST(DistrictWalk, ListWithoutFieldWFailsAtItsFirstRecord) {
    TempDir dir;
    {
        DbfWriter way(dir / "WAY.DBF", {{"DIR", 'C', 20, 0}}, 0x65);
        way.append({"x"});
        way.finish();
    }
    RecordingHost host;
    Report report;
    DistrictWalk walk;
    walk.step = [](const std::string&, const std::filesystem::path&) {};
    walk.summary = [] { return std::string("q"); };
    EXPECT_FALSE(runDistrictWalk(host, report, dir.path().string(), {}, walk));
    EXPECT_EQ(host.calls[host.calls.size() - 2], "confirm q");
    EXPECT_EQ(host.calls.back().rfind("error ", 0), 0u);
}

}  // namespace
}  // namespace strnum
