// Creating dBASE tables: new district files for tests, the demonstration region and the
// benchmarks.  Only the field types the district files use: C, N, D, L.
//
//     DbfWriter w(dir / "PDL.DBF", {{"NPD", 'C', 10, 0}, {"DTR", 'D', 8, 0}}, 0x65);
//     w.append({"12", "01.02.1950"});
//     w.finish();  // writes the record count; before that the file is not a table yet
//
// Values are 1251 texts encoded exactly as Table::setText encodes them (code page from the
// language driver byte, too long or not a number is an error).  The file is created new;
// an existing file is never overwritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbase/dbf_header.h"
#include "system/file.h"
#include "tables/engine_settings.h"

namespace strnum {

struct DbfFieldSpec {
    std::string name;  // 1 to 10 characters A-Z, 0-9, _
    char type = 'C';   // C (1-254), N (1-20, decimals < length), D (8), L (1)
    int length = 0;
    int decimals = 0;
};

class DbfWriter {
public:
    // languageDriver: byte 29, e.g. 0x65 (866), 0xC9 (1251), 0 (unmarked, the default code page).
    DbfWriter(const std::filesystem::path& file, std::vector<DbfFieldSpec> fields, std::uint8_t languageDriver,
              const EngineSettings& settings = {});
    ~DbfWriter();  // finishes when finish() was not called, ignoring errors
    DbfWriter(const DbfWriter&) = delete;
    DbfWriter& operator=(const DbfWriter&) = delete;

    // One value per field, 1251; missing trailing values are empty.  deleted: store the
    // record marked deleted (tests of invisibility).
    void append(const std::vector<std::string>& values, bool deleted = false);
    // Writes the header with the record count and the end marker.
    void finish();

    const DbfHeader& header() const { return header_; }

private:
    void flush();

    File file_;
    DbfHeader header_;
    CodePage codePage_;
    std::string fileText_;
    std::string pending_;
    std::uint64_t written_ = 0;  // bytes of records already in the file
    std::uint32_t count_ = 0;
    bool finished_ = false;
};

// An empty table with these fields.
void createDbfTable(const std::filesystem::path& file, const std::vector<DbfFieldSpec>& fields,
                    std::uint8_t languageDriver, const EngineSettings& settings = {});

}  // namespace strnum
