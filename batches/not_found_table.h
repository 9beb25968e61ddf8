// The not-found table ANKT: the system's own keyed Paradox table of numbers that the
// number directory does not know, in the program directory.
//
// Layout (level 5, primary unique index on NUM):
//     NUM integer, FAM A25, NAM A20, OTCH A20, BIRTH date, COND A1, SEX A1, DATMOD date
// NotFoundTable opens it, creating it first when ANKT.DB is missing (an existing table is
// used as it is, with the records of earlier runs).  add() takes a record and returns
// false, changing nothing, when the number is in the table already or was added before.
//
// Records added are gathered and written all at once by flush() (and when the object
// goes): the table is written anew beside the old one (the old records byte for byte, the
// new ones among them in key order, a .PX made for them) and put in its place by renaming,
// so that a program killed at any moment leaves a table that opens with every record of the
// runs before and an index that fits it (the window between the two renames, .DB first, is
// closed by the next opening for inserts, which makes the .PX anew).  A table whose fields
// this engine does not write (a layout of another program) gets its records inserted one by
// one by the keyed writer instead.  The table is held for writing (an advisory lock) while
// the object lives; other programs may read it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/date.h"
#include "paradox/paradox_file.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_writer.h"

namespace strnum {

std::vector<ParadoxFieldDef> notFoundTableFields();

// Creates dir/ANKT.DB and ANKT.PX, empty.  Throws Error (Io when it exists or cannot be made).
void createNotFoundTable(const std::filesystem::path& directory);

class NotFoundTable {
public:
    // Opens dir/ANKT.DB (found without regard to letter case), creating it when missing.
    // Throws Error naming the file and the reason when it can be neither opened nor created,
    // is not of the not-found table's layout (it and its .PX are then left untouched), cannot
    // be written, or another program of ours holds it (Locked).
    explicit NotFoundTable(const std::filesystem::path& directory);
    // Writes what was added (errors are lost: call flush() to learn of them).
    ~NotFoundTable();
    NotFoundTable(const NotFoundTable&) = delete;
    NotFoundTable& operator=(const NotFoundTable&) = delete;

    // Texts in 1251.  FAM is kept to 25 characters, NAM and OTCH to 20, SEX to 1; COND is
    // "P", DATMOD empty.  Returns false when the number is already there; throws Error when
    // the record cannot be made (a text the table's code page lacks).
    bool add(std::int32_t num, std::string_view fam, std::string_view nam, std::string_view otch, Date birth,
             std::string_view sex);
    // Writes every record added since the last flush into the file.  Throws Error (Io);
    // the records stay gathered then, and the table as it was.
    void flush();

    // Records in the table and gathered.
    std::size_t records() const { return numbers_.size(); }
    std::size_t pending() const { return pending_.size(); }
    const std::filesystem::path& file() const { return file_; }

private:
    void openOrCreate();
    void open();
    // The table written anew and put in place; false when it cannot be put in place.
    bool rewrite();
    void insertOneByOne();
    std::filesystem::path directory_, file_;
    std::unique_ptr<PxFile> lock_;  // the .DB, held for writing
    ParadoxHeader header_;
    std::unordered_set<std::int32_t> numbers_;  // in the table and gathered
    std::vector<std::pair<std::int32_t, std::string>> pending_;
    bool rewritable_ = true;  // every field of a type the table can be written anew with
};

}  // namespace strnum
