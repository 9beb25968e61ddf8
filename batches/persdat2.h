// Persdat2: the exchange batch of the district check, in the batch format 04.00 of the
// personal-accounting system: four head lines, then one exchange application ("ОБМН") for
// every person whose name or birth date differs from the number directory.
//
// The file is made anew (an existing one emptied) in the program directory under the fixed
// name 00000100.001; lines go out through ScanCSV2.  Lines are gathered and written many at
// a time; close() writes what is left.  Write failures are Error (Io) naming the file.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "batches/scan_csv2.h"

namespace strnum {

class File;

inline constexpr const char* kBatchFileName = "00000100.001";

// What one application line holds of a person.
struct Application {
    int number = 0;                                       // in the pack, 1 to 100
    std::int32_t body = 0;                                // of the insurance number
    std::string_view dirSurname, dirName, dirPatronymic;  // the directory's FAM, NAM, OTCH
    std::string_view surname, name, patronymic;           // the record's, as compared
    bool nameDiffers = false, birthDiffers = false;
    std::string_view birthText;  // the record's birth date, dd.mm.yyyy
};

class Persdat2 {
public:
    // Creates the file and writes the head lines.  regNum: NNN-NNN-NNNNNN (checked by the
    // caller).  Throws Error.
    Persdat2(const std::filesystem::path& file, std::string_view regNum);
    ~Persdat2();  // writes what is gathered, quietly; call close() to learn of a failure
    Persdat2(const Persdat2&) = delete;
    Persdat2& operator=(const Persdat2&) = delete;

    void application(const Application& a);
    void close();

    const std::filesystem::path& file() const { return path_; }

private:
    void put();  // the line built into the gathered text
    void write();
    std::filesystem::path path_;
    std::unique_ptr<File> file_;
    ScanCSV2 line_;
    std::string gathered_;
};

}  // namespace strnum
