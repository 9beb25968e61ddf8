// Table names in the console's SQL text: files, as the technicians write them.
//
// A table is named as its file: `way.dbf`, `WAY.DBF`, `"way.dbf"`, `pdl.dbf p` with an
// alias, `nums.db` or `nums` for a Paradox table (a name without extension is a Paradox
// table, as it always was for this database), a relative path or a full one in double
// quotes (`"U01\PDL.DBF"`, `"C:\ORTAN\U01\PDL.DBF"`, `"/srv/ortan/u01/pdl.dbf"`; drive letters
// through the drive table of the settings).  Before SQLite parses the text, each such name is
// replaced by a quoted name of a table the console declares for that file; string literals,
// quoted names that are not tables and comments are left exactly as they are.
//
// Where a table stands in FROM or JOIN without an alias, it gets the file's name without
// extension as its alias, so that `select pdl.fm from pdl.dbf` and `"pdl.dbf".fm` both
// name its field; `pdl.dbf.fm` and `"pdl.dbf".fm` become `"pdl".fm` too.
//
// Which names are tables:
// - word.dbf (letters, digits, _ and $; Cyrillic letters too): always;
// - word.db, a quoted name ending in .dbf or .db or holding a path separator, and a plain
//   word or quoted name without extension: where a table stands (after FROM or JOIN, or
//   after a comma in a FROM list), or, for the first two, when that file exists.
// A table in such a place whose file is not there is an Error naming it and the directory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tables/engine_settings.h"

namespace strnum::console {

// A table the statement reads.
struct NamedTable {
    std::string sqlName;         // UTF-8: the name the rewritten text gives it (unquoted)
    std::string written;         // UTF-8: as the text wrote it first, for messages
    std::filesystem::path file;  // the table's file on this machine
    bool paradox = false;        // .DB (else .DBF)
};

struct RewrittenSql {
    std::string text;  // UTF-8, for SQLite
    std::vector<NamedTable> tables;

    // The byte offset in the text as written of a byte offset in `text` (where SQLite
    // reports an error): inside a replaced name, the name's start.
    std::size_t writtenOffset(std::size_t offset) const;

    struct Piece {
        std::size_t from, to;     // in text
        std::size_t writtenFrom;  // in the text as written
        bool copied;              // true: the same bytes; false: a replaced name
    };
    std::vector<Piece> pieces;
};

// sql: UTF-8.  directory: where names without a full path are found.  Throws Error
// (NotFound) for a table in a table's place whose file is not there.
RewrittenSql rewriteTableNames(std::string_view sql, const std::filesystem::path& directory,
                               const EngineSettings& settings);

// "строка L, позиция C" of a byte offset in a UTF-8 text (lines and characters from 1),
// in 1251.
std::string placeInText(std::string_view text, std::size_t offset);

}  // namespace strnum::console
