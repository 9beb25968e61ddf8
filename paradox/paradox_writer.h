// Writing keyed Paradox tables: creation (empty or from rows) and inserting one record.
//
// Tables are written at level 5 (file version 5.x): a .DB with the key fields first and a
// primary index .PX, the layout Paradox and the Borland Database Engine write themselves
// (data/README_paradox.md).  Records are kept in raw byte order of their encoded key,
// which for integer and date keys is numeric order.
//
// ParadoxKeyedWriter holds a table open for inserts.  On opening it reads the block chain
// of the .DB and writes a fresh .PX from it (so a missing or stale index, for instance
// after a crash, is repaired), then keeps the index tree in memory.  insert() touches only
// the data block the key belongs in (a split writes one new block and fixes the links),
// the header, and the index blocks on the path from that block to the root: the cost of
// an insert grows with the logarithm of the table.  Every write goes straight to the file
// (no buffering in the process): when insert() returns, the record is in the file.  Data
// blocks are written before the header, the header before the index, so a process killed
// at any point leaves a table whose block chain holds every completed insert.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "paradox/paradox_file.h"
#include "paradox/paradox_format.h"

namespace strnum {

// The error of an insert whose key is already in the table.  Callers that expect
// duplicates catch this type; its kind is InvalidArgument.
class DuplicateKeyError : public Error {
public:
    explicit DuplicateKeyError(std::string message) : Error(ErrorKind::InvalidArgument, std::move(message)) {}
};

struct ParadoxFieldDef {
    std::string name;       // 1251, ASCII in practice
    std::uint8_t type = 0;  // pxtype::Alpha (size 1-255), Long, Short, Date, Number, Logical
    int size = 0;           // Alpha only
};

struct ParadoxCreateOptions {
    int keyFields = 1;     // the first fields form the primary key
    int blockSizeKiB = 0;  // 0: 2 KiB, or larger when the table needs more than 65535 blocks
    CodePage codePage = CodePage::Cp866;
};

// Creates path (.DB) and its .PX beside it, exclusively: an existing file is not touched
// and the creation fails (Io).  records: n packed records (n * record size bytes, fields
// encoded as in the file), in any order; a repeated key throws DuplicateKeyError and
// nothing is left behind.  On any failure the files are removed again.
void createParadoxTable(const std::filesystem::path& path, const std::vector<ParadoxFieldDef>& fields,
                        const ParadoxCreateOptions& options, std::string_view records = {});

// The .PX path of a .DB path (same name, extension in the .DB extension's letter case).
std::filesystem::path paradoxIndexPath(const std::filesystem::path& db);

class ParadoxKeyedWriter {
public:
    // Opens a keyed table for inserts and rebuilds its .PX.  Throws NotFound, Corrupt,
    // Unsupported (not keyed, encrypted), Locked (another process holds it for writing).
    ParadoxKeyedWriter(const std::filesystem::path& db, std::string_view name);
    ~ParadoxKeyedWriter();

    const ParadoxHeader& header() const { return header_; }
    std::uint32_t records() const { return records_; }

    // record: header().recordSize bytes.  Throws DuplicateKeyError when the key exists,
    // Io when the file refuses the write.  A write that fails part-way leaves a table that
    // opens and holds every record inserted before (the new one may be in it or not); the
    // next insert reads the table again before it writes.
    void insert(std::string_view record);

private:
    struct Entry {
        std::string key;
        std::uint32_t child = 0;  // data block (level 1) or index node number
        std::uint32_t count = 0;  // records below
    };
    struct Node {
        std::uint16_t block = 0;  // .PX block
        int level = 1;            // 1: entries point to data blocks
        std::vector<Entry> entries;
    };
    struct BlockHead {
        std::uint16_t next = 0, prev = 0;
        int count = 0;
    };

    // Reads the header and the block chain and writes the .PX anew from them.
    void load();
    void insertRecord(std::string_view record);
    // Where a record goes: the path of index entries down to its block, the block, the
    // record's place among the block's records.
    struct Place {
        std::vector<std::pair<std::size_t, std::size_t>> path;  // (node, entry) from the root
        std::uint16_t block = 0;
        BlockHead head;
        std::string bytes;  // the block's
        int index = 0;
    };
    void insertFirst(std::string_view record);
    Place placeOf(std::string_view record) const;
    void placeInto(std::string& block, int count, int at, std::string_view record) const;
    void insertIntoBlock(std::string_view record, Place& at);
    void insertSplittingBlock(std::string_view record, Place& at);
    BlockHead readBlock(std::uint16_t block, std::string& bytes) const;
    void writeBlock(std::uint16_t block, const BlockHead& head, std::string& bytes);
    std::uint16_t appendDataBlock();
    void writeHeader();
    void buildIndex(std::vector<Entry> leaves);
    void writeNode(std::size_t node);
    void writeIndexHeader();
    std::uint16_t newIndexBlock();
    // path: (node, entry) from the root down; fixes an overfull node at path[depth] upward.
    void splitUpward(std::vector<std::pair<std::size_t, std::size_t>>& path, std::size_t depth);
    std::string dupMessage(std::string_view record) const;

    std::string name_;
    ParadoxHeader header_;
    std::unique_ptr<PxFile> db_;
    std::unique_ptr<PxFile> px_;
    std::filesystem::path pxPath_;
    std::string headBytes_;  // the .DB header as on disk
    int keySize_ = 0;
    int perBlock_ = 0;
    int perIndexBlock_ = 0;
    std::uint32_t records_ = 0;
    std::uint32_t dataBlocks_ = 0;  // blocks in the file
    std::uint16_t lastBlock_ = 0;
    std::vector<Node> nodes_;
    std::size_t root_ = 0;
    int levels_ = 0;  // 0: empty table
    std::uint16_t indexBlocks_ = 0;
    bool stale_ = false;  // a write failed: load() again before the next insert
};

}  // namespace strnum
