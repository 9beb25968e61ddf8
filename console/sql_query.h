// An SQL statement over a directory of tables, run by SQLite on our table engine.
//
//     SqlSession session(settings.engine);
//     SqlQuery q(session, "select fm, count(*) from pdl.dbf group by fm"_cp, "/srv/ortan/u01");
//     std::vector<std::string> row;
//     while (q.fetch(row)) use(q.columns(), row);
//
// The database name is a directory (1251, as typed: a Windows path goes through the drive
// table; empty: the current directory).  Table names are file names (console/sql_text.h),
// the tables are SQLite virtual tables read in place (console/table_module.h), Russian
// text and dates behave as console/sql_functions.h says.
//
// Read only, and nothing beyond the tables: every statement runs on a connection of its
// own whose only database is empty and read-only, with SQLite's authorizer refusing
// everything but reading (no INSERT, UPDATE, DELETE, CREATE, DROP, ALTER, ATTACH,
// DETACH, VACUUM, transactions, PRAGMA other than the few that describe tables and
// functions, load_extension, fts3_tokenizer), extension loading switched off, a text
// in double quotes never taken for a string, and one statement per text.  A statement
// that is refused fails before it runs: no file is created or changed, and the message
// names what was refused (creating a table is CREATE, though SQLite asks first about the
// row it would add to its schema).  Table-valued functions (pragma_table_info('...'),
// json_each) read: SQLite's look at its schema while it sets one up is let through, and
// the pragma behind a pragma_... function passes the same check as the PRAGMA itself.
//
// Errors are Error with a Russian message that says what is wrong and where: SQLite's
// own messages are put in Russian words with the line and position in the text; a table
// that cannot be read gives the table engine's message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/row_source.h"
#include "console/table_module.h"
#include "tables/engine_settings.h"

struct sqlite3;
struct sqlite3_stmt;

namespace strnum::console {

// What the console keeps between statements: the engine settings (read only) and the
// Paradox tables already read.
class SqlSession {
public:
    explicit SqlSession(EngineSettings settings);
    TableShelf& shelf() { return shelf_; }
    const EngineSettings& settings() const { return shelf_.settings(); }
    // The directory a database name stands for.  Throws Error (NotFound) when there is none.
    std::filesystem::path database(std::string_view name) const;
    // Asked now and then while a statement works (every few thousand steps of SQLite's
    // machine); true stops the statement: the rows read so far stay read, and reading on
    // throws QueryStopped (console/row_source.h) once.
    void setInterrupt(std::function<bool()> interrupt) { interrupt_ = std::move(interrupt); }
    const std::function<bool()>& interrupt() const { return interrupt_; }

private:
    TableShelf shelf_;
    std::function<bool()> interrupt_;
};

class SqlQuery : public RowSource {
public:
    // Prepares and starts the statement (sql: 1251); the first row is read at once.
    // Throws Error.  A statement stopped before its first row is no failure: it has its
    // columns, and its first fetch throws QueryStopped.
    SqlQuery(SqlSession& session, std::string_view sql, std::string_view database);
    ~SqlQuery() override;
    SqlQuery(const SqlQuery&) = delete;
    SqlQuery& operator=(const SqlQuery&) = delete;

    const std::vector<ResultColumn>& columns() const override { return columns_; }
    bool fetch(std::vector<std::string>& cells) override;
    std::int64_t skip(std::int64_t n) override;
    // Runs the statement again from its start, unless it has handed out nothing since it
    // started (its first row read, or its stop): then it stays as it is, and a statement
    // that took long to give its first row is not run twice.
    void rewind() override;

    const std::filesystem::path& directory() const { return directory_; }

private:
    bool step();  // false at the end; throws on failure
    [[noreturn]] void fail(int rc);
    void readRow(std::vector<std::string>& cells) const;

    std::filesystem::path directory_;
    std::string text_;  // UTF-8, as written
    RewrittenSql rewritten_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<TableModule> module_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string refusal_;  // 1251: why the authorizer refused, for the message
    std::vector<ResultColumn> columns_;
    bool pending_ = false;  // a row stepped to and not fetched yet
    bool done_ = false;
    bool stopPending_ = false;  // stopped before the first fetch: that fetch says so
    bool touched_ = false;      // fetch or skip called since the statement started

    friend struct Authorizer;
};

// Value of a result cell as text (1251): NULL "", integers in decimal, reals with up to
// 15 significant digits, text as it is, blobs by their size.
std::string cellText(sqlite3_stmt* stmt, int column);

}  // namespace strnum::console
