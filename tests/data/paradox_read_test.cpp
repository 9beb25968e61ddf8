// Reading real Paradox tables made by other programs, checked value by value against dumps
// made with an independent reader, and the code page, order and error rules of the reader.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/error.h"
#include "base/text.h"
#include "data/paradox_table.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::corpusDir;
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
    const fs::path oracleFile = corpusDir() / "oracle/paradox" / (relative.substr(0, relative.rfind('.')) + ".db.json");
    std::ifstream in(oracleFile);
    ASSERT_TRUE(in) << oracleFile;
    const auto oracle = nlohmann::json::parse(in);
    ParadoxTable t(corpusDir() / "paradox" / relative, EngineSettings{});

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
            expectSame(row[f], u(t.text(static_cast<FieldId>(f))), static_cast<char>(t.header().fields[f].type),
                       textComparable, relative + " record " + std::to_string(r + 1) + " field " +
                                           fields[f]["name"].get<std::string>());
    }
    EXPECT_EQ(r, oracle["records"].size());
}

TEST(ParadoxRead, CorpusTablesMatchTheIndependentReader) {
    for (const char* rel : {"database-samples/CalculN.db", "database-samples/country.db", "database-samples/events.db",
                            "database-samples/lekarstva.DB", "paradoxdriver/areas/AREACODE.DB",
                            "paradoxdriver/db/AREACODES.DB", "paradoxdriver/db/CUSTOMER.DB",
                            "paradoxdriver/db/NOTE1251.DB", "paradoxdriver/fields/bcd.db",
                            "paradoxdriver/fields/bytes.db", "paradoxdriver/fields/date35.db",
                            "paradoxdriver/fields/date7.db", "paradoxdriver/fields/fmemo.db",
                            "paradoxdriver/fields/graphic240.db", "paradoxdriver/fields/logical.db",
                            "paradoxdriver/fields/long.db", "paradoxdriver/fields/ole.db",
                            "paradoxdriver/fields/timestamp.db", "paradoxdriver/joins/C.DB"}) {
        SCOPED_TRACE(rel);
        checkAgainstOracle(rel);
    }
}

TEST(ParadoxRead, Cp866TextBecomes1251AndTypedReadsWork) {
    ParadoxTable t(corpusDir() / "paradox/database-samples/lekarstva.DB", EngineSettings{});
    EXPECT_EQ(t.codePage(), CodePage::Cp866);
    EXPECT_EQ(t.text(0), w("Абана"));
    ParadoxTable d(corpusDir() / "paradox/paradoxdriver/fields/date7.db", EngineSettings{});
    EXPECT_EQ(d.date(0), Date::fromYmd(2018, 1, 1));
    ParadoxTable l(corpusDir() / "paradox/paradoxdriver/fields/long.db", EngineSettings{});
    EXPECT_EQ(l.integer(1), 1);
}

TEST(ParadoxRead, WindowsCodePageHeadersAreTaken1251AndOthersTheDefault) {
    // CalculN says 1252 but holds 1251; NOTE1251 says 936 and is read by the default.
    ParadoxTable c(corpusDir() / "paradox/database-samples/CalculN.db", EngineSettings{});
    EXPECT_EQ(c.codePage(), CodePage::Cp1251);
    EXPECT_EQ(c.text(0), w("Дневник"));
    ParadoxTable n(corpusDir() / "paradox/paradoxdriver/db/NOTE1251.DB", EngineSettings{});
    EXPECT_EQ(n.codePage(), CodePage::Cp866);
    EngineSettings s;
    s.defaultCodePage = CodePage::Cp1251;
    ParadoxTable n2(corpusDir() / "paradox/paradoxdriver/db/NOTE1251.DB", s);
    EXPECT_EQ(n2.codePage(), CodePage::Cp1251);
    EXPECT_EQ(paradoxTextCodePage(850, CodePage::Cp866), CodePage::Cp866);
    EXPECT_EQ(paradoxTextCodePage(1250, CodePage::Cp866), CodePage::Cp1251);
}

TEST(ParadoxRead, EncryptedTableGivesAClearOpenError) {
    try {
        ParadoxTable t(corpusDir() / "paradox/paradoxdriver/encrypt/encrypted.db", EngineSettings{});
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
    ParadoxTable t(corpusDir() / "paradox/paradoxdriver/joins/C.DB", EngineSettings{});
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
    ParadoxTable t(corpusDir() / "paradox/paradoxdriver/fields/long.db", EngineSettings{});
    while (!t.eof()) t.next();
    EXPECT_THROW(t.text(0), Error);
    t.next();
    EXPECT_TRUE(t.eof());
}

}  // namespace
}  // namespace strnum
