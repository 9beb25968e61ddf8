// Our tables as SQLite virtual tables: read in place through the table engine, never
// imported or copied.
//
// Each table a statement names (console/sql_text.h) is declared on the statement's
// connection as a virtual table of the module "strnum_table".  Its columns are the
// table's fields, in their order and under their names:
//   character        TEXT     the text as the tables read it (trailing blanks removed; '')
//   numeric          NUMERIC  an integer, or a real for a fraction; NULL when empty
//   integer          INTEGER  NULL when empty
//   date             TEXT COLLATE DATE  "dd.mm.yyyy"; NULL when empty or no real day
//   logical          TEXT     "T" or "F"; NULL when empty
//   memo             TEXT     a text memo; BLOB for binary, graphic and OLE values; NULL
//                             when there is none
//   other            TEXT     as the tables read it; NULL when empty
// Deleted dBASE records are not there, as everywhere.
//
// Searches: an equality on a column that can be searched is offered to SQLite as a lookup,
// so that a join reads only the records it needs.  For a Paradox table the lookup goes
// through the table's in-memory orders (the number directory's NUM through its primary
// order at once, other fields through an order built when the same column is looked up a
// second time); for a dBASE table a column's values are gathered in memory at its second
// lookup.  SQLite checks every row a lookup gives, so a lookup may give more, never less.
//
// A Paradox table is read whole when opened; TableShelf keeps such tables between
// statements while their files stay unchanged.  dBASE tables are read from the file by
// each cursor.
//
// Every failure in a callback is caught; SQLite gets the Russian message (in UTF-8) and
// the module keeps the Error for the caller.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "console/sql_text.h"
#include "tables/engine_settings.h"
#include "tables/table.h"

struct sqlite3;

namespace strnum::console {

// Paradox tables kept open between statements (the number directory is read once, not
// for every statement), each as long as its file keeps its size and modification time.
class TableShelf {
public:
    explicit TableShelf(EngineSettings settings) : settings_(std::move(settings)) {}
    // The table read from this file; throws Error when it cannot be opened.
    std::shared_ptr<Table> paradox(const std::filesystem::path& file);
    void clear() { kept_.clear(); }
    const EngineSettings& settings() const { return settings_; }

private:
    struct Kept {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified{};
        std::shared_ptr<Table> table;
    };
    EngineSettings settings_;
    std::map<std::filesystem::path, Kept> kept_;
};

class TableModule {
public:
    // Registers the module on the connection.  Throws Error when SQLite refuses.
    TableModule(sqlite3* db, TableShelf& shelf);
    ~TableModule();
    TableModule(const TableModule&) = delete;
    TableModule& operator=(const TableModule&) = delete;

    // Opens the table and declares it under its SQL name.  Throws Error naming the table.
    void declare(const NamedTable& table);

    // The field behind a column of a declared table (names as SQLite gives them, UTF-8),
    // for display widths; nullptr when there is none.
    const FieldInfo* field(std::string_view sqlName, std::string_view column) const;

    // The failure a callback met last, taken: the caller reports it instead of SQLite's
    // copy of its message.
    std::optional<Error> takeFailure();

    struct Source;

private:
    friend struct ModuleAccess;
    sqlite3* db_;
    TableShelf& shelf_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::optional<Error> failure_;
};

}  // namespace strnum::console
