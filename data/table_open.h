// Opening a table of either format by directory and name: the one place that picks the
// engine (dbase/, paradox/) from the table's type and name.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "tables/table.h"

namespace strnum {

// Opens (directory, table name, type).  name: 1251; the file is found in the directory
// without regard to letter case (system/paths.h).  dBASE tables open read-write in shared mode
// (read-only when the file is not writable; edits then fail with Io).
std::unique_ptr<Table> openTable(const std::filesystem::path& directory, std::string_view name, TableType type,
                                 const EngineSettings& settings);

}  // namespace strnum
