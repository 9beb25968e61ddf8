// A destination for report text: a file or a device such as a printer port, opened like
// a file.  Writes go straight through in the order given, so when a write fails (disk
// full, printer gone) what was written before stays, and the failure is an Error of kind
// Io naming the destination.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace strnum {

class OutputFile {
public:
    // Creates the destination (an existing file is overwritten; a device is opened for
    // writing).  path: the file-system path; Throws Error(Io) when it cannot be created.
    explicit OutputFile(const std::filesystem::path& path);
    ~OutputFile();  // closes quietly; call close() to learn of a failed final write
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Flushes and closes; throws Error(Io) when the system reports a failed write.
    void close();

private:
    [[noreturn]] void fail();
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};

}  // namespace strnum
