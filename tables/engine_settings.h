// Settings of the table engine: what the settings file can change about how tables are
// read and shared.  A plain value; the settings-file reader fills it, tests build it
// directly.  Defaults are what the engine does with no settings file at all.
#pragma once

#include <filesystem>
#include <map>
#include <memory>

#include "base/text.h"
#include "system/paths.h"

namespace strnum {

class WriteJournal;

// Which program's byte-range locks our record locks must meet on a shared dBASE file.
enum class LockScheme {
    Dbase,            // dBASE IV-7 and the Borland Database Engine (default)
    Clipper,          // Clipper 5 (NTX)
    ClipperExtended,  // Clipper with the extended NTX locking (NTXLOCK2)
    FoxPro,           // FoxPro 2.x / Visual FoxPro (the CDX variant when a structural index exists)
};

struct EngineSettings {
    // Code page of dBASE tables whose header does not name one (language driver 0 or a DOS
    // code page other than 866).  Only Cp866 or Cp1251.
    CodePage defaultCodePage = CodePage::Cp866;
    LockScheme lockScheme = LockScheme::Dbase;
    // How long an edit waits for a record that another program holds.
    int lockWaitMilliseconds = 2000;
    // How many threads a district file is walked on and the number directory's orders are
    // built on ([Tables] Threads): 0 for as many as the machine has cores, 1 for the run's
    // thread alone.  Nothing that comes out depends on it.
    int threads = 0;
    // Open dBASE files for reading only (the SQL console): edits then fail with Io.
    bool readOnly = false;
    // Where a writing run notes every field before it is written (tables/write_journal.h);
    // none: nowhere.
    std::shared_ptr<WriteJournal> journal;
    // Used to map district directories written as Windows paths (system/paths.h).
    DriveTable drives;
};

// A directory as stored in a table, mapped to this machine through the settings' drives.
inline std::filesystem::path resolveDirectory(std::string_view written, const EngineSettings& settings) {
    return resolveDirectory(written, settings.drives);
}

}  // namespace strnum
