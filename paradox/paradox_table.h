// Reading Paradox tables (.DB, file versions 3.0 to 7.x) as strnum::Table.
//
// A Paradox table is read once, when it is opened: the header and field list are checked,
// then the data blocks are followed through their chain and every record is copied into
// one packed byte arena in table order (the file's two halves are read on two threads,
// each block's records straight to their place when the chain runs in file order).  Walks, reads and key searches then
// run on memory only; the file is not kept open.  This is what makes the number directory (millions of entries, opened
// once and searched for every district record) fast: see paradox/paradox_order.h for the orders built over the arena.
//
// A reading cursor (cursor()) shares the records and orders read: searches and walks
// of its own, on another thread, nothing written through it.  The orders never change once
// built (each cursor keeps its own search hints), so that cursors can search at once; a
// re-read after an insert gives the table new records, and cursors keep the old ones.
//
// The .PX of a keyed table is not read: the data blocks are in key order themselves, so a
// keyed table whose index file is missing or stale reads the same.  Memo and blob fields
// read as the empty text; memo() reads their contents from the .MB.  An encrypted table fails to open (Unsupported); a
// table whose counts, offsets or block chain cannot be right fails with Corrupt, naming the file.
//
// Writing goes through paradox/paradox_writer.h (keyed insert, creation).  insert()/post()
// use it; after a post the records are read again at the next move of the cursor
// (first, next, findKey, setIndexFieldNames, recordCount), until then the cursor stays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "paradox/paradox_blob.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_order.h"
#include "tables/key_search.h"
#include "tables/table.h"

namespace strnum {

class ParadoxKeyedWriter;

// The records of a table in table order, packed: record i at bytes() + i * recordSize.
class ParadoxRecords {
public:
    // Bytes readable after the last record: a record's fields can be read as whole 8-byte
    // words (the bytes past a field are masked off), the last field of the last one too.
    static constexpr std::size_t kSlack = 8;
    ParadoxRecords() = default;
    const char* record(std::size_t i) const { return data_.get() + i * static_cast<std::size_t>(recordSize_); }
    std::size_t count() const { return count_; }
    int recordSize() const { return recordSize_; }

private:
    friend ParadoxRecords loadParadoxRecords(const std::filesystem::path&, const ParadoxHeader&, std::string_view,
                                             unsigned);
    struct Free {
        void operator()(char* p) const noexcept;
    };
    std::unique_ptr<char, Free> data_;
    std::size_t count_ = 0;
    int recordSize_ = 1;
};

// Reads header + records of a .DB file.  name: the file for messages (1251).  threads: how
// many threads read a large file's blocks at once.
ParadoxHeader readParadoxHeader(const std::filesystem::path& file, std::string_view name, CodePage defaultCp);
ParadoxRecords loadParadoxRecords(const std::filesystem::path& file, const ParadoxHeader& header, std::string_view name,
                                  unsigned threads = 1);

class ParadoxTable : public Table, public KeySearch {
public:
    // Opens and reads the whole table; throws Error (NotFound, Corrupt, Unsupported, Io).
    ParadoxTable(const std::filesystem::path& file, const EngineSettings& settings);
    ~ParadoxTable() override;

    const ParadoxHeader& header() const { return data_->header; }
    const ParadoxRecords& records() const { return data_->records; }
    CodePage codePage() const { return data_->header.textCodePage; }

    // Builds the orders for these field lists ahead of use, one per thread (two at most).
    void prepareOrders(const std::vector<std::string>& fieldLists);

    const std::filesystem::path& file() const override { return file_; }
    const std::string& tableName() const override { return name_; }
    std::int64_t recordCount() override {
        refresh();
        return static_cast<std::int64_t>(data_->records.count());
    }
    void first() override;
    void next() override;
    bool eof() const override;
    std::int64_t recordNumber() const override;
    const std::vector<FieldInfo>& fields() const override { return data_->infos; }
    std::string text(FieldId f) const override;
    std::int32_t integer(FieldId f) const override;
    Date date(FieldId f) const override;
    bool isEmpty(FieldId f) const override;
    // M, B, F, O and G fields, from their leader or the .MB beside the table.
    MemoValue memo(FieldId f) const override;
    void edit() override;
    void insert() override;
    void setText(FieldId f, std::string_view value) override;
    void setInteger(FieldId f, std::int32_t value) override;
    void setDate(FieldId f, Date value) override;
    void post() override;
    void cancel() override;
    bool editing() const override { return inserting_; }
    void setIndexFieldNames(std::string_view names) override;
    const std::string& indexFieldNames() const override { return indexNames_; }
    bool findKey(std::span<const KeyValue> values) override;
    KeySearch* keySearch() override { return this; }
    // KeySearch
    bool knownToDifferFromFound() const override;
    std::uint64_t prefetch(std::span<const KeyValue> values) const override;
    bool find(std::span<const KeyValue> values, std::uint64_t hint) override;
    // Shares the records and orders read: no copy, no second reading of the file.
    std::unique_ptr<Table> cursor() const override;

    // The record under the cursor (stored position), for the order code and tests.
    std::size_t currentStored() const;

private:
    const char* current(FieldId f) const;
    const ParadoxField& field(FieldId f) const;
    ParadoxOrder& orderFor(const std::string& canonicalNames);
    std::vector<int> resolveFields(std::string_view names) const;
    std::string fieldMessage(FieldId f, std::string_view what) const;
    static std::string canonicalNames(std::string_view names);
    void refresh();  // re-reads the file after a posted insert

    struct Cursor {};
    ParadoxTable(const ParadoxTable& from, Cursor);

    // What was read of the file, shared by the table and its reading cursors.  A re-read
    // makes a new one; cursors made before keep the old.  Orders are added on demand from
    // any of them, one at a time; an order once built never changes.
    struct Loaded {
        ParadoxHeader header;
        ParadoxRecords records;
        std::vector<FieldInfo> infos;
        std::mutex ordersLock;
        std::map<std::string, std::unique_ptr<ParadoxOrder>> orders;  // by upper-cased field list
    };
    static std::shared_ptr<Loaded> load(const std::filesystem::path& file, std::string_view name,
                                        const EngineSettings& settings);
    ParadoxOrder& orderLocked(const std::string& canonicalNames);

    std::filesystem::path file_;
    std::string name_;
    EngineSettings settings_;
    std::shared_ptr<Loaded> data_;
    bool readOnly_ = false;              // a reading cursor
    ParadoxOrder* order_ = nullptr;      // nullptr = stored order
    mutable ParadoxOrder::Hints hints_;  // of prefetch()
    std::string indexNames_;
    std::size_t pos_ = 0;               // position in the current order
    std::optional<std::size_t> found_;  // where the last findKey stood, in the current order
    bool inserting_ = false;
    bool stale_ = false;
    std::string buffer_;  // the record being inserted
    std::unique_ptr<ParadoxKeyedWriter> writer_;
    mutable std::unique_ptr<ParadoxBlobFile> blobs_;  // opened at the first memo read
};

// A Paradox file already found, opened as openTable opens it.
std::unique_ptr<Table> openParadoxTable(const std::filesystem::path& file, const EngineSettings& settings);

}  // namespace strnum
