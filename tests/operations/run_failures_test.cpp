// What a run could not do is told, and never taken for done: a district file that is there
// but cannot be read, records that cannot be written, a batch or a not-found table that
// cannot be written, a number directory that is no number directory.  The report keeps its
// own lines; the reason goes beside them (Host::notice), and the files are whole.
#include <gtest/gtest.h>

#include <cerrno>

#include "batches/not_found_table.h"
#include "batches/persdat2.h"
#include "data/table_open.h"
#include "operations/assign_numbers.h"
#include "operations/check_numbers.h"
#include "paradox/paradox_table.h"
#include "support/memory_directory.h"
#include "support/region.h"
#include "support/test_support.h"
#include "system/file_faults.h"
#include "walk/recording_host.h"

namespace strnum {
namespace run_failures_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::DirectoryEntry;
using test::u;
using test::w;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kPdl = {
    {"NPD", 'C', 8, 0},   {"FM", 'C', 30, 0},    {"IM", 'C', 20, 0}, {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0},
    {"NPSU", 'C', 11, 0}, {"NPSUI", 'C', 11, 0}, {"VDP", 'C', 2, 0}, {"VP", 'C', 2, 0},  {"POL", 'C', 1, 0}};

const Date k1950 = Date::fromYmd(1950, 2, 1);

DirectoryEntry person(std::int32_t num, const char* fam, const char* nam, const char* otch, Date birth) {
    return {num, w(fam), w(nam), w(otch), birth, "A"};
}

std::vector<std::string> notices(const test::RecordingHost& host) {
    std::vector<std::string> out;
    for (const std::string& c : host.calls)
        if (c.rfind("notice ", 0) == 0) out.push_back(c.substr(7));
    return out;
}

std::vector<std::string> lines(const Report& report) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < report.lineCount(); ++i) out.push_back(u(report.line(i)));
    return out;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Assign {
    test::RecordingHost host;
    Report report;
    EngineSettings settings;
    TableObject tblPDL;
    test::MemoryDirectory directory;
    AssignRun run;
    explicit Assign(std::vector<DirectoryEntry> entries)
        : directory(std::move(entries)), run{host,     report, tblPDL, [this]() -> Table& { return directory; },
                                             settings, false,  {}} {}
    bool go(const test::Region& region) { return assignNumbers(run, region.dir.path().string()); }
    void readOnlyFiles() {
        settings.readOnly = true;
        tblPDL.setSettings(settings);
    }
};

TEST(RunFailures, RecordsThatCannotBeWrittenAreReportedAndTheirReasonToldOnce) {
    test::Region region;
    region.file("PDL.DBF", kPdl,
                {{"17", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "", "", " 1", "03"},
                 {"18", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "123", "", " 1", "03"}});
    const std::string before = test::readBytes(region.district / "PDL.DBF");
    Assign a({person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950)});
    a.readOnlyFiles();
    ASSERT_TRUE(a.go(region));
    const auto l = lines(a.report);
    // The report's own lines, as for any failed write, and the counters as they stand.
    EXPECT_EQ(
        std::count_if(l.begin(), l.end(), [](const std::string& s) { return s.starts_with("*** Ошибка записи у N"); }),
        2);
    EXPECT_NE(std::find(l.begin(), l.end(), "     Найдено 2 , проставлено 2 , исправлено : 1"), l.end());
    // Why, once for the file.
    const auto n = notices(a.host);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_TRUE(contains(n[0], "PDL.DBF")) << n[0];
    EXPECT_TRUE(contains(n[0], "только для чтения")) << n[0];
    EXPECT_TRUE(contains(n[0], "не записано записей этого файла: 2")) << n[0];
    EXPECT_EQ(test::readBytes(region.district / "PDL.DBF"), before);
}

TEST(RunFailures, TheSecondNumbersLineComesBeforeItsWriteAndItsFailureAfter) {
    test::Region region;
    region.file("PDL.DBF", kPdl, {{"17", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "12345678964", "", " 3", "01"}});
    Assign a({person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950)});
    a.readOnlyFiles();
    ASSERT_TRUE(a.go(region));
    const auto l = lines(a.report);
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[1], "Проставлен пустой номер NPSUI у N 17 ИВАНОВ ИВАН ИВАНОВИЧ  N 12345678964");
    EXPECT_EQ(l[2], "*** Ошибка записи 2 номера у N 17 ИВАНОВ ИВАН ИВАНОВИЧ 01.02.1950");
}

TEST(RunFailures, ADamagedDistrictFileIsToldWithItsReasonAndAMissingOneIsNot) {
    test::Region region;
    region.file("PDL.DBF", kPdl, {{"17", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "", "", " 1", "03"}});
    test::writeBytes(region.district / "OPEKA.DBF", "not a table at all");
    Assign a({person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950)});
    ASSERT_TRUE(a.go(region));
    const auto l = lines(a.report);
    EXPECT_NE(std::find(l.begin(), l.end(), "Ошибка открытия файла OPEKA.DBF"), l.end());
    EXPECT_NE(std::find(l.begin(), l.end(), "Ошибка открытия файла NZKORM.DBF"), l.end());
    const auto n = notices(a.host);
    ASSERT_EQ(n.size(), 1u);  // OPEKA.DBF only: NZKORM.DBF and PDLN.DBF are not there at all
    EXPECT_TRUE(contains(n[0], (region.district / "OPEKA.DBF").string())) << n[0];
}

struct Check {
    test::Region region;
    test::TempDir program;
    test::RecordingHost host;
    Report report;
    TableObject tblPDL;
    EngineSettings settings;
    std::unique_ptr<Table> directory;
    test::MemoryDirectory memory;
    Colour highlight = kRed;
    CheckRun run;
    explicit Check(CheckOptions options, std::vector<DirectoryEntry> entries = {})
        : memory(std::move(entries)),
          run{host,
              report,
              tblPDL,
              [this]() -> Table& { return directory ? *directory : memory; },
              settings,
              options,
              [] { return false; },
              [] { return false; },
              program.path(),
              "012-345-678901",
              highlight} {
        // A person whose name differs: one batch line.  A number the directory lacks: one
        // not-found record.
        region.file("PDL.DBF", kPdl,
                    {{"17", "ИВАНОВА", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "12345678964", "", " 1", "03"},
                     {"18", "ПЕТРОВ", "ПЕТР", "ПЕТРОВИЧ", "01.02.1950", "11111111145", "", " 1", "03"}});
    }
    bool go() { return checkNumbers(run, region.dir.path().string()); }
};

TEST(RunFailures, ABatchThatCannotBeWrittenLeavesTheOldOneWhole) {
    for (const std::size_t through : {std::size_t{0}, std::size_t{100}}) {
        CheckOptions o;
        o.batches = true;
        Check c(o, {person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950)});
        const fs::path batch = c.program / kBatchFileName;
        test::writeBytes(batch, "the batch of the run before\r\n");
        faults::ScopedInjector full([&](const faults::WriteCall& call) {
            if (call.call == faults::Call::Write && call.file.filename().string().starts_with(kBatchFileName))
                return faults::Fault{ENOSPC, through};
            return faults::Fault{};
        });
        EXPECT_TRUE(c.go());
        EXPECT_EQ(test::readBytes(batch), "the batch of the run before\r\n");
        const auto n = notices(c.host);
        ASSERT_EQ(n.size(), 1u);
        EXPECT_TRUE(contains(n[0], batch.string())) << n[0];
        EXPECT_TRUE(contains(n[0], "нет места на диске")) << n[0];
        // Nothing is left beside it.
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(c.program.path())) ++files;
        EXPECT_EQ(files, 1u);
    }
}

TEST(RunFailures, AForeignNotFoundTableIsToldAndNeverWritten) {
    CheckOptions o;
    o.notFoundList = true;
    Check c(o);
    const fs::path ankt = c.program / "ANKT.DB";
    fs::copy_file(test::corpusPath("paradox/paradoxdriver/db/CUSTOMER.DB"), ankt);
    const std::string before = test::readBytes(ankt);
    EXPECT_TRUE(c.go());
    const auto l = lines(c.report);
    EXPECT_NE(std::find(l.begin(), l.end(), "Ошибка при открытии таблицы ANKT"), l.end());
    const auto n = notices(c.host);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_TRUE(contains(n[0], ankt.string())) << n[0];
    EXPECT_TRUE(contains(n[0], "не совпадает по структуре")) << n[0];
    EXPECT_EQ(test::readBytes(ankt), before);
    EXPECT_FALSE(fs::exists(c.program / "ANKT.PX"));
}

TEST(RunFailures, NotFoundNumbersThatCannotBeWrittenAreTold) {
    CheckOptions o;
    o.notFoundList = true;
    Check c(o);
    createNotFoundTable(c.program.path());
    const std::string before = test::readBytes(c.program / "ANKT.DB");
    faults::ScopedInjector full([&](const faults::WriteCall& call) {
        if (call.call == faults::Call::Write && contains(call.file.string(), "ANKT")) return faults::Fault{ENOSPC, 0};
        return faults::Fault{};
    });
    EXPECT_TRUE(c.go());
    const auto n = notices(c.host);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_TRUE(contains(n[0], "ANKT")) << n[0];
    EXPECT_EQ(test::readBytes(c.program / "ANKT.DB"), before);
}

TEST(RunFailures, TheCheckRefusesANumberDirectoryWithoutNumbersBeforeWritingAnything) {
    CheckOptions o;
    o.notFoundList = true;
    o.batches = true;
    Check c(o);
    test::TempDir nums;
    fs::copy_file(test::corpusPath("paradox/paradoxdriver/db/CUSTOMER.DB"), nums / "NUMS.DB");
    c.directory = openTable(nums.path(), "NUMS", TableType::Default, {});
    EXPECT_FALSE(c.go());
    const auto l = lines(c.report);
    EXPECT_EQ(l.size(), 3u);  // the title lines only
    ASSERT_FALSE(c.host.calls.empty());
    const std::string error = c.host.calls.back();
    EXPECT_TRUE(contains(error, "NUMS.DB")) << error;
    EXPECT_TRUE(contains(error, "NUM")) << error;
    EXPECT_TRUE(fs::is_empty(c.program.path()));  // neither ANKT.DB nor a batch
}

}  // namespace
}  // namespace run_failures_test
}  // namespace strnum
