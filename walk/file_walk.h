// The district-file pass: one walk over a district file for an operation, on as many cores
// as the settings give.  Number assignment, the district check and the search walk the four
// files of every district record by record; this is the one piece that does that walk, and
// the one place where the speed of it lives.
//
// An operation gives a record step (RecordStep: how one record's values are read, and what
// is done with them) and gets, for every file, the effects one walk from the first record to
// the last would have: the report lines in their order, the records written, the steps done
// on the run's thread in order (inOrder), and the counters.
//
//     FileWalks walks(host, report, settings);            // one per run
//     FileWalk walk = walks.begin(file, {&directory, writes});
//     report.appendLine(heading + std::to_string(walk.recordCount()));
//     walk.walk<AssignStep>([&] { return std::make_unique<AssignStep>(...); }, counters);
//
// How: a file of splitFrom slots or more is split into parts (Table::splitWalkAt), one per
// thread ([Tables] Threads; 1: one walk on the run's thread), each with a table object and a
// cursor of the number directory of its own and a step object of its own.  The run's thread
// walks the first part, helper threads the others at once.  The first part's lines go to the
// report as they come (held only while its writes wait for their outcome); the other parts
// hold their lines, their writes and their ordered steps, and give them out in their turn
// when the parts before them are done.  A part that ends the walk early (a step that throws,
// stopWalk, an end marker, a file that got shorter since it was split) ends it for the parts
// after it: nothing of those is written, reported or counted, as in one walk that ended
// there.  Where the splits fall changes nothing that comes out; the parts' sizes follow the
// speeds measured on the files before, so that they end together.
//
// Records are read ahead of the walk (RecordStep::peek) and their directory searches
// announced (RecordStep::announce), so that the directory can bring in what they read
// meanwhile.  Writes are kept by the file and made many at a time (Table::setWriteBehind).
//
// Threads: a step object is used on one thread only; FilePart::show and processEvents reach
// the window from the first part alone.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/helper_thread.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "tables/write_journal.h"
#include "walk/host.h"

namespace strnum {

class FilePart;
class FileWalk;
class StepBase;

// The report as a record step writes it: lines in the order of the walk.
class PartReport final : public ReportSink {
public:
    // held: the room for lines held (kept from file to file).
    PartReport(Report& report, Report& held, bool holds) : report_(report), held_(held), holds_(holds) {}
    void appendLine(std::string_view text) override;
    void newLine() override;
    void appendRun(std::string_view text, Colour colour) override;

private:
    friend class FilePart;
    friend class FileWalk;
    // Where the lines stood at a moment of the walk, to go back to.
    struct Mark {
        bool direct = true;  // lines went to the report then
        std::size_t lines = 0, events = 0, text = 0, actions = 0;
    };
    Mark mark() const;
    // Everything written since the mark dropped: lines, outcomes, steps.
    void cutBack(const Mark& m);
    // Whether new lines go to the report now: the first part's, while nothing waits.
    bool direct() const { return !holds_ && events_.empty(); }
    void outcome(std::ptrdiff_t post, std::string_view ok, std::string_view failed);
    void action(std::function<void()> action);
    // The held lines, outcomes and steps into the report, in order.  written: the kept
    // posts' outcomes, in the order of the posts.
    void giveOut(const std::vector<bool>& written);
    void forget();

    // Something that waits in its place among the held lines: the line of a kept write's
    // outcome, or a step for the run's thread.
    struct Event {
        std::size_t beforeLine;
        std::ptrdiff_t post;          // -1: an action
        std::size_t ok, failed, end;  // the texts in eventText_: [ok, failed), [failed, end)
        std::size_t action;
    };
    Report& report_;
    Report& held_;
    bool holds_;             // a later part: everything is held
    bool lastHeld_ = false;  // where a run continues the last line
    std::vector<Event> events_;
    std::string eventText_;
    std::vector<std::function<void()>> actions_;
};

// What a record step works with: one part of the file, its cursor of the number directory,
// its report, and the window when the part is the run's own.
class FilePart {
public:
    // The file's table object of this part, standing on the current record.
    Table& file() const { return *file_; }
    // This part's cursor of the number directory (given to begin()).
    Table& directory() const;
    ReportSink& report() { return report_; }
    // Puts the current record into editing, lets setFields set its fields, writes it back;
    // on any failure cancels the edit.  The line of the outcome goes in its place: ok (none
    // when empty) when the record was written, failed when not.  A write that is kept for
    // later (writing behind) has its outcome when the kept writes are made.
    void write(const std::function<void()>& setFields, std::string_view ok, std::string_view failed);
    // A step that must be taken on the run's thread in the order of the walk (an insert into
    // another table, a line of another file): at once in the run's part, else in its turn.
    void inOrder(std::function<void()> action);
    // The window, from the run's part only (a later part shows nothing).
    void show(HostLabel label, std::string_view text);
    void processEvents();
    bool onRunThread() const { return runThread_; }
    // Ends the walk after this record, as if the file ended here.
    void stopWalk() { stopped_ = true; }

private:
    friend class FileWalk;
    FilePart(Host& host, Report& report, Report& held, bool runThread, WriteJournal* journal)
        : host_(host), report_(report, held, !runThread), runThread_(runThread), journal_(journal) {}
    // Where the record about to be stepped begins: what a write the journal refuses goes
    // back to.
    void startRecord();
    // A write that could not be made, for the file's notice.
    void notWritten(std::size_t count, std::string_view reason);
    // The journal's failure, when it has failed.
    bool journalFailed() const { return journal_ && !journal_->failure().empty(); }
    [[noreturn]] void endByJournal() const;
    Host& host_;
    Table* file_ = nullptr;
    Table* directory_ = nullptr;
    PartReport report_;
    bool runThread_;
    bool stopped_ = false;
    bool behind_ = false;  // the file keeps this part's writes
    WriteJournal* journal_;
    StepBase* step_ = nullptr;
    PartReport::Mark recordStart_;
    std::vector<PartReport::Mark> keptStarts_;  // of each kept write's record, in the order of the posts
    std::int64_t notWritten_ = 0;
    std::string firstFailure_;
};

// The operation's work on one record, without the values' type: what the walk calls.
class StepBase {
public:
    static constexpr std::size_t kAhead = 8;  // records read ahead of the walk
    static constexpr std::size_t kSlots = kAhead + 1;
    virtual ~StepBase() = default;

protected:
    friend class FileWalk;
    friend class FilePart;
    virtual void readSlot(const Table& file, std::size_t slot) = 0;
    virtual bool peekSlot(const Table& file, std::size_t ahead, std::size_t slot) = 0;
    virtual std::uint64_t announceSlot(Table* directory, std::size_t slot) = 0;
    virtual std::uint64_t announceAheadSlot(const Table& file, std::size_t ahead, Table* directory) = 0;
    virtual void recordSlot(FilePart& part, std::size_t slot, std::uint64_t hint) = 0;
    // The counters of a later part added to this one's.
    virtual void absorb(StepBase& later) = 0;
    // The counters as the record's step begins (markRecord), kept with a write kept for
    // later (keepMark), and gone back to when the journal refuses a write: the walk then
    // ends before that write's record, which is not counted.
    virtual void markRecord() = 0;
    virtual void keepMark() = 0;
    virtual void backToKept(std::size_t kept) = 0;
    virtual void backToRecordStart() = 0;
    virtual void forgetKept() = 0;
    // After a file walked in several parts, on the first part's step with every part's
    // counters in it: the window as one walk would have left it.
    virtual void afterParts(FilePart& first) { (void)first; }
};

// A record step over records of type Record, counting in Counters (which add up with +=).
template <class Record, class Counters>
class alignas(64) RecordStep : public StepBase {
public:
    Counters counters{};

protected:
    // The values of the current record.
    virtual void read(const Table& file, Record& r) = 0;
    // The values of the record `ahead` visible records after the current one, from what the
    // file has at hand (Table::peekText): false when they are not.
    virtual bool peek(const Table& file, std::size_t ahead, Record& r) {
        (void)file, (void)ahead, (void)r;
        return false;
    }
    // Announces the directory search that record will make (Table::prefetchKey): its hint.
    virtual std::uint64_t announce(Table& directory, const Record& r) {
        (void)directory, (void)r;
        return 0;
    }
    // For a step that does not peek whole records: announces the search of the record
    // `ahead` records on from the little it needs of it (its hint, or 0).
    virtual std::uint64_t announceAhead(const Table& file, std::size_t ahead, Table& directory) {
        (void)file, (void)ahead, (void)directory;
        return 0;
    }
    // The step itself, with the record's values and the hint of its search (0: none).
    virtual void record(FilePart& part, const Record& r, std::uint64_t hint) = 0;

private:
    void readSlot(const Table& file, std::size_t slot) final { read(file, slots_[slot]); }
    bool peekSlot(const Table& file, std::size_t ahead, std::size_t slot) final {
        return peek(file, ahead, slots_[slot]);
    }
    std::uint64_t announceSlot(Table* directory, std::size_t slot) final {
        return directory ? announce(*directory, slots_[slot]) : 0;
    }
    std::uint64_t announceAheadSlot(const Table& file, std::size_t ahead, Table* directory) final {
        return directory ? announceAhead(file, ahead, *directory) : 0;
    }
    void recordSlot(FilePart& part, std::size_t slot, std::uint64_t hint) final { record(part, slots_[slot], hint); }
    void absorb(StepBase& later) final { counters += static_cast<RecordStep&>(later).counters; }
    void markRecord() final { start_ = counters; }
    void keepMark() final { kept_.push_back(start_); }
    void backToKept(std::size_t kept) final { counters = kept_.at(kept); }
    void backToRecordStart() final { counters = start_; }
    void forgetKept() final { kept_.clear(); }
    std::array<Record, kSlots> slots_{};
    Counters start_{};
    std::vector<Counters> kept_;
};

struct WalkOptions {
    // The number directory the step searches: every part gets a reading cursor of it
    // (Table::readingCursor).  A directory without cursors is walked in one part.
    Table* directory = nullptr;
    // Whether the step writes the file's records: the writes are then kept and made many at
    // a time.
    bool writes = false;
};

// The walks of one run: the helper threads, and the parts' speeds from file to file.
class FileWalks {
public:
    FileWalks(Host& host, Report& report, const EngineSettings& settings);
    ~FileWalks();
    FileWalks(const FileWalks&) = delete;
    FileWalks& operator=(const FileWalks&) = delete;

    // Prepares the walk of one open file (split into its parts).
    FileWalk begin(Table& file, const WalkOptions& options);

    // Files of fewer slots are walked in one part (0: every file); each part has at least
    // half as many.
    std::int64_t splitFrom = 1024;
    // Tests: where the parts begin (slots, ascending), instead of where the speeds say.
    std::vector<std::int64_t> boundaries;

private:
    friend class FileWalk;
    Host& host_;
    Report& report_;
    std::shared_ptr<WriteJournal> journal_;
    unsigned threads_;
    std::vector<std::unique_ptr<HelperThread>> helpers_;
    std::vector<std::unique_ptr<Report>> rooms_;  // of the parts' held lines
    std::vector<double> shares_;                  // of the slots, by part, from the files before
    // The helper thread of part k (from 1), started when first asked; nullptr when the
    // system gives none (the part is then walked on the run's thread after the others).
    HelperThread* helper(std::size_t part);
    Report& room(std::size_t part);
    std::vector<std::int64_t> boundariesFor(std::int64_t from, std::int64_t to, std::size_t parts);
    void measured(const std::vector<std::int64_t>& records, const std::vector<double>& seconds);
};

// The walk of one file, in its parts.
class FileWalk {
public:
    FileWalk(const FileWalk&) = delete;
    FileWalk& operator=(const FileWalk&) = delete;
    ~FileWalk();

    std::size_t parts() const { return parts_.size(); }
    // The file's visible records, counted in its parts at once.
    std::int64_t recordCount();
    // Walks every record with a step made by make() for each part; the counters of all
    // parts go into `counters`, also when a step ends the walk.  What throws out of a step
    // ends the walk as one walk would end there, and is thrown on once the parts before it
    // and that part up to it are given out.
    template <class Step>
    void walk(const std::function<std::unique_ptr<Step>()>& make, decltype(Step::counters)& counters) {
        std::vector<std::unique_ptr<StepBase>> steps;
        for (std::size_t k = 0; k < parts_.size(); ++k) steps.push_back(make());
        const Step& first = static_cast<const Step&>(*steps.front());
        try {
            run(steps);
        } catch (...) {
            counters = first.counters;
            throw;
        }
        counters = first.counters;
    }

private:
    friend class FileWalks;
    struct Part;
    FileWalk(FileWalks& walks, Table& file, const WalkOptions& options);
    void run(std::vector<std::unique_ptr<StepBase>>& steps);
    void walkPart(std::size_t index, StepBase& step);
    void giveOut(Part& part);
    // Stops the parts still walking and waits for them.
    void stopAll() noexcept;

    FileWalks& walks_;
    WalkOptions options_;
    std::vector<std::unique_ptr<Part>> parts_;
    // The first part that ended the walk early: the parts after it stop.
    std::atomic<std::size_t> endsAt_;
};

}  // namespace strnum
