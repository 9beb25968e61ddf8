// Damaged Paradox tables: truncated files, random header bytes, block chains that loop or
// point out of the file.  Each must open with a clear error or read within its bytes.
#include <gtest/gtest.h>

#include <random>

#include "base/error.h"
#include "paradox/paradox_table.h"
#include "support/test_support.h"

namespace strnum {
namespace paradox_damage_test {  // names of its own: the Windows build compiles test files together
namespace {

namespace fs = std::filesystem;

// Opens and walks the table; true when it read, false on an Error.
bool openAndWalk(const fs::path& file) {
    try {
        ParadoxTable t(file, EngineSettings{});
        for (t.first(); !t.eof(); t.next())
            for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) (void)t.text(f);
        return true;
    } catch (const Error& e) {
        EXPECT_NE(e.text().find(file.filename().string()), std::string_view::npos) << "names the file";
        return false;
    }
}

TEST(ParadoxDamage, TruncatedFilesGiveErrors) {
    test::TempDir dir;
    for (const char* rel : {"paradox/paradoxdriver/areas/AREACODE.DB", "paradox/database-samples/lekarstva.DB",
                            "paradox/paradoxdriver/db/AREACODES.DB"}) {
        const std::string bytes = test::readCorpus(rel);
        for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{0x57}, std::size_t{0x100},
                                bytes.size() / 2, bytes.size() - 1}) {
            const fs::path f = dir / "T.DB";
            test::writeBytes(f, std::string_view(bytes).substr(0, cut));
            EXPECT_FALSE(openAndWalk(f)) << rel << " cut at " << cut;
        }
    }
}

TEST(ParadoxDamage, RandomHeaderBytesNeverCrash) {
    test::TempDir dir;
    const std::string bytes = test::readCorpus("paradox/paradoxdriver/fields/long.db");
    std::mt19937 rng(3);
    for (int i = 0; i < 400; ++i) {
        std::string b = bytes;
        for (int k = 0; k < 4; ++k) b[rng() % 0x120] = static_cast<char>(rng());
        test::writeBytes(dir / "R.DB", b);
        (void)openAndWalk(dir / "R.DB");
    }
}

TEST(ParadoxDamage, CyclicAndOutOfFileChainsAreCorrupt) {
    test::TempDir dir;
    std::string b = test::readCorpus("paradox/database-samples/lekarstva.DB");
    const std::size_t block3 = 0x800 + 2 * 2048;
    b[block3] = 2;  // block 3 -> block 2 again
    b[block3 + 1] = 0;
    test::writeBytes(dir / "C.DB", b);
    try {
        ParadoxTable t(dir / "C.DB", EngineSettings{});
        FAIL() << "a cyclic chain was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
    }
    b[block3] = static_cast<char>(0xF0);  // far past the end; block numbers are unsigned
    b[block3 + 1] = static_cast<char>(0xFF);
    test::writeBytes(dir / "C.DB", b);
    EXPECT_FALSE(openAndWalk(dir / "C.DB"));
}

// What is held in memory is bounded by what the file holds, not by what its header claims:
// record count, block counts and the last block's number all say the largest they can.
TEST(ParadoxDamage, AHeaderClaimingBillionsOfRecordsReadsWhatTheFileHolds) {
    test::TempDir dir;
    std::string b = test::readCorpus("paradox/database-samples/lekarstva.DB");
    for (std::size_t at : {0x06, 0x07, 0x08, 0x0A, 0x0B, 0x0C, 0x0D, 0x10, 0x11}) b[at] = '\xFF';
    b[0x09] = '\x7F';
    test::writeBytes(dir / "HUGE.DB", b);
    const auto before = test::heapInUse();
    try {
        ParadoxTable t(dir / "HUGE.DB", EngineSettings{});
        EXPECT_EQ(t.recordCount(), 605);
        if (before) {
            EXPECT_LT(*test::heapInUse() - *before, std::size_t{16} << 20) << "bytes held for a 200 KiB file";
        }
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.utf8();
    }
}

TEST(ParadoxDamage, ForeignFilesAreRefused) {
    test::TempDir dir;
    EXPECT_FALSE(openAndWalk(test::corpusPath("paradox/database-samples/lekarstva.PX")));
    test::writeBytes(dir / "Z.DB", std::string(5000, '\xFF'));
    EXPECT_FALSE(openAndWalk(dir / "Z.DB"));
    EXPECT_THROW(ParadoxTable(dir / "missing.DB", EngineSettings{}), Error);
}

}  // namespace
}  // namespace paradox_damage_test
}  // namespace strnum
