// A destination for report text: a file, or a device such as a printer port opened like a
// file.
//
// A file is written anew beside the old one and takes its place when close() has written
// all of it (system/replacing_file.h): a save that fails part-way (a full disk, a removed
// folder) leaves the file that was there before as it was.  A device gets the bytes
// straight through, in the order given, so that what was printed before a failure stays
// printed.  Every failure is an Error of kind Io naming the destination in Russian.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace strnum {

class File;
class ReplacingFile;

class OutputFile {
public:
    // Opens the destination.  Throws Error(Io) when it cannot be written.
    explicit OutputFile(const std::filesystem::path& path);
    ~OutputFile();  // without close(): a file is left as it was before, a device as written
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Puts a file in place (a device: nothing more to do); throws Error(Io) on failure.
    void close();

    // Whether the path names a device rather than a file: something that exists and is not
    // a regular file, anything under /dev, or a DOS device name (LPT1, PRN, COM1 ...).
    static bool isDevice(const std::filesystem::path& path);

private:
    std::unique_ptr<File> device_;
    std::unique_ptr<ReplacingFile> file_;
};

}  // namespace strnum
