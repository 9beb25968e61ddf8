// The contents of memo fields: dBASE III and IV .DBT, FoxPro .FPT, Paradox .MB.
//
// A memo field of a record holds only where its value lies in the memo file beside the
// table; these readers follow that to the value (MemoValue, data/table.h).  Text memos come
// back as the stored bytes (the caller reads them in the table's code page); binary,
// graphic and OLE values as blobs.
// A memo file that is missing or holds no value where the record says is an Error naming
// the table, the field and the memo file; nothing is ever read past a file's end, and no
// more is allocated than the file holds.
//
// dBASE (pointers in the record: 10 ASCII digits, blanks for none; Visual FoxPro 4 bytes LE,
// 0 for none):
//   .DBT dBASE III  512-byte blocks; the value runs to the first 0x1A
//   .DBT dBASE IV   block size at 20-21; a value block: FF FF 08 00, u32 length counting
//                   these 8 bytes, the bytes
//   .FPT            block size at 6-7 (big-endian); a value block: u32 type (1 text, 0
//                   picture, 2 object), u32 length (both big-endian), the bytes
// Paradox (the field: leader bytes, then u32 LE offset in the .MB (its low byte the slot, 0xFF
// a block of its own), u32 length, u16 modification; a value no longer than the leader lies
// in the leader):
//   .MB   4 KiB blocks; type 2: one value, its bytes from +9; type 3: up to 64 small values,
//         slot k at 12 + 5k (offset / 16, 16-byte chunks, u16, bytes in the last chunk).
//         Graphic values carry an 8-byte prefix (01 00 00 01 and the length) dropped here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data/table.h"

namespace strnum {

class File;
struct DbfField;
struct DbfHeader;
struct ParadoxField;

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

class ParadoxBlobFile {
public:
    // The .MB beside `table`; a table without one gets reads that fail when a value is not
    // in its leader.
    ParadoxBlobFile(const std::filesystem::path& table, std::string tableName);
    ~ParadoxBlobFile();
    // The value of a BLOB field (M, B, F, O, G); raw: the field's bytes in the record.
    MemoValue read(const ParadoxField& field, std::string_view raw) const;

private:
    [[noreturn]] void damaged(const ParadoxField& field, std::string_view what) const;
    std::string tableName_, blobName_;
    std::unique_ptr<File> file_;
    std::uint64_t size_ = 0;
};

}  // namespace strnum
