// Writing dBASE tables in place: only the fields set change, failures leave the record as
// it was, two programs never write one record at once, indexes we cannot maintain stop
// the edit.  Also creating tables.
#include <gtest/gtest.h>

#include <fstream>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::readBytes;
using test::TempDir;
using test::u;
using test::w;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kDistrict = {
    {"NPD", 'C', 10, 0},  {"FM", 'C', 25, 0},   {"IM", 'C', 20, 0}, {"DTR", 'D', 8, 0},
    {"NPSU", 'C', 11, 0}, {"SUMMA", 'N', 9, 2}, {"KOD", 'N', 9, 0}, {"LG", 'L', 1, 0},
};

fs::path makeDistrict(const TempDir& dir, std::uint8_t ld = 0x65, int records = 3) {
    const fs::path file = dir / "PDL.DBF";
    DbfWriter wr(file, kDistrict, ld);
    for (int i = 0; i < records; ++i)
        wr.append({std::to_string(i + 1), w("Иванов"), w("Пётр"), "01.02.1950", "", "12.5", "007", "T"});
    wr.append({"X", w("Удалённый")}, true);
    wr.finish();
    return file;
}

ErrorKind kindOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error";
    return ErrorKind::Io;
}

TEST(DbfCreate, WrittenTableReadsBack) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    DbfTable t(file, "PDL.DBF", {});
    EXPECT_EQ(t.header().languageDriver, 0x65);
    EXPECT_EQ(t.recordCount(), 3);  // the deleted one is invisible
    EXPECT_EQ(u(t.text(t.fieldByName("FM"))), "Иванов");
    EXPECT_EQ(t.date(t.fieldByName("DTR")), Date::fromYmd(1950, 2, 1));
    EXPECT_EQ(t.text(t.fieldByName("SUMMA")), "12.5");
    EXPECT_EQ(t.text(t.fieldByName("KOD")), "7");
    EXPECT_EQ(t.integer(t.fieldByName("KOD")), 7);
    EXPECT_TRUE(t.isEmpty(t.fieldByName("NPSU")));
    const std::string bytes = readBytes(file);
    EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 0x1A);
    EXPECT_EQ(bytes.size(), t.header().headerLength + 4u * t.header().recordLength + 1);
}

TEST(DbfCreate, RefusesBadLayoutsAndExistingFiles) {
    TempDir dir;
    EXPECT_EQ(kindOf([&] {
                  createDbfTable(dir / "A.DBF", {{"TOO_LONG_NAME", 'C', 5, 0}}, 0);
              }),
              ErrorKind::InvalidArgument);
    EXPECT_FALSE(fs::exists(dir / "A.DBF"));
    EXPECT_EQ(kindOf([&] { createDbfTable(dir / "B.DBF", {{"D", 'D', 9, 0}}, 0); }), ErrorKind::InvalidArgument);
    createDbfTable(dir / "C.DBF", {{"F", 'C', 5, 0}}, 0);
    EXPECT_EQ(kindOf([&] { createDbfTable(dir / "C.DBF", {{"F", 'C', 5, 0}}, 0); }), ErrorKind::Io);
}

TEST(DbfEdit, OnlyTheFieldsSetChange) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    const std::string before = readBytes(file);
    DbfTable t(file, "PDL.DBF", {});
    t.next();  // record 2
    t.edit();
    t.setText(t.fieldByName("NPSU"), "01234567890");
    t.post();
    const std::string after = readBytes(file);
    ASSERT_EQ(before.size(), after.size());
    const auto& h = t.header();
    const std::size_t at = h.headerLength + h.recordLength + 1 + 10 + 25 + 20 + 8;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i >= 1 && i <= 3) continue;  // last-update date
        if (i >= at && i < at + 11) continue;
        ASSERT_EQ(before[i], after[i]) << "byte " << i;
    }
    EXPECT_EQ(after.substr(at, 11), "01234567890");
    DbfTable again(file, "PDL.DBF", {});
    again.next();
    EXPECT_EQ(again.text(again.fieldByName("NPSU")), "01234567890");
}

TEST(DbfEdit, RoundTripOverEveryRecordOfARealTable) {
    TempDir dir;
    const fs::path file = test::copyCorpus("dbf/kladr/SOCRBASE.DBF", dir);
    const std::string before = readBytes(file);
    {
        DbfTable t(file, "SOCRBASE.DBF", {});
        const FieldId f = t.fieldByName("KOD_T_ST");
        for (t.first(); !t.eof(); t.next()) {
            t.edit();
            t.setText(f, std::to_string(t.recordNumber() % 1000));
            t.post();
        }
    }
    const std::string after = readBytes(file);
    ASSERT_EQ(before.size(), after.size());
    DbfTable t(file, "SOCRBASE.DBF", {});
    const auto& h = t.header();
    const auto& kod = h.fields[static_cast<std::size_t>(t.fieldByName("KOD_T_ST"))];
    std::size_t changed = 0;
    for (std::size_t i = 4; i < before.size(); ++i) {
        const bool inRecords = i >= h.headerLength && i < h.headerLength + std::size_t{h.recordLength} * 148;
        const std::size_t inRecord = inRecords ? (i - h.headerLength) % h.recordLength : 0;
        const bool inKod = inRecords && inRecord >= static_cast<std::size_t>(kod.offset) &&
                           inRecord < static_cast<std::size_t>(kod.offset + kod.length);
        if (!inKod) {
            ASSERT_EQ(before[i], after[i]) << "byte " << i;
        }
        changed += before[i] != after[i];
    }
    EXPECT_GT(changed, 0u);
    for (t.first(); !t.eof(); t.next())
        ASSERT_EQ(t.text(t.fieldByName("KOD_T_ST")), std::to_string(t.recordNumber() % 1000));
}

TEST(DbfEdit, ValuesThatCannotBeStoredFailWhenSet) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    const std::string before = readBytes(file);
    DbfTable t(file, "PDL.DBF", {});
    t.edit();
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("NPSU"), "012345678901"); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("KOD"), "12a"); }), ErrorKind::Conversion);
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("KOD"), "1234567890"); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("SUMMA"), "1.234"); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("FM"), "\x88"); }), ErrorKind::Conversion);  // euro: not in 866
    EXPECT_EQ(kindOf([&] { t.setText(t.fieldByName("DTR"), "31.02.1950"); }), ErrorKind::Conversion);
    EXPECT_EQ(kindOf([&] { t.setDate(t.fieldByName("FM"), Date::fromYmd(2000, 1, 1)); }), ErrorKind::Unsupported);
    t.post();  // nothing was set
    EXPECT_EQ(readBytes(file), before);
}

TEST(DbfEdit, NumbersLoseLeadingZerosAndKeepDecimals) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    DbfTable t(file, "PDL.DBF", {});
    t.edit();
    t.setText(t.fieldByName("KOD"), "000123");
    t.setText(t.fieldByName("SUMMA"), "-5");
    t.setInteger(t.fieldByName("NPSU"), 42);
    t.setDate(t.fieldByName("DTR"), Date());
    t.setText(t.fieldByName("FM"), w("Ёлкин"));
    t.post();
    EXPECT_EQ(t.text(t.fieldByName("KOD")), "123");
    EXPECT_EQ(t.recordBytes().substr(static_cast<std::size_t>(t.header().fields[5].offset), 9), "    -5.00");
    EXPECT_EQ(t.text(t.fieldByName("NPSU")), "42");
    EXPECT_TRUE(t.isEmpty(t.fieldByName("DTR")));
    EXPECT_EQ(u(t.text(t.fieldByName("FM"))), "Ёлкин");
}

TEST(DbfEdit, CancelLeavesTheFileAlone) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    const std::string before = readBytes(file);
    DbfTable t(file, "PDL.DBF", {});
    t.edit();
    t.setText(t.fieldByName("FM"), "X");
    EXPECT_EQ(t.text(t.fieldByName("FM")), "X");
    t.cancel();
    EXPECT_EQ(u(t.text(t.fieldByName("FM"))), "Иванов");
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(kindOf([&] { t.setText(0, "1"); }), ErrorKind::InvalidArgument);  // not editing
}

TEST(DbfEdit, PostStartsFromTheBytesOnDisk) {
    // Another program changed a field we did not set after our edit began: its value stays.
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    DbfTable ours(file, "PDL.DBF", {});
    ours.edit();
    ours.setText(ours.fieldByName("NPSU"), "11111111111");
    {
        File other(file, File::Mode::ReadWrite);
        const std::size_t at = ours.header().headerLength + 1 + 10;
        other.writeAt(at, "Petrov", 6);
    }
    ours.post();
    DbfTable check(file, "PDL.DBF", {});
    EXPECT_EQ(check.text(check.fieldByName("FM")).substr(0, 6), "Petrov");
    EXPECT_EQ(check.text(check.fieldByName("NPSU")), "11111111111");
}

TEST(DbfEdit, LockedRecordFailsCleanlyInAnotherTableObject) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    EngineSettings quick;
    quick.lockWaitMilliseconds = 50;
    DbfTable a(file, "PDL.DBF", quick), b(file, "PDL.DBF", quick);
    a.edit();
    EXPECT_EQ(kindOf([&] { b.edit(); }), ErrorKind::Locked);
    b.next();
    b.edit();  // a different record is free
    b.cancel();
    a.cancel();
    b.first();
    b.edit();
    b.cancel();
}

TEST(DbfEdit, TwoProcessesSameRecordTheSecondFails) {
    const std::pair<LockScheme, const char*> schemes[] = {
        {LockScheme::Dbase, "dBASE"}, {LockScheme::Clipper, "Clipper"}, {LockScheme::FoxPro, "FoxPro"}};
    for (const auto& [scheme, name] : schemes) {
        TempDir dir;
        const fs::path file = makeDistrict(dir);
        EngineSettings s;
        s.lockScheme = scheme;
        s.lockWaitMilliseconds = 100;
        DbfTable parent(file, "PDL.DBF", s);
        parent.edit();
        parent.setText(parent.fieldByName("NPSU"), "22222222222");
        // The other process: 0 when it finds the record locked, 1 when it could edit it.
        const test::ProgramRun other =
            test::runProgram({test::editWorkerProgram(), "try", test::utf8(file), name, "100"});
        EXPECT_EQ(other.status, 0) << name << " " << other.err;
        parent.post();
        DbfTable check(file, "PDL.DBF", s);
        EXPECT_EQ(check.text(check.fieldByName("NPSU")), "22222222222");
    }
}

TEST(DbfEdit, TwoProcessesDifferentRecordsLoseNoUpdate) {
    TempDir dir;
    const fs::path file = makeDistrict(dir, 0x65, 40);
    // This process edits odd records, another even ones, at the same time; every update
    // must survive.
    test::ChildProcess other({test::editWorkerProgram(), "stripe", test::utf8(file)});
    int rc = 0;
    try {
        DbfTable t(file, "PDL.DBF", {});
        const FieldId npsu = t.fieldByName("NPSU");
        for (t.first(); !t.eof(); t.next()) {
            if (t.recordNumber() % 2 == 0) continue;
            t.edit();
            t.setText(npsu, std::to_string(t.recordNumber()));
            t.post();
        }
    } catch (...) {
        rc = 1;
    }
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(other.wait(), 0);
    DbfTable t(file, "PDL.DBF", {});
    for (t.first(); !t.eof(); t.next()) {
        const bool even = t.recordNumber() % 2 == 0;
        EXPECT_EQ(t.text(t.fieldByName(even ? "IM" : "NPSU")), std::to_string(t.recordNumber()));
        if (even) {
            EXPECT_TRUE(t.isEmpty(t.fieldByName("NPSU")));
        } else {
            EXPECT_EQ(u(t.text(t.fieldByName("IM"))), "Пётр");
        }
    }
}

TEST(DbfEdit, ReadOnlyFileOpensButRefusesEdits) {
    TempDir dir;
    const fs::path file = makeDistrict(dir);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (std::ofstream(file, std::ios::binary | std::ios::app).is_open())
        GTEST_SKIP() << "running as a user who may write anything";
    DbfTable t(file, "PDL.DBF", {});
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(kindOf([&] { t.edit(); }), ErrorKind::Io);
}

TEST(DbfEdit, InsertAndKeysAreNotOffered) {
    TempDir dir;
    DbfTable t(makeDistrict(dir), "PDL.DBF", {});
    EXPECT_EQ(kindOf([&] { t.insert(); }), ErrorKind::Unsupported);
    t.setIndexFieldNames("");
    EXPECT_EQ(kindOf([&] { t.setIndexFieldNames("FM"); }), ErrorKind::NotFound);
}

}  // namespace
}  // namespace strnum
