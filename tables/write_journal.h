// Where the table engine notes the fields it is about to write, before it writes them.
//
// A run that changes district files gives its tables a journal (EngineSettings::journal);
// every dBASE record written is first noted there, field by field, with the field's bytes
// as they are on disk under the record's lock and the bytes that will replace them, and
// the notes are handed to the operating system (flush) before the record's own write.  A
// process killed at any moment thus leaves notes for every write that reached a file
// (and perhaps for a last one that did not).  A journal that cannot be written stops the
// write: the record is then not changed.
//
// Used by several table objects on several threads at once: implementations lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace strnum {

class WriteJournal {
public:
    virtual ~WriteJournal() = default;
    // A table file opened for the run (the same file may be named again): the number its
    // notes go by.
    virtual int fileOpened(const std::filesystem::path& file) = 0;
    // One field of one record (1-based number) of that file about to change.  Keeps the
    // note; throws Error (Io) when it cannot.
    virtual void note(int file, std::int64_t record, std::string_view field, std::string_view before,
                      std::string_view after) = 0;
    // Hands every note kept to the operating system.  Throws Error (Io).
    virtual void flush() = 0;
    // Why the journal takes no more notes (1251, naming the journal and the system's
    // answer), once a note or a flush has failed; empty while it works.  Nothing more is
    // written into a table after that: the run stops.
    virtual std::string failure() const = 0;
};

}  // namespace strnum
