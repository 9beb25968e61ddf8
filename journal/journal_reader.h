// Reading a run's journal (journal/run_journal.h) back, whatever state it is in.
//
// A journal cut short (the run was killed, the disk was full) or damaged (a line that is no
// JSON, a field line of a file never named, hex that is not hex) is read up to the first
// line that cannot be used; `damage` then says where and what, in Russian, and the writes
// before it are all there is.  Never throws on the contents; never reads more than the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strnum {

struct JournalFileEntry {
    std::filesystem::path path;
    std::uint64_t size = 0;
    std::string modified;  // as the journal wrote it
};

struct JournalWrite {
    int file = 0;
    std::int64_t record = 0;
    std::string field;          // 1251
    std::string before, after;  // the field's bytes
};

struct JournalContents {
    std::string operation, started, program;  // UTF-8, as written
    std::string way, nums;                    // 1251
    std::map<int, JournalFileEntry> files;
    std::vector<JournalWrite> writes;  // in the order they were made
    bool ended = false;                // the last line is there
    bool ok = false;
    std::vector<std::pair<std::string, std::int64_t>> counters;
    std::string error;                  // 1251: the run's own error, when it ended with one
    std::optional<std::string> damage;  // 1251: the line that stopped the reading
};

// bytes: the whole journal; name: for messages.
JournalContents parseJournal(std::string_view bytes, std::string_view name);
// Throws Error (NotFound, Io) when the file cannot be read.
JournalContents readJournal(const std::filesystem::path& file);

}  // namespace strnum
