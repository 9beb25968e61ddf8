// The contents of dBASE memo fields: dBASE III and IV .DBT, FoxPro .FPT.
//
// A memo field of a record holds only where its value lies in the memo file beside the
// table; this reader follows that to the value (MemoValue, tables/table.h).  Text memos come
// back as the stored bytes (the caller reads them in the table's code page); binary,
// graphic and OLE values as blobs.  A memo file that is missing or holds no value where the
// record says is an Error naming the table, the field and the memo file; nothing is ever
// read past a file's end, and no more is allocated than the file holds.
//
// Pointers in the record: 10 ASCII digits, blanks for none; Visual FoxPro 4 bytes LE, 0 for
// none.
//   .DBT dBASE III  512-byte blocks; the value runs to the first 0x1A
//   .DBT dBASE IV   block size at 20-21; a value block: FF FF 08 00, u32 length counting
//                   these 8 bytes, the bytes
//   .FPT            block size at 6-7 (big-endian); a value block: u32 type (1 text, 0
//                   picture, 2 object), u32 length (both big-endian), the bytes
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tables/table.h"

namespace strnum {

class File;
struct DbfField;
struct DbfHeader;

class DbfMemoFile {
public:
    // The memo file beside `table` for this header (.DBT, or .FPT for FoxPro), found without
    // regard to letter case.  tableName: 1251, for messages.  A table without one gets an
    // object whose reads fail naming the missing file.
    DbfMemoFile(const std::filesystem::path& table, const DbfHeader& header, std::string tableName);
    ~DbfMemoFile();
    // The value a memo field (M, G, B, P) points to; raw: the field's bytes in the record.
    MemoValue read(const DbfField& field, std::string_view raw) const;

private:
    enum class Kind { Dbt, Fpt };
    [[noreturn]] void damaged(const DbfField& field, std::string_view what) const;
    Kind kind_;
    bool visualFoxPro_;
    std::string tableName_, memoName_;
    std::unique_ptr<File> file_;
    std::uint64_t size_ = 0;
    std::uint32_t blockSize_ = 512;
};

}  // namespace strnum
