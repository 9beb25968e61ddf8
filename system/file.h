// Platform specifics of file access: the one place that knows about file descriptors,
// positioned reads and writes, syncing, renaming and byte-range locks.  Every write the core
// makes to a file goes through here, and so past the seam of injected failures
// (system/file_faults.h).
//
// Shared tables are read and written with positioned I/O only (never mapped into memory:
// another program may shorten the file under us, and a mapping would then fault).  Record
// locks are exclusive byte-range locks placed where the other programs' locking scheme puts
// them (lockOffset in dbf_table.cpp picks the offset).  On Linux they are
// open-file-description locks (F_OFD_SETLK): they belong to the open file, not to the
// process, so closing some other descriptor of the same file does not drop them, and two
// File objects of one process exclude each other as two programs do.  On Windows the same
// ranges are taken with LockFileEx; there a locked range cannot be read by any other handle,
// so the schemes' offsets lie past the end of the data, and a range another program locked
// inside the data is a read error that says so.
//
// Errors are Error (Io, NotFound) with a Russian message naming the file and saying what the
// system answered ("нет места на диске", "нет доступа" ...).
//
// Thread safety: a File is used from one thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace strnum {

class File {
public:
    enum class Mode {
        ReadOnly,
        ReadWrite,         // falls back to read-only when the file cannot be opened for writing
        CreateNew,         // read-write; fails when the file exists
        CreatePrivate,     // as CreateNew, readable and writable by its owner alone (personal data)
        CreateOrTruncate,  // read-write; an existing file is emptied
        WriteExisting,     // write-only, never created: a device such as a printer port
    };

    // Throws Error: NotFound when the file is not there, Io when the system refuses.
    // shownAs: the name messages give (the file itself when empty).
    File(const std::filesystem::path& path, Mode mode, const std::filesystem::path& shownAs = {});
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool writable() const { return writable_; }
    // A regular file (not a device, a pipe or a socket).
    bool regular() const { return regular_; }

    // Current size of the file (asked from the system each time).
    std::uint64_t size() const;
    // Reads up to n bytes at offset; returns how many were there (fewer at the end of the file).
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Reads n bytes at offset of a file known to hold `size` bytes into out; false when they
    // are not all there (nothing is allocated beyond what the file holds).
    bool readExactly(std::uint64_t size, std::uint64_t offset, std::size_t n, std::string& out) const {
        if (offset > size || n > size - offset) return false;
        out.resize(n);
        return readAt(offset, out.data(), n) == n;
    }
    // Writes all n bytes at offset or throws Io (some of them may have been written then).
    void writeAt(std::uint64_t offset, const void* buffer, std::size_t n);
    // Writes all n bytes after the ones written before: for devices and files written
    // from start to end.  Throws Io.
    void append(const void* buffer, std::size_t n);
    // Makes the written bytes durable.  Throws Io.
    void sync();
    // Whether the path this file was opened by still names this same file: false once it
    // was removed, or replaced by another file (another program re-creating a table), when
    // bytes written would reach no one.
    bool stillAtPath() const;

    // An exclusive lock on [offset, offset + length).  Retries until waitMilliseconds have
    // passed; returns false when another holder keeps it.  Throws Io when the system cannot
    // lock at all (no lock support on the file system, offset out of range).
    bool lockRange(std::uint64_t offset, std::uint64_t length, int waitMilliseconds);
    void unlockRange(std::uint64_t offset, std::uint64_t length) noexcept;
    // The whole file for this object alone, among programs that ask the same (no waiting):
    // false when another holds it.
    bool lockWhole();

    // Renames `from` over `to` in one step: `to` is then either the old file or the new one,
    // never a part of either.  Throws Io naming `to`.  On Windows a file another program
    // holds open can be replaced only where the system renames over open files (Windows 10
    // on NTFS, when that program lets others remove it); otherwise the error says the file is
    // open in another program, and `to` stays as it was.
    static void replace(const std::filesystem::path& from, const std::filesystem::path& to);
    // Makes a rename or creation in `directory` durable (nothing to do on Windows).
    static void syncDirectory(const std::filesystem::path& directory) noexcept;

private:
    [[noreturn]] void fail(std::string_view what, int error) const;
    std::filesystem::path path_;
    std::filesystem::path shown_;
#ifdef _WIN32
    void* handle_ = nullptr;
    std::uint64_t volume_ = 0, index_ = 0;
#else
    int fd_ = -1;
    std::uint64_t device_ = 0, inode_ = 0;
#endif
    std::uint64_t appendAt_ = 0;
    bool writable_ = false;
    bool regular_ = true;
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
