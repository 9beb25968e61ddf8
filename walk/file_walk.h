// The district-file pass: one walk over a district file for an operation, on as many cores
// as the settings give.  Number assignment, the district check and the search walk the four
// files of every district record by record; this is the one piece that does that walk, and
// the one place where the speed of it lives.
//
// An operation gives a record step (RecordStep: how one record's values are read, the key it
// is looked up by in the number directory, and what is done with it) and gets, for every
// file, the effects one walk from the first record to the last would have: the report lines
// in their order, the records written, the values sent to other tables and files in order
// (Channel), and the counters.
//
//     FileWalks walks(host, report, settings);                 // one per run
//     FileWalk walk = walks.begin(file, {&directory, writes});
//     report.appendLine(heading + std::to_string(walk.recordCount()));
//     walk.walk<AssignStep>([&] { return std::make_unique<AssignStep>(...); }, counters);
//
// How: a dBASE file (tables/file_scan.h) is read once, whole, in large reads, when its
// records are first counted; its slots are then walked in chunks of chunkSlots, on the run's
// thread and on [Tables] Threads - 1 helper threads at once, each chunk with a cursor of the
// file and a step object of its own and, on each thread, a cursor of the number directory of
// its own.  Each record's values are read some records ahead and its directory search
// announced (tables/key_search.h), so that what the search reads is in the cache when the
// step asks for it.  A chunk holds its lines, writes and values sent; the run's thread gives
// the chunks out in their order (the chunk's writes made together, its lines into the
// report) and lets the window breathe meanwhile.  A chunk that ends the walk (a step that
// throws, stopWalk, a journal that refuses a write) ends it for the chunks after it:
// nothing of those is written, reported, sent or counted.  Where chunks begin changes
// nothing that comes out.  A table without FileScan is walked on the run's thread alone.
//
// Threads: a step object, its cursors and its FilePart are used on one thread only; the
// window is reached from the run's thread alone (the pass shows the counts, LiveOption reads
// check boxes there).
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "tables/write_journal.h"
#include "walk/host.h"

namespace strnum {

class ChunkRunner;
class FilePart;
class FileScan;
class FileWalk;
class KeySearch;
class StepBase;

// The report as a record step writes it: a chunk's lines, held until the chunk is given
// out, with the outcomes of its writes and the values it sent in their places.
class PartReport final : public ReportSink {
public:
    explicit PartReport(Report& held) : held_(held) {}
    void appendLine(std::string_view text) override { held_.appendLine(text); }
    void newLine() override { held_.newLine(); }
    void appendRun(std::string_view text, Colour colour) override { held_.appendRun(text, colour); }

private:
    friend class FilePart;
    friend class FileWalk;
    template <class T>
    friend class Channel;
    // Where the lines stood at a moment of the walk, to go back to.
    struct Mark {
        std::size_t lines = 0, events = 0, text = 0, actions = 0;
    };
    Mark mark() const { return Mark{held_.lineCount(), events_.size(), eventText_.size(), actions_.size()}; }
    // Everything written since the mark dropped: lines, outcomes, values sent.
    void cutBack(const Mark& m);
    void outcome(std::ptrdiff_t post, std::string_view ok, std::string_view failed);
    void action(std::function<void(ReportSink&)> action);
    bool empty() const { return held_.empty() && events_.empty(); }
    // The held lines, outcomes and actions into `report`, in order.  written: the kept
    // posts' outcomes, in the order of the posts.  What an action throws is thrown on after
    // the rest is given out.
    void giveOut(Report& report, const std::vector<bool>& written);
    void forget();

    // Something that waits in its place among the held lines: the line of a kept write's
    // outcome, or a value sent.
    struct Event {
        std::size_t beforeLine;
        std::ptrdiff_t post;          // -1: an action
        std::size_t ok, failed, end;  // the texts in eventText_: [ok, failed), [failed, end)
        std::size_t action;
    };
    Report& held_;
    std::vector<Event> events_;
    std::string eventText_;
    std::vector<std::function<void(ReportSink&)>> actions_;
};

// A side effect of a step taken on the run's thread in the order of the walk (a record added
// to another table, a line of another file): the step sends a value, and the channel's
// taker gets it in its turn, with the report to write a line into.
template <class T>
class Channel {
public:
    explicit Channel(std::function<void(T&, ReportSink&)> take) : take_(std::move(take)) {}
    void send(FilePart& part, T value);

private:
    std::function<void(T&, ReportSink&)> take_;
};

// A check box read while the walk goes on: what it shows on the run's thread, kept for the
// steps on other threads, read again whenever the pass gives out a chunk (FileWalks::follow).
class LiveOption {
public:
    explicit LiveOption(std::function<bool()> read) : read_(std::move(read)) { refresh(); }
    bool now() const { return value_.load(std::memory_order_relaxed); }
    void refresh() { value_.store(read_ && read_(), std::memory_order_relaxed); }

private:
    std::function<bool()> read_;
    std::atomic<bool> value_{false};
};

// What a record step works with: a chunk of the file, this thread's cursor of the number
// directory, the chunk's report.
class FilePart {
public:
    // The file's cursor, standing on the current record.
    Table& file() const { return *file_; }
    ReportSink& report() { return report_; }
    // Looks the record up in the number directory by the key its step named
    // (RecordStep::key); the directory then stands on the entry found.  False when there is
    // none (or the step named no key).
    bool find();
    // This part's cursor of the number directory (given to begin()).
    Table& directory() const;
    // The entry after the one the directory stands on, in its order: false at the end, or
    // when the entry is known to differ from the one found in the order's values.
    bool nextOfFound();
    // Puts the current record into editing, lets setFields set its fields, writes it back;
    // on any failure cancels the edit.  The line of the outcome goes in its place: ok (none
    // when empty) when the record was written, failed when not.  A chunk's writes are made
    // when it is given out, their outcomes then.
    void write(const std::function<void()>& setFields, std::string_view ok, std::string_view failed);
    // Ends the walk after this record, as if the file ended here.
    void stopWalk() { stopped_ = true; }

private:
    friend class FileWalk;
    friend class FileWalks;
    template <class T>
    friend class Channel;
    explicit FilePart(Report& held) : report_(held) {}
    // Where the record about to be stepped begins: what a write the journal refuses goes
    // back to.
    void startRecord();
    void notWritten(std::size_t count, std::string_view reason);
    bool journalFailed() const { return journal_ && !journal_->failure().empty(); }
    [[noreturn]] void endByJournal() const;

    Table* file_ = nullptr;
    FileScan* scan_ = nullptr;  // the file's, when the chunk's writes are kept
    Table* directory_ = nullptr;
    KeySearch* search_ = nullptr;
    PartReport report_;
    StepBase* step_ = nullptr;
    WriteJournal* journal_ = nullptr;
    bool stopped_ = false;
    // The current record's key and the hint of its announced search.
    std::span<const KeyValue> key_;
    std::uint64_t hint_ = 0;
    PartReport::Mark recordStart_;
    std::vector<PartReport::Mark> keptStarts_;  // of each kept write's record, in the order of the posts
    std::int64_t notWritten_ = 0;
    std::string firstFailure_;
};

template <class T>
void Channel<T>::send(FilePart& part, T value) {
    part.report_.action([this, v = std::move(value)](ReportSink& report) mutable { take_(v, report); });
}

// The operation's work on one record, without the values' type: what the walk calls.
class StepBase {
public:
    static constexpr std::size_t kAhead = 8;  // records read ahead of the walk
    virtual ~StepBase() = default;

protected:
    friend class FileWalk;
    friend class FilePart;
    virtual void readSlot(const Table& file, std::size_t slot) = 0;
    virtual std::span<const KeyValue> keySlot(std::size_t slot) const = 0;
    virtual void stepSlot(FilePart& part, std::size_t slot) = 0;
    // The counters of a later chunk added to this one's.
    virtual void absorb(StepBase& later) = 0;
    // The counters as the record's step begins (markRecord), kept with a write kept for
    // later (keepMark), and gone back to when the journal refuses a write: the walk then
    // ends before that write's record, which is not counted.
    virtual void markRecord() = 0;
    virtual void keepMark() = 0;
    virtual void backToKept(std::size_t kept) = 0;
    virtual void backToRecordStart() = 0;
    virtual void forgetKept() = 0;
};

// A record step over records of type Record, counting in Counters (which add up with +=).
template <class Record, class Counters>
class RecordStep : public StepBase {
public:
    Counters counters{};

protected:
    // The values of the record the file stands on.
    virtual void read(const Table& file, Record& r) = 0;
    // The key the record is looked up by in the number directory (FilePart::find), from its
    // values; empty when it is looked up by none.  It may point into r.
    virtual std::span<const KeyValue> key(const Record& r) const {
        (void)r;
        return {};
    }
    // The step itself, with the record's values; the file stands on the record.
    virtual void step(FilePart& part, const Record& r) = 0;

private:
    void readSlot(const Table& file, std::size_t slot) final { read(file, slots_[slot]); }
    std::span<const KeyValue> keySlot(std::size_t slot) const final { return key(slots_[slot]); }
    void stepSlot(FilePart& part, std::size_t slot) final { step(part, slots_[slot]); }
    void absorb(StepBase& later) final { counters += static_cast<RecordStep&>(later).counters; }
    void markRecord() final { start_ = counters; }
    void keepMark() final { kept_.push_back(start_); }
    void backToKept(std::size_t kept) final { counters = kept_.at(kept); }
    void backToRecordStart() final { counters = start_; }
    void forgetKept() final { kept_.clear(); }
    std::array<Record, kAhead> slots_{};
    Counters start_{};
    std::vector<Counters> kept_;
};

struct WalkOptions {
    // The number directory the step searches (FilePart::find); every thread gets a reading
    // cursor of it (KeySearch::cursor).  A directory without cursors is walked on the run's
    // thread alone.
    Table* directory = nullptr;
    // Whether the step writes the file's records.
    bool writes = false;
};

// The window's count while a walk goes on: `count` of the counters of every record walked so
// far, shown in `label` as a multiple of `every` (1: as it is).
template <class Counters>
struct ShownCount {
    HostLabel label = HostLabel::RecordCount;
    std::int32_t Counters::*count = nullptr;
    std::int32_t every = 1;
};

// Slots of a district file walked as one chunk: 4096, or fewer where tests walk small files
// in many chunks on several threads (set before the run).
std::int64_t& chunkSlots();

// The walks of one run: the threads, the chunks' rooms, the check boxes followed.
class FileWalks {
public:
    FileWalks(Host& host, Report& report, const EngineSettings& settings);
    ~FileWalks();
    FileWalks(const FileWalks&) = delete;
    FileWalks& operator=(const FileWalks&) = delete;

    // Prepares the walk of one open file.
    FileWalk begin(Table& file, const WalkOptions& options);
    // A check box the steps read (read again as chunks are given out).
    void follow(LiveOption& option) { options_.push_back(&option); }

private:
    friend class FileWalk;
    struct Room;
    const std::int64_t chunkSlots_;
    Host& host_;
    Report& report_;
    std::shared_ptr<WriteJournal> journal_;
    std::unique_ptr<ChunkRunner> runner_;
    std::vector<std::unique_ptr<Room>> rooms_;  // of the chunks under way, by chunk % their count
    std::vector<LiveOption*> options_;
};

// The walk of one file, in its chunks.
class FileWalk {
public:
    FileWalk(FileWalk&&) noexcept;
    FileWalk(const FileWalk&) = delete;
    FileWalk& operator=(const FileWalk&) = delete;
    ~FileWalk();

    // The file's visible records.  A file read once is read now, whole.
    std::int64_t recordCount();
    // A line put before the first line this walk writes, when it writes any.
    void headingBeforeFirstLine(std::string text) { heading_ = std::move(text); }

    // Walks every record with a step made by make() for each chunk; the counters of all
    // chunks go into `counters`, also when a step ends the walk.  What throws out of a step
    // ends the walk as one walk would end there, and is thrown on once the chunks before it
    // and that chunk up to it are given out.  shown: the count the window shows meanwhile.
    template <class Step>
    void walk(const std::function<std::unique_ptr<Step>()>& make, decltype(Step::counters)& counters,
              ShownCount<std::remove_reference_t<decltype(Step::counters)>> shown = {}) {
        using Counters = std::remove_reference_t<decltype(Step::counters)>;
        std::unique_ptr<StepBase> total = make();
        const Step& sum = static_cast<const Step&>(*total);
        std::int32_t lastShown = -1;
        const auto show = [&] {
            if (!shown.count) return;
            const std::int32_t n = sum.counters.*shown.count / shown.every * shown.every;
            if (n == lastShown || n == 0) return;
            lastShown = n;
            walks_.host_.setLabel(shown.label, std::to_string(n));
        };
        try {
            run([&] { return std::unique_ptr<StepBase>(make()); }, *total, show);
        } catch (...) {
            counters = sum.counters;
            throw;
        }
        counters = sum.counters;
        (void)sizeof(Counters);
    }

private:
    friend class FileWalks;
    FileWalk(FileWalks& walks, Table& file, const WalkOptions& options);
    void run(const std::function<std::unique_ptr<StepBase>()>& make, StepBase& total,
             const std::function<void()>& show);
    // The records of one chunk with its step; what it throws is kept in the room.
    void walkChunk(FileWalks::Room& room, std::int64_t from, std::int64_t to, unsigned worker);
    void walkRecords(FileWalks::Room& room, Table& file, Table* lead);
    // Gives out one chunk: false when the walk ends with it.
    bool giveOut(FileWalks::Room& room, StepBase& total);
    Table* directoryFor(unsigned worker);

    FileWalks& walks_;
    Table& file_;
    WalkOptions options_;
    FileScan* scan_ = nullptr;
    std::int64_t count_ = -1;
    std::string heading_;
    std::vector<std::unique_ptr<Table>> directories_;  // of the helper threads, by worker
    std::exception_ptr failed_;
    std::int64_t notWritten_ = 0;
    std::string firstFailure_;
};

}  // namespace strnum
