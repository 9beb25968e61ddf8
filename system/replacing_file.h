// A file written anew beside the file it replaces, and put in its place only once all of it
// is written and on disk.  Until commit() returns, and after any failure on the way (a full
// disk, an I/O error, a directory made read-only), the file it replaces is as it was.
//
//     ReplacingFile out(dir / "SOBES.INI");
//     out.write(text);
//     out.commit();          // the new file takes the old one's place in one step
//
// The new file is made in the same directory (so that the rename cannot cross file
// systems), with the permissions of the file it replaces.  Errors name the file replaced.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace strnum {

class File;

class ReplacingFile {
public:
    // Throws Error (Io) naming target when the new file cannot be made.
    explicit ReplacingFile(const std::filesystem::path& target);
    // Without commit(): the new file is removed and the target stays as it was.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    void write(std::string_view bytes);
    // Syncs the new file, puts it in the target's place and syncs the directory.
    void commit();

    const std::filesystem::path& target() const { return target_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::unique_ptr<File> file_;
    bool committed_ = false;
};

}  // namespace strnum
