// The number directory NUMS: opened once, kept in memory with both of its orders.
//
// The directory is a Paradox table of the Sverkin database (NUM, FAM, NAM, OTCH, BIRTH,
// COND ...).  Opening reads it whole into a packed arena (paradox/paradox_table.h) and builds
// the two orders the operations use: the primary order (leading field NUM; find by one
// integer, whether or not the table is keyed or has its .PX) and "FAM;NAM;OTCH;BIRTH"
// (find by four values compared exactly; equal entries follow each other in ascending NUM,
// then stored order, so the twin scan steps through them).  Only the fields of an order
// are looked up when it is built; COND and the rest are looked up when they are read.
//
//     NumberDirectory nums(dir / "NUMS.DB", settings);
//     if (nums.findPerson(fam, nam, otch, birth))
//         for (auto& t = nums.table(); !t.eof() && nums.samePerson(...); t.next()) ...
//
// Memory: the records (about the file's size) plus 4 bytes per entry for the primary order
// and 8 for the person order (plus a bucket table); a lookup is a few cache misses.
#pragma once

#include <filesystem>
#include <string_view>

#include "data/table_object.h"
#include "paradox/paradox_table.h"

namespace strnum {

// Checks, before a run uses it, that a table can serve as the number directory: the run
// would otherwise look numbers up in a foreign table's fields and take "not there" for an
// answer.  By number: the primary order leads with NUM, a field of whole numbers.  By person:
// FAM, NAM, OTCH are text fields and BIRTH a date field.  Throws Error (Unsupported or
// NotFound) naming the table, the field and what is wrong with it.
void requireNumberOrder(const Table& directory);
void requirePersonOrder(const Table& directory);

// The number directory as the front ends keep it: the table object of NUMS (its type chosen
// by the engine) in the directory given, opened by the first operation that needs it and
// left open.  Returns the open table; throws Error when it cannot be opened.
Table& openNumberDirectory(TableObject& tblNUM);

class NumberDirectory {
public:
    static constexpr std::string_view kPersonOrder = "FAM;NAM;OTCH;BIRTH";

    // Throws Error as ParadoxTable does, NotFound when an order's field is missing.
    NumberDirectory(const std::filesystem::path& file, const EngineSettings& settings);

    ParadoxTable& table() { return table_; }

    // Stand on the entry with this number (primary order); false when there is none.
    bool findNumber(std::int32_t num);
    // Stand on the first entry of this person (person order); false when there is none.
    bool findPerson(std::string_view fam, std::string_view nam, std::string_view otch, Date birth);

private:
    ParadoxTable table_;
};

}  // namespace strnum
