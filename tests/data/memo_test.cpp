// Memo contents of real tables made by other programs (.DBT of dBASE III and IV, .FPT of
// FoxPro, .MB of Paradox), checked against the independent readers' dumps; missing and
// damaged memo files give errors naming the field, never a crash.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/error.h"
#include "base/text.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"
#include "support/test_support.h"

namespace strnum {
namespace memo_test {  // names of its own: the Windows build compiles test files together
namespace {

namespace fs = std::filesystem;

nlohmann::json oracle(const std::string& rel) {
    std::ifstream in(test::corpusPath("oracle/" + rel));
    return nlohmann::json::parse(in);
}

bool ascii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// CRC-32 (the zlib one), as the dumps give it.
std::uint32_t crcOf(const std::string& bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        c ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

// Every text memo of the table as the oracle read it (where it decoded the bytes as we do,
// or they are ASCII), every record in order.
// dBASE IV lengths count the eight bytes before the value; the other reader takes them for
// the value's own and reads eight bytes further (NULs, or what an earlier value left): there
// its text starts with ours and runs on by at most eight bytes.
void expectDbfMemos(const std::string& rel, bool textsAsWeRead, bool eightMoreThere = false) {
    SCOPED_TRACE(rel);
    const auto o = oracle("dbf/" + rel.substr(0, rel.rfind('.')) + ".dbf.json");
    DbfTable t(test::corpusPath("dbf/" + rel), rel, {});
    const auto& fields = o["fields"];
    std::size_t r = 0, compared = 0;
    for (t.first(); !t.eof(); t.next(), ++r) {
        ASSERT_LT(r, o["records"].size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i]["type"] != "M") continue;
            const auto f = t.fieldByName(fields[i]["name"].get<std::string>());
            const MemoValue v = t.memo(f);
            const auto& expected = o["records"][r][i];
            if (expected.is_null()) {
                EXPECT_TRUE(v.bytes.empty()) << r;
                continue;
            }
            const std::string want = expected.get<std::string>();
            if (!textsAsWeRead && !ascii(want)) continue;
            EXPECT_TRUE(v.text);
            const std::string ours = cp1251ToUtf8(v.bytes);
            if (eightMoreThere) {
                EXPECT_EQ(want.substr(0, ours.size()), ours) << "record " << r << ", " << fields[i]["name"];
                EXPECT_LE(want.size(), ours.size() + 8) << "record " << r;
            } else {
                EXPECT_EQ(ours, want) << "record " << r << ", " << fields[i]["name"];
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
}

TEST(Memo, DbaseAndFoxProMemosReadAsTheOtherReaderReadsThem) {
    expectDbfMemos("infused-dbf/dbase_83.dbf", true);                   // dBASE III .DBT
    expectDbfMemos("dans-dbf-lib/dbase3plus_cars_del/cars.dbf", true);  // III, a deleted record
    expectDbfMemos("dans-dbf-lib/dbase3plus_usage/MYTABLE.DBF", true);
    expectDbfMemos("infused-dbf/dbase_8b.dbf", true, true);  // dBASE IV .DBT
    expectDbfMemos("DbfDataReader/client.dbf", true, true);
    expectDbfMemos("dans-dbf-lib/russian_foxpro/rus.dbf", true);  // FoxPro 2 .FPT, Cyrillic 866
    expectDbfMemos("dans-dbf-lib/foxpro26_special/FPROALL.DBF", true);
    expectDbfMemos("dbfread/memotest.dbf", true);             // Visual FoxPro pointers
    expectDbfMemos("infused-dbf/foxprodb/calls.dbf", false);  // code page 1252 marked
    expectDbfMemos("infused-dbf/dbase_30.dbf", false);
}

// Paradox BLOB fields: text memos as text, the others as bytes of the size and checksum the
// other reader gives.
void expectParadoxBlobs(const std::string& rel, bool textsAsWeRead) {
    SCOPED_TRACE(rel);
    const auto o = oracle("paradox/" + rel.substr(0, rel.rfind('.')) + ".db.json");
    ParadoxTable t(test::corpusPath("paradox/" + rel), EngineSettings{});
    const auto& fields = o["fields"];
    std::size_t r = 0, compared = 0;
    for (t.first(); !t.eof(); t.next(), ++r) {
        ASSERT_LT(r, o["records"].size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string type = fields[i]["type"];
            if (type != "M" && type != "B" && type != "F" && type != "O" && type != "G") continue;
            const MemoValue v = t.memo(static_cast<FieldId>(i));
            const auto& expected = o["records"][r][i];
            if (expected.is_null()) {
                EXPECT_TRUE(v.bytes.empty()) << r;
                continue;
            }
            ASSERT_TRUE(expected.is_object()) << expected.dump();
            EXPECT_EQ(v.bytes.size(), expected["size"].get<std::size_t>()) << "record " << r << ", field " << i;
            if (expected.contains("text")) {
                EXPECT_TRUE(v.text);
                if (textsAsWeRead || ascii(expected["text"].get<std::string>())) {
                    EXPECT_EQ(cp1251ToUtf8(v.bytes), expected["text"].get<std::string>()) << "record " << r;
                }
            } else {
                EXPECT_FALSE(v.text);
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x", crcOf(v.bytes));
                EXPECT_EQ(hex, expected["crc32"].get<std::string>()) << "record " << r << ", field " << i;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
}

TEST(Memo, ParadoxBlobsReadAsTheOtherReaderReadsThem) {
    expectParadoxBlobs("database-samples/lekarstva.DB", true);   // Russian memos, code page 866
    expectParadoxBlobs("paradoxdriver/fields/fmemo.db", false);  // formatted memo
    expectParadoxBlobs("paradoxdriver/fields/graphic240.db", false);
    expectParadoxBlobs("paradoxdriver/fields/ole.db", false);
    expectParadoxBlobs("database-samples/events.db", false);  // memo and graphic, both block kinds
    expectParadoxBlobs("paradoxdriver/db/CUSTOMER.DB", false);
}

TEST(Memo, MissingOrDamagedMemoFilesAreErrorsNamingTheField) {
    // The memo file is deliberately absent beside this one.
    DbfTable t(test::corpusPath("dbf/infused-dbf/dbase_8b_incorrect_record_count.dbf"), "X.DBF", {});
    bool failed = false;
    for (t.first(); !t.eof(); t.next()) {
        try {
            (void)t.memo(t.fieldByName("MEMO"));
        } catch (const Error& e) {
            failed = true;
            EXPECT_NE(e.utf8().find("MEMO"), std::string::npos) << e.utf8();
            EXPECT_NE(e.utf8().find(".DBT"), std::string::npos) << e.utf8();
        }
    }
    EXPECT_TRUE(failed);
    // A memo file cut short, or full of garbage: errors or values within the file, for every
    // record.
    test::TempDir dir;
    const fs::path db = test::copyCorpus("dbf/infused-dbf/dbase_83.dbf", dir);
    const std::string memo = test::readCorpus("dbf/infused-dbf/dbase_83.dbt");
    for (const std::string& bad : {memo.substr(0, 700), std::string(3000, '\xFF'), std::string()}) {
        test::writeBytes(dir / "dbase_83.dbt", bad);
        DbfTable d(db, "dbase_83.dbf", {});
        for (d.first(); !d.eof(); d.next()) {
            try {
                EXPECT_LE(d.memo(d.fieldByName("DESC")).bytes.size(), bad.size());
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
            }
        }
    }
    const fs::path px = test::copyCorpus("paradox/database-samples/lekarstva.DB", dir);
    const std::string mb = test::readCorpus("paradox/database-samples/lekarstva.MB");
    for (const std::string& bad : {mb.substr(0, 5000), std::string(9000, '\x03')}) {
        test::writeBytes(dir / "lekarstva.MB", bad);
        ParadoxTable p(px, EngineSettings{});
        for (p.first(); !p.eof(); p.next()) {
            try {
                EXPECT_LE(p.memo(1).bytes.size(), bad.size());
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
                EXPECT_NE(e.utf8().find("opisanie"), std::string::npos) << e.utf8();
            }
        }
    }
}

}  // namespace
}  // namespace memo_test
}  // namespace strnum
