#include "walk/file_walk.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>

#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

namespace {

// The first part's kept writes are made when this many wait (and its lines with them).
constexpr std::size_t kWritesPerGiveOut = 256;

using Clock = std::chrono::steady_clock;

}  // namespace

// ---- the report of a part ----------------------------------------------------------------

void PartReport::appendLine(std::string_view text) {
    lastHeld_ = !direct();
    (lastHeld_ ? held_ : report_).appendLine(text);
}

void PartReport::newLine() {
    lastHeld_ = !direct();
    (lastHeld_ ? held_ : report_).newLine();
}

void PartReport::appendRun(std::string_view text, Colour colour) {
    // A run continues the last line, wherever it went.
    (lastHeld_ ? held_ : report_).appendRun(text, colour);
}

void PartReport::outcome(std::ptrdiff_t post, std::string_view ok, std::string_view failed) {
    Event e{held_.lineCount(), post, eventText_.size(), 0, 0, 0};
    eventText_ += ok;
    e.failed = eventText_.size();
    eventText_ += failed;
    e.end = eventText_.size();
    events_.push_back(e);
    lastHeld_ = true;
}

void PartReport::action(std::function<void()> action) {
    events_.push_back(Event{held_.lineCount(), -1, 0, 0, 0, actions_.size()});
    actions_.push_back(std::move(action));
    lastHeld_ = true;
}

void PartReport::giveOut(const std::vector<bool>& written) {
    const std::string_view text(eventText_);
    std::size_t line = 0;
    std::exception_ptr failed;
    for (const Event& e : events_) {
        report_.appendFrom(held_, line, e.beforeLine);
        line = e.beforeLine;
        if (e.post < 0) {
            // A step of the run's thread taken in its turn; it must not throw, and what it
            // throws ends the walk after this part.
            try {
                actions_[e.action]();
            } catch (...) {
                if (!failed) failed = std::current_exception();
            }
            continue;
        }
        const auto post = static_cast<std::size_t>(e.post);
        const bool wasWritten = post < written.size() && written[post];
        const std::string_view outcome =
            wasWritten ? text.substr(e.ok, e.failed - e.ok) : text.substr(e.failed, e.end - e.failed);
        if (!wasWritten || !outcome.empty()) report_.appendLine(outcome);
    }
    report_.appendFrom(held_, line, held_.lineCount());
    forget();
    if (failed) std::rethrow_exception(failed);
}

PartReport::Mark PartReport::mark() const {
    if (direct()) return Mark{true, report_.lineCount(), 0, 0, 0};
    return Mark{false, held_.lineCount(), events_.size(), eventText_.size(), actions_.size()};
}

void PartReport::cutBack(const Mark& m) {
    if (m.direct) {
        report_.truncate(m.lines);
        forget();
        return;
    }
    held_.truncate(m.lines);
    events_.resize(m.events);
    eventText_.resize(m.text);
    actions_.resize(m.actions);
    lastHeld_ = true;
}

void PartReport::forget() {
    held_.clearKeepingRoom();
    events_.clear();
    eventText_.clear();
    actions_.clear();
    lastHeld_ = false;
}

// ---- what a step works with ---------------------------------------------------------------

Table& FilePart::directory() const {
    if (!directory_) throwError(ErrorKind::InvalidArgument, "walk without a number directory");
    return *directory_;
}

void FilePart::write(const std::function<void()>& setFields, std::string_view ok, std::string_view failed) {
    Table& file = *file_;
    const std::size_t kept = file.pendingWrites();
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
    if (file.pendingWrites() > kept) {
        keptStarts_.push_back(recordStart_);
        step_->keepMark();
        report_.outcome(static_cast<std::ptrdiff_t>(file.pendingWrites()) - 1, ok, failed);
        return;
    }
    // Written at once (or nothing to write: a post that changed no byte).
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

void FilePart::inOrder(std::function<void()> action) {
    if (report_.direct())
        action();
    else
        report_.action(std::move(action));
}

void FilePart::show(HostLabel label, std::string_view text) {
    if (runThread_) host_.setLabel(label, text);
}

void FilePart::processEvents() {
    if (runThread_) host_.processEvents();
}

// ---- the walks of a run -------------------------------------------------------------------

FileWalks::FileWalks(Host& host, Report& report, const EngineSettings& settings)
    : host_(host), report_(report), journal_(settings.journal), threads_(threadCount(settings.threads)) {}

FileWalks::~FileWalks() = default;

HelperThread* FileWalks::helper(std::size_t part) {
    while (helpers_.size() < part) {
        try {
            helpers_.push_back(std::make_unique<HelperThread>());
        } catch (const std::system_error&) {
            return nullptr;
        }
    }
    return helpers_[part - 1].get();
}

Report& FileWalks::room(std::size_t part) {
    while (rooms_.size() <= part) rooms_.push_back(std::make_unique<Report>());
    return *rooms_[part];
}

std::vector<std::int64_t> FileWalks::boundariesFor(std::int64_t from, std::int64_t to, std::size_t parts) {
    std::vector<std::int64_t> at;
    if (!boundaries.empty()) {
        for (const std::int64_t b : boundaries)
            if (b > (at.empty() ? from : at.back()) && b < to) at.push_back(b);
        return at;
    }
    if (shares_.size() != parts) shares_.assign(parts, 1.0 / static_cast<double>(parts));
    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < parts; ++k) {
        sum += shares_[k];
        const auto b = from + static_cast<std::int64_t>(std::llround(static_cast<double>(to - from) * sum));
        if (b > (at.empty() ? from : at.back()) && b < to) at.push_back(b);
    }
    return at;
}

void FileWalks::measured(const std::vector<std::int64_t>& records, const std::vector<double>& seconds) {
    const std::size_t parts = records.size();
    if (parts < 2 || shares_.size() != parts) return;
    std::vector<double> speed(parts);
    double total = 0.0;
    for (std::size_t k = 0; k < parts; ++k) {
        if (records[k] < 256 || seconds[k] <= 0.0) return;  // too little to go by
        speed[k] = static_cast<double>(records[k]) / seconds[k];
        total += speed[k];
    }
    // Each part's share moves a quarter of the way to where all would have ended together,
    // and stays within 0.6 and 1.4 of an equal share.
    const double equal = 1.0 / static_cast<double>(parts);
    double sum = 0.0;
    for (std::size_t k = 0; k < parts; ++k) {
        shares_[k] = std::clamp(0.75 * shares_[k] + 0.25 * speed[k] / total, 0.6 * equal, 1.4 * equal);
        sum += shares_[k];
    }
    for (double& s : shares_) s /= sum;
}

FileWalk FileWalks::begin(Table& file, const WalkOptions& options) { return FileWalk(*this, file, options); }

// ---- the walk of one file -----------------------------------------------------------------

struct alignas(64) FileWalk::Part {
    Part(Host& host, Report& report, Report& held, bool runThread, WriteJournal* journal)
        : facade(host, report, held, runThread, journal) {}
    std::unique_ptr<Table> ownFile, ownDirectory;
    FilePart facade;
    std::exception_ptr failed;
    bool reachedEnd = true;
    bool onHelper = false;
    std::int64_t walked = 0;
    double seconds = 0.0;
};

FileWalk::FileWalk(FileWalks& walks, Table& file, const WalkOptions& options)
    : walks_(walks), options_(options), endsAt_(static_cast<std::size_t>(-1)) {
    parts_.push_back(std::make_unique<Part>(walks_.host_, walks_.report_, walks_.room(0), true, walks_.journal_.get()));
    parts_[0]->facade.file_ = &file;
    parts_[0]->facade.directory_ = options.directory;
    if ((walks_.threads_ < 2 || walks_.splitFrom <= 0) && walks_.boundaries.empty()) return;
    const auto range = file.walkSlots();
    if (!range) return;
    const std::int64_t slots = range->second - range->first;
    if (slots < std::max<std::int64_t>(walks_.splitFrom, 2)) return;
    // As many parts as there are threads, each of at least half of splitFrom slots.
    const std::int64_t fit = std::max<std::int64_t>(1, slots * 2 / std::max<std::int64_t>(walks_.splitFrom, 2));
    std::size_t parts = walks_.boundaries.empty()
                            ? static_cast<std::size_t>(std::min<std::int64_t>(walks_.threads_, fit))
                            : walks_.boundaries.size() + 1;
    if (parts < 2) return;
    // Every later part needs a cursor of the directory of its own.
    std::vector<std::unique_ptr<Table>> cursors;
    if (options.directory) {
        for (std::size_t k = 1; k < parts; ++k) {
            cursors.push_back(options.directory->readingCursor());
            if (!cursors.back()) return;
        }
    }
    const std::vector<std::int64_t> at = walks_.boundariesFor(range->first, range->second, parts);
    Table* last = &file;
    for (std::size_t k = 0; k < at.size(); ++k) {
        std::unique_ptr<Table> later = last->splitWalkAt(at[k]);
        if (!later) break;  // the file cannot be opened again: fewer parts
        auto part =
            std::make_unique<Part>(walks_.host_, walks_.report_, walks_.room(k + 1), false, walks_.journal_.get());
        part->ownFile = std::move(later);
        part->facade.file_ = part->ownFile.get();
        if (options.directory) {
            part->ownDirectory = std::move(cursors[k]);
            part->facade.directory_ = part->ownDirectory.get();
        }
        last = part->ownFile.get();
        parts_.push_back(std::move(part));
    }
}

FileWalk::~FileWalk() { stopAll(); }

void FileWalk::stopAll() noexcept {
    endsAt_.store(0, std::memory_order_relaxed);
    for (std::size_t k = 1; k < parts_.size(); ++k) {
        if (!parts_[k]->onHelper) continue;
        try {
            walks_.helper(k)->wait();
        } catch (...) {
        }
        parts_[k]->onHelper = false;
    }
}

std::int64_t FileWalk::recordCount() {
    Table& file = *parts_[0]->facade.file_;
    if (parts_.size() == 1) return file.recordCount();
    // Each part counts its own slots on its thread; a part that cannot say (an end marker,
    // a file that got shorter) leaves the count to the whole file.
    std::vector<std::optional<std::int64_t>> counts(parts_.size());
    std::vector<HelperThread*> helpers(parts_.size(), nullptr);
    for (std::size_t k = 1; k < parts_.size(); ++k) {
        helpers[k] = walks_.helper(k);
        if (helpers[k])
            helpers[k]->run([this, &counts, k] { counts[k] = parts_[k]->facade.file_->recordCountOfPart(); });
    }
    std::exception_ptr failed;
    try {
        counts[0] = file.recordCountOfPart();
    } catch (...) {
        failed = std::current_exception();
    }
    for (std::size_t k = 1; k < parts_.size(); ++k) {
        try {
            if (helpers[k])
                helpers[k]->wait();
            else
                counts[k] = parts_[k]->facade.file_->recordCountOfPart();
        } catch (...) {
            if (!failed) failed = std::current_exception();
        }
    }
    if (failed) std::rethrow_exception(failed);
    std::int64_t sum = 0;
    for (const auto& c : counts) {
        if (!c) return file.recordCount();
        sum += *c;
    }
    return sum;
}

void FileWalk::walkPart(std::size_t index, StepBase& step) {
    Part& p = *parts_[index];
    FilePart& part = p.facade;
    Table& file = *part.file_;
    const bool first = index == 0;
    const auto start = Clock::now();
    // The ring of records read ahead: slot ordinal % kSlots holds that record, when read,
    // and the hint of its search, when announced.
    std::array<std::int64_t, StepBase::kSlots> ordinalIn, hintOrdinal;
    std::array<std::uint64_t, StepBase::kSlots> hintIn{};
    ordinalIn.fill(-1);
    hintOrdinal.fill(-1);
    std::int64_t ordinal = 0;
    try {
        for (file.first(); !file.eof(); file.next()) {
            if (!first && endsAt_.load(std::memory_order_relaxed) < index) break;  // no part of the walk now
            const std::size_t slot = static_cast<std::size_t>(ordinal % static_cast<std::int64_t>(StepBase::kSlots));
            const std::uint64_t hint = hintOrdinal[slot] == ordinal ? hintIn[slot] : 0;
            if (ordinalIn[slot] != ordinal) {
                step.readSlot(file, slot);
                ordinalIn[slot] = ordinal;
            }
            const std::int64_t later = ordinal + static_cast<std::int64_t>(StepBase::kAhead);
            const std::size_t aheadSlot = static_cast<std::size_t>(later % static_cast<std::int64_t>(StepBase::kSlots));
            ordinalIn[aheadSlot] = -1;
            hintOrdinal[aheadSlot] = later;
            if (step.peekSlot(file, StepBase::kAhead, aheadSlot)) {
                ordinalIn[aheadSlot] = later;
                hintIn[aheadSlot] = step.announceSlot(part.directory_, aheadSlot);
            } else {
                hintIn[aheadSlot] = step.announceAheadSlot(file, StepBase::kAhead, part.directory_);
            }
            ++ordinal;
            part.startRecord();
            step.recordSlot(part, slot, hint);
            ++p.walked;
            if (first && part.behind_ && file.pendingWrites() >= kWritesPerGiveOut) giveOut(p);
            if (part.stopped_) break;
        }
        p.reachedEnd = !part.stopped_ && file.walkReachedSplit();
    } catch (...) {
        p.failed = std::current_exception();
        p.reachedEnd = false;
    }
    p.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!p.reachedEnd) {
        // The parts after this one are no part of the walk: they may stop.
        std::size_t ends = endsAt_.load(std::memory_order_relaxed);
        while (index < ends && !endsAt_.compare_exchange_weak(ends, index, std::memory_order_relaxed)) {
        }
    }
}

void FileWalk::giveOut(Part& p) {
    FilePart& part = p.facade;
    std::vector<bool> written;
    if (part.behind_) written = part.file_->flushWrites();
    // The journal refused the last writes (a journal that fails refuses all after): the
    // walk ends before the first of them, as if the file ended there.
    std::size_t keep = written.size();
    if (part.journalFailed())
        while (keep > 0 && !written[keep - 1]) --keep;
    part.notWritten(static_cast<std::size_t>(
                        std::count(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(keep), false)),
                    part.file_->writeFailure());
    if (keep < written.size()) {
        part.report_.cutBack(part.keptStarts_[keep]);
        part.step_->backToKept(keep);
    }
    part.keptStarts_.clear();
    part.step_->forgetKept();
    part.report_.giveOut(written);
    if (keep < written.size()) part.endByJournal();
}

void FileWalk::run(std::vector<std::unique_ptr<StepBase>>& steps) {
    const std::size_t n = parts_.size();
    for (std::size_t k = 0; k < n; ++k) {
        FilePart& part = parts_[k]->facade;
        part.behind_ = options_.writes && part.file_->setWriteBehind(true);
        part.step_ = steps[k].get();
    }
    // The later parts at once on the helper threads, the first here.
    for (std::size_t k = 1; k < n; ++k) {
        HelperThread* helper = walks_.helper(k);
        if (!helper) continue;
        parts_[k]->onHelper = true;
        helper->run([this, k, step = steps[k].get()] { walkPart(k, *step); });
    }
    walkPart(0, *steps[0]);

    // The parts in their turn: each one's writes, lines and steps, then its counters; a part
    // that ended the walk early is the last.
    std::exception_ptr failed;
    bool ended = false;
    std::int64_t notWritten = 0;
    std::string failure;
    for (std::size_t k = 0; k < n; ++k) {
        Part& p = *parts_[k];
        if (k > 0) {
            if (p.onHelper) {
                p.onHelper = false;
                walks_.helper(k)->wait([this] { walks_.host_.processEvents(); });
            } else if (!ended) {
                walkPart(k, *steps[k]);
            }
            if (ended) {
                p.facade.file_->discardWrites();
                p.facade.report_.forget();
                continue;
            }
        }
        try {
            giveOut(p);
        } catch (...) {
            if (!p.failed) p.failed = std::current_exception();
            p.reachedEnd = false;
        }
        if (k > 0) steps[0]->absorb(*steps[k]);
        notWritten += p.facade.notWritten_;
        if (failure.empty()) failure = p.facade.firstFailure_;
        if (p.failed || !p.reachedEnd) {
            ended = true;
            failed = p.failed;
            endsAt_.store(std::min(endsAt_.load(std::memory_order_relaxed), k), std::memory_order_relaxed);
        }
    }
    for (auto& p : parts_) p->facade.file_->setWriteBehind(false);
    if (notWritten > 0)
        walks_.host_.notice(failure + std::string("; не записано записей этого файла: "_cp) +
                            std::to_string(notWritten));
    if (n > 1) {
        steps[0]->afterParts(parts_[0]->facade);
        if (!ended) {
            std::vector<std::int64_t> records;
            std::vector<double> seconds;
            for (const auto& p : parts_) {
                records.push_back(p->walked);
                seconds.push_back(p->seconds);
            }
            walks_.measured(records, seconds);
        }
    }
    if (failed) std::rethrow_exception(failed);
}

}  // namespace strnum
