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
    char type = 0;     // the format's own type letter or code ('C', 'N', 'A', ...), for dumps
    FieldKind kind = FieldKind::Other;
    int length = 0;    // bytes in the record
    int decimals = 0;  // dBASE N/F; 0 elsewhere
    // Characters a value takes as the format stores it: the defined length of character
    // and dBASE numeric fields, 6 and 11 for 16- and 32-bit integers; 0 where the format
    // sets none (Paradox numbers, money, BCD; dates and the rest).
    int width = 0;
    bool textMemo = false;  // a memo field that holds text (not a binary, graphic or OLE value)
};

// The contents of a memo field: a text (1251) or the bytes of a binary, graphic or OLE value.
struct MemoValue {
    bool text = true;
    std::string bytes;  // empty: no value
};

// A key value for findKey: text (1251), integer or date, in the order of the index fields.
using KeyValue = std::variant<std::string, std::int32_t, Date>;

class FileScan;
class KeySearch;

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

    // Field names of the current order ("" = primary / stored order).  Throws NotFound when
    // the table has no index over these fields.
    virtual void setIndexFieldNames(std::string_view names) = 0;
    virtual const std::string& indexFieldNames() const = 0;
    virtual bool findKey(std::span<const KeyValue> values) = 0;

    // What the district-file pass uses for speed, where the table offers it (nullptr: the
    // pass walks and searches it through the calls above): a file read once and walked in
    // chunks (tables/file_scan.h), searches announced ahead (tables/key_search.h).
    virtual FileScan* fileScan() { return nullptr; }
    virtual KeySearch* keySearch() { return nullptr; }

protected:
    Table() = default;
};

// The first maxChars characters of field f's text, into out (the operations read names to
// their first 25 characters).
inline void cutText(const Table& t, FieldId f, std::size_t maxChars, std::string& out) {
    t.textInto(f, out);
    if (out.size() > maxChars) out.resize(maxChars);
}

// Field names in a ";"-separated list, blanks around each removed, empty names dropped.
std::vector<std::string> splitFieldNames(std::string_view names);
// ASCII case-insensitive equality of field and file names.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace strnum
