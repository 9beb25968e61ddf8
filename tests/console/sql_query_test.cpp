// The SQL console over the live tables: names as files, joins of dBASE with Paradox,
// Russian text, dates, memos, the lookups the module offers SQLite (they must give what a
// scan gives), messages that say what is wrong and where, every statement that would
// write refused with no file touched and named for what it is, a stop that keeps what was
// read, and fields a table names twice.
#include "console/sql_query.h"

#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "console/result_file.h"
#include "console/sql_functions.h"
#include "console/sql_text.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "demo/demo_region.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_writer.h"
#include "support/test_support.h"

namespace strnum::console {
namespace {

using test::u;
using test::w;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kPdl = {
    {"NPD", 'C', 6, 0}, {"FM", 'C', 25, 0}, {"IM", 'C', 20, 0}, {"DTR", 'D', 8, 0}, {"SUMMA", 'N', 10, 2}};

struct Rows {
    std::vector<ResultColumn> columns;
    std::vector<std::vector<std::string>> rows;  // UTF-8
};

Rows run(SqlSession& s, std::string_view sqlUtf8, const fs::path& db) {
    SqlQuery q(s, w(sqlUtf8), pathTo1251(db));
    Rows r{q.columns(), {}};
    std::vector<std::string> cells;
    while (q.fetch(cells)) {
        std::vector<std::string> row;
        for (const auto& c : cells) row.push_back(u(c));
        r.rows.push_back(std::move(row));
    }
    return r;
}

std::string failure(SqlSession& s, std::string_view sqlUtf8, const fs::path& db) {
    try {
        run(s, sqlUtf8, db);
    } catch (const Error& e) {
        return e.utf8();
    }
    return "no error";
}

// A directory with a district file of people in both letter cases, one record deleted.
struct Tables {
    test::TempDir dir;
    SqlSession session{EngineSettings{}};
    Tables() {
        DbfWriter pdl(dir / "PDL.DBF", kPdl, 0x65);
        pdl.append({"1", w("ИВАНОВ"), w("ПЁТР"), "12.03.1950", "100.50"});
        pdl.append({"2", w("Иванова"), w("Мария"), "31.12.1949", "7"});
        pdl.append({"3", w("ПЕТРОВ"), w("ИВАН"), "01.01.1960", ""});
        pdl.append({"4", w("СИДОРОВ"), w("ОЛЕГ"), "05.05.1955", "3"}, true);
        pdl.append({"5", w("ЁЛКИН"), w("ИВАН"), "", "1"});
        pdl.finish();
        DbfWriter way(dir / "way.dbf", {{"W", 'C', 40, 0}, {"NAME", 'C', 30, 0}}, 0xC9);
        way.append({"C:\\ORTAN\\U01", w("Участок 1")});
        way.finish();
        fs::create_directory(dir / "U01");
        fs::copy_file(dir / "PDL.DBF", dir / "U01" / "Pdl.Dbf");
    }
};

TEST(SqlNames, TablesAreNamedAsTheirFilesOutsideLiteralsAndComments) {
    Tables t;
    const EngineSettings settings;
    const auto r = rewriteTableNames(
        "select p.fm, 'pdl.dbf' from pdl.dbf p, WAY.DBF -- way.dbf\n join \"U01/PDL.DBF\" on 1 /* x.dbf */",
        t.dir.path(), settings);
    EXPECT_EQ(r.text,
              "select p.fm, 'pdl.dbf' from \"pdl.dbf\" p, \"WAY.DBF\" AS \"WAY\" -- way.dbf\n join \"U01/PDL.DBF\" AS "
              "\"PDL\" on 1 /* x.dbf */");
    ASSERT_EQ(r.tables.size(), 3u);
    EXPECT_EQ(r.tables[0].file, t.dir / "PDL.DBF");
    EXPECT_EQ(r.tables[1].file, t.dir / "way.dbf");  // found without regard to letter case
    EXPECT_EQ(r.tables[2].file, t.dir / "U01" / "Pdl.Dbf");

    // A field qualified by the file's name is the field of that table's alias.
    EXPECT_EQ(rewriteTableNames("select pdl.dbf.fm, \"pdl.dbf\".im from pdl.dbf", t.dir.path(), settings).text,
              "select \"pdl\".fm, \"pdl\".im from \"pdl.dbf\" AS \"pdl\"");
    // Names SQLite knows are left alone; so is an alias's field that looks like a name.
    const auto plain = rewriteTableNames("with c as (select 1 db) select c.db from c", t.dir.path(), settings);
    EXPECT_EQ(plain.text, "with c as (select 1 db) select c.db from c");
    EXPECT_TRUE(plain.tables.empty());
}

TEST(SqlNames, FullAndWindowsPathsAndMissingTables) {
    Tables t;
    EngineSettings settings;
#ifdef _WIN32
    // The test folder's own drive letter and path, in other letter case.
    const std::string written = pathTo1251(t.dir.path() / "u01" / "pdl.dbf");
    auto r = rewriteTableNames("select * from \"" + written + "\" x", fs::path("D:\\nonexistent"), settings);
    ASSERT_EQ(r.tables.size(), 1u);
    EXPECT_TRUE(fs::equivalent(r.tables[0].file, t.dir / "U01" / "Pdl.Dbf"));
    EXPECT_EQ(r.tables[0].file.filename(), "Pdl.Dbf");
#else
    settings.drives['C'] = t.dir.path();
    auto r = rewriteTableNames("select * from \"c:\\u01\\pdl.dbf\" x", fs::path("/nonexistent"), settings);
    ASSERT_EQ(r.tables.size(), 1u);
    EXPECT_EQ(r.tables[0].file, t.dir / "U01" / "Pdl.Dbf");
    r = rewriteTableNames("select * from \"" + (t.dir / "U01" / "pdl.dbf").string() + "\"", "/", settings);
    EXPECT_EQ(r.tables.at(0).file, t.dir / "U01" / "Pdl.Dbf");
#endif
    try {
        rewriteTableNames("select * from nothere.dbf", t.dir.path(), settings);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_NE(e.utf8().find("nothere.dbf"), std::string::npos) << e.utf8();
        EXPECT_NE(e.utf8().find(t.dir.path().string()), std::string::npos) << e.utf8();
    }
}

TEST(SqlNames, ErrorPlacesMapBackToTheTextAsWritten) {
    Tables t;
    const std::string sql = "select fm\nfrom pdl.dbf\nwhere ;";
    const auto r = rewriteTableNames(sql, t.dir.path(), {});
    const std::size_t at = r.text.find(';');
    EXPECT_EQ(r.writtenOffset(at), sql.find(';'));
    EXPECT_EQ(u(placeInText(sql, sql.find(';'))), "строка 3, позиция 7");
}

TEST(SqlQuery, ReadsTheTablesWithRussianTextDatesAndNoDeletedRecords) {
    Tables t;
    Rows r = run(t.session, "select npd, fm, dtr, summa from PDL.DBF order by dtr", t.dir.path());
    ASSERT_EQ(r.rows.size(), 4u);  // the deleted record is not there
    // Dates sort as dates (an empty one first: NULL), show as dd.mm.yyyy.
    EXPECT_EQ(r.rows[0], (std::vector<std::string>{"5", "ЁЛКИН", "", "1"}));
    EXPECT_EQ(r.rows[1], (std::vector<std::string>{"2", "Иванова", "31.12.1949", "7"}));
    EXPECT_EQ(r.rows[2], (std::vector<std::string>{"1", "ИВАНОВ", "12.03.1950", "100.5"}));
    EXPECT_EQ(r.rows[3][2], "01.01.1960");
    EXPECT_EQ(r.rows[3][3], "");  // an empty number is NULL

    // Dates compare as dates whichever way the literal is written.
    EXPECT_EQ(run(t.session, "select npd from pdl.dbf where dtr > '1949-12-31' order by 1", t.dir.path()).rows.size(),
              2u);
    EXPECT_EQ(run(t.session, "select npd from pdl.dbf where dtr between '1.1.1949' and '31.12.1950'", t.dir.path())
                  .rows.size(),
              2u);
    EXPECT_EQ(run(t.session, "select max(dtr) from pdl.dbf", t.dir.path()).rows[0][0], "01.01.1960");

    // Cyrillic case folding: LIKE, upper, lower, NOCASE.
    r = run(t.session, "select npd from pdl.dbf where fm like 'иван%' order by npd", t.dir.path());
    EXPECT_EQ(r.rows, (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
    // The table passes over records whose start cannot match; SQLite still judges the rest.
    const auto count = [&](std::string_view where) {
        return run(t.session, "select count(*) from pdl.dbf where " + std::string(where), t.dir.path()).rows[0][0];
    };
    EXPECT_EQ(count("fm like 'ё%'"), "1");
    EXPECT_EQ(count("fm like 'ИВАН_В%'"), "2");
    EXPECT_EQ(count("fm like 'иванов_'"), "1");
    EXPECT_EQ(count("fm not like 'иван%'"), "2");
    EXPECT_EQ(count("fm like '%ОВ'"), "2");
    EXPECT_EQ(count("fm like char(937) || '%'"), "0");  // a letter no 1251 text holds
    EXPECT_EQ(count("fm like 'ИВАНОВ' and im like 'п%'"), "1");
    r = run(t.session, "select upper(fm), lower(im) from pdl.dbf where npd = '2'", t.dir.path());
    EXPECT_EQ(r.rows[0], (std::vector<std::string>{"ИВАНОВА", "мария"}));
    r = run(t.session, "select count(*) from pdl.dbf where im = 'пётр' collate nocase", t.dir.path());
    EXPECT_EQ(r.rows[0][0], "1");
    r = run(t.session, "select fm from pdl.dbf order by fm collate nocase", t.dir.path());
    EXPECT_EQ(r.rows, (std::vector<std::vector<std::string>>{{"ЁЛКИН"}, {"ИВАНОВ"}, {"Иванова"}, {"ПЕТРОВ"}}));
}

TEST(SqlFunctions, RussianLettersFoldAndSortAsTheAlphabetHasThem) {
    EXPECT_EQ(utf8Upper("ёлка, щи и Straße"), "ЁЛКА, ЩИ И STRAßE");
    EXPECT_EQ(utf8Lower("ЁЛКА ІЇЄҐ"), "ёлка іїєґ");
    EXPECT_EQ(utf8Lower("\xff\xfeА"), "\xff\xfeа");    // bytes that are no characters stay
    EXPECT_LT(compareNoCase("Иванов", "ИВАНОВА"), 0);  // bytes would say otherwise
    EXPECT_LT(compareNoCase("ёж", "жук"), 0);          // ё with е, before ж
    EXPECT_GT(compareNoCase("ёж", "еж"), 0);
    EXPECT_EQ(compareNoCase("ПЁТР", "пётр"), 0);
    EXPECT_TRUE(likeMatches("%ван_в%", "ИВАНОВА"));
    EXPECT_TRUE(likeMatches("и%", "Иван"));
    EXPECT_FALSE(likeMatches("и_", "Иван"));
    EXPECT_TRUE(likeMatches("100!%", "100%", U'!'));
    EXPECT_FALSE(likeMatches("100!%", "1000", U'!'));
    EXPECT_TRUE(likeMatches("%%a%", "bab"));
    EXPECT_FALSE(likeMatches("", "x"));
    EXPECT_TRUE(likeMatches("", ""));
    EXPECT_LT(compareAsDates("31.12.1949", "01.01.1950"), 0);
    EXPECT_EQ(compareAsDates("1.2.1950", "1950-02-01"), 0);
    EXPECT_LT(compareAsDates("29.02.2001", "no date"), 0);  // no such day: a text, after every date
    EXPECT_LT(compareAsDates("31.12.9999", "29.02.2001"), 0);
}

TEST(SqlQuery, ColumnsHaveTheirLabelsAndDisplayWidths) {
    Tables t;
    SqlQuery q(t.session, w("select p.fm фамилия, npd, dtr, summa, count(*) n, 'x' || fm t from pdl.dbf p"),
               pathTo1251(t.dir.path()));
    const auto& c = q.columns();
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(u(c[0].label), "фамилия");
    EXPECT_EQ(c[0].width, 25);  // a character field: its length
    EXPECT_EQ(c[1].width, 6);
    EXPECT_EQ(c[2].width, 10);
    EXPECT_EQ(c[3].width, 10);
    EXPECT_EQ(c[4].label, "n");
    EXPECT_EQ(c[4].width, 11);  // an expression: by its first value
    EXPECT_EQ(c[5].width, 60);
}

TEST(SqlQuery, AnEmptyResultHasItsColumnsAndRewindingReadsAgain) {
    Tables t;
    SqlQuery q(t.session, w("select fm from pdl.dbf where 0"), pathTo1251(t.dir.path()));
    EXPECT_EQ(q.columns().size(), 1u);
    std::vector<std::string> cells;
    EXPECT_FALSE(q.fetch(cells));
    SqlQuery all(t.session, w("select fm from pdl.dbf"), pathTo1251(t.dir.path()));
    EXPECT_EQ(all.skip(10), 4);
    all.rewind();
    ASSERT_TRUE(all.fetch(cells));
    EXPECT_EQ(u(cells[0]), "ИВАНОВ");
}

// The lookups the module offers must never change what a statement gives.
TEST(SqlQuery, JoinsAcrossDbaseAndParadoxGiveWhatScansGive) {
    test::TempDir dir;
    writeDemoRegion(dir.path(), DemoOptions{3, 60, 0, 7});
    SqlSession s{EngineSettings{}};
    const fs::path u02 = dir / "ORTAN" / "U02";
    const std::string body = "cast(substr(p.npsu, 1, 9) as integer)";
    // Through the directory's order, and with the lookup made impossible (num + 0).
    const Rows joined = run(
        s,
        "select p.npd, n.fam, n.num from pdl.dbf p join \"../../NUMS/NUMS.DB\" n on n.num = " + body + " order by 1, 3",
        u02);
    const Rows scanned =
        run(s,
            "select p.npd, n.fam, n.num from pdl.dbf p join \"../../NUMS/NUMS.DB\" n on n.num + 0 = " + body +
                " order by 1, 3",
            u02);
    EXPECT_FALSE(joined.rows.empty());
    EXPECT_EQ(joined.rows, scanned.rows);

    // dBASE with dBASE on a text field (gathered at the second lookup), and a Paradox
    // table's other fields (an order built at the second lookup).
    const Rows self = run(s, "select a.npd, b.npd from pdl.dbf a join pdl.dbf b on b.fm = a.fm order by 1, 2", u02);
    const Rows selfScan =
        run(s, "select a.npd, b.npd from pdl.dbf a join pdl.dbf b on b.fm || '' = a.fm order by 1, 2", u02);
    EXPECT_EQ(self.rows, selfScan.rows);
    const Rows byName = run(s,
                            "select p.npd, n.num from pdl.dbf p join \"../../NUMS/nums\" n on n.fam = p.fm and "
                            "n.birth = p.dtr order by 1, 2",
                            u02);
    const Rows byNameScan = run(s,
                                "select p.npd, n.num from pdl.dbf p join \"../../NUMS/nums\" n on n.fam || '' = p.fm "
                                "and n.birth || '' = p.dtr order by 1, 2",
                                u02);
    EXPECT_FALSE(byName.rows.empty());
    EXPECT_EQ(byName.rows, byNameScan.rows);

    // Lookup values of other types, NULL and values no record can have.
    const fs::path nums = dir / "NUMS";
    const std::string first = run(s, "select num from nums limit 1", nums).rows.at(0).at(0);
    EXPECT_EQ(run(s, "select count(*) from nums where num = '" + first + "'", nums).rows[0][0], "1");
    EXPECT_EQ(run(s, "select count(*) from nums where num = " + first + ".0", nums).rows[0][0], "1");
    EXPECT_EQ(run(s, "select count(*) from nums where num = null", nums).rows[0][0], "0");
    EXPECT_EQ(run(s, "select count(*) from nums where num = 99999999999", nums).rows[0][0], "0");
    EXPECT_EQ(run(s, "select count(*) from nums where num in (" + first + ", 1, " + first + ")", nums).rows[0][0], "1");
}

TEST(SqlQuery, MemoContentsAndADamagedMemoFile) {
    SqlSession s{EngineSettings{}};
    const Rows r = run(s, "select book, length(book) from rus.dbf order by id",
                       test::corpusPath("dbf/dans-dbf-lib/russian_foxpro/rus.dbf").parent_path());
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0], "Рефакторинг. Улучшение существующего кода");
    const Rows g = run(s, "select typeof(graph), length(graph) from graphic240.db",
                       test::corpusPath("paradox/paradoxdriver/fields/graphic240.db").parent_path());
    EXPECT_EQ(g.rows.at(0).at(0), "blob");
    EXPECT_EQ(g.rows.at(0).at(1), "20078");

    // The memo file is missing beside this table: the field's error, no crash.
    const std::string e =
        failure(s, "select memo from dbase_8b_incorrect_record_count.dbf",
                test::corpusPath("dbf/infused-dbf/dbase_8b_incorrect_record_count.dbf").parent_path());
    EXPECT_NE(e.find("MEMO"), std::string::npos) << e;
    EXPECT_NE(e.find(".DBT"), std::string::npos) << e;
}

TEST(SqlQuery, MessagesSayWhatIsWrongAndWhere) {
    Tables t;
    const auto has = [&](std::string_view sql, std::string_view part) {
        const std::string e = failure(t.session, sql, t.dir.path());
        EXPECT_NE(e.find(part), std::string::npos) << sql << " -> " << e;
    };
    has("select fm\nfrom pdl.dbf\nwher fm = 'x'", "синтаксическая ошибка около «fm» (строка 3, позиция 6)");
    has("select nofield from pdl.dbf", "нет поля nofield");
    has("select * from pdl.dbf where fm = \"ИВАНОВ\"", "одинарных кавычках");
    has("select * from nothere.dbf", "Таблица nothere.dbf не найдена в каталоге");
    has("select * from missing_table", "нет таблицы missing_table");
    has("select fm from pdl.dbf a, pdl.dbf b", "есть в нескольких таблицах");
    has("select nofunction(fm) from pdl.dbf", "нет функции nofunction");
    has("select 'x", "не закрыта кавычка: «'x»");
    has("select (1", "текст запроса оборван");
    has("select 1; select 2", "больше одного оператора SQL (строка 1, позиция 11)");
    has("  -- nothing\n", "Текст запроса пуст");
    EXPECT_NE(failure(t.session, "select 1", t.dir / "nothere").find("Каталог базы данных не найден"),
              std::string::npos);
}

// "Прервать": a stop is the user's word, no failure.  The statement keeps its columns and
// the rows read before the stop; reading on says QueryStopped once, then the rows end.
TEST(SqlQuery, AStoppedStatementKeepsItsColumnsAndTheRowsReadBeforeTheStop) {
    Tables t;
    int asked = 0, stopAt = 5;
    t.session.setInterrupt([&] { return ++asked > stopAt; });
    const std::string endless = "with recursive c(x) as (select 1 union all select x + 1 from c) ";

    // Stopped before its first row: the columns, and no row.
    SqlQuery none(t.session, w(endless + "select count(*) n from c"), pathTo1251(t.dir.path()));
    ASSERT_EQ(none.columns().size(), 1u);
    EXPECT_EQ(none.columns()[0].label, "n");
    std::vector<std::string> cells;
    EXPECT_THROW(none.fetch(cells), QueryStopped);
    EXPECT_FALSE(none.fetch(cells));

    // Stopped between rows: the rows before it are read.
    asked = 0;
    stopAt = 60;
    SqlQuery some(t.session, w(endless + "select x from c where x % 20000 = 0"), pathTo1251(t.dir.path()));
    std::vector<std::string> read;
    try {
        while (some.fetch(cells)) read.push_back(cells.at(0));
        FAIL() << "no stop";
    } catch (const QueryStopped& e) {
        EXPECT_EQ(e.utf8(), "Запрос прерван");
    }
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read[0], "20000");
    EXPECT_EQ(read.back(), std::to_string(20000 * read.size()));
    EXPECT_FALSE(some.fetch(cells));
    // Read again from the start, it runs again.
    stopAt = 1 << 30;
    some.rewind();
    ASSERT_TRUE(some.fetch(cells));
    EXPECT_EQ(cells[0], "20000");
    t.session.setInterrupt({});
}

// The grid goes back to the first row when it is given the query: a statement that has
// handed out nothing yet is not run again for that (a long sort would take twice as long,
// and a stop before the first row would have to be asked for twice).
TEST(SqlQuery, RewindingBeforeAnyRowIsFetchedDoesNotRunTheStatementAgain) {
    Tables t;
    int asked = 0;
    t.session.setInterrupt([&] {
        ++asked;
        return false;
    });
    SqlQuery q(t.session,
               w("with recursive c(x) as (select 1 union all select x + 1 from c where x < 200000) "
                 "select max(x) from c"),
               pathTo1251(t.dir.path()));
    const int first = asked;
    EXPECT_GT(first, 5);
    q.rewind();
    std::vector<std::string> cells;
    ASSERT_TRUE(q.fetch(cells));
    EXPECT_EQ(cells[0], "200000");
    EXPECT_EQ(asked, first);
    q.rewind();  // a row was handed out: now it runs again
    ASSERT_TRUE(q.fetch(cells));
    EXPECT_EQ(cells[0], "200000");
    EXPECT_GT(asked, first);
    t.session.setInterrupt({});
}

// A real table names one field twice (Point_ID, first a text, last a number): each field
// shows its own values, the later one as Point_ID_2, a name SQL can use, shown whole.
TEST(SqlQuery, AFieldNamedTwiceGoesByANameOfItsOwn) {
    SqlSession s{EngineSettings{}};
    const fs::path dir = test::corpusPath("dbf/DbfDataReader/dbase_03.dbf").parent_path();
    SqlQuery q(s, "select * from dbase_03.dbf", pathTo1251(dir));
    const auto& c = q.columns();
    ASSERT_EQ(c.size(), 31u);
    EXPECT_EQ(c[0].label, "Point_ID");
    EXPECT_EQ(c[0].width, 12);
    EXPECT_EQ(c[30].label, "Point_ID_2");
    EXPECT_EQ(c[30].width, 10);  // its field is 9 wide: the name shows whole
    std::vector<std::string> cells;
    ASSERT_TRUE(q.fetch(cells));
    EXPECT_EQ(cells[0], "0507121");
    EXPECT_EQ(cells[30], "401");
    // Both names in SQL, each its own field; a lookup (gathered at the second) agrees.
    for (int k = 0; k < 2; ++k) {
        const Rows r = run(s, "select Point_ID, point_id_2 from dbase_03.dbf where Point_ID_2 = 402", dir);
        EXPECT_EQ(r.rows, (std::vector<std::vector<std::string>>{{"0507122", "402"}}));
    }
    // The saved result: both labels whole, each over its own values.
    test::TempDir out;
    q.rewind();
    writeResultFile(out / "REPORT.TXT", {"select * from dbase_03.dbf"}, &q);
    const std::string saved = test::readBytes(out / "REPORT.TXT");
    const std::size_t header = saved.find("Point_ID     Type");
    ASSERT_NE(header, std::string::npos) << saved;
    const std::string headerLine = saved.substr(header, saved.find("\r\n", header) - header);
    EXPECT_TRUE(headerLine.ends_with(" Point_ID_2 ")) << headerLine;
    const std::size_t row = saved.find("\r\n", header) + 2;
    const std::string firstRow = saved.substr(row, saved.find("\r\n", row) - row);
    EXPECT_TRUE(firstRow.starts_with("0507121      ")) << firstRow;
    EXPECT_TRUE(firstRow.ends_with(" 401        ")) << firstRow;
    EXPECT_EQ(firstRow.size(), headerLine.size());

    // Show WAY shows a table by the same names.
    auto table = openDbfTable(dir / "dbase_03.dbf", EngineSettings{});
    TableRows shown(*table);
    EXPECT_EQ(shown.columns()[0].label, "Point_ID");
    EXPECT_EQ(shown.columns()[30].label, "Point_ID_2");
    EXPECT_EQ(shown.columns()[30].width, 10);
    ASSERT_TRUE(shown.fetch(cells));
    EXPECT_EQ(cells[30], "401");
}

TEST(SqlQuery, NamesOfFieldsNamedTwiceNeverTakeAnotherFieldsName) {
    const auto named = [](std::vector<std::string> names) {
        std::vector<FieldInfo> f;
        for (auto& n : names) f.push_back(FieldInfo{std::move(n), 'C', FieldKind::Text, 5, 0});
        return columnNames(f);
    };
    // Letter case aside, as SQL compares names; A_2 is a field's own name, so the later A
    // is A_3 (a_3 is taken already, whatever its case); a field without a name is F and its
    // place.
    EXPECT_EQ(named({"A", "a", "A_2", "", "B", "A"}), (std::vector<std::string>{"A", "a_3", "A_2", "F4", "B", "A_4"}));
    EXPECT_EQ(named({"X", "Y"}), (std::vector<std::string>{"X", "Y"}));
}

// A Paradox table that names a field twice: a lookup on the later one must not go through
// an order of the earlier one (orders are asked for by name).
TEST(SqlQuery, ALookupOnAParadoxFieldNamedTwiceGivesWhatAScanGives) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> f{
        {"ID", pxtype::Long, 0}, {"NAME", pxtype::Alpha, 8}, {"NAME", pxtype::Alpha, 8}};
    // NAME of record k is Nk, the second NAME is N(99-k).
    std::string rows;
    std::vector<std::vector<std::string>> same;
    for (int k = 0; k < 100; ++k) {
        std::string r(4 + 8 + 8, '\0');
        pxEncodeInt(r.data(), 4, k);
        pxEncodeAlpha(r.data() + 4, 8, "N" + std::to_string(k), CodePage::Cp866);
        pxEncodeAlpha(r.data() + 12, 8, "N" + std::to_string(99 - k), CodePage::Cp866);
        rows += r;
        same.push_back({std::to_string(k), std::to_string(k)});
    }
    createParadoxTable(dir / "T.DB", f, {}, rows);
    SqlSession s{EngineSettings{}};
    EXPECT_EQ(run(s, "select id, name, name_2 from t.db where name_2 = 'N99'", dir.path()).rows,
              (std::vector<std::vector<std::string>>{{"0", "N0", "N99"}}));
    // A join looks a column up once per row: from the second lookup on, through an order.
    EXPECT_EQ(run(s, "select a.id, b.id from t.db a join t.db b on b.name_2 = a.name_2 order by 1, 2", dir.path()).rows,
              same);
    EXPECT_EQ(run(s, "select a.id, b.id from t.db a join t.db b on b.name = a.name order by 1, 2", dir.path()).rows,
              same);
}

// A refusal names what the statement would have done.  SQLite asks about the row that a
// CREATE adds to its schema before it asks about the CREATE, and about its schema while it
// sets up a table-valued function: neither is the user's INSERT or UPDATE.
TEST(SqlQuery, ARefusalNamesWhatWasRefused) {
    Tables t;
    const std::pair<const char*, const char*> refused[] = {
        {"create table x(a)", "(CREATE)"},
        {"create temp table x(a)", "(CREATE)"},
        {"create view v as select 1", "(CREATE)"},
        {"create virtual table v using strnum_table(0)", "(CREATE)"},
        {"drop table \"pdl.dbf\"", "(DROP)"},
        {"insert into pdl.dbf(npd) values ('9')", "добавление записей в таблицу pdl.dbf (INSERT)"},
        {"with x as (select 1) insert into pdl.dbf(npd) select 1 from x", "(INSERT)"},
        {"alter table \"pdl.dbf\" rename to y", "(ALTER)"},
        {"begin", "(BEGIN"},
        {"pragma journal_mode = WAL", "команда PRAGMA journal_mode со значением WAL"},
        {"select * from pragma_database_list", "команда PRAGMA database_list"},
        {"select load_extension('x')", "функция load_extension"},
    };
    for (const auto& [sql, part] : refused) {
        const std::string e = failure(t.session, sql, t.dir.path());
        EXPECT_NE(e.find("только читает"), std::string::npos) << sql << " -> " << e;
        EXPECT_NE(e.find(part), std::string::npos) << sql << " -> " << e;
    }
    // Table-valued functions read: the reading pragmas as functions, JSON.
    EXPECT_GT(std::stoi(run(t.session, "select count(*) from pragma_function_list", t.dir.path()).rows.at(0).at(0)),
              10);
    EXPECT_TRUE(run(t.session, "select * from pragma_table_info('x')", t.dir.path()).rows.empty());
    EXPECT_EQ(
        run(t.session, "select count(*) from pragma_table_info('pdl.dbf'), pdl.dbf where pdl.npd = '1'", t.dir.path())
            .rows.at(0)
            .at(0),
        "5");
    EXPECT_EQ(run(t.session, "select value from json_each('[7,8]') order by 1 desc", t.dir.path()).rows,
              (std::vector<std::vector<std::string>>{{"8"}, {"7"}}));
}

// Everything a snapshot of a directory holds: names, sizes, times and bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> s;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            s[e.path().string()] =
                test::readBytes(e.path()) + std::to_string(fs::last_write_time(e.path()).time_since_epoch().count());
    return s;
}

TEST(SqlQuery, EverythingThatWritesOrReachesOutIsRefusedAndNoFileChanges) {
    Tables t;
    const auto before = snapshot(t.dir.path());
    const fs::path cwd = fs::current_path();
    fs::current_path(t.dir.path());
    const char* refused[] = {
        "update pdl.dbf set fm = 'X'",
        "insert into pdl.dbf(npd) values ('9')",
        "delete from pdl.dbf",
        "create table x(a)",
        "create temp table x(a)",
        "create view v as select 1",
        "create virtual table v using strnum_table(0)",
        "drop table \"pdl.dbf\"",
        "alter table \"pdl.dbf\" rename to y",
        "attach 'evil.db' as evil",
        "attach ':memory:' as m",
        "detach main",
        "vacuum into 'copy.db'",
        "vacuum",
        "pragma writable_schema = 1",
        "pragma temp_store = FILE",
        "pragma journal_mode = WAL",
        "select load_extension('libevil')",
        "select fts3_tokenizer('simple')",
        "begin",
        "savepoint a",
        "reindex",
        "analyze",
        "with x as (select 1) insert into pdl.dbf(npd) select 1 from x",
    };
    for (const char* sql : refused) {
        const std::string e = failure(t.session, sql, t.dir.path());
        EXPECT_TRUE(e.find("только читает") != std::string::npos || e.find("Ошибка в запросе SQL") != std::string::npos)
            << sql << " -> " << e;
        EXPECT_EQ(e.find("no error"), std::string::npos) << sql;
    }
    // Reading pragmas that describe a table still work.
    EXPECT_EQ(run(t.session, "pragma table_info(pdl.dbf)", t.dir.path()).rows.size(), 5u);
    fs::current_path(cwd);
    EXPECT_EQ(snapshot(t.dir.path()), before);
}

}  // namespace
}  // namespace strnum::console
