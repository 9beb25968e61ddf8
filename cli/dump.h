// Table dumps for `strnum-cli dump`: the header facts and every visible record as JSON
// lines in UTF-8.  One function per table format; cmd_dump.cpp picks by file extension.
#pragma once

#include <filesystem>
#include <ostream>

namespace strnum::cli {

// Both throw strnum::Error when the table cannot be opened or read.
void dumpDbfTable(const std::filesystem::path& file, std::ostream& out);
void dumpParadoxTable(const std::filesystem::path& file, std::ostream& out);

}  // namespace strnum::cli
