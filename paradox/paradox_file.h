// A file of the Paradox engine: positioned reads that say when the file is shorter than its
// header claims, writes through the core's file layer (system/file.h), and a lock that
// keeps other writers of ours away.  Closed by the destructor.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "system/file.h"

namespace strnum {

class PxFile {
public:
    enum class Mode { Read, ReadWrite, CreateNew, CreateOrTruncate };
    // name: the table for messages (1251).  Throws NotFound / Io.
    PxFile(const std::filesystem::path& path, Mode mode, std::string_view name);

    std::uint64_t size() const { return file_.size(); }
    // Reads exactly n bytes at off; throws Corrupt when the file ends first.
    void readAt(std::uint64_t off, char* buf, std::size_t n) const;
    // Reads up to n bytes; returns how many (less only at the end of the file).
    std::size_t readSome(std::uint64_t off, char* buf, std::size_t n) const { return file_.readAt(off, buf, n); }
    void writeAt(std::uint64_t off, const char* buf, std::size_t n) { file_.writeAt(off, buf, n); }
    // Exclusive lock among our writers, without waiting; throws Locked when another holds it.
    void lockExclusive();
    // False once the file was removed or replaced since it was opened.
    bool stillAtPath() const { return file_.stillAtPath(); }
    const std::string& name() const { return name_; }
    bool writable() const { return file_.writable(); }

private:
    File file_;
    std::string name_;
};

}  // namespace strnum
