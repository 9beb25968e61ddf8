#include "operations/assign_numbers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

#include "app/district_walk.h"
#include "base/error.h"
#include "base/helper_thread.h"
#include "base/ru.h"
#include "data/file_descriptions.h"
#include "identity/insurance_number.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kNameMax = 25;
constexpr std::size_t kCodeMax = 4;

std::string str(std::string_view s) { return std::string(s); }

// The fields of one district file, looked up once per pass.
struct FileFields {
    FieldId key, surname, name, patronymic, birth, number;
    // PDL.DBF only: looked up with each record as it is read, kept once found.
    std::optional<FieldId> secondNumber, vdp, vp;
};

// One record as read.  The texts are kept from record to record so that a walk over a
// million records does not allocate for each.
struct Person {
    std::string numberText, key;
    // Surname, name, patronymic and birth date: the directory's search key as it is.
    std::array<KeyValue, 4> person{std::string(), std::string(), std::string(), Date()};
    std::string& surname() { return std::get<std::string>(person[0]); }
    std::string& name() { return std::get<std::string>(person[1]); }
    std::string& patronymic() { return std::get<std::string>(person[2]); }
    const std::string& surname() const { return std::get<std::string>(person[0]); }
    const std::string& name() const { return std::get<std::string>(person[1]); }
    const std::string& patronymic() const { return std::get<std::string>(person[2]); }
    Date birth() const { return std::get<Date>(person[3]); }
    std::string secondNumber, vdp, vp;
    bool secondRule = false;
};

// Report lines waiting to come out, in one buffer.  The room they took is kept from file to
// file: a region's later halves alone hold some fifteen megabytes of lines.
struct HeldLines {
    struct Line {
        std::size_t begin, end, failBegin, failEnd;
        std::ptrdiff_t post;  // -1: a line of its own
    };
    std::string text;
    std::vector<Line> lines;
    void clear() {
        text.clear();
        lines.clear();
    }
};

class FilePass {
public:
    FilePass(AssignRun& run, Table& directory, const std::string& tableName)
        : run_(run), dir_(directory), isPdl_(tableName == "PDL.DBF") {
    }

    void walk(Table& file, const FileFields& fields);
    // Writes what the file keeps and the report lines held with it.  Never throws.
    void flush();
    const AssignCounters& counters() const { return counters_; }
    std::int64_t recordsWalked() const { return ordinal_; }

    // The later half of a file walked on a thread of its own: nothing reaches the window,
    // the report or the file until the pass is joined (on the run's thread, in its turn):
    // every line is held, every write kept.  stop: asks the walk to end early.
    void runBehind(const std::atomic<bool>& stop) {
        behindThread_ = true;
        stop_ = &stop;
    }
    // Back on the run's thread: the held lines and kept writes can go out (flush()).
    void join() { behindThread_ = false; }
    // Forgets everything held and kept.
    void discard() {
        if (file_) file_->discardWrites();
        held_.clear();
    }
    // The room for held lines: taken from a pass before, given back for the next.
    void takeRoom(HeldLines& room) {
        held_ = std::move(room);
        held_.clear();
    }
    void giveRoom(HeldLines& room) {
        if (held_.lines.empty()) room = std::move(held_);
    }

private:
    void record(Table& file, FileFields& fields);
    void read(const Table& file, FieldId f, std::size_t max, std::string& out) const {
        file.textInto(f, out);
        if (out.size() > max) out.resize(max);
    }
    // Report lines are made in one buffer: line() starts it with the text, add() extends it,
    // put() writes it to the report.
    FilePass& line(std::string_view text) {
        line_.assign(text);
        return *this;
    }
    FilePass& add(std::string_view text) {
        line_ += text;
        return *this;
    }
    FilePass& prefix() {  // key + " " + surname + " " + name + " " + patronymic + " "
        return add(p_->key).add(" ").add(p_->surname()).add(" ").add(p_->name()).add(" ").add(p_->patronymic()).add(" ");
    }
    FilePass& birthText() { return add(p_->birth().text()); }
    void put() { hold(line_, {}, -1); }
    // Edit, set, post; on any failure the edit is cancelled.  Kept: the file writes it later.
    enum class Write { Failed, Done, Kept };
    Write write(Table& file, const std::function<void()>& setFields);
    // The line of a write's outcome: ok (may be empty) when the record was written, failed
    // when not.  A kept post's outcome is known when it is flushed.
    void outcome(Write result, std::string_view ok, std::string_view failed);
    void hold(std::string_view text, std::string_view failed, std::ptrdiff_t post);
    void readPerson(const Table& file, FileFields& fields, Person& p) const;
    bool peekPerson(const Table& file, const FileFields& fields, std::size_t ahead, Person& p) const;
    void takePerson(Table& file, FileFields& fields);
    static bool secondRule(const Person& p) {
        return !((p.vdp == " 1" && p.vp == "03") || (p.vdp == " 2" && p.vp == "04"));
    }
    // Records read ahead, by their ordinal in the walk: the current record's slot and the
    // slots of the records ahead of it, one more than the look-ahead so that none is moved.
    static constexpr std::size_t kHintAhead = 8;
    struct Ahead {
        std::int64_t ordinal = -1;
        Person person;
        std::uint64_t hint = 0;  // of the directory's search, when announced
    };
    std::array<Ahead, kHintAhead + 1> ahead_;
    std::int64_t ordinal_ = 0;
    Ahead& slotOf(std::int64_t ordinal) {
        return ahead_[static_cast<std::size_t>(ordinal % static_cast<std::int64_t>(ahead_.size()))];
    }

    // While the file keeps posts, report lines wait with them, so that each comes out in its
    // place once the outcome of the writes before it is known.
    static constexpr std::size_t kWritesPerFlush = 256;
    Table* file_ = nullptr;
    bool behind_ = false;
    HeldLines held_;
    std::vector<std::size_t> runStarts_;  // flush(): the lines going out in one piece
    std::string failed_;
    bool behindThread_ = false;
    const std::atomic<bool>* stop_ = nullptr;

    AssignRun& run_;
    Table& dir_;
    bool isPdl_;
    AssignCounters counters_;
    const Person* p_ = nullptr;  // the current record, in its slot of ahead_
    std::uint64_t hint_ = 0;     // its search's hint
    std::string line_, directoryNumber_, cond_, text_;
    std::optional<FieldId> dirNum_, dirFam_, dirNam_, dirOtch_, dirBirth_, dirCond_;
};

void FilePass::walk(Table& file, const FileFields& f) {
    FileFields fields = f;
    file_ = &file;
    behind_ = !run_.countOnly && file.setWriteBehind(true);
    for (file.first(); !file.eof(); file.next()) {
        if (behindThread_) {
            if (stop_->load(std::memory_order_relaxed)) return;
            record(file, fields);
            continue;
        }
        record(file, fields);
        if (behind_ && file.pendingWrites() >= kWritesPerFlush) flush();
    }
    if (!behindThread_) flush();
}

void FilePass::readPerson(const Table& file, FileFields& fields, Person& p) const {
    read(file, fields.number, kNumberTextMax, p.numberText);
    read(file, fields.surname, kNameMax, p.surname());
    read(file, fields.name, kNameMax, p.name());
    read(file, fields.patronymic, kNameMax, p.patronymic());
    file.textInto(fields.key, p.key);
    p.person[3] = file.date(fields.birth);
    if (isPdl_) {
        if (!fields.secondNumber) fields.secondNumber = file.fieldByName("NPSUI");
        if (!fields.vdp) fields.vdp = file.fieldByName("VDP");
        if (!fields.vp) fields.vp = file.fieldByName("VP");
        read(file, *fields.secondNumber, kNumberTextMax, p.secondNumber);
        read(file, *fields.vdp, kCodeMax, p.vdp);
        read(file, *fields.vp, kCodeMax, p.vp);
        p.secondRule = secondRule(p);
    }
}

bool FilePass::peekPerson(const Table& file, const FileFields& fields, std::size_t ahead, Person& p) const {
    const auto text = [&](FieldId f, std::size_t max, std::string& out) {
        if (!file.peekText(ahead, f, out)) return false;
        if (out.size() > max) out.resize(max);
        return true;
    };
    if (!text(fields.number, kNumberTextMax, p.numberText) || !text(fields.surname, kNameMax, p.surname()) ||
        !text(fields.name, kNameMax, p.name()) || !text(fields.patronymic, kNameMax, p.patronymic()) ||
        !file.peekText(ahead, fields.key, p.key))
        return false;
    const std::optional<Date> birth = file.peekDate(ahead, fields.birth);
    if (!birth) return false;
    p.person[3] = *birth;
    if (isPdl_) {
        if (!fields.secondNumber || !fields.vdp || !fields.vp ||
            !text(*fields.secondNumber, kNumberTextMax, p.secondNumber) || !text(*fields.vdp, kCodeMax, p.vdp) ||
            !text(*fields.vp, kCodeMax, p.vp))
            return false;
        p.secondRule = secondRule(p);
    }
    return true;
}

// The record comes from the look-ahead when it was read there (the same bytes of the same
// buffer), else from the file; then the record some records ahead is read, and its search
// announced, so that the directory can have its data in the cache by then.
void FilePass::takePerson(Table& file, FileFields& fields) {
    Ahead& current = slotOf(ordinal_);
    if (current.ordinal != ordinal_) {
        readPerson(file, fields, current.person);
        current.ordinal = ordinal_;
        current.hint = 0;
    }
    p_ = &current.person;
    hint_ = current.hint;
    const std::int64_t later = ordinal_ + static_cast<std::int64_t>(kHintAhead);
    Ahead& ahead = slotOf(later);
    ahead.ordinal = -1;
    if (peekPerson(file, fields, kHintAhead, ahead.person)) {
        ahead.ordinal = later;
        ahead.hint = dir_.prefetchKey(ahead.person.person);
    }
    ++ordinal_;
}

void FilePass::hold(std::string_view text, std::string_view failed, std::ptrdiff_t post) {
    if (held_.lines.empty() && post < 0 && !behindThread_) {
        run_.report.appendLine(text);
        return;
    }
    HeldLines::Line h{held_.text.size(), 0, 0, 0, post};
    held_.text += text;
    h.end = h.failBegin = held_.text.size();
    held_.text += failed;
    h.failEnd = held_.text.size();
    held_.lines.push_back(h);
}

void FilePass::outcome(Write result, std::string_view ok, std::string_view failed) {
    if (result == Write::Failed)
        hold(failed, {}, -1);
    else if (result == Write::Kept)
        hold(ok, failed, static_cast<std::ptrdiff_t>(file_->pendingWrites()) - 1);
    else if (!ok.empty())
        hold(ok, {}, -1);
}

void FilePass::flush() {
    if (!file_) return;
    std::vector<bool> written;
    if (behind_) written = file_->flushWrites();
    const std::string_view text(held_.text);
    // Lines of their own that follow one another in the text go to the report in one piece.
    std::size_t runBegin = 0, runEnd = 0;
    runStarts_.clear();
    const auto putRun = [&] {
        if (!runStarts_.empty()) run_.report.appendLines(text.substr(runBegin, runEnd - runBegin), runStarts_);
        runStarts_.clear();
    };
    for (const HeldLines::Line& h : held_.lines) {
        if (h.post < 0) {
            if (runStarts_.empty() || h.begin != runEnd) {
                putRun();
                runBegin = h.begin;
            }
            runStarts_.push_back(h.begin - runBegin);
            runEnd = h.end;
            continue;
        }
        putRun();
        const bool failed = h.post >= 0 && (static_cast<std::size_t>(h.post) >= written.size() ||
                                            !written[static_cast<std::size_t>(h.post)]);
        const std::string_view line =
            failed ? text.substr(h.failBegin, h.failEnd - h.failBegin) : text.substr(h.begin, h.end - h.begin);
        if (failed || !line.empty()) run_.report.appendLine(line);
    }
    putRun();
    held_.clear();
}

FilePass::Write FilePass::write(Table& file, const std::function<void()>& setFields) {
    try {
        const std::size_t kept = file.pendingWrites();
        file.edit();
        setFields();
        file.post();
        // A post that changed no byte keeps nothing: it is done.
        return file.pendingWrites() > kept ? Write::Kept : Write::Done;
    } catch (const Error&) {
        if (file.editing()) file.cancel();
        return Write::Failed;
    }
}

void FilePass::record(Table& file, FileFields& fields) {
    takePerson(file, fields);
    const Person& p = *p_;

    // Step 2: a non-empty number is judged by its check number.
    bool needsNumber = p.numberText.empty();
    if (!needsNumber) {
        needsNumber = !readNumberText(p.numberText).valid();
        if (needsNumber) line("П/д N "_cp).prefix().add(" ошибка в  стр.N "_cp).add(p.numberText).put();
    }

    // Step 3: the person in the directory.
    if (!dir_.findHinted(p.person, hint_)) return;

    // Step 4: found.
    ++counters_.found;
    if (counters_.found % 10 == 0 && !behindThread_) {
        run_.host.setLabel(HostLabel::RecordCount, std::to_string(counters_.found));
        run_.host.processEvents();
    }
    if (!dirNum_) dirNum_ = dir_.fieldByName("NUM");
    const std::int32_t num = dir_.integer(*dirNum_);
    numberTextInto(num, directoryNumber_);

    // Step 5: a number unlike the directory's.
    if (!p.numberText.empty() && p.numberText != directoryNumber_) {
        ++counters_.differing;
        line("П/д N"_cp).prefix().add(" N "_cp).add(p.numberText).add(" найден другой стр. N "_cp);
        add(directoryNumber_).put();
    }

    // Step 6: twins follow the found entry in the order of the index.
    for (dir_.next(); !dir_.eof(); dir_.next()) {
        if (dir_.knownToDifferFromFound()) break;
        if (!dirFam_) {
            dirFam_ = dir_.fieldByName("FAM");
            dirNam_ = dir_.fieldByName("NAM");
            dirOtch_ = dir_.fieldByName("OTCH");
            dirBirth_ = dir_.fieldByName("BIRTH");
        }
        dir_.textInto(*dirFam_, text_);
        if (text_ != p.surname()) break;
        dir_.textInto(*dirNam_, text_);
        if (text_ != p.name()) break;
        dir_.textInto(*dirOtch_, text_);
        if (text_ != p.patronymic() || dir_.date(*dirBirth_) != p.birth()) break;
        if (!dirCond_) dirCond_ = dir_.fieldByName("COND");
        dir_.textInto(*dirCond_, cond_);
        if (cond_ != "C") {
            line("П/д N"_cp).prefix().birthText().add(" кроме N "_cp).add(p.numberText).add(" есть двойник с N "_cp);
            add(displayForm(dir_.integer(*dirNum_))).add(" и статусом <"_cp).add(cond_).add(">").put();
        }
    }

    // Step 7: an empty second number next to a valid one.
    if (isPdl_ && p.secondRule && !run_.countOnly && !needsNumber && p.secondNumber.empty()) {
        ++counters_.written;
        const Write result = write(file, [&] { file.setText(*fields.secondNumber, p.numberText); });
        line("*** Ошибка записи 2 номера у N "_cp).prefix().birthText();
        failed_.assign(line_);
        line("Проставлен пустой номер NPSUI у N "_cp).prefix().add(" N "_cp).add(p.numberText);
        outcome(result, line_, failed_);
    }

    // Step 8: the directory's number replaces a missing or malformed one.
    if (needsNumber) {
        ++counters_.written;
        if (!run_.countOnly) {
            const Write result = write(file, [&] {
                file.setText(fields.number, directoryNumber_);
                if (isPdl_ && p.secondRule) file.setText(*fields.secondNumber, directoryNumber_);
            });
            line("*** Ошибка записи у N "_cp).prefix().birthText();
            outcome(result, {}, line_);
        }
    }
}

}  // namespace

std::string assignSummary(const AssignCounters& t) {
    return str("Найдено по ФИО : "_cp) + std::to_string(t.found) + str(", ошибочных : "_cp) +
           std::to_string(t.differing) + str(", проставлено: "_cp) + std::to_string(t.written) +
           str(" номеров. Показать отчет ?"_cp);
}

namespace {

// What the walks of a run's files keep from one to the next: the thread for the later halves
// of large files (started with the first of them), the room of held lines, and the share of
// a file the run's thread walks.
struct FileWalks {
    std::optional<HelperThread> helper;
    HeldLines earlierRoom, laterRoom;
    // The two threads do not walk at the same speed (the later half's lines are held and
    // copied, the machine may favour one core): the share follows the speeds measured on
    // the files before, so that both halves end together.  Where the split falls changes
    // nothing in what comes out.
    double earlierShare = 0.5;
    void measured(std::int64_t earlierRecords, double earlierSeconds, std::int64_t laterRecords, double laterSeconds) {
        if (earlierRecords < 256 || laterRecords < 256 || earlierSeconds <= 0.0 || laterSeconds <= 0.0) return;
        const double earlierSpeed = static_cast<double>(earlierRecords) / earlierSeconds;
        const double laterSpeed = static_cast<double>(laterRecords) / laterSeconds;
        const double balanced = earlierSpeed / (earlierSpeed + laterSpeed);
        earlierShare = std::clamp(0.75 * earlierShare + 0.25 * balanced, 0.3, 0.7);
    }
};

using WalkClock = std::chrono::steady_clock;

void walkFile(AssignRun& run, int kind, const std::string& written, const std::filesystem::path& directory,
              FileWalks& walks) {
    std::optional<HelperThread>& helper = walks.helper;
    const FileDescription& d = fileDescription(kind);
    const std::string tableName = districtTableName(kind);
    run.tblPDL.close();
    run.tblPDL.setDirectory(directory);
    run.tblPDL.setTableName(tableName);
    run.tblPDL.setTableType(TableType::Dbase);

    AssignCounters counters;
    // The closing step of the file, taken on every path out of it.
    struct Closing {
        AssignRun& run;
        const AssignCounters& counters;
        ~Closing() {
            run.tblPDL.close();
            run.total += counters;
            run.report.appendLine(str("     Найдено "_cp) + std::to_string(counters.found) + str(" , проставлено "_cp) +
                                  std::to_string(counters.written) + str(" , исправлено : "_cp) +
                                  std::to_string(counters.differing));
            run.report.appendLine("");
        }
    } closing{run, counters};

    try {
        run.tblPDL.open();
    } catch (const Error&) {
        run.report.appendLine(str("Ошибка открытия файла "_cp) + tableName);
        return;
    }
    Table& file = run.tblPDL.table();
    FileFields fields{file.fieldByName(d.key),
                      file.fieldByName(d.surname),
                      file.fieldByName(d.name),
                      file.fieldByName(d.patronymic),
                      file.fieldByName(d.birthDate),
                      file.fieldByName(d.number),
                      std::nullopt,
                      std::nullopt,
                      std::nullopt};
    // A large file is walked in two halves at once, the later on the helper thread with a
    // cursor of its own in the directory; its lines and writes come out after the earlier
    // half's, as one walk gives them.  Its records are counted in two halves at once too.
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    std::unique_ptr<Table> later, laterDirectory;
    if (run.splitFrom > 0 && twoCores) {
        later = file.splitWalk(run.splitFrom, walks.earlierShare);
        try {
            if (later && !helper) helper.emplace();
        } catch (const std::system_error&) {
            // No second thread to be had: the later half is walked after the earlier.
        }
    }
    {
        std::optional<std::int64_t> earlierCount, laterCount;
        if (later && helper) {
            helper->run([&] { laterCount = later->recordCountOfHalf(); });
            try {
                earlierCount = file.recordCountOfHalf();
            } catch (...) {
                try {
                    helper->wait();
                } catch (...) {
                }
                throw;
            }
            helper->wait();
        }
        const std::int64_t count = earlierCount && laterCount ? *earlierCount + *laterCount : file.recordCount();
        std::string header = str("Участок "_cp) + written + str("  файл "_cp) + tableName + " - " +
                             std::to_string(count) + str(" записей"_cp);
        run.report.appendLine(header);
    }
    Table& numbers = run.numberDirectory();
    if (later) laterDirectory = numbers.readingCursor();
    FilePass pass(run, numbers, tableName);
    pass.takeRoom(walks.earlierRoom);
    // What the later half's thread writes with every record lies on cache lines of its own:
    // lines shared with the run's thread would pass between the two cores at every record.
    struct alignas(64) LaterHalf {
        LaterHalf(AssignRun& r, Table& d, const std::string& n) : pass(r, d, n) {}
        FilePass pass;
        std::atomic<bool> stop{false};
    };
    std::unique_ptr<LaterHalf> half;
    if (later) {
        // Without a cursor of its own the later half is walked after the earlier, with the
        // run's cursor.
        half = std::make_unique<LaterHalf>(run, laterDirectory ? *laterDirectory : numbers, tableName);
        half->pass.takeRoom(walks.laterRoom);
    }
    // On every way out the later half is over before what it uses goes.
    struct Behind {
        Behind() = default;
        Behind(const Behind&) = delete;
        Behind& operator=(const Behind&) = delete;
        HelperThread* helper = nullptr;
        LaterHalf* half = nullptr;
        void end() noexcept {
            if (!helper) return;
            half->stop = true;
            try {
                helper->wait();
            } catch (...) {
            }
            helper = nullptr;
        }
        ~Behind() { end(); }
    } behind;
    double laterSeconds = 0.0;  // the later half's walk on the helper thread
    WalkClock::time_point earlierStart;
    try {
        if (half && helper && laterDirectory && (run.countOnly || later->setWriteBehind(true))) {
            half->pass.runBehind(half->stop);
            behind.helper = &*helper;
            behind.half = half.get();
            helper->run([&] {
                const auto start = WalkClock::now();
                half->pass.walk(*later, fields);
                laterSeconds = std::chrono::duration<double>(WalkClock::now() - start).count();
            });
        }
        earlierStart = WalkClock::now();
        pass.walk(file, fields);
    } catch (...) {
        // The records already asked to be written are written, and their lines reported,
        // before the run ends; nothing of the later half is.
        behind.end();
        if (half) half->pass.discard();
        pass.flush();
        counters = pass.counters();
        throw;
    }
    const double earlierSeconds = std::chrono::duration<double>(WalkClock::now() - earlierStart).count();
    counters = pass.counters();
    pass.giveRoom(walks.earlierRoom);
    if (!half) return;
    FilePass& second = half->pass;
    if (!file.walkReachedSplit()) {  // the walk ended before the later half: not part of it
        behind.end();
        second.discard();
        return;
    }
    try {
        if (behind.helper) {
            behind.helper = nullptr;
            helper->wait([&] { run.host.processEvents(); });
            walks.measured(pass.recordsWalked(), earlierSeconds, second.recordsWalked(), laterSeconds);
        } else {
            second.walk(*later, fields);
        }
    } catch (...) {
        second.join();
        second.flush();
        counters += second.counters();
        throw;
    }
    second.join();
    second.flush();
    counters += second.counters();
    second.giveRoom(walks.laterRoom);
    if (counters.found >= 10) {
        run.host.setLabel(HostLabel::RecordCount, std::to_string(counters.found / 10 * 10));
        run.host.processEvents();
    }
}

}  // namespace

void assignNumbersInFile(AssignRun& run, int kind, const std::string& written, const std::filesystem::path& directory) {
    FileWalks walks;
    walkFile(run, kind, written, directory, walks);
}

bool assignNumbers(AssignRun& run, std::string_view wayDirectory) {
    DistrictWalk walk;
    walk.prepare = [&] {
        run.tblPDL.close();
        run.tblPDL.setTableType(TableType::Dbase);
        run.tblPDL.setTableName("PDL.DBF");
        run.numberDirectory().setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
        run.total = {};
    };
    walk.skipMissing = true;
    FileWalks walks;
    walk.step = [&](const std::string& written, const std::filesystem::path& directory) {
        for (int kind = 0; kind < kFileKindCount; ++kind) walkFile(run, kind, written, directory, walks);
    };
    walk.summary = [&] { return assignSummary(run.total); };
    walk.finish = [&] { run.tblPDL.close(); };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

}  // namespace strnum
