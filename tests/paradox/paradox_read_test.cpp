// Reading real Paradox tables made by other programs, checked value by value against dumps
// made with an independent reader, and the code page, order and error rules of the reader.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/error.h"
#include "base/text.h"
#include "paradox/paradox_table.h"
#include "paradox/paradox_writer.h"
#include "support/test_support.h"

namespace strnum {
namespace paradox_read_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::u;
using test::w;
namespace fs = std::filesystem;

bool ascii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The oracle's form of a value -> ours ("" where the reader gives the empty text).
void expectSame(const nlohmann::json& o, const std::string& ours, char type, bool textComparable,
                const std::string& where) {
    if (o.is_null()) {
        EXPECT_EQ(ours, "") << where;
    } else if (o.is_object()) {
        EXPECT_EQ(ours, "") << where << " (memo and blob fields read as the empty text)";
    } else if (o.is_boolean()) {
        EXPECT_EQ(ours, o.get<bool>() ? "T" : "F") << where;
    } else if (o.is_number()) {
        ASSERT_FALSE(ours.empty()) << where;
        EXPECT_DOUBLE_EQ(std::stod(ours), o.get<double>()) << where;
    } else {
        const std::string s = o.get<std::string>();
        if (type == pxtype::Date) {
            EXPECT_EQ(ours, s.substr(8, 2) + "." + s.substr(5, 2) + "." + s.substr(0, 4)) << where;
        } else if (type == pxtype::Time) {
            EXPECT_EQ(ours, s.substr(0, 8)) << where;
        } else if (type == pxtype::Timestamp) {
            EXPECT_EQ(ours, s.substr(8, 2) + "." + s.substr(5, 2) + "." + s.substr(0, 4) + " " + s.substr(11, 8))
                << where;
        } else if (type == pxtype::Bytes) {
            std::string hex = s;
            while (hex.size() >= 2 && hex.substr(hex.size() - 2) == "00") hex.resize(hex.size() - 2);
            for (auto& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(ours, hex) << where;
        } else if (type == pxtype::Bcd) {
            if (s.find_first_not_of("-0123456789.") != std::string::npos) {
                EXPECT_EQ(ours, "") << where << " (a BCD value with non-digit nibbles is invalid)";
            } else {
                EXPECT_DOUBLE_EQ(std::stod(ours), std::stod(s)) << where;
            }
        } else if (textComparable || ascii(s)) {
            EXPECT_EQ(ours, rtrim(s)) << where;
        }
    }
}

void checkAgainstOracle(const std::string& relative) {
    const fs::path oracleFile =
        test::corpusPath("oracle/paradox/" + relative.substr(0, relative.rfind('.')) + ".db.json");
    std::ifstream in(oracleFile);
    ASSERT_TRUE(in) << oracleFile;
    const auto oracle = nlohmann::json::parse(in);
    ParadoxTable t(test::corpusPath("paradox/" + relative), EngineSettings{});

    const auto& fields = oracle["fields"];
    ASSERT_EQ(t.fields().size(), fields.size()) << relative;
    for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(u(t.fields()[i].name), fields[i]["name"]) << relative;
    EXPECT_EQ(t.header().versionNumber(), oracle["header"]["file_version"].get<int>()) << relative;
    ASSERT_EQ(t.recordCount(), static_cast<std::int64_t>(oracle["records"].size())) << relative;

    // Texts compare exactly where the oracle decoded them as we do (866, 1251), and in
    // ASCII elsewhere: this system takes 1252 bytes as 1251 and other code pages as its
    // default.
    const int used = oracle["header"]["code_page_used_for_text"].get<int>();
    const bool textComparable = used == 866 || used == 1251;
    std::size_t r = 0;
    for (t.first(); !t.eof(); t.next(), ++r) {
        const auto& row = oracle["records"][r];
        for (std::size_t f = 0; f < fields.size(); ++f)
            expectSame(
                row[f], u(t.text(static_cast<FieldId>(f))), static_cast<char>(t.header().fields[f].type),
                textComparable,
                relative + " record " + std::to_string(r + 1) + " field " + fields[f]["name"].get<std::string>());
    }
    EXPECT_EQ(r, oracle["records"].size());
}

TEST(ParadoxRead, CorpusTablesMatchTheIndependentReader) {
    for (const char* rel :
         {"database-samples/CalculN.db", "database-samples/country.db", "database-samples/events.db",
          "database-samples/lekarstva.DB", "paradoxdriver/areas/AREACODE.DB", "paradoxdriver/db/AREACODES.DB",
          "paradoxdriver/db/CUSTOMER.DB", "paradoxdriver/db/NOTE1251.DB", "paradoxdriver/fields/bcd.db",
          "paradoxdriver/fields/bytes.db", "paradoxdriver/fields/date35.db", "paradoxdriver/fields/date7.db",
          "paradoxdriver/fields/fmemo.db", "paradoxdriver/fields/graphic240.db", "paradoxdriver/fields/logical.db",
          "paradoxdriver/fields/long.db", "paradoxdriver/fields/ole.db", "paradoxdriver/fields/timestamp.db",
          "paradoxdriver/joins/C.DB"}) {
        SCOPED_TRACE(rel);
        checkAgainstOracle(rel);
    }
}

TEST(ParadoxRead, Cp866TextBecomes1251AndTypedReadsWork) {
    ParadoxTable t(test::corpusPath("paradox/database-samples/lekarstva.DB"), EngineSettings{});
    EXPECT_EQ(t.codePage(), CodePage::Cp866);
    EXPECT_EQ(t.text(0), w("Абана"));
    ParadoxTable d(test::corpusPath("paradox/paradoxdriver/fields/date7.db"), EngineSettings{});
    EXPECT_EQ(d.date(0), Date::fromYmd(2018, 1, 1));
    ParadoxTable l(test::corpusPath("paradox/paradoxdriver/fields/long.db"), EngineSettings{});
    EXPECT_EQ(l.integer(1), 1);
}

TEST(ParadoxRead, WindowsCodePageHeadersAreTaken1251AndOthersTheDefault) {
    // CalculN says 1252 but holds 1251; NOTE1251 says 936 and is read by the default.
    ParadoxTable c(test::corpusPath("paradox/database-samples/CalculN.db"), EngineSettings{});
    EXPECT_EQ(c.codePage(), CodePage::Cp1251);
    EXPECT_EQ(c.text(0), w("Дневник"));
    ParadoxTable n(test::corpusPath("paradox/paradoxdriver/db/NOTE1251.DB"), EngineSettings{});
    EXPECT_EQ(n.codePage(), CodePage::Cp866);
    EngineSettings s;
    s.defaultCodePage = CodePage::Cp1251;
    ParadoxTable n2(test::corpusPath("paradox/paradoxdriver/db/NOTE1251.DB"), s);
    EXPECT_EQ(n2.codePage(), CodePage::Cp1251);
    EXPECT_EQ(paradoxTextCodePage(850, CodePage::Cp866), CodePage::Cp866);
    EXPECT_EQ(paradoxTextCodePage(1250, CodePage::Cp866), CodePage::Cp1251);
}

TEST(ParadoxRead, EncryptedTableGivesAClearOpenError) {
    try {
        ParadoxTable t(test::corpusPath("paradox/paradoxdriver/encrypt/encrypted.db"), EngineSettings{});
        FAIL() << "opened an encrypted table";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
        EXPECT_NE(e.text().find("encrypted.db"), std::string_view::npos);
        EXPECT_NE(u(e.text()).find("зашифрована"), std::string::npos);
    }
}

TEST(ParadoxRead, KeyedTableWithoutItsIndexFileStillReads) {
    test::TempDir dir;
    const auto db = test::copyCorpus("paradox/database-samples/lekarstva.DB", dir);
    ParadoxTable t(db, EngineSettings{});
    EXPECT_EQ(t.recordCount(), 605);
    t.setIndexFieldNames("");
    const KeyValue key = w("Абомин");
    ASSERT_TRUE(t.findKey(std::span(&key, 1)));
    EXPECT_EQ(t.recordNumber(), 2);
}

TEST(ParadoxRead, OrderOverMissingFieldsNamesThem) {
    ParadoxTable t(test::corpusPath("paradox/paradoxdriver/joins/C.DB"), EngineSettings{});
    try {
        t.setIndexFieldNames("A;FAM;otch");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_NE(e.text().find("FAM, otch"), std::string_view::npos) << u(e.text());
    }
    t.setIndexFieldNames("b");
    const KeyValue five = 5;
    ASSERT_TRUE(t.findKey(std::span(&five, 1)));
    EXPECT_EQ(t.integer(t.fieldByName("B")), 5);
}

TEST(ParadoxRead, ReadingPastTheEndIsAnError) {
    ParadoxTable t(test::corpusPath("paradox/paradoxdriver/fields/long.db"), EngineSettings{});
    while (!t.eof()) t.next();
    EXPECT_THROW(t.text(0), Error);
    t.next();
    EXPECT_TRUE(t.eof());
}

// Tables of many blocks whose chain is not the file order: a block left out of the chain,
// a block that is not full, two blocks swapped.  The records come in chain order, each
// block's own, whatever the file order; checked against a walk over the file's bytes.
TEST(ParadoxRead, LongChainsOutOfFileOrderReadInChainOrder) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0}, {"TXT", pxtype::Alpha, 10}};
    const std::size_t rs = 14, n = 50000;
    std::string rows(n * rs, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        pxEncodeInt(rows.data() + i * rs, 4, static_cast<std::int64_t>(i));
        ASSERT_TRUE(pxEncodeAlpha(rows.data() + i * rs + 4, 10, "T" + std::to_string(i % 1000), CodePage::Cp866));
    }
    createParadoxTable(dir / "LONG.DB", f, {}, rows);
    const std::string original = test::readBytes(dir / "LONG.DB");
    const auto u16 = [](const std::string& b, std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(b[at])) |
               (static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8);
    };
    const auto set16 = [](std::string& b, std::size_t at, unsigned v) {
        b[at] = static_cast<char>(v & 0xFF);
        b[at + 1] = static_cast<char>(v >> 8);
    };
    const std::size_t hs = u16(original, 2), bs = static_cast<std::size_t>(original[5]) * 1024;
    const std::size_t blocks = (original.size() - hs) / bs;
    ASSERT_GE(blocks, 300u);
    const auto at = [&](unsigned block) { return hs + (block - 1) * bs; };
    const auto expected = [&](const std::string& b) {
        std::vector<std::int32_t> nums;
        for (unsigned k = u16(b, 0x0E); k != 0; k = u16(b, at(k))) {
            const std::size_t count = (u16(b, at(k) + 4) + rs) % 65536 / rs;
            for (std::size_t r = 0; r < count; ++r)
                nums.push_back(static_cast<std::int32_t>(*pxDecodeInt(b.data() + at(k) + 6 + r * rs, 4)));
        }
        return nums;
    };
    const auto read = [&](const std::string& b) {
        test::writeBytes(dir / "LONG.DB", b);
        fs::remove(dir / "LONG.PX");
        ParadoxTable t(dir / "LONG.DB", EngineSettings{});
        std::vector<std::int32_t> nums;
        for (t.first(); !t.eof(); t.next()) nums.push_back(t.integer(0));
        EXPECT_EQ(static_cast<std::size_t>(t.recordCount()), nums.size());
        return nums;
    };
    ASSERT_EQ(u16(original, 0x0E), 1u);
    EXPECT_EQ(read(original), expected(original));

    // Block 100 out of the chain, block 50 down to 10 records: ascending, with gaps.
    std::string gaps = original;
    set16(gaps, at(99), 101);
    set16(gaps, at(101) + 2, 99);
    set16(gaps, at(50) + 4, static_cast<unsigned>(9 * rs));
    const auto withGaps = expected(gaps);
    const std::size_t in100 = u16(original, at(100) + 4) / rs + 1, in50 = u16(original, at(50) + 4) / rs + 1;
    EXPECT_EQ(withGaps.size(), n - in100 - (in50 - 10));
    EXPECT_EQ(read(gaps), withGaps);

    // Blocks 200 and 201 swapped in the chain, and an empty block in it.
    std::string swapped = original;
    set16(swapped, at(199), 201);
    set16(swapped, at(201), 200);
    set16(swapped, at(200), 202);
    set16(swapped, at(150) + 4, static_cast<unsigned>(65536 - rs));
    const auto inSwappedOrder = expected(swapped);
    const auto got = read(swapped);
    EXPECT_EQ(got, inSwappedOrder);
    ASSERT_FALSE(got.empty());
    EXPECT_NE(got, expected(original));
}

}  // namespace
}  // namespace paradox_read_test
}  // namespace strnum
