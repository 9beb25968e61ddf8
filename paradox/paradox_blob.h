// The contents of Paradox BLOB fields (memo, binary, formatted memo, OLE, graphic): the .MB.
//
// The field holds leader bytes, then u32 LE offset in the .MB (its low byte the slot, 0xFF a
// block of its own), u32 length, u16 modification; a value no longer than the leader lies in
// the leader.  The .MB: 4 KiB blocks; type 2: one value, its bytes from +9; type 3: up to 64
// small values, slot k at 12 + 5k (offset / 16, 16-byte chunks, u16, bytes in the last
// chunk).  Graphic values carry an 8-byte prefix (01 00 00 01 and the length) dropped here.
// A missing or damaged .MB is an Error naming the table, the field and the file; nothing is
// read past its end, and no more is allocated than it holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tables/table.h"

namespace strnum {

class File;
struct ParadoxField;

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
