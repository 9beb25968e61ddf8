// The settings file SOBES.INI in the program directory.
//
// [Init]     DBPath   the number directory's directory      (the system's own keys)
//            WayPath  the district list's directory
// Our additions, each in a section of its own so that the original keys stay as they were:
// [Tables]   DefaultCodePage=866|1251   code page of dBASE tables whose header names none
//            LockScheme=dBASE|Clipper|ClipperExtended|FoxPro   record locks of shared files
//            LockWait=2000              milliseconds an edit waits for a locked record
//            Threads=0                  threads a district file is walked on (0: all cores)
// [Drives]   C=/srv/ortan               Windows drive letters of district directories
// [Printer]  LPT1=/dev/lp0              the device that stands for the printer port
// [Batch]    RegNum=000-000-000000      registration number of the exchange batches
// [Journal]  Keep=90                    days the journals of writing runs are kept (0: none kept)
//
// Values are 1251 text.  A value we cannot use is reported (naming the file, section and
// key) and its default taken for this run; the file itself keeps it as written.  The
// registration number is kept as written and checked where a batch is made.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "system/devices.h"
#include "tables/engine_settings.h"

namespace strnum {

inline constexpr const char* kSettingsFileName = "SOBES.INI";

struct Settings {
    std::string dbPath;   // 1251
    std::string wayPath;  // 1251
    EngineSettings engine;
    std::string printerDevice;  // where "LPT1" goes; empty: the platform default
    std::string batchRegNum = "000-000-000000";
    int journalKeepDays = 90;  // 0: writing runs keep no journal
};

// Reads the file (missing file, section or key: defaults).  Values that cannot be used
// are added to *problems (1251 messages) and replaced by their defaults; without
// problems given, the first one is thrown as Error(InvalidArgument).  A file that cannot
// be read at all throws Error.
Settings loadSettings(const std::filesystem::path& file, std::vector<std::string>* problems = nullptr);

// Writes DBPath and WayPath into [Init], keeping every other line of the file.  Throws Error.
void saveDirectories(const std::filesystem::path& file, const std::string& dbPath, const std::string& wayPath);

}  // namespace strnum
