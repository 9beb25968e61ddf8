// Damaged dBASE files: a header that cannot be right fails to open with a clear message;
// truncated files read what is there; nothing ever reads past the end or crashes.
#include <gtest/gtest.h>

#include <random>

#include "base/error.h"
#include "data/table_object.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

namespace strnum {
namespace dbf_damage_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

const std::string& socrbase() {
    static const std::string bytes = test::readCorpus("dbf/kladr/SOCRBASE.DBF");
    return bytes;
}

// Opens and reads everything; returns the number of records walked or -1 for an Error.
std::int64_t readAllOf(const fs::path& file) {
    try {
        DbfTable t(file, "T.DBF", {});
        std::int64_t n = 0;
        for (t.first(); !t.eof(); t.next(), ++n)
            for (FieldId f = 0; f < static_cast<FieldId>(t.fields().size()); ++f) {
                (void)t.text(f);
                (void)t.isEmpty(f);
                try {
                    (void)t.integer(f);
                } catch (const Error&) {
                }
            }
        EXPECT_EQ(n, t.recordCount());
        return n;
    } catch (const Error& e) {
        EXPECT_FALSE(e.text().empty());
        return -1;
    }
}

ErrorKind openKind(const fs::path& file) {
    try {
        DbfTable t(file, "T.DBF", {});
    } catch (const Error& e) {
        EXPECT_NE(e.utf8().find(file.filename().string()), std::string::npos) << e.utf8();
        return e.kind();
    }
    return ErrorKind::Io;  // opened
}

void put16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

TEST(DbfDamage, HeadersThatCannotBeRightFailToOpen) {
    TempDir dir;
    std::string b = socrbase();
    put16(b, 10, 0);
    writeBytes(dir / "LEN0.DBF", b);
    EXPECT_EQ(openKind(dir / "LEN0.DBF"), ErrorKind::Corrupt);

    b = socrbase();
    put16(b, 8, 60000);
    writeBytes(dir / "HEADPAST.DBF", b);
    EXPECT_EQ(openKind(dir / "HEADPAST.DBF"), ErrorKind::Corrupt);

    b = socrbase();
    b[32 + 16] = static_cast<char>(b[32 + 16] + 1);  // first field one byte longer
    writeBytes(dir / "SUM.DBF", b);
    EXPECT_EQ(openKind(dir / "SUM.DBF"), ErrorKind::Corrupt);

    b = socrbase();
    b[0] = 'P';
    writeBytes(dir / "FOREIGN.DBF", b);
    EXPECT_EQ(openKind(dir / "FOREIGN.DBF"), ErrorKind::Unsupported);

    writeBytes(dir / "EMPTY.DBF", "");
    EXPECT_EQ(openKind(dir / "EMPTY.DBF"), ErrorKind::Corrupt);
}

// What is held in memory is bounded by what the file holds, not by what its header claims.
TEST(DbfDamage, AHeaderClaimingBillionsOfRecordsReadsWhatTheFileHolds) {
    TempDir dir;
    std::string b = socrbase();
    b[4] = b[5] = b[6] = b[7] = '\xFF';  // 4294967295 records
    writeBytes(dir / "HUGE.DBF", b);
    const auto before = test::heapInUse();
    DbfTable t(dir / "HUGE.DBF", "HUGE.DBF", {});
    EXPECT_EQ(t.recordCount(), 148);
    std::int64_t n = 0;
    for (t.first(); !t.eof(); t.next()) ++n;
    EXPECT_EQ(n, 148);
    if (before) {
        EXPECT_LT(*test::heapInUse() - *before, std::size_t{1} << 20) << "bytes held for a 7 KiB file";
    }
}

TEST(DbfDamage, TruncatedAtEveryLengthReadsWhatIsThere) {
    TempDir dir;
    const std::string& full = socrbase();
    const std::size_t header = static_cast<unsigned char>(full[8]) | static_cast<unsigned char>(full[9]) << 8;
    const std::size_t record = static_cast<unsigned char>(full[10]) | static_cast<unsigned char>(full[11]) << 8;
    for (std::size_t len = 0; len <= header + 3 * record + 1; ++len) {
        const fs::path file = dir / ("CUT" + std::to_string(len) + ".DBF");
        writeBytes(file, std::string_view(full).substr(0, len));
        const std::int64_t n = readAllOf(file);
        if (len < header)
            EXPECT_EQ(n, -1) << len;
        else
            EXPECT_EQ(n, static_cast<std::int64_t>((len - header) / record)) << len;
        fs::remove(file);
    }
}

TEST(DbfDamage, RandomHeaderBytesNeverCrash) {
    TempDir dir;
    std::mt19937 rng(12345);
    const fs::path file = dir / "RND.DBF";
    for (int round = 0; round < 400; ++round) {
        std::string b = socrbase();
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) b[rng() % 200] = static_cast<char>(rng() & 0xFF);
        if (round % 5 == 0) b.resize(rng() % b.size());
        writeBytes(file, b);
        readAllOf(file);
    }
}

TEST(DbfDamage, FileShortenedWhileOpen) {
    TempDir dir;
    const fs::path file = dir / "SHRINK.DBF";
    writeBytes(file, socrbase());
    DbfTable t(file, "SHRINK.DBF", {});
    fs::resize_file(file, t.header().headerLength + 10u * t.header().recordLength + 5);
    std::int64_t n = 0;
    for (; !t.eof(); t.next()) ++n;  // the walk begun at opening read its chunk then
    EXPECT_EQ(n, 148);
    n = 0;
    for (t.first(); !t.eof(); t.next()) ++n;  // a new walk sees the file as it is now
    EXPECT_EQ(n, 10);
}

TEST(TableObject, OpensDbaseByDirectoryAndNameWithoutCase) {
    TempDir dir;
    writeBytes(dir / "pdl.dbf", socrbase());
    TableObject tbl;
    tbl.setDirectory(dir.path());
    tbl.setTableName("PDL.DBF");
    tbl.setTableType(TableType::Dbase);
    EXPECT_FALSE(tbl.isOpen());
    tbl.open();
    ASSERT_TRUE(tbl.isOpen());
    EXPECT_EQ(tbl->tableName(), "PDL.DBF");
    EXPECT_EQ(tbl->recordCount(), 148);
    tbl.setDirectory(dir / "other");  // a new place closes the table
    EXPECT_FALSE(tbl.isOpen());
    EXPECT_THROW(tbl.open(), Error);
    EXPECT_FALSE(tbl.isOpen());
    EXPECT_THROW(tbl.table(), Error);
}

}  // namespace
}  // namespace dbf_damage_test
}  // namespace strnum
