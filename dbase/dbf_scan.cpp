// A dBASE file read once and walked in chunks (FileScan): load() reads the slots whole in
// large reads, chunks are table objects over them for other threads, and write() writes
// the posts a chunk kept, many records under one lock, noted in the run's journal first.
#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_table.h"
#include "tables/write_journal.h"

namespace strnum {

using namespace strnum::literals;

namespace {

// Reads of a file being loaded: large enough that a file server sends them at full speed.
constexpr std::size_t kLoadBytes = 4 << 20;

}  // namespace

std::int64_t DbfTable::load(bool writes) {
    if (editing_) cancel();
    if (!pending_.empty()) (void)writeKept();
    const std::size_t len = header_.recordLength;
    const std::int64_t slots = fileSlots();
    char* room = room_->resize(static_cast<std::size_t>(slots) * len);
    // What the first read at opening brought after the header, then the rest.
    std::size_t have = std::min(opening_.size() / len * len, room_->size());
    if (have > 0) std::memcpy(room, opening_.data(), have);
    while (have < room_->size()) {
        const std::size_t want = std::min(kLoadBytes, room_->size() - have);
        const std::size_t got = file_->readAt(header_.headerLength + have, room + have, want);
        have += got;
        if (got < want) break;  // the file is shorter now than a moment ago
    }
    // Whole slots up to the first end marker; the visible ones among them.
    std::int64_t end = static_cast<std::int64_t>(have / len), live = 0;
    for (std::int64_t k = 0; k < end; ++k) {
        const auto flag = static_cast<unsigned char>(room[static_cast<std::size_t>(k) * len]);
        if (flag == kDbfEndOfFile) {
            end = k;
            break;
        }
        live += flag == kDbfLive;
    }
    loaded_ = true;
    slots_ = end;
    bufFirst_ = 0;
    bufSlots_ = end;
    count_ = live;
    if (writes && writable_ && !header_.isDbase7()) indexes();  // what the chunks' edits check, read once here
    cur_ = -1;
    advanceFrom(0);
    return live;
}

DbfTable::DbfTable(const DbfTable& from, Chunk slots)
    : path_(from.path_),
      name_(from.name_),
      fileText_(from.fileText_),
      settings_(from.settings_),
      writable_(from.writable_),
      header_(from.header_),
      codePage_(from.codePage_),
      fields_(from.fields_),
      slots_(slots.to),
      room_(from.room_),
      bufFirst_(0),
      bufSlots_(from.slots_),
      loaded_(true),
      view_(true),
      walkFrom_(slots.from),
      indexes_(from.indexes_),
      structuralCdx_(from.structuralCdx_),
      journalFile_(from.journalFile_) {
    cur_ = walkFrom_ - 1;
    advanceFrom(walkFrom_);
}

std::unique_ptr<Table> DbfTable::chunk(std::int64_t from, std::int64_t to) {
    if (!loaded_ || from < 0 || from >= to || to > slots_)
        throwError(ErrorKind::InvalidArgument,
                   "Таблица "_cp.data() + fileText_ + ": нет таких загруженных записей"_cp.data());
    return std::unique_ptr<Table>(new DbfTable(*this, Chunk{from, to}));
}

std::size_t DbfTable::kept(const Table& chunk) const {
    const auto* c = dynamic_cast<const DbfTable*>(&chunk);
    return c && c->room_ == room_ ? c->pending_.size() : 0;
}

std::vector<bool> DbfTable::write(Table& chunk) {
    auto* c = dynamic_cast<DbfTable*>(&chunk);
    if (!c || !c->view_ || c->room_ != room_) return {};
    if (c->editing_) c->cancel();
    pending_ = std::move(c->pending_);
    c->pending_.clear();
    return writeKept();
}

void DbfTable::applyPending(const Pending& p, char* rec) const {
    for (std::size_t i = 0; i < p.changed.size(); ++i) {
        if (!p.changed[i]) continue;
        const auto off = static_cast<std::size_t>(header_.fields[i].offset);
        const auto len = static_cast<std::size_t>(header_.fields[i].length);
        std::memcpy(rec + off, p.record.data() + off, len);
    }
}

void DbfTable::refreshBuffered(std::int64_t k, std::string_view rec) {
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_ || rec.size() != header_.recordLength) return;
    room_->replace(static_cast<std::size_t>(k - bufFirst_) * rec.size(), rec);
}

bool DbfTable::notWritten(std::int64_t slot, std::string_view why) {
    if (writeFailure_.empty())
        writeFailure_ = "Таблица "_cp.data() + fileText_ + ", запись "_cp.data() + std::to_string(slot + 1) + ": " +
                        std::string(why);
    return false;
}

// One kept record by itself, as edit() and post() write it.
bool DbfTable::writePendingAlone(const Pending& p) {
    const std::uint64_t at = lockOffset(p.slot + 1);
    if (!tryLock(at, 1, settings_.lockWaitMilliseconds)) return notWritten(p.slot, "занята другой программой"_cp);
    RangeLock lock(*file_, at, 1);
    std::string disk(header_.recordLength, '\0');
    try {
        if (file_->readAt(slotOffset(p.slot), disk.data(), disk.size()) != disk.size())
            return notWritten(p.slot, "записи больше нет в файле"_cp);
    } catch (const Error& e) {
        return notWritten(p.slot, e.text());
    }
    if (static_cast<unsigned char>(disk[0]) != kDbfLive) return notWritten(p.slot, "удалена другой программой"_cp);
    std::string rec = disk;
    applyPending(p, rec.data());
    try {
        if (settings_.journal) {
            journalChanges(p.slot, disk, rec, p.changed);
            settings_.journal->flush();
        }
    } catch (const Error& e) {
        return notWritten(p.slot, e.text());  // not noted: not written
    }
    try {
        file_->writeAt(slotOffset(p.slot), rec.data(), rec.size());
    } catch (const Error& e) {
        try {
            file_->writeAt(slotOffset(p.slot), disk.data(), disk.size());
        } catch (const Error&) {
        }
        refreshBuffered(p.slot, disk);
        return notWritten(p.slot, e.text());
    }
    refreshBuffered(p.slot, rec);
    return true;
}

std::vector<bool> DbfTable::writeKept() {
    std::vector<bool> written(pending_.size(), false);
    writeFailure_.clear();
    if (pending_.empty()) return written;
    std::vector<Pending> pending;
    pending.swap(pending_);
    const std::size_t len = header_.recordLength;
    const std::int64_t lo = pending.front().slot, hi = pending.back().slot;  // posts follow the walk
    const bool ordered = std::is_sorted(pending.begin(), pending.end(),
                                        [](const Pending& a, const Pending& b) { return a.slot < b.slot; });
    bool any = false;
    // Bytes written to a file that another program removed or replaced reach no one.
    if (!file_->stillAtPath()) {
        notWritten(pending.front().slot, "файл удален или заменен другой программой, запись не изменена"_cp);
        return written;
    }
    // All of them under one lock when nobody else holds one in the range.
    const std::uint64_t a = lockOffset(lo + 1), b = lockOffset(hi + 1);
    const std::uint64_t lockFrom = std::min(a, b), lockLength = std::max(a, b) - lockFrom + 1;
    if (ordered && hi - lo < 65536 && tryLock(lockFrom, lockLength, 0)) {
        RangeLock lock(*file_, lockFrom, lockLength);
        const std::size_t n = static_cast<std::size_t>(hi - lo + 1);
        std::string disk(n * len, '\0');
        std::size_t got = 0;
        try {
            got = file_->readAt(slotOffset(lo), disk.data(), disk.size()) / len;
        } catch (const Error& e) {
            got = 0;
            notWritten(lo, e.text());
        }
        std::string span = disk;
        std::vector<bool> live(pending.size(), false);
        bool noted = true;
        std::string before;
        for (std::size_t i = 0; i < pending.size(); ++i) {
            const auto at = static_cast<std::size_t>(pending[i].slot - lo);
            if (at >= got) {
                notWritten(pending[i].slot, "записи больше нет в файле"_cp);
                continue;
            }
            if (static_cast<unsigned char>(disk[at * len]) != kDbfLive) {
                notWritten(pending[i].slot, "удалена другой программой"_cp);
                continue;
            }
            if (settings_.journal) before.assign(span, at * len, len);
            applyPending(pending[i], span.data() + at * len);
            live[i] = true;
            if (settings_.journal && noted) try {
                    journalChanges(pending[i].slot, before, std::string_view(span).substr(at * len, len),
                                   pending[i].changed);
                } catch (const Error& e) {
                    noted = false;
                    notWritten(pending[i].slot, e.text());
                }
        }
        try {
            if (settings_.journal && noted) settings_.journal->flush();
        } catch (const Error& e) {
            noted = false;
            notWritten(lo, e.text());
        }
        if (!noted) {  // not noted: not written
            std::fill(live.begin(), live.end(), false);
            writeFailure_.clear();
            notWritten(pending.front().slot, settings_.journal->failure());
        }
        // One write from the first record written to the last.  The records between them
        // that we did not change go back as just read: they are under our lock too, so no
        // program that keeps to the locks can have written them since.
        std::size_t first = pending.size(), last = 0;
        for (std::size_t i = 0; i < pending.size(); ++i)
            if (live[i]) first = std::min(first, i), last = i;
        if (first < pending.size()) {
            const auto from = static_cast<std::size_t>(pending[first].slot - lo);
            const std::size_t bytes = static_cast<std::size_t>(pending[last].slot - pending[first].slot + 1) * len;
            bool ok = true;
            try {
                file_->writeAt(slotOffset(pending[first].slot), span.data() + from * len, bytes);
            } catch (const Error& e) {
                ok = false;
                notWritten(pending[first].slot, e.text());
                try {  // a write that failed part-way: put back what was there
                    file_->writeAt(slotOffset(pending[first].slot), disk.data() + from * len, bytes);
                } catch (const Error&) {
                }
            }
            for (std::size_t k = first; k <= last; ++k) {
                if (!live[k]) continue;
                const auto at = static_cast<std::size_t>(pending[k].slot - lo);
                written[k] = ok;
                refreshBuffered(pending[k].slot, std::string_view(ok ? span : disk).substr(at * len, len));
            }
            any = ok;
        }
    } else {
        for (std::size_t i = 0; i < pending.size(); ++i) {
            written[i] = writePendingAlone(pending[i]);
            any = any || written[i];
        }
    }
    if (any) writeHeaderDate();
    return written;
}

void DbfTable::journalChanges(std::int64_t slot, std::string_view before, std::string_view after,
                              const std::vector<bool>& changed) const {
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (!changed[i]) continue;
        const auto off = static_cast<std::size_t>(header_.fields[i].offset);
        const auto len = static_cast<std::size_t>(header_.fields[i].length);
        const std::string_view b = before.substr(off, len), a = after.substr(off, len);
        if (a != b) settings_.journal->note(journalFile_, slot + 1, header_.fields[i].name, b, a);
    }
}

}  // namespace strnum
