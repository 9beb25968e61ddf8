// Platform specifics of shared-file access: the one place that knows about file
// descriptors, positioned reads and writes, and byte-range locks.
//
// Shared tables are read and written with positioned I/O only (never mapped into memory:
// another program may shorten the file under us, and a mapping would then fault).  Record
// locks are exclusive byte-range locks placed where the other programs' locking scheme puts
// them (data/dbf_lock_scheme in dbf_table.cpp picks the offset).  On Linux they are
// open-file-description locks (F_OFD_SETLK): they belong to the open file, not to the
// process, so closing some other descriptor of the same file does not drop them, and two
// File objects of one process exclude each other as two programs do.  On Windows the same
// ranges are taken with LockFileEx.
//
// Thread safety: a File is used from one thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace strnum {

class File {
public:
    enum class Mode { ReadOnly, ReadWrite, CreateNew };

    // Throws Error: NotFound when the file is not there, Io when the system refuses.
    // ReadWrite falls back to read-only when the file cannot be opened for writing
    // (writable() tells); CreateNew fails when the file exists.
    File(const std::filesystem::path& path, Mode mode);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool writable() const { return writable_; }

    // Current size of the file (asked from the system each time).
    std::uint64_t size() const;
    // Reads up to n bytes at offset; returns how many were there (fewer at the end of the file).
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Writes all n bytes at offset or throws Io.
    void writeAt(std::uint64_t offset, const void* buffer, std::size_t n);
    // Makes the written bytes durable.
    void sync();

    // An exclusive lock on [offset, offset + length).  Retries until waitMilliseconds have
    // passed; returns false when another holder keeps it.  Throws Io when the system cannot
    // lock at all (no lock support on the file system, offset out of range).
    bool lockRange(std::uint64_t offset, std::uint64_t length, int waitMilliseconds);
    void unlockRange(std::uint64_t offset, std::uint64_t length) noexcept;

private:
    std::filesystem::path path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool writable_ = false;
};

// Holds one locked range and releases it when it goes.
class RangeLock {
public:
    RangeLock() = default;
    RangeLock(File& file, std::uint64_t offset, std::uint64_t length)
        : file_(&file), offset_(offset), length_(length) {}
    ~RangeLock() { release(); }
    RangeLock(RangeLock&& o) noexcept : file_(o.file_), offset_(o.offset_), length_(o.length_) { o.file_ = nullptr; }
    RangeLock& operator=(RangeLock&& o) noexcept {
        if (this != &o) {
            release();
            file_ = o.file_;
            offset_ = o.offset_;
            length_ = o.length_;
            o.file_ = nullptr;
        }
        return *this;
    }
    bool held() const { return file_ != nullptr; }
    void release() noexcept {
        if (file_) file_->unlockRange(offset_, length_);
        file_ = nullptr;
    }

private:
    File* file_ = nullptr;
    std::uint64_t offset_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace strnum
