// The table interface of the core: one open dBASE or Paradox table, as the operations use it.
//
// Start here.  A table is addressed by (directory, table name, type) and opened with
// openTable() (data/table_open.h); the object it returns is the open table, and destroying it (or close())
// closes the file and drops every lock it holds.  The operations need no more than what is
// declared below; everything format-specific stays behind it (dbase/dbf_table.h,
// the Paradox reader).
//
//     auto t = openTable(dir, "PDL.DBF", TableType::Dbase, settings);
//     const FieldId fam = t->fieldByName("FM");          // throws when missing
//     for (t->first(); !t->eof(); t->next()) use(t->text(fam));
//
// Contract
// - Text crosses this interface in code page 1251 in both directions (names, values, error
//   messages); the table converts from and to its own code page.
// - Field names are matched without regard to ASCII letter case.
// - The walk: after opening and after first() the cursor stands on the first visible record
//   (deleted dBASE records are never visible); next() moves on; eof() is true once next()
//   was called on the last record, and at once for an empty table.  Reads on an eof cursor
//   throw InvalidArgument.
// - Typed reads of the current record:
//     text()     character field: cut at the first NUL, trailing blanks removed (leading
//                blanks kept); numeric: its digits without leading zeros or blanks, a
//                fraction as the shortest exact decimal, empty = ""; date: "dd.mm.yyyy",
//                empty or invalid = ""; logical "T"/"F"/""; memo and binary fields ""
//                (their contents: memo()).
//     integer()  numeric and integer fields; an empty field reads 0; a value that is not a
//                whole number within 32 bits throws Conversion.  Text fields holding digits
//                convert by the one integer rule (base/convert.h).
//     date()     date fields; empty or invalid = the empty Date (zero value).
//     isEmpty()  nothing stored: blanks, zeros, NULL.
// - Writing an existing record: edit() takes a lock on that one record (failing with
//   ErrorKind::Locked after a short wait when another program holds it) and re-reads it
//   from disk; setText/setInteger/setDate change the field in the record buffer and fail at
//   once (Conversion, InvalidArgument, Unsupported) when the value cannot be stored exactly
//   or the field is covered by an index this engine does not maintain; post() writes the
//   record and releases the lock; cancel() drops the changes and releases the lock.  A post
//   that fails leaves the record as it was on disk and the table in edit state (cancel it).
//   insert() starts a new record where the format supports it (Paradox), else Unsupported.
// - Index: setIndexFieldNames("FAM;NAM;OTCH;BIRTH") orders the walk by an index over those
//   fields; "" is the primary index (or stored order when there is none).  findKey() stands
//   on the first record whose leading fields equal the values and returns true, or returns
//   false and leaves the position unspecified (but valid: eof() or a record).
//
// Failures are strnum::Error (base/error.h) with a Russian message naming the file, and
// the field and record where there is one.  A table that does not exist is NotFound, one
// whose bytes cannot be right is Corrupt; nothing ever reads past the end of a file.
//
// Lifetimes and threads: a Table is used from one thread.  FieldIds stay valid while the
// table is open; texts returned are copies.  Nothing else refers to the table after close.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/date.h"
#include "tables/engine_settings.h"

namespace strnum {

enum class TableType {
    Dbase,    // a .DBF file; the name carries its extension
    Default,  // chosen by the engine from the name: no extension or ".DB" = Paradox, ".DBF" = dBASE
};

// A field's position in the record layout, 0-based, as returned by fieldByName/findField.
using FieldId = int;

enum class FieldKind {
    Text,     // dBASE C, Paradox A
    Number,   // dBASE N F, Paradox N $ # (decimal or floating)
    Integer,  // dBASE (VFP) I, Paradox S I +
    Date,     // dBASE D, Paradox D
    Logical,  // dBASE L, Paradox L
    Memo,     // dBASE M G P (B in dBASE IV), Paradox memo, blob, graphic, OLE: text() is "",
              // the contents come from memo()
    Other,    // time stamp, currency, double ... readable as text, never written
};

struct FieldInfo {
    std::string name;  // as stored (ASCII for dBASE; 1251 for Paradox)
    char type = 0;     // the format's own type letter or code ('C', 'N', 'A', ...)
    FieldKind kind = FieldKind::Other;
    int length = 0;    // bytes in the record
    int decimals = 0;  // dBASE N/F; 0 elsewhere
};

// The contents of a memo field: a text (1251) or the bytes of a binary, graphic or OLE value.
struct MemoValue {
    bool text = true;
    std::string bytes;  // empty: no value
};

// A key value for findKey: text (1251), integer or date, in the order of the index fields.
using KeyValue = std::variant<std::string, std::int32_t, Date>;

class Table {
public:
    virtual ~Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The file opened and the name it was asked by (1251), for messages.
    virtual const std::filesystem::path& file() const = 0;
    virtual const std::string& tableName() const = 0;

    // Visible records: counted once when first asked, from what the file really holds.
    virtual std::int64_t recordCount() = 0;

    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    // Position of the current record in the file (1-based slot number), for messages.
    virtual std::int64_t recordNumber() const = 0;

    virtual const std::vector<FieldInfo>& fields() const = 0;
    // Case-insensitive lookup.  fieldByName throws NotFound naming table and field.
    std::optional<FieldId> findField(std::string_view name) const;
    FieldId fieldByName(std::string_view name) const;

    virtual std::string text(FieldId f) const = 0;
    // text() into a buffer kept by the caller, for walks that read every record.
    virtual void textInto(FieldId f, std::string& out) const { out = text(f); }
    // Look-ahead for walks that search another table with every record: the text or date
    // of field f of the visible record `ahead` records after the current one (1: the next),
    // without moving.  False (nullopt) when that is not at hand cheaply; only a hint.
    virtual bool peekText(std::size_t ahead, FieldId f, std::string& out) const {
        (void)ahead, (void)f, (void)out;
        return false;
    }
    virtual std::optional<Date> peekDate(std::size_t ahead, FieldId f) const {
        (void)ahead, (void)f;
        return std::nullopt;
    }
    // Whether the first maxChars characters of field f's text (as text() reads it) are
    // `value` (1251), for walks that compare one field of every record with one value: a
    // table may compare the stored bytes without reading the text.
    virtual bool textStartIs(FieldId f, std::size_t maxChars, std::string_view value) const;
    // The contents of a memo field (read from the memo file beside the table), text in
    // 1251; empty for a field that is no memo.  Throws Corrupt or NotFound, naming the field
    // and the memo file, when the memo file is missing or damaged.
    virtual MemoValue memo(FieldId f) const {
        (void)f;
        return {};
    }
    // Stands on the record that recordNumber() gave as `number`, when it is still visible
    // among the records this object walks; false otherwise (the position is then
    // unspecified but valid).  For searches that remember where records were.  Tables that
    // cannot go straight to a record return false.
    virtual bool goToRecord(std::int64_t number) {
        (void)number;
        return false;
    }
    virtual std::int32_t integer(FieldId f) const = 0;
    virtual Date date(FieldId f) const = 0;
    virtual bool isEmpty(FieldId f) const = 0;

    virtual void edit() = 0;
    virtual void insert() = 0;
    virtual void setText(FieldId f, std::string_view value) = 0;
    virtual void setInteger(FieldId f, std::int32_t value) = 0;
    virtual void setDate(FieldId f, Date value) = 0;
    virtual void post() = 0;
    virtual void cancel() = 0;
    virtual bool editing() const = 0;  // between edit()/insert() and post()/cancel()

    // Writing behind, for walks that change many records of a shared file.  While it is on,
    // edit() takes no lock, post() keeps the changed record in memory and flushWrites()
    // writes the kept records.  Returns false when the table cannot (post() then writes at
    // once, as always).  Turning it off writes what is kept.
    virtual bool setWriteBehind(bool on) {
        (void)on;
        return false;
    }
    // Posts kept and not yet written.
    virtual std::size_t pendingWrites() const { return 0; }
    // Writes the kept posts; one entry per kept post, in the order of the posts: true when
    // its record was written, false when it could not be (the record is then as it was on
    // disk).  Never throws.
    virtual std::vector<bool> flushWrites() { return {}; }
    // Forgets the kept posts: nothing of them is written.
    virtual void discardWrites() {}
    // Why the first kept post that the last flushWrites could not write was not written
    // (1251, naming the file and record); empty when it wrote them all.
    virtual std::string writeFailure() const { return {}; }

    // Walking in parts on several threads.  walkSlots: the slots [from, to) this object's
    // walk covers, for a table that can be walked in parts (nullopt: it cannot).
    // splitWalkAt(slot): a second table object over the same file whose walk covers this
    // object's slots from `slot` on; this object's walk then ends before `slot` (from < slot
    // < to).  The parts made this way together visit exactly the records one walk would, as
    // the file was when first split.  Each object is used on a thread of its own.  nullptr
    // when the table cannot be split there.  Split before walking; writing behind and posts
    // work on every part as on any table of that file.
    virtual std::optional<std::pair<std::int64_t, std::int64_t>> walkSlots() const { return std::nullopt; }
    virtual std::unique_ptr<Table> splitWalkAt(std::int64_t slot) {
        (void)slot;
        return nullptr;
    }
    // Of a table split in parts, on any part: the visible records among the slots this
    // object walks, counted as recordCount() counts them, so that the parts can count on
    // their threads at once.  nullopt where the sum over the parts would not be
    // recordCount() (an end marker in the slots, the file shorter than when split):
    // recordCount() then counts.
    virtual std::optional<std::int64_t> recordCountOfPart() { return std::nullopt; }
    // After this object's walk has ended: whether it reached the end of its slots.  False
    // when it ended before (at an end marker, or because the file got shorter): the parts
    // after it are then not part of the walk.
    virtual bool walkReachedSplit() const { return true; }
    // A cursor of its own over the same records, read-only, for searches on another thread
    // while this object is used on its own: same fields, same current order.  It stays
    // valid as long as it lives; it does not see changes made through this object later.
    // nullptr when the table cannot give one.
    virtual std::unique_ptr<Table> readingCursor() const { return nullptr; }

    // Field names of the current order ("" = primary / stored order).  Throws NotFound when
    // the table has no index over these fields.
    virtual void setIndexFieldNames(std::string_view names) = 0;
    virtual const std::string& indexFieldNames() const = 0;
    virtual bool findKey(std::span<const KeyValue> values) = 0;
    // True when the record under the cursor is known, without reading it, to differ from
    // the record the last successful findKey stood on in the index fields' values and in
    // the texts and dates they read as; false when that is not known.  A scan of the
    // records equal to a found key can stop on it at once.
    virtual bool knownToDifferFromFound() const { return false; }
    // A hint: findKey will soon be asked for these values, in the order of the hints.
    // Tables that can bring what those searches read into the cache meanwhile.  Returns a
    // number for findHinted, 0 when the table keeps nothing of the hint.
    virtual std::uint64_t prefetchKey(std::span<const KeyValue> values) const {
        (void)values;
        return 0;
    }
    // findKey for values hinted before: the table may use what the hint with that number
    // worked out, when it still has it and the values are the same.
    virtual bool findHinted(std::span<const KeyValue> values, std::uint64_t hint) {
        (void)hint;
        return findKey(values);
    }

protected:
    Table() = default;
};

// Field names in a ";"-separated list, blanks around each removed, empty names dropped.
std::vector<std::string> splitFieldNames(std::string_view names);
// ASCII case-insensitive equality of field and file names.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace strnum
