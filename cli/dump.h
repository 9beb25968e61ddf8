// Table dumps for `strnum-cli dump`: the header facts and every visible record as JSON
// lines in UTF-8.  One function per table format; cmd_dump.cpp picks by file extension.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "tables/table.h"

namespace strnum::cli {

// Both throw strnum::Error when the table cannot be opened or read.
void dumpDbfTable(const std::filesystem::path& file, std::ostream& out);
void dumpParadoxTable(const std::filesystem::path& file, std::ostream& out);

// The part both formats share: the header line {"version", "code_page", "records",
// "fields": [{name, type, length, decimals}]} and one object per visible record, field
// name -> value as read as text, all in UTF-8.
void writeTableDump(Table& table, nlohmann::ordered_json version, int codePage,
                    const std::function<std::string(const FieldInfo&)>& typeName, std::ostream& out);

}  // namespace strnum::cli
