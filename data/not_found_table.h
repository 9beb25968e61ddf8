// The not-found table ANKT: the system's own keyed Paradox table of numbers that the
// number directory does not know, in the program directory.
//
// Layout (level 5, primary unique index on NUM):
//     NUM integer, FAM A25, NAM A20, OTCH A20, BIRTH date, COND A1, SEX A1, DATMOD date
// NotFoundTable opens it for inserts, creating it first when ANKT.DB is missing (an
// existing table is used as it is).  add() inserts one record in key order and returns
// false, changing nothing, when the number is already there.  The table is held for
// writing (an advisory lock) while the object lives; other programs may read it.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "data/paradox_writer.h"

namespace strnum {

std::vector<ParadoxFieldDef> notFoundTableFields();

// Creates dir/ANKT.DB and ANKT.PX, empty.  Throws Error (Io when it exists or cannot be made).
void createNotFoundTable(const std::filesystem::path& directory);

class NotFoundTable {
public:
    // Opens dir/ANKT.DB (found without regard to letter case), creating it when missing.
    // Throws Error when it can be neither opened nor created.
    explicit NotFoundTable(const std::filesystem::path& directory);

    // Texts in 1251.  FAM is kept to 25 characters, NAM and OTCH to 20, SEX to 1; COND is
    // "P", DATMOD empty.  Returns false when the number is already in the table; throws
    // Error when the record cannot be written (a text the table's code page lacks, I/O).
    bool add(std::int32_t num, std::string_view fam, std::string_view nam, std::string_view otch, Date birth,
             std::string_view sex);

    std::uint32_t records() const { return writer_->records(); }
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    std::unique_ptr<ParadoxKeyedWriter> writer_;
};

}  // namespace strnum
