#include "walk/file_walk.h"

#include <algorithm>

#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "base/text.h"
#include "tables/file_scan.h"
#include "tables/key_search.h"
#include "walk/chunk_runner.h"

namespace strnum {

using namespace strnum::literals;

namespace {

// Chunks started ahead of the first one not given out, per thread.
constexpr std::size_t kAheadPerThread = 4;

}  // namespace

// ---- the report of a chunk ----------------------------------------------------------------

void PartReport::cutBack(const Mark& m) {
    held_.truncate(m.lines);
    events_.resize(m.events);
    eventText_.resize(m.text);
    actions_.resize(m.actions);
}

void PartReport::outcome(std::ptrdiff_t post, std::string_view ok, std::string_view failed) {
    Event e{held_.lineCount(), post, eventText_.size(), 0, 0, 0};
    eventText_ += ok;
    e.failed = eventText_.size();
    eventText_ += failed;
    e.end = eventText_.size();
    events_.push_back(e);
}

void PartReport::action(std::function<void(ReportSink&)> action) {
    events_.push_back(Event{held_.lineCount(), -1, 0, 0, 0, actions_.size()});
    actions_.push_back(std::move(action));
}

void PartReport::giveOut(Report& report, const std::vector<bool>& written) {
    const std::string_view text(eventText_);
    std::size_t line = 0;
    std::exception_ptr failed;
    for (const Event& e : events_) {
        report.appendFrom(held_, line, e.beforeLine);
        line = e.beforeLine;
        if (e.post < 0) {
            // A value sent, taken in its turn; what the taker throws ends the walk after
            // this chunk.
            try {
                actions_[e.action](report);
            } catch (...) {
                if (!failed) failed = std::current_exception();
            }
            continue;
        }
        const auto post = static_cast<std::size_t>(e.post);
        const bool wasWritten = post < written.size() && written[post];
        const std::string_view outcome =
            wasWritten ? text.substr(e.ok, e.failed - e.ok) : text.substr(e.failed, e.end - e.failed);
        if (!wasWritten || !outcome.empty()) report.appendLine(outcome);
    }
    report.appendFrom(held_, line, held_.lineCount());
    forget();
    if (failed) std::rethrow_exception(failed);
}

void PartReport::forget() {
    held_.clearKeepingRoom();
    events_.clear();
    eventText_.clear();
    actions_.clear();
}

// ---- what a step works with ---------------------------------------------------------------

Table& FilePart::directory() const {
    if (!directory_) throwError(ErrorKind::InvalidArgument, "walk without a number directory");
    return *directory_;
}

bool FilePart::find() {
    if (key_.empty()) return false;
    Table& d = directory();
    return search_ ? search_->find(key_, hint_) : d.findKey(key_);
}

bool FilePart::nextOfFound() {
    Table& d = directory();
    d.next();
    return !d.eof() && !(search_ && search_->knownToDifferFromFound());
}

void FilePart::write(const std::function<void()>& setFields, std::string_view ok, std::string_view failed) {
    Table& file = *file_;
    const std::size_t kept = scan_ ? scan_->kept(file) : 0;
    try {
        file.edit();
        setFields();
        file.post();
    } catch (const Error& e) {
        if (file.editing()) file.cancel();
        if (journalFailed()) {
            // No record is written without its note: the walk ends before this record.
            report_.cutBack(recordStart_);
            step_->backToRecordStart();
            endByJournal();
        }
        report_.appendLine(failed);
        notWritten(1, e.text());
        return;
    }
    if (scan_ && scan_->kept(file) > kept) {
        keptStarts_.push_back(recordStart_);
        step_->keepMark();
        report_.outcome(static_cast<std::ptrdiff_t>(keptStarts_.size()) - 1, ok, failed);
        return;
    }
    // Written at once.
    if (!ok.empty()) report_.appendLine(ok);
}

void FilePart::startRecord() {
    recordStart_ = report_.mark();
    step_->markRecord();
}

void FilePart::notWritten(std::size_t count, std::string_view reason) {
    if (count == 0) return;
    notWritten_ += static_cast<std::int64_t>(count);
    if (firstFailure_.empty()) firstFailure_ = reason;
}

void FilePart::endByJournal() const { throwError(ErrorKind::Io, journal_->failure()); }

// ---- the walks of a run -------------------------------------------------------------------

// What one chunk under way holds.
struct FileWalks::Room {
    Report held;
    FilePart part{held};
    std::unique_ptr<StepBase> step;
    std::unique_ptr<Table> cursor, lead;
    std::exception_ptr failed;
};

std::int64_t& chunkSlots() {
    static std::int64_t slots = 4096;
    return slots;
}

FileWalks::FileWalks(Host& host, Report& report, const EngineSettings& settings)
    : chunkSlots_(std::max<std::int64_t>(1, chunkSlots())),
      host_(host),
      report_(report),
      journal_(settings.journal),
      runner_(std::make_unique<ChunkRunner>(threadCount(settings.threads))) {
    const std::size_t rooms = kAheadPerThread * runner_->threads();
    for (std::size_t k = 0; k < rooms; ++k) rooms_.push_back(std::make_unique<Room>());
}

FileWalks::~FileWalks() = default;

FileWalk FileWalks::begin(Table& file, const WalkOptions& options) { return FileWalk(*this, file, options); }

// ---- the walk of one file -----------------------------------------------------------------

FileWalk::FileWalk(FileWalks& walks, Table& file, const WalkOptions& options)
    : walks_(walks), file_(file), options_(options), scan_(file.fileScan()) {}

FileWalk::FileWalk(FileWalk&&) noexcept = default;

FileWalk::~FileWalk() = default;

std::int64_t FileWalk::recordCount() {
    if (count_ < 0) count_ = scan_ ? scan_->load(options_.writes) : file_.recordCount();
    return count_;
}

Table* FileWalk::directoryFor(unsigned worker) {
    if (!options_.directory || worker == 0) return options_.directory;
    KeySearch* search = options_.directory->keySearch();
    if (directories_.size() < worker) directories_.resize(worker);
    if (!directories_[worker - 1]) directories_[worker - 1] = search->cursor();
    return directories_[worker - 1].get();
}

void FileWalk::walkRecords(FileWalks::Room& room, Table& file, Table* lead) {
    StepBase& step = *room.step;
    FilePart& part = room.part;
    constexpr std::size_t K = StepBase::kAhead;
    // The ring: slot i % K holds record i, read K records ahead of its step when there is a
    // cursor to read ahead with, with the hint of its announced search.
    std::array<std::uint64_t, K> hints{};
    std::size_t ahead = 0;  // records read ahead
    const auto readAhead = [&](std::size_t slot) {
        step.readSlot(*lead, slot);
        hints[slot] = part.search_ ? part.search_->prefetch(step.keySlot(slot)) : 0;
        lead->next();
    };
    if (lead)
        for (lead->first(); !lead->eof() && ahead < K; ++ahead) readAhead(ahead);
    std::size_t i = 0;
    for (file.first(); !file.eof(); file.next(), ++i) {
        const std::size_t slot = i % K;
        if (!lead) {
            step.readSlot(file, slot);
            hints[slot] = 0;
        }
        part.key_ = step.keySlot(slot);
        part.hint_ = hints[slot];
        part.startRecord();
        step.stepSlot(part, slot);
        if (lead && !lead->eof()) readAhead(slot);
        if (part.stopped_) return;
    }
}

void FileWalk::walkChunk(FileWalks::Room& room, std::int64_t from, std::int64_t to, unsigned worker) {
    FilePart& part = room.part;
    try {
        if (scan_) {
            room.cursor = scan_->chunk(from, to);
            // Records are read ahead only where their searches can be announced.
            if (options_.directory) room.lead = scan_->chunk(from, to);
            part.file_ = room.cursor.get();
        } else {
            room.cursor.reset();
            room.lead.reset();
            part.file_ = &file_;
        }
        part.directory_ = directoryFor(worker);
        part.search_ = part.directory_ ? part.directory_->keySearch() : nullptr;
        walkRecords(room, *part.file_, room.lead.get());
    } catch (...) {
        room.failed = std::current_exception();
    }
}

bool FileWalk::giveOut(FileWalks::Room& room, StepBase& total) {
    FilePart& part = room.part;
    bool ends = room.failed || part.stopped_;
    try {
        std::vector<bool> written;
        if (part.scan_) written = scan_->write(*room.cursor);
        // The journal refused the last writes (a journal that fails refuses all after): the
        // walk ends before the first of them, as if the file ended there.
        std::size_t keep = written.size();
        if (part.journalFailed())
            while (keep > 0 && !written[keep - 1]) --keep;
        part.notWritten(static_cast<std::size_t>(
                            std::count(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(keep), false)),
                        scan_ ? scan_->writeFailure() : std::string());
        if (keep < written.size()) {
            part.report_.cutBack(part.keptStarts_[keep]);
            part.step_->backToKept(keep);
        }
        if (!heading_.empty() && !part.report_.empty()) {
            walks_.report_.appendLine(heading_);
            heading_.clear();
        }
        part.report_.giveOut(walks_.report_, written);
        if (keep < written.size()) part.endByJournal();
    } catch (...) {
        if (!room.failed) room.failed = std::current_exception();
        ends = true;
    }
    total.absorb(*room.step);
    notWritten_ += part.notWritten_;
    if (firstFailure_.empty()) firstFailure_ = part.firstFailure_;
    if (room.failed && !failed_) failed_ = room.failed;
    for (LiveOption* o : walks_.options_) o->refresh();
    return !ends;
}

void FileWalk::run(const std::function<std::unique_ptr<StepBase>()>& make, StepBase& total,
                   const std::function<void()>& show) {
    (void)recordCount();
    // A file read once is walked in chunks of its loaded slots; any other on the run's
    // thread, as one chunk.
    const std::int64_t slots = scan_ ? scan_->loadedSlots() : 1;
    const bool cursors = !options_.directory || options_.directory->keySearch();
    const std::int64_t size = scan_ && cursors ? walks_.chunkSlots_ : std::max<std::int64_t>(1, slots);
    const std::size_t chunks = slots == 0 ? 0 : static_cast<std::size_t>((slots + size - 1) / size);
    // Each helper thread searches with a cursor of the directory of its own.
    if (chunks > 1)
        for (unsigned worker = 1; worker < walks_.runner_->threads(); ++worker) (void)directoryFor(worker);
    const auto prepare = [&](FileWalks::Room& room) {
        room.held.clearKeepingRoom();
        room.part.report_.forget();
        room.step = make();
        room.failed = nullptr;
        FilePart& part = room.part;
        part.step_ = room.step.get();
        part.journal_ = walks_.journal_.get();
        part.scan_ = options_.writes ? scan_ : nullptr;
        part.stopped_ = false;
        part.keptStarts_.clear();
        part.notWritten_ = 0;
        part.firstFailure_.clear();
    };
    const std::size_t rooms = walks_.rooms_.size();
    const std::function<void(std::size_t, unsigned)> work = [&](std::size_t k, unsigned worker) {
        FileWalks::Room& room = *walks_.rooms_[k % rooms];
        prepare(room);
        const auto from = static_cast<std::int64_t>(k) * size;
        walkChunk(room, from, std::min(slots, from + size), worker);
    };
    const std::function<bool(std::size_t)> give = [&](std::size_t k) {
        FileWalks::Room& room = *walks_.rooms_[k % rooms];
        const bool more = giveOut(room, total);
        room.cursor.reset();
        room.lead.reset();
        show();
        return more;
    };
    walks_.runner_->run(chunks, chunks > 1 ? rooms : 1, work, give, [this] { walks_.host_.processEvents(); });
    if (notWritten_ > 0)
        walks_.host_.notice(firstFailure_ + str("; не записано записей этого файла: "_cp) +
                            std::to_string(notWritten_));
    if (failed_) std::rethrow_exception(failed_);
}

}  // namespace strnum
