// A dBASE table (III, IV, V, 7, FoxPro, Visual FoxPro) behind the table interface.
//
// Reading: the header is read and checked once at opening (dbase/dbf_header.h); records are
// read with positioned reads in chunks, never mapped.  The walk visits the live records in
// stored order among min(header count, whole slots in the file), stopping at a slot that
// starts with the end marker 0x1A; deleted records ('*') and slots with any other first
// byte are invisible and not counted.  A file that shrinks under us ends the walk early.
//
// Writing in place, as a shared file must be written: edit() locks the one record by the
// byte range of the configured locking scheme (EngineSettings::lockScheme) and re-reads it;
// set* encode the value at once (too long, not a number, a character the code page lacks
// fail here) and refuse fields covered by an index this engine does not maintain
// (dbase/dbf_index.h); post() re-reads the record once more under the lock, puts the set
// fields' bytes into it, writes the whole record back in one write, updates the header's
// last-update date (bytes 1-3, nothing else of the header) and releases the lock.  Bytes of
// fields not set are written back exactly as they are on disk at that moment.  The record
// count, the file size and the end marker are never touched.
//
// Read once, walked in chunks (FileScan, tables/file_scan.h; dbf_scan.cpp): load() reads the
// whole file in large reads (the first of them at opening, with the header) and counts its
// visible records; the table's walk and its chunks then read those bytes.  A chunk is a
// table object over some of the loaded slots, for a thread of its own; its edits are kept,
// and write(chunk) writes them as above but together: one lock over the lock bytes of all of
// them (records between them included), one read of their range, one write of the range,
// one release.  Each kept record goes back as it is on disk under the lock plus its set
// fields; the records between them exactly as just read under the same lock (no program
// that keeps to the locks can have written them in between).  A kept record deleted
// meanwhile is not written.  When another program holds a lock in the range, each record is
// written by itself, waiting for its lock as edit() does.
//
// The files: dbf_table.cpp opens, walks and reads; dbf_edit.cpp edits one record under its
// lock; dbf_scan.cpp loads, makes chunks and writes what they kept.
//
// Not thread-safe; one table object per thread (a chunk is one).  The object owns its file
// descriptor and lock; destroying it releases both.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbase/dbf_header.h"
#include "dbase/dbf_index.h"
#include "dbase/dbf_memo.h"
#include "system/file.h"
#include "tables/engine_settings.h"
#include "tables/file_scan.h"
#include "tables/table.h"

namespace strnum {

class DbfTable final : public Table, public FileScan {
public:
    // Throws NotFound (no such file), Corrupt (a header that cannot be right), Unsupported
    // (not a dBASE table), Io.  name: the table name as asked (1251), for tableName().
    DbfTable(const std::filesystem::path& file, std::string name, const EngineSettings& settings);
    ~DbfTable() override;

    const std::filesystem::path& file() const override { return path_; }
    const std::string& tableName() const override { return name_; }
    std::int64_t recordCount() override;

    void first() override;
    void next() override;
    bool eof() const override { return eof_; }
    std::int64_t recordNumber() const override { return cur_ + 1; }

    const std::vector<FieldInfo>& fields() const override { return fields_; }
    std::string text(FieldId f) const override;
    void textInto(FieldId f, std::string& out) const override;
    // A character field's stored bytes against the value in the file's code page.
    bool textStartIs(FieldId f, std::size_t maxChars, std::string_view value) const override;
    // M, G, B (dBASE IV) and P fields, from the .DBT or .FPT beside the table.
    MemoValue memo(FieldId f) const override;
    bool goToRecord(std::int64_t number) override;
    std::int32_t integer(FieldId f) const override;
    Date date(FieldId f) const override;
    bool isEmpty(FieldId f) const override;

    void edit() override;
    void insert() override;
    void setText(FieldId f, std::string_view value) override;
    void setInteger(FieldId f, std::int32_t value) override;
    void setDate(FieldId f, Date value) override;
    void post() override;
    void cancel() override;
    bool editing() const override { return editing_; }

    // FileScan (dbf_scan.cpp).  A chunk's edits need no lock and its posts write nothing.
    FileScan* fileScan() override { return view_ ? nullptr : this; }
    std::int64_t load(bool writes) override;
    std::int64_t loadedSlots() const override { return loaded_ ? slots_ : 0; }
    std::unique_ptr<Table> chunk(std::int64_t from, std::int64_t to) override;
    std::size_t kept(const Table& chunk) const override;
    std::vector<bool> write(Table& chunk) override;
    std::string writeFailure() const override { return writeFailure_; }

    void setIndexFieldNames(std::string_view names) override;
    const std::string& indexFieldNames() const override { return indexNames_; }
    bool findKey(std::span<const KeyValue> values) override;

    // dBASE facts, for the dump and the tests.
    const DbfHeader& header() const { return header_; }
    CodePage codePage() const { return codePage_; }
    // The indexes kept over this table by other programs (read at the first edit).
    const std::vector<DbfIndexKey>& indexes();
    // The stored bytes of a field of the current record, and setting them as they are
    // (same length; in edit state), for putting back what a journal noted.
    std::string_view fieldBytes(FieldId f) const {
        const DbfField& d = field(f);
        return recordBytes().substr(static_cast<std::size_t>(d.offset), static_cast<std::size_t>(d.length));
    }
    void setFieldBytes(FieldId f, std::string_view bytes);
    // The raw bytes of the current record (deletion byte first).
    std::string_view recordBytes() const {
        if (editing_) return edited_;
        requireRecord();
        return room_->view().substr(static_cast<std::size_t>(cur_ - bufFirst_) * header_.recordLength,
                                    header_.recordLength);
    }

private:
    struct Chunk {
        std::int64_t from, to;
    };
    DbfTable(const DbfTable& from, Chunk slots);
    // Slots the file holds records in now: min(header count, whole slots).
    std::int64_t fileSlots() const;
    std::uint64_t slotOffset(std::int64_t slot) const;
    bool isMemoField(const DbfField& d) const;
    // Notes the fields that differ between the two forms of a record in the run's journal.
    void journalChanges(std::int64_t slot, std::string_view before, std::string_view after,
                        const std::vector<bool>& changed) const;
    // The bytes of a slot, read through the chunk buffer; empty when the file ends before it.
    std::string_view slot(std::int64_t k);
    void advanceFrom(std::int64_t k);
    // Reading every field of every record goes through these two: kept inline, their
    // errors out of line.
    const DbfField& field(FieldId f) const {
        if (f < 0 || static_cast<std::size_t>(f) >= header_.fields.size()) noSuchField(f);
        return header_.fields[static_cast<std::size_t>(f)];
    }
    void requireRecord() const {
        if (eof_ || cur_ < bufFirst_ || cur_ >= bufFirst_ + bufSlots_) noRecord();
    }
    // The live slots among [from, end), stopping at an end marker or where the file ends.
    struct LiveCount {
        std::int64_t live = 0;
        bool cut = false;  // an end marker, or the file ended before `end`
    };
    LiveCount countLive(std::int64_t from, std::int64_t end) const;
    [[noreturn]] void noSuchField(FieldId f) const;
    [[noreturn]] void noRecord() const;
    bool isNull(FieldId f) const;
    void charText(std::string_view bytes, std::string& out) const;  // a C field's bytes as text
    void requireEditing(FieldId f) const;
    void applyField(FieldId f, const std::string& bytes);
    std::uint64_t lockOffset(std::int64_t recordNo) const;
    std::string recordText() const;  // "record N of FILE" for messages
    void writeHeaderDate();
    // A kept post: the slot, the record as edited and which fields were set.
    struct Pending {
        std::int64_t slot = 0;
        std::string record;
        std::vector<bool> changed;
    };
    // Puts the set fields of p into rec (the record as on disk, recordLength bytes).
    void applyPending(const Pending& p, char* rec) const;
    bool writePendingAlone(const Pending& p);
    // Writes the kept posts; one entry per kept post, in the order of the posts: true when
    // its record was written.  Never throws.
    std::vector<bool> writeKept();
    // Notes why a kept post was not written (the first reason of a flush is kept).
    bool notWritten(std::int64_t slot, std::string_view why);
    bool tryLock(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) noexcept;
    void refreshBuffered(std::int64_t slot, std::string_view rec);

    std::filesystem::path path_;
    std::string name_;
    std::string fileText_;  // 1251, for messages
    EngineSettings settings_;
    std::unique_ptr<File> file_;  // none in a chunk
    bool writable_ = false;       // the file, as opened
    DbfHeader header_;
    CodePage codePage_ = CodePage::Cp866;
    std::vector<FieldInfo> fields_;
    std::int64_t slots_ = 0;  // slots that may hold records
    std::optional<std::int64_t> count_;

    // Room for bytes read from the file: it grows without being cleared first, as every
    // byte of it that is looked at has been read.
    class ReadRoom {
    public:
        char* resize(std::size_t n) {
            if (n > capacity_) {
                data_.reset(new char[n]);
                capacity_ = n;
            }
            size_ = n;
            return data_.get();
        }
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return capacity_; }
        std::string_view view() const { return {data_.get(), size_}; }
        // A record's bytes at pos, where the room holds them.
        void replace(std::size_t pos, std::string_view bytes) {
            if (pos <= size_ && bytes.size() <= size_ - pos) std::copy(bytes.begin(), bytes.end(), data_.get() + pos);
        }

    private:
        std::unique_ptr<char[]> data_;
        std::size_t size_ = 0, capacity_ = 0;
    };
    // Whole slots read from the file: a chunk of a walk, or the whole file once loaded (then
    // shared with the chunks made of it).
    std::shared_ptr<ReadRoom> room_ = spareRoom();
    // A room given back by a table that closed, for the next one: the memory of the file
    // before, already touched, takes the next file's bytes without the system clearing new
    // pages for them (district files are opened one after another).
    static std::shared_ptr<ReadRoom> spareRoom();
    static void giveBack(std::shared_ptr<ReadRoom>& room) noexcept;
    std::int64_t bufFirst_ = 0;
    std::int64_t bufSlots_ = 0;
    std::int64_t cur_ = -1;
    bool eof_ = true;
    bool loaded_ = false;  // the room holds the slots [0, slots_) of the file
    bool view_ = false;    // a chunk: the slots [walkFrom_, slots_) of a loaded table
    std::int64_t walkFrom_ = 0;
    std::string opening_;  // the bytes of the first read, after the header (used by load())

    bool editing_ = false;
    RangeLock lock_;
    std::string original_;      // the record as read at edit()
    std::string writeFailure_;  // of the last write()
    std::string edited_;
    std::vector<bool> changed_;
    bool writeBehind_ = false;
    std::vector<Pending> pending_;
    std::optional<std::vector<DbfIndexKey>> indexes_;
    bool structuralCdx_ = false;
    std::string indexNames_;
    // textStartIs: the last value asked for, in the file's code page (when every character
    // of it has a byte there that reads as nothing else).
    mutable std::string startValue_, startBytes_;
    mutable bool startSet_ = false, startComparable_ = false;
    mutable std::unique_ptr<DbfMemoFile> memo_;  // opened at the first memo read
    int journalFile_ = 0;                        // this file's number in the run's journal
};

// A dBASE file already found, opened as openTable opens it (its name for messages: the file's).
std::unique_ptr<Table> openDbfTable(const std::filesystem::path& file, const EngineSettings& settings);

}  // namespace strnum
