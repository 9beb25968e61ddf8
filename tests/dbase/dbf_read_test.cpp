// Reading real dBASE / FoxPro tables made by other programs (tests/corpus), checked
// against what is known of each file, and the typed reads of the table interface.
#include <gtest/gtest.h>

#include "base/error.h"
#include "dbase/dbf_table.h"
#include "dbase/dbf_values.h"
#include "support/test_support.h"

namespace strnum {
namespace dbf_read_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::u;
using test::w;

DbfTable open(const std::string& rel, EngineSettings s = {}) {
    return DbfTable(test::corpusPath("dbf/" + rel), rel, s);
}

std::vector<std::vector<std::string>> readAll(Table& t) {
    std::vector<std::vector<std::string>> rows;
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> row;
        for (FieldId f = 0; f < static_cast<FieldId>(t.fields().size()); ++f) row.push_back(t.text(f));
        rows.push_back(row);
    }
    return rows;
}

TEST(DbfRead, Cp866ByLanguageDriver65) {
    auto t = open("fias-component/testRead.dbf");
    EXPECT_EQ(t.codePage(), CodePage::Cp866);
    EXPECT_EQ(t.recordCount(), 4);
    const auto rows = readAll(t);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(u(rows[0][1]), "Не определено");
    EXPECT_EQ(u(rows[3][2]), "литер");
    EXPECT_EQ(rows[0][0], "0");  // numeric zero without leading blanks
}

TEST(DbfRead, UnmarkedCodePageIsTheDefault) {
    auto t = open("kladr/SOCRBASE.DBF");
    EXPECT_EQ(t.codePage(), CodePage::Cp866);
    EXPECT_EQ(t.recordCount(), 148);
    t.first();
    EXPECT_EQ(u(t.text(t.fieldByName("socrname"))), "Автономный округ");

    EngineSettings s;
    s.defaultCodePage = CodePage::Cp1251;
    auto t1251 = open("kladr/SOCRBASE.DBF", s);
    EXPECT_EQ(t1251.codePage(), CodePage::Cp1251);
}

TEST(DbfRead, Cp1251VisualFoxProWithBacklink) {
    auto t = open("infused-dbf/cp1251.dbf");
    EXPECT_EQ(t.codePage(), CodePage::Cp1251);
    const auto rows = readAll(t);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(u(rows[1][1]), "больничное");
    EXPECT_EQ(rows[2][0], "3");
}

TEST(DbfRead, WindowsCodePageBytesTakenUnchanged) {
    auto t = open("infused-dbf/dbase_31.dbf");  // marked 1252
    EXPECT_EQ(t.codePage(), CodePage::Cp1251);
    t.first();
    EXPECT_EQ(t.text(t.fieldByName("PRODUCTNAM")), "Chai");
    EXPECT_EQ(t.integer(t.fieldByName("PRODUCTID")), 1);
    EXPECT_EQ(t.text(t.fieldByName("UNITPRICE")), "18");  // currency
    EXPECT_EQ(t.recordCount(), 77);
}

TEST(DbfRead, DeletedRecordsAreInvisible) {
    auto t = open("DbfDataReader/dbase_03.dbf");
    EXPECT_EQ(t.recordCount(), 12);
    EXPECT_EQ(readAll(t).size(), 12u);
    auto cars = open("dans-dbf-lib/dbase3plus_cars_del/cars.dbf");
    EXPECT_EQ(cars.recordCount(), 3);
    std::vector<std::int64_t> slots;
    for (cars.first(); !cars.eof(); cars.next()) slots.push_back(cars.recordNumber());
    EXPECT_EQ(slots.size(), 3u);
}

TEST(DbfRead, HeaderCountAgainstFileSize) {
    auto more = open("infused-dbf/dbase_8b_incorrect_record_count.dbf");  // says 15, holds 10
    EXPECT_EQ(more.recordCount(), 10);
    EXPECT_EQ(readAll(more).size(), 10u);
    auto fewer = open("dans-dbf-lib/dbase3plus_usage/MYTABLE.DBF");  // 3 said, 4 slots
    EXPECT_EQ(fewer.recordCount(), 3);
    EXPECT_EQ(readAll(fewer).size(), 3u);
}

TEST(DbfRead, EmptyTableIsAtEndAtOnce) {
    auto t = open("kladr/FLAT.DBF");
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recordCount(), 0);
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_THROW(t.text(0), Error);
}

TEST(DbfRead, EofComesWithNextOnTheLastRecord) {
    auto t = open("fias-component/testRead.dbf");
    int seen = 0;
    for (t.first(); !t.eof(); t.next()) ++seen;
    EXPECT_EQ(seen, 4);
    t.first();
    EXPECT_FALSE(t.eof());
}

TEST(DbfRead, NumericForms) {
    auto t = open("dans-dbf-lib/dbase4_types/NUMBER.DBF");
    const auto rows = readAll(t);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0][4], "1.1");
    EXPECT_EQ(rows[9][3], "");  // " ." is dBASE IV's empty number
    EXPECT_EQ(rows[9][4], "");
    t.first();
    for (int i = 0; i < 9; ++i) t.next();
    EXPECT_TRUE(t.isEmpty(4));
    EXPECT_EQ(t.integer(4), 0);

    auto f = open("dans-dbf-lib/dbase5_types/FLOAT.DBF");
    const auto frows = readAll(f);
    EXPECT_EQ(frows[0][1], "1");
    EXPECT_EQ(frows[3][4], "0");
}

TEST(DbfRead, DatesLogicalsAndMemos) {
    auto t = open("dans-dbf-lib/dbase3plus_usage/MYTABLE.DBF");
    t.first();
    EXPECT_EQ(t.text(t.fieldByName("LOGICFLD")), "T");
    EXPECT_EQ(t.text(t.fieldByName("MEMOFLD")), "");
    const FieldId d = t.fieldByName("DATEFLD");
    EXPECT_FALSE(t.date(d).empty());
    EXPECT_EQ(t.text(d), t.date(d).text());
    EXPECT_THROW(t.date(t.fieldByName("CHARFLD")), Error);
    EXPECT_THROW(t.integer(t.fieldByName("CHARFLD")), Error);  // "First Record" is no number
}

TEST(DbfRead, FieldLookupIgnoresCase) {
    auto t = open("kladr/SOCRBASE.DBF");
    EXPECT_EQ(t.findField("Level"), t.findField("LEVEL"));
    EXPECT_FALSE(t.findField("NPSU").has_value());
    try {
        t.fieldByName("NPSU");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_NE(e.utf8().find("NPSU"), std::string::npos);
        EXPECT_NE(e.utf8().find("SOCRBASE"), std::string::npos);
    }
}

TEST(DbfRead, VisualFoxProDateTimeAndIntegers) {
    auto t = open("infused-dbf/foxprodb/calls.dbf");
    EXPECT_EQ(t.recordCount(), 16);
    t.first();
    EXPECT_EQ(t.integer(t.fieldByName("CALL_ID")), 1);
    EXPECT_FALSE(t.date(t.fieldByName("CALL_DATE")).empty());
}

// A date-time whose day lies before 01.01.0001 (the lowest day numbers included) is no
// date: read as the empty one.
TEST(DbfRead, DateTimeBeforeTheFirstDayIsEmpty) {
    DbfField f;
    f.type = 'T';
    f.length = 8;
    for (const std::uint32_t julian : {0x80000000u, 0xFFFFFFFFu, 1721425u, 1u}) {
        std::string raw(8, '\0');
        for (int i = 0; i < 4; ++i) raw[static_cast<std::size_t>(i)] = static_cast<char>(julian >> (8 * i) & 0xFF);
        raw[4] = 1;
        EXPECT_EQ(dbfText(f, raw, CodePage::Cp866), "") << julian;
        EXPECT_EQ(dbfDate(f, raw), Date()) << julian;
    }
    std::string first("\x52\x44\x1A\x00\x00\x00\x00\x00", 8);  // 1721426: 01.01.0001
    EXPECT_EQ(dbfDate(f, first)->text(), "01.01.0001");
}

TEST(DbfRead, LargeTableWalksEveryRecord) {
    auto t = open("kladr/ALTNAMES.DBF");
    EXPECT_EQ(t.recordCount(), 7289);
    std::int64_t n = 0;
    for (t.first(); !t.eof(); t.next()) ++n;
    EXPECT_EQ(n, 7289);
}

// A table read once and walked in chunks reads every field of every record as the walk of
// the file reads it, deleted records left out.
TEST(DbfRead, LoadedChunksReadWhatTheWalkReads) {
    for (const char* rel : {"dans-dbf-lib/dbase3plus_cars_del/cars.dbf", "kladr/ALTNAMES.DBF"}) {
        auto t = open(rel);
        const auto all = [](Table& table) {
            std::vector<std::string> values;
            for (table.first(); !table.eof(); table.next())
                for (FieldId f = 0; f < static_cast<FieldId>(table.fields().size()); ++f)
                    values.push_back(table.text(f));
            return values;
        };
        const std::vector<std::string> walked = all(t);
        auto loaded = open(rel);
        EXPECT_EQ(loaded.load(false), t.recordCount()) << rel;
        std::vector<std::string> chunked;
        for (std::int64_t from = 0; from < loaded.loadedSlots(); from += 1000) {
            auto chunk = loaded.chunk(from, std::min(loaded.loadedSlots(), from + 1000));
            const std::vector<std::string> part = all(*chunk);
            chunked.insert(chunked.end(), part.begin(), part.end());
        }
        EXPECT_EQ(chunked, walked) << rel;
    }
}

TEST(DbfRead, MissingFileIsNotFound) {
    try {
        DbfTable(test::corpusDir() / "dbf/kladr/NO_SUCH.DBF", "NO_SUCH.DBF", {});
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
    }
}

}  // namespace
}  // namespace dbf_read_test
}  // namespace strnum
