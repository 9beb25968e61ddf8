#include "dbase/dbf_table.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_values.h"
#include "tables/write_journal.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;

std::string str(std::string_view s) { return std::string(s); }

}  // namespace

DbfTable::DbfTable(const std::filesystem::path& file, std::string name, const EngineSettings& settings)
    : path_(file), name_(std::move(name)), fileText_(pathTo1251(file)), settings_(settings) {
    file_ = std::make_unique<File>(file, settings.readOnly ? File::Mode::ReadOnly : File::Mode::ReadWrite);
    const std::uint64_t size = file_->size();
    std::string head(kDbfFileHeaderSize, '\0');
    head.resize(file_->readAt(0, head.data(), head.size()));
    const std::uint16_t headerLength = dbfHeaderLengthOf(head);
    if (headerLength > head.size() && headerLength <= size) {
        head.resize(headerLength);
        head.resize(file_->readAt(0, head.data(), head.size()));
    }
    header_ = parseDbfHeader(head, size, fileText_);
    codePage_ = dbfCodePage(header_.languageDriver, settings_);
    for (const auto& f : header_.fields) {
        // Names are ASCII in practice; any other byte is read in the table's code page.
        std::string name = codePage_ == CodePage::Cp866 ? cp866To1251Lossy(f.name) : f.name;
        FieldKind kind = dbfFieldKind(f.type);
        if (isMemoField(f)) kind = FieldKind::Memo;
        fields_.push_back(FieldInfo{std::move(name), f.type, kind, f.length, f.decimals});
    }
    if (settings_.journal && file_->writable()) journalFile_ = settings_.journal->fileOpened(path_);
    first();
}

DbfTable::DbfTable(const DbfTable& from, Split)
    : path_(from.path_),
      name_(from.name_),
      fileText_(from.fileText_),
      settings_(from.settings_),
      file_(std::make_unique<File>(from.path_, from.settings_.readOnly ? File::Mode::ReadOnly : File::Mode::ReadWrite)),
      header_(from.header_),
      codePage_(from.codePage_),
      fields_(from.fields_),
      journalFile_(from.journalFile_) {}

std::optional<std::pair<std::int64_t, std::int64_t>> DbfTable::walkSlots() const {
    if (editing_ || !pending_.empty()) return std::nullopt;
    return std::make_pair(walkFrom_, walkTo_ ? *walkTo_ : fileSlots());
}

std::unique_ptr<Table> DbfTable::splitWalkAt(std::int64_t at) {
    const auto range = walkSlots();
    if (!range || at <= range->first || at >= range->second) return nullptr;
    std::unique_ptr<DbfTable> later;
    try {
        later.reset(new DbfTable(*this, Split{}));
    } catch (const Error&) {
        return nullptr;  // the file cannot be opened a second time: one walk
    }
    if (!walkTo_) splitSlots_ = range->second;
    later->walkFrom_ = at;
    later->walkTo_ = range->second;
    later->splitSlots_ = splitSlots_;
    walkTo_ = at;
    first();
    later->first();
    return later;
}

bool DbfTable::walkReachedSplit() const { return !walkTo_ || slots_ == *walkTo_; }

std::int64_t DbfTable::fileSlots() const {
    const std::uint64_t size = file_->size();
    const std::uint64_t whole = size < header_.headerLength ? 0 : (size - header_.headerLength) / header_.recordLength;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(header_.recordCount, whole));
}

DbfTable::~DbfTable() {
    if (!pending_.empty()) (void)flushWrites();
}

std::uint64_t DbfTable::slotOffset(std::int64_t k) const {
    return header_.headerLength + static_cast<std::uint64_t>(k) * header_.recordLength;
}

std::string_view DbfTable::slot(std::int64_t k) {
    const std::size_t len = header_.recordLength;
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_) {
        const std::int64_t want = std::min<std::int64_t>(slots_ - k, std::max<std::size_t>(1, kChunkBytes / len));
        if (want <= 0) return {};
        char* room = buf_.resize(static_cast<std::size_t>(want) * len);
        const std::size_t got = file_->readAt(slotOffset(k), room, buf_.size());
        bufFirst_ = k;
        bufSlots_ = static_cast<std::int64_t>(got / len);
        peekFrom_ = -1;
        if (bufSlots_ < want) slots_ = k + bufSlots_;  // the file is shorter now than at opening
        if (bufSlots_ == 0) return {};
    }
    return buf_.view().substr(static_cast<std::size_t>(k - bufFirst_) * len, len);
}

void DbfTable::advanceFrom(std::int64_t k) {
    for (; k < slots_; ++k) {
        const std::string_view rec = slot(k);
        if (rec.empty()) break;
        const auto flag = static_cast<unsigned char>(rec[0]);
        if (flag == kDbfEndOfFile) {
            slots_ = k;
            break;
        }
        if (flag == kDbfLive) {
            cur_ = k;
            eof_ = false;
            return;
        }
    }
    eof_ = true;
}

void DbfTable::first() {
    if (editing_) cancel();
    if (!pending_.empty()) (void)flushWrites();
    // Every walk starts from the file as it is now: count the whole slots afresh, read anew.
    slots_ = fileSlots();
    if (walkTo_) slots_ = std::min(slots_, *walkTo_);
    bufFirst_ = 0;
    bufSlots_ = 0;
    peekFrom_ = -1;
    cur_ = walkFrom_ - 1;
    advanceFrom(walkFrom_);
}

bool DbfTable::goToRecord(std::int64_t number) {
    if (editing_) cancel();
    const std::int64_t k = number - 1;
    if (k < walkFrom_ || k >= slots_) return false;
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_) {
        // One record, not a chunk: such reads jump about the file.
        const std::size_t len = header_.recordLength;
        char* room = buf_.resize(len);
        if (file_->readAt(slotOffset(k), room, len) != len) return false;
        bufFirst_ = k;
        bufSlots_ = 1;
        peekFrom_ = -1;
    }
    if (static_cast<unsigned char>(slot(k)[0]) != kDbfLive) return false;
    cur_ = k;
    eof_ = false;
    return true;
}

void DbfTable::next() {
    if (editing_) cancel();
    if (eof_) return;
    const std::int64_t last = cur_;
    advanceFrom(cur_ + 1);
    if (eof_) cur_ = last;
}

std::int64_t DbfTable::recordCount() {
    if (count_) return *count_;
    count_ = countLive(0, walkTo_ ? fileSlots() : slots_).live;
    return *count_;
}

std::optional<std::int64_t> DbfTable::recordCountOfPart() {
    if (!walkTo_) return std::nullopt;
    // The parts' slots run to the file's end as it was when split.
    if (fileSlots() != splitSlots_) return std::nullopt;
    const LiveCount c = countLive(walkFrom_, *walkTo_);
    if (c.cut) return std::nullopt;
    return c.live;
}

DbfTable::LiveCount DbfTable::countLive(std::int64_t from, std::int64_t end) const {
    // Counting needs the first byte of every slot: read them in chunks apart from the walk's buffer.
    const std::size_t len = header_.recordLength;
    const std::int64_t per = static_cast<std::int64_t>(std::max<std::size_t>(1, kChunkBytes / len));
    ReadRoom chunk;
    LiveCount c;
    for (std::int64_t k = from; k < end; k += per) {
        const std::int64_t n = std::min(per, end - k);
        char* bytes = chunk.resize(static_cast<std::size_t>(n) * len);
        const std::size_t got = file_->readAt(slotOffset(k), bytes, chunk.size()) / len;
        for (std::size_t i = 0; i < got; ++i) {
            const auto flag = static_cast<unsigned char>(bytes[i * len]);
            if (flag == kDbfEndOfFile) {
                end = k + static_cast<std::int64_t>(i);
                c.cut = true;
                break;
            }
            if (flag == kDbfLive) ++c.live;
        }
        if (static_cast<std::int64_t>(got) < n) {
            end = std::min(end, k + static_cast<std::int64_t>(got));
            c.cut = true;
        }
    }
    return c;
}

void DbfTable::noSuchField(FieldId f) const {
    throwError(ErrorKind::InvalidArgument,
               "Таблица "_cp.data() + fileText_ + ": нет поля с номером "_cp.data() + std::to_string(f));
}

void DbfTable::noRecord() const {
    throwError(ErrorKind::InvalidArgument, "Таблица "_cp.data() + fileText_ + ": нет текущей записи"_cp.data());
}

bool DbfTable::isNull(FieldId f) const {
    const DbfField& d = field(f);
    if (d.nullBit < 0 || header_.nullFlagsField < 0) return false;
    const std::string_view flags = fieldBytes(header_.nullFlagsField);
    const auto byte = static_cast<unsigned char>(flags[static_cast<std::size_t>(d.nullBit / 8)]);
    return (byte >> (d.nullBit % 8) & 1) != 0;
}

std::string DbfTable::recordText() const {
    return "Таблица "_cp.data() + fileText_ + ", запись "_cp.data() + std::to_string(cur_ + 1);
}

std::string DbfTable::text(FieldId f) const {
    if (isNull(f)) return {};
    return dbfText(field(f), fieldBytes(f), codePage_);
}

void DbfTable::textInto(FieldId f, std::string& out) const {
    const DbfField& d = field(f);
    if (d.type != 'C' || isNull(f)) {
        out = text(f);
        return;
    }
    charText(fieldBytes(f), out);
}

bool DbfTable::textStartIs(FieldId f, std::size_t maxChars, std::string_view value) const {
    const DbfField& d = field(f);
    if (d.type != 'C' || d.nullBit >= 0) return Table::textStartIs(f, maxChars, value);
    if (!startSet_ || value != startValue_) {
        startSet_ = true;
        startValue_.assign(value);
        startBytes_.assign(value.size(), '\0');
        // Stored bytes equal the value's bytes exactly when the texts are equal, unless
        // the value holds a '?', which the bytes 1251 lacks read as too.
        startComparable_ = value.find('?') == std::string_view::npos &&
                           (codePage_ == CodePage::Cp1251 ? (startBytes_.assign(value), true)
                                                          : cp1251To866Into(value, startBytes_.data()));
    }
    if (!startComparable_) {
        // A value the file's code page cannot hold, or one with a '?': by the texts.
        if (codePage_ == CodePage::Cp866 && value.find('?') == std::string_view::npos) return false;
        return Table::textStartIs(f, maxChars, value);
    }
    const std::string_view s = dbfCharBytes(fieldBytes(f));
    return s.substr(0, maxChars) == startBytes_;
}

bool DbfTable::isMemoField(const DbfField& d) const {
    return d.type == 'M' || d.type == 'G' || d.type == 'P' || (d.type == 'B' && !header_.isVisualFoxPro());
}

MemoValue DbfTable::memo(FieldId f) const {
    const DbfField& d = field(f);
    if (!isMemoField(d) || isNull(f)) return {};
    if (!memo_) memo_ = std::make_unique<DbfMemoFile>(path_, header_, fileText_);
    MemoValue v = memo_->read(d, fieldBytes(f));
    if (v.text && codePage_ == CodePage::Cp866) v.bytes = cp866To1251Lossy(v.bytes);
    return v;
}

void DbfTable::charText(std::string_view bytes, std::string& out) const {
    const std::string_view s = dbfCharBytes(bytes);
    if (codePage_ == CodePage::Cp866)
        cp866To1251LossyInto(s, out);
    else
        out.assign(s);
}

std::string_view DbfTable::findPeekRecord(std::size_t ahead) const {
    if (eof_ || editing_ || cur_ < bufFirst_) return {};
    const std::size_t len = header_.recordLength;
    const auto flagOf = [&](std::int64_t slot) {
        return static_cast<unsigned char>(buf_.view()[static_cast<std::size_t>(slot - bufFirst_) * len]);
    };
    // The slot `seen` live records on from k: false at the end of the buffer or the file.
    const auto stepLive = [&](std::int64_t& k, std::size_t seen) {
        while (seen > 0) {
            if (++k >= bufFirst_ + bufSlots_ || k >= slots_) return false;
            const unsigned char flag = flagOf(k);
            if (flag == kDbfEndOfFile) return false;
            if (flag == kDbfLive) --seen;
        }
        return true;
    };
    std::int64_t k = cur_;
    if (peekAhead_ == ahead && peekFrom_ >= bufFirst_ && peekFrom_ <= cur_ && cur_ < peekSlot_ &&
        cur_ - peekFrom_ <= 16) {
        // The walk moved on from where the last look-ahead was taken (most often to the next
        // record): the slot wanted lies as many live records past the last one as the walk
        // passed.
        std::size_t passed = 0;
        for (std::int64_t s = peekFrom_ + 1; s <= cur_; ++s)
            if (flagOf(s) == kDbfLive) ++passed;
        k = peekSlot_;
        if (!stepLive(k, passed)) return {};
    } else if (!stepLive(k, ahead)) {
        return {};
    }
    peekFrom_ = cur_;
    peekAhead_ = ahead;
    peekSlot_ = k;
    return buf_.view().substr(static_cast<std::size_t>(k - bufFirst_) * len, len);
}

bool DbfTable::peekText(std::size_t ahead, FieldId f, std::string& out) const {
    const DbfField& d = field(f);
    if (d.type != 'C' || header_.nullFlagsField >= 0) return false;
    const std::string_view rec = peekRecord(ahead);
    if (rec.empty()) return false;
    charText(rec.substr(static_cast<std::size_t>(d.offset), static_cast<std::size_t>(d.length)), out);
    return true;
}

std::optional<Date> DbfTable::peekDate(std::size_t ahead, FieldId f) const {
    const DbfField& d = field(f);
    if (header_.nullFlagsField >= 0) return std::nullopt;
    const std::string_view rec = peekRecord(ahead);
    if (rec.empty()) return std::nullopt;
    return dbfDate(d, rec.substr(static_cast<std::size_t>(d.offset), static_cast<std::size_t>(d.length)));
}

std::int32_t DbfTable::integer(FieldId f) const {
    if (isNull(f)) return 0;
    if (auto v = dbfInteger(field(f), fieldBytes(f))) return *v;
    throwError(ErrorKind::Conversion, recordText() + ", поле "_cp.data() + field(f).name + ": \""_cp.data() +
                                          dbfText(field(f), fieldBytes(f), codePage_) +
                                          "\" не является целым числом"_cp.data());
}

Date DbfTable::date(FieldId f) const {
    if (isNull(f)) return Date();
    if (auto v = dbfDate(field(f), fieldBytes(f))) return *v;
    throwError(ErrorKind::Conversion,
               recordText() + ", поле "_cp.data() + field(f).name + ": поле не является датой"_cp.data());
}

bool DbfTable::isEmpty(FieldId f) const { return isNull(f) || dbfIsEmpty(field(f), fieldBytes(f)); }

const std::vector<DbfIndexKey>& DbfTable::indexes() {
    if (!indexes_) {
        indexes_ = findDbfIndexes(path_, header_);
        structuralCdx_ = std::any_of(indexes_->begin(), indexes_->end(), [](const DbfIndexKey& k) {
            return k.file.size() >= 4 &&
                   (k.file.substr(k.file.size() - 4) == ".CDX" || k.file.substr(k.file.size() - 4) == ".cdx");
        });
    }
    return *indexes_;
}

std::uint64_t DbfTable::lockOffset(std::int64_t n) const {
    const auto rn = static_cast<std::uint64_t>(n);
    switch (settings_.lockScheme) {
        case LockScheme::Dbase:
            return 0xEFFFFFFEull - rn;
        case LockScheme::Clipper:
            return 1000000000ull + rn;
        case LockScheme::ClipperExtended:
            return 4000000000ull + rn;
        case LockScheme::FoxPro:
            if (structuralCdx_) return 0x7FFFFFFEull - rn;
            return 0x40000000ull + header_.headerLength + (rn - 1) * header_.recordLength;
    }
    return 0xEFFFFFFEull - rn;
}

void DbfTable::edit() {
    if (editing_) return;
    requireRecord();
    if (!file_->writable()) throwError(ErrorKind::Io, recordText() + ": файл открыт только для чтения"_cp.data());
    if (header_.isDbase7())
        throwError(ErrorKind::Unsupported, recordText() + ": изменение таблиц dBASE 7 не поддерживается"_cp.data());
    indexes();
    if (writeBehind_) {
        // Locked, re-read and written by flushWrites().
        original_ = recordBytes();
        edited_ = original_;
        changed_.assign(header_.fields.size(), false);
        editing_ = true;
        return;
    }
    const std::int64_t n = cur_ + 1;
    const std::uint64_t at = lockOffset(n);
    if (!file_->lockRange(at, 1, settings_.lockWaitMilliseconds))
        throwError(ErrorKind::Locked, recordText() + " занята другой программой"_cp.data());
    RangeLock lock(*file_, at, 1);
    // Another program may have changed the record since our chunk was read: start from the disk.
    std::string fresh(header_.recordLength, '\0');
    if (file_->readAt(slotOffset(cur_), fresh.data(), fresh.size()) != fresh.size())
        throwError(ErrorKind::NotFound, recordText() + ": записи больше нет в файле"_cp.data());
    if (static_cast<unsigned char>(fresh[0]) != kDbfLive)
        throwError(ErrorKind::Locked, recordText() + " удалена другой программой"_cp.data());
    peekFrom_ = -1;
    buf_.replace(static_cast<std::size_t>(cur_ - bufFirst_) * fresh.size(), fresh);
    original_ = fresh;
    edited_ = fresh;
    changed_.assign(header_.fields.size(), false);
    lock_ = std::move(lock);
    editing_ = true;
}

void DbfTable::insert() {
    throwError(ErrorKind::Unsupported,
               "Таблица "_cp.data() + fileText_ + ": добавление записей в таблицы dBASE не поддерживается"_cp.data());
}

void DbfTable::requireEditing(FieldId f) const {
    field(f);
    if (!editing_) throwError(ErrorKind::InvalidArgument, recordText() + ": запись не в режиме изменения"_cp.data());
}

void DbfTable::applyField(FieldId f, const std::string& bytes) {
    const DbfField& d = field(f);
    const auto off = static_cast<std::size_t>(d.offset), len = static_cast<std::size_t>(d.length);
    const bool differs = std::string_view(original_).substr(off, len) != bytes;
    if (differs) {
        if (d.nullBit >= 0)
            throwError(ErrorKind::Unsupported, recordText() + ", поле "_cp.data() + d.name +
                                                   ": запись в поле, допускающее NULL, не поддерживается"_cp.data());
        for (const auto& k : *indexes_) {
            if (!k.covers(d.name)) continue;
            std::string which = k.file;
            if (!k.tag.empty()) which += std::string(" (") + "тег "_cp.data() + k.tag + ")";
            std::string msg = recordText() + ": поле "_cp.data() + d.name + " входит в ключ индекса "_cp.data() + which;
            if (k.unreadable)
                msg += ", ключ которого не удалось прочитать"_cp.data();
            else
                msg += " \"" + k.expression + "\"";
            msg += "; эта программа не обновляет индекс, запись не изменена"_cp.data();
            throwError(ErrorKind::Unsupported, msg);
        }
    }
    edited_.replace(off, len, bytes);
    changed_[static_cast<std::size_t>(f)] = differs;
}

void DbfTable::setText(FieldId f, std::string_view value) {
    requireEditing(f);
    applyField(f, dbfEncodeText(field(f), value, codePage_, fileText_));
}

void DbfTable::setInteger(FieldId f, std::int32_t value) {
    requireEditing(f);
    applyField(f, dbfEncodeInteger(field(f), value, fileText_));
}

void DbfTable::setDate(FieldId f, Date value) {
    requireEditing(f);
    applyField(f, dbfEncodeDate(field(f), value, fileText_));
}

void DbfTable::post() {
    if (!editing_) throwError(ErrorKind::InvalidArgument, recordText() + ": запись не в режиме изменения"_cp.data());
    if (std::none_of(changed_.begin(), changed_.end(), [](bool c) { return c; })) {
        cancel();
        return;
    }
    if (writeBehind_) {
        // Every post is kept by itself (two of one record are put in, in order, at the flush),
        // so that each has its own outcome.
        pending_.push_back(Pending{cur_, edited_, changed_});
        refreshBuffered(cur_, edited_);
        editing_ = false;
        return;
    }
    // Under our lock nobody who follows the scheme writes the record; still start from what
    // is on disk now, so that bytes we did not set are exactly the file's.
    std::string disk(header_.recordLength, '\0');
    if (file_->readAt(slotOffset(cur_), disk.data(), disk.size()) != disk.size())
        throwError(ErrorKind::NotFound, recordText() + ": записи больше нет в файле"_cp.data());
    if (static_cast<unsigned char>(disk[0]) != kDbfLive)
        throwError(ErrorKind::Locked, recordText() + " удалена другой программой"_cp.data());
    // Bytes written to a file that another program removed or replaced reach no one.
    if (!file_->stillAtPath())
        throwError(ErrorKind::Io,
                   recordText() + ": файл удален или заменен другой программой, запись не изменена"_cp.data());
    std::string record = disk;
    for (std::size_t i = 0; i < changed_.size(); ++i) {
        if (!changed_[i]) continue;
        const auto off = static_cast<std::size_t>(header_.fields[i].offset);
        const auto len = static_cast<std::size_t>(header_.fields[i].length);
        record.replace(off, len, edited_, off, len);
    }
    if (settings_.journal) {
        journalChanges(cur_, disk, record, changed_);
        settings_.journal->flush();
    }
    try {
        file_->writeAt(slotOffset(cur_), record.data(), record.size());
    } catch (const Error& e) {
        // A write that failed part-way: put back what was there.
        try {
            file_->writeAt(slotOffset(cur_), disk.data(), disk.size());
        } catch (const Error&) {
        }
        throwError(e.kind(), recordText() + ": "_cp.data() + std::string(e.text()));
    }
    writeHeaderDate();
    peekFrom_ = -1;
    buf_.replace(static_cast<std::size_t>(cur_ - bufFirst_) * record.size(), record);
    editing_ = false;
    lock_.release();
}

void DbfTable::writeHeaderDate() {
    const std::array<char, 3> today = dbfUpdateDateToday(header_);
    const char* date = today.data();
    if (std::equal(date, date + 3, header_.updated,
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
        return;
    // The date is a courtesy to other programs; the record itself is already written, so a
    // failure here does not make the post fail.  A date written in part is put back.
    char old[3];
    try {
        if (file_->readAt(1, old, 3) != 3) return;
    } catch (const Error&) {
        return;
    }
    try {
        file_->writeAt(1, date, 3);
        for (int i = 0; i < 3; ++i) header_.updated[i] = static_cast<std::uint8_t>(date[i]);
    } catch (const Error&) {
        try {
            file_->writeAt(1, old, 3);
        } catch (const Error&) {
        }
    }
}

bool DbfTable::setWriteBehind(bool on) {
    if (editing_) cancel();
    if (!on && !pending_.empty()) (void)flushWrites();
    writeBehind_ = on;
    return true;
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
    peekFrom_ = -1;
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_ || rec.size() != header_.recordLength) return;
    buf_.replace(static_cast<std::size_t>(k - bufFirst_) * rec.size(), rec);
}

bool DbfTable::tryLock(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) noexcept {
    try {
        return file_->lockRange(offset, length, waitMilliseconds);
    } catch (...) {
        return false;
    }
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

std::vector<bool> DbfTable::flushWrites() {
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

void DbfTable::setFieldBytes(FieldId f, std::string_view bytes) {
    requireEditing(f);
    if (bytes.size() != static_cast<std::size_t>(field(f).length))
        throwError(ErrorKind::InvalidArgument,
                   recordText() + ": неверная длина значения поля "_cp.data() + field(f).name);
    applyField(f, std::string(bytes));
}

void DbfTable::cancel() {
    if (!editing_) return;
    editing_ = false;
    lock_.release();
}

void DbfTable::setIndexFieldNames(std::string_view names) {
    if (splitFieldNames(names).empty()) {
        indexNames_.clear();
        return;
    }
    throwError(ErrorKind::NotFound,
               "Таблица "_cp.data() + fileText_ + ": нет индекса по полям "_cp.data() + str(names));
}

bool DbfTable::findKey(std::span<const KeyValue>) {
    throwError(ErrorKind::Unsupported,
               "Таблица "_cp.data() + fileText_ + ": поиск по ключу в таблицах dBASE не поддерживается"_cp.data());
}

std::unique_ptr<Table> openDbfTable(const std::filesystem::path& file, const EngineSettings& settings) {
    return std::make_unique<DbfTable>(file, pathTo1251(file.filename()), settings);
}

}  // namespace strnum
