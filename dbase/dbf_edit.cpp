// Editing one record of a shared dBASE file: the record locked where the other programs of
// the lock scheme lock it, re-read under the lock, only the fields set changed, written back
// in one write with the header's date; fields covered by another program's index refused.
// A chunk's edits take no lock and its posts are kept (dbf_scan.cpp writes them).
#include <algorithm>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_table.h"
#include "dbase/dbf_values.h"
#include "tables/write_journal.h"

namespace strnum {

using namespace strnum::literals;

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
    if (!writable_) throwError(ErrorKind::Io, recordText() + ": файл открыт только для чтения"_cp.data());
    if (header_.isDbase7())
        throwError(ErrorKind::Unsupported, recordText() + ": изменение таблиц dBASE 7 не поддерживается"_cp.data());
    indexes();
    if (view_) {
        // Locked, re-read and written when the chunk is written.
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
    room_->replace(static_cast<std::size_t>(cur_ - bufFirst_) * fresh.size(), fresh);
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
    if (view_) {
        // A chunk keeps every post by itself (two of one record are put in, in order, when
        // written), so that each has its own outcome.
        pending_.push_back(Pending{cur_, edited_, changed_});
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
    room_->replace(static_cast<std::size_t>(cur_ - bufFirst_) * record.size(), record);
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

bool DbfTable::tryLock(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) noexcept {
    try {
        return file_->lockRange(offset, length, waitMilliseconds);
    } catch (...) {
        return false;
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

}  // namespace strnum
