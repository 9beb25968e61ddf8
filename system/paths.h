// Where tables are on this machine: file names found without regard to letter case, and
// directories written as Windows paths mapped through the drive table of the settings.
//
// The tables' own programs ran on Windows, where "PDL.DBF", "pdl.dbf" and "Pdl.Dbf" are one
// file and a district directory is stored as "C:\ORTAN\U01\".  Here names are matched as
// Windows would (ASCII and Cyrillic letters, case-insensitively), and a drive letter stands
// for a folder given in the settings ('C' -> /srv/ortan).  On Windows the system itself does
// both: it finds names, and drive letters and network paths are its own.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

namespace strnum {

// Windows drive letter (upper case) -> the folder that stands for the drive's root here,
// e.g. 'C' -> /srv/ortan ([Drives] of the settings file).
using DriveTable = std::map<char, std::filesystem::path>;

// The entry of `dir` named `name` (UTF-8): an exact match wins; otherwise the first
// case-insensitive match in sorted (byte) order.  nullopt when there is none, when `dir` is
// not a readable directory, or when `name` is not one entry's name (empty, "." or "..", or
// holding a separator or a NUL).  Never throws.
std::optional<std::filesystem::path> findInDirectory(const std::filesystem::path& dir, std::string_view name);

// The file beside `file` with the same name and another extension (".DBT"), found as
// findInDirectory finds it; nullopt when there is none.
std::optional<std::filesystem::path> fileBeside(const std::filesystem::path& file, std::string_view extension);

// Case-insensitive equality of two UTF-8 file names as Windows compares them (ASCII and the
// Cyrillic letters of code page 1251; other characters exactly).
bool fileNamesEqual(std::string_view a, std::string_view b);

// A directory as stored in a table (1251 text, e.g. "C:\ORTAN\U01\" or "/srv/u01") mapped to
// this machine: the drive letter through the drive table, backslashes as separators, every
// component found without regard to letter case.  A component that is not there is kept as
// written, so the result names a directory that does not exist; a drive missing from the
// table or a network path gives an empty path (which exists nowhere).  On Windows the text
// is read as it stands (drive letters, \\server\share\ paths, relative ones; the drive
// table is not used).  The text ends at its first NUL.  Never throws.
std::filesystem::path resolveDirectory(std::string_view written, const DriveTable& drives);

}  // namespace strnum
