// A file descriptor for the Paradox engine: positioned reads and writes that never leave a
// short transfer unnoticed, and an advisory lock.  Closed by the destructor.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace strnum {

class PxFile {
public:
    enum class Mode { Read, ReadWrite, CreateNew, CreateOrTruncate };
    // name: the file for messages (1251).  Throws NotFound / Io.
    PxFile(const std::filesystem::path& path, Mode mode, std::string_view name);
    ~PxFile();
    PxFile(const PxFile&) = delete;
    PxFile& operator=(const PxFile&) = delete;

    std::uint64_t size() const;
    // Reads exactly n bytes at off; throws Corrupt when the file ends first.
    void readAt(std::uint64_t off, char* buf, std::size_t n) const;
    // Reads up to n bytes; returns how many (less only at the end of the file).
    std::size_t readSome(std::uint64_t off, char* buf, std::size_t n) const;
    void writeAt(std::uint64_t off, const char* buf, std::size_t n);
    // Exclusive advisory lock without waiting; throws Locked when another process holds it.
    void lockExclusive();
    const std::string& name() const { return name_; }

private:
    int fd_ = -1;
    std::string name_;
};

}  // namespace strnum
