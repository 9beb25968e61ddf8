// What the district-file pass uses of a table it reads once and walks in chunks on several
// threads (dBASE files): the records read whole, in large reads, and cursors over them.
//
//     FileScan& scan = *file.fileScan();
//     const std::int64_t visible = scan.load(writes);     // the one read of the file
//     auto chunk = scan.chunk(0, 4096);                   // a cursor for one thread
//     for (chunk->first(); !chunk->eof(); chunk->next()) ... chunk->edit() ... chunk->post();
//     std::vector<bool> written = scan.write(*chunk);     // on the table's own thread
//
// Contract
// - load() reads every slot of the file as it is now, from the first record to the end of
//   the file or the header's count (whichever is less) or the first end marker, and returns
//   the visible records among them: the count recordCount() gives.  The table's own walk
//   then goes over these bytes too; nothing of the records is read again.
// - chunk(from, to) is a Table over the loaded slots [from, to) (0 <= from < to <=
//   loadedSlots()) for one thread: it reads as the table does; edit() and post() keep the
//   changed record in the chunk and write nothing.  Chunks are read at once on several
//   threads; each is used by one.  They live no longer than the table.
// - write(chunk) writes what a chunk kept, on the table's own thread, as an edit of a shared
//   file is written (each record locked, re-read, only its set fields changed, noted in the
//   run's journal first): the outcome of every post in the order of the posts.  Never
//   throws; writeFailure() says why the first post not written was not (1251, naming the
//   file and the record).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace strnum {

class Table;

class FileScan {
public:
    virtual ~FileScan() = default;
    // writes: the walk will edit records (what an edit needs of the file is read now).
    virtual std::int64_t load(bool writes) = 0;
    virtual std::int64_t loadedSlots() const = 0;
    virtual std::unique_ptr<Table> chunk(std::int64_t from, std::int64_t to) = 0;
    // Posts a chunk keeps (a post that changes no byte keeps nothing).
    virtual std::size_t kept(const Table& chunk) const = 0;
    virtual std::vector<bool> write(Table& chunk) = 0;
    virtual std::string writeFailure() const = 0;
};

}  // namespace strnum
