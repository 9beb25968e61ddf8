// Persdat2: the exchange batch of the district check, in the batch format 04.00 of the
// personal-accounting system: four head lines, then one exchange application ("ОБМН") for
// every person whose name or birth date differs from the number directory.
//
// The file is made anew in the program directory under the fixed name 00000100.001; lines
// go out through ScanCSV2.  It is written beside the old file and takes its place at
// close(), when all of it is on disk (system/replacing_file.h): a batch is whole or not there,
// and a batch that could not be written leaves the one before as it was.  Lines are
// gathered and written many at a time.  Write failures are Error (Io) naming the file; after
// one, every later call fails with it and close() puts nothing in place.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "batches/scan_csv2.h"

namespace strnum {

class Error;
class ReplacingFile;

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
    ~Persdat2();  // without close(): nothing put in place, the old file as it was
    Persdat2(const Persdat2&) = delete;
    Persdat2& operator=(const Persdat2&) = delete;

    void application(const Application& a);
    // Writes what is gathered and puts the file in place.  Throws Error (Io).
    void close();

    const std::filesystem::path& file() const { return path_; }

private:
    void put();  // the line built into the gathered text
    void write();
    std::string notWritten(const Error& e) const;  // the message of a failure
    std::filesystem::path path_;
    std::unique_ptr<ReplacingFile> file_;
    std::string failure_;  // the first write that failed, as every later call says it
    ScanCSV2 line_;
    std::string gathered_;
};

}  // namespace strnum
