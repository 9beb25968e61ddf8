// The dBASE table: opening (the header and the first records in one read), the walk over
// the file's slots (read in chunks, or loaded whole by dbf_scan.cpp) and the typed reads of
// the current record.
#include "dbase/dbf_table.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_values.h"
#include "tables/write_journal.h"

namespace strnum {

using namespace strnum::literals;

namespace {

// A walk of a table not loaded reads this much at a time; the first read at opening takes
// the header and the records after it up to this much too.
constexpr std::size_t kChunkBytes = 256 * 1024;

}  // namespace

DbfTable::DbfTable(const std::filesystem::path& file, std::string name, const EngineSettings& settings)
    : path_(file), name_(std::move(name)), fileText_(pathTo1251(file)), settings_(settings) {
    file_ = std::make_unique<File>(file, settings.readOnly ? File::Mode::ReadOnly : File::Mode::ReadWrite);
    writable_ = file_->writable();
    const std::uint64_t size = file_->size();
    // One read for the header and, in a small file, everything after it.
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunkBytes)), '\0');
    head.resize(file_->readAt(0, head.data(), head.size()));
    const std::uint16_t headerLength = dbfHeaderLengthOf(head);
    if (headerLength > head.size() && headerLength <= size) {
        head.resize(headerLength);
        head.resize(file_->readAt(0, head.data(), head.size()));
    }
    header_ = parseDbfHeader(head, size, fileText_);
    if (head.size() > header_.headerLength) opening_.assign(head, header_.headerLength);
    codePage_ = dbfCodePage(header_.languageDriver, settings_);
    for (const auto& f : header_.fields) {
        // Names are ASCII in practice; any other byte is read in the table's code page.
        std::string name = codePage_ == CodePage::Cp866 ? cp866To1251Lossy(f.name) : f.name;
        FieldKind kind = dbfFieldKind(f.type);
        if (isMemoField(f)) kind = FieldKind::Memo;
        const int width = kind == FieldKind::Text || f.type == 'N' || f.type == 'F' ? f.length : f.type == 'I' ? 11 : 0;
        fields_.push_back(FieldInfo{std::move(name), f.type, kind, f.length, f.decimals, width, f.type == 'M'});
    }
    if (settings_.journal && writable_) journalFile_ = settings_.journal->fileOpened(path_);
    // The walk stands on the first record, read with the header.
    slots_ = fileSlots();
    const std::size_t len = header_.recordLength;
    const std::int64_t whole = std::min<std::int64_t>(slots_, static_cast<std::int64_t>(opening_.size() / len));
    char* room = room_->resize(static_cast<std::size_t>(whole) * len);
    if (whole > 0) std::memcpy(room, opening_.data(), static_cast<std::size_t>(whole) * len);
    bufFirst_ = 0;
    bufSlots_ = whole;
    advanceFrom(0);
}

std::int64_t DbfTable::fileSlots() const {
    const std::uint64_t size = file_->size();
    const std::uint64_t whole = size < header_.headerLength ? 0 : (size - header_.headerLength) / header_.recordLength;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(header_.recordCount, whole));
}

std::uint64_t DbfTable::slotOffset(std::int64_t k) const {
    return header_.headerLength + static_cast<std::uint64_t>(k) * header_.recordLength;
}

DbfTable::~DbfTable() {
    // A chunk's kept posts are written by its table, or not at all.
    if (!view_ && !pending_.empty()) (void)writeKept();
    giveBack(room_);
}

namespace {

std::mutex spareLock;
std::shared_ptr<void> spare;  // a DbfTable::ReadRoom

}  // namespace

std::shared_ptr<DbfTable::ReadRoom> DbfTable::spareRoom() {
    {
        const std::lock_guard<std::mutex> lock(spareLock);
        if (spare) return std::static_pointer_cast<ReadRoom>(std::exchange(spare, nullptr));
    }
    return std::make_shared<ReadRoom>();
}

void DbfTable::giveBack(std::shared_ptr<ReadRoom>& room) noexcept {
    if (!room || room.use_count() != 1) return;  // chunks still read it
    const std::lock_guard<std::mutex> lock(spareLock);
    if (!spare || std::static_pointer_cast<ReadRoom>(spare)->capacity() < room->capacity()) spare = std::move(room);
}

std::string_view DbfTable::slot(std::int64_t k) {
    const std::size_t len = header_.recordLength;
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_) {
        if (loaded_) return {};  // the loaded slots are all there are
        const std::int64_t want = std::min<std::int64_t>(slots_ - k, std::max<std::size_t>(1, kChunkBytes / len));
        if (want <= 0) return {};
        char* room = room_->resize(static_cast<std::size_t>(want) * len);
        const std::size_t got = file_->readAt(slotOffset(k), room, room_->size());
        bufFirst_ = k;
        bufSlots_ = static_cast<std::int64_t>(got / len);
        if (bufSlots_ < want) slots_ = k + bufSlots_;  // the file is shorter now than at opening
        if (bufSlots_ == 0) return {};
    }
    return room_->view().substr(static_cast<std::size_t>(k - bufFirst_) * len, len);
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
    if (!loaded_) {
        if (!pending_.empty()) (void)writeKept();
        // Every walk starts from the file as it is now: count the whole slots afresh, read anew.
        slots_ = fileSlots();
        bufFirst_ = 0;
        bufSlots_ = 0;
    }
    cur_ = walkFrom_ - 1;
    advanceFrom(walkFrom_);
}

bool DbfTable::goToRecord(std::int64_t number) {
    if (editing_) cancel();
    const std::int64_t k = number - 1;
    if (k < walkFrom_ || k >= slots_) return false;
    if (k < bufFirst_ || k >= bufFirst_ + bufSlots_) {
        if (loaded_) return false;
        // One record, not a chunk: such reads jump about the file.
        const std::size_t len = header_.recordLength;
        char* room = room_->resize(len);
        if (file_->readAt(slotOffset(k), room, len) != len) return false;
        bufFirst_ = k;
        bufSlots_ = 1;
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
    count_ = countLive(walkFrom_, loaded_ ? slots_ : fileSlots()).live;
    return *count_;
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
