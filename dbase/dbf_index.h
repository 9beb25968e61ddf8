// The index files that another program keeps over a dBASE table, read only as far as
// needed to know which fields their keys use.
//
// This engine does not maintain dBASE indexes.  A record whose indexed field changed under
// a .MDX, .CDX, .NDX or .NTX would leave that index stale and break the other program's
// searches, so an edit that changes a field named in a key (or in a FOR condition) is
// refused.  Indexes found:
//   - the production .MDX / structural .CDX of the same base name, when header byte 28 says
//     there is one (a set flag without the file means no index);
//   - every .NDX and .NTX of the table's directory, since the table does not name them;
//     one whose base name is that of another .DBF in the directory is taken to be that
//     table's and skipped.
// An index file that cannot be read is kept as "unreadable" and then covers every field.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dbase/dbf_header.h"

namespace strnum {

struct DbfIndexKey {
    std::string file;                // the index file's name (1251), for messages
    std::string tag;                 // tag name of .MDX/.CDX, "" for .NDX/.NTX
    std::string expression;          // key expression, and " FOR " condition when there is one
    std::vector<std::string> names;  // identifiers of the expression, upper case
    bool unreadable = false;

    // Whether the key may depend on the field (case-insensitive; always for unreadable).
    bool covers(std::string_view fieldName) const;
};

// Reads up to n bytes at an offset; fewer at the end of the file.
using ByteReader = std::function<std::string(std::uint64_t offset, std::size_t n)>;

// Parsers of the key expressions of one index file.  Never throw on bad bytes: a file they
// cannot make sense of gives one entry with unreadable set.
std::vector<DbfIndexKey> readMdxKeys(const ByteReader& read, const std::string& fileName);
std::vector<DbfIndexKey> readCdxKeys(const ByteReader& read, const std::string& fileName);
std::vector<DbfIndexKey> readNdxKeys(const ByteReader& read, const std::string& fileName);
std::vector<DbfIndexKey> readNtxKeys(const ByteReader& read, const std::string& fileName);

// Identifiers of an xBase expression, upper case, quoted strings skipped.
std::vector<std::string> expressionNames(std::string_view expression);

// The index keys kept over the table at tableFile (see above).  Never throws.
std::vector<DbfIndexKey> findDbfIndexes(const std::filesystem::path& tableFile, const DbfHeader& header);

}  // namespace strnum
