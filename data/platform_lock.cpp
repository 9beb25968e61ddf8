#include "data/platform_lock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace strnum {

using namespace strnum::literals;

namespace {

[[noreturn]] void ioFailure(std::string_view what, const std::filesystem::path& path, int err) {
    std::string msg(what);
    msg += pathTo1251(path);
    msg += " (";
    msg += std::strerror(err);  // ASCII in the C locale the core runs in
    msg += ")";
    throwError(err == ENOENT ? ErrorKind::NotFound : ErrorKind::Io, std::move(msg));
}

}  // namespace

#ifndef _WIN32

File::File(const std::filesystem::path& path, Mode mode) : path_(path) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0 && mode == Mode::ReadWrite && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    else
        writable_ = mode != Mode::ReadOnly;
    if (fd_ < 0) {
        if (errno == EEXIST) throwError(ErrorKind::Io, std::string("Файл уже существует: "_cp) + pathTo1251(path));
        ioFailure(mode == Mode::CreateNew ? "Не удалось создать файл "_cp : "Не удалось открыть файл "_cp, path, errno);
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throwError(ErrorKind::NotFound, std::string("Не файл, а каталог: "_cp) + pathTo1251(path));
    }
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ioFailure("Не удалось узнать размер файла "_cp, path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            ioFailure("Ошибка чтения файла "_cp, path_, errno);
        }
        if (r == 0) break;  // end of file
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (!writable_) throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + pathTo1251(path_));
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < n) {
        const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            ioFailure("Ошибка записи в файл "_cp, path_, errno);
        }
        done += static_cast<std::size_t>(r);
    }
}

void File::sync() {
    if (::fdatasync(fd_) != 0 && errno != EINVAL) ioFailure("Ошибка записи на диск файла "_cp, path_, errno);
}

bool File::lockRange(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) {
    // Open-file-description locks: per open file, not per process (see the header).
    struct flock fl {};
    fl.l_type = writable_ ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            ioFailure("Не удалось заблокировать запись в файле "_cp, path_, errno);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void File::unlockRange(std::uint64_t offset, std::uint64_t length) noexcept {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    (void)::fcntl(fd_, F_OFD_SETLK, &fl);
}

#else  // _WIN32: the same contract over Win32 handles; byte ranges as the Windows programs lock them.

File::File(const std::filesystem::path& path, Mode mode) : path_(path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD access = GENERIC_READ | (mode == Mode::ReadOnly ? 0 : GENERIC_WRITE);
    const DWORD disposition = mode == Mode::CreateNew ? CREATE_NEW : OPEN_EXISTING;
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && mode == Mode::ReadWrite && GetLastError() == ERROR_ACCESS_DENIED) {
        access = GENERIC_READ;
        h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) ioFailure("Не удалось открыть файл "_cp, path, ENOENT);
    handle_ = h;
    writable_ = (access & GENERIC_WRITE) != 0;
}

File::~File() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

std::uint64_t File::size() const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &s)) ioFailure("Не удалось узнать размер файла "_cp, path_, EIO);
    return static_cast<std::uint64_t>(s.QuadPart);
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(n), &got, &ov) &&
        GetLastError() != ERROR_HANDLE_EOF)
        ioFailure("Ошибка чтения файла "_cp, path_, EIO);
    return got;
}

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t n) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(n), &put, &ov) || put != n)
        ioFailure("Ошибка записи в файл "_cp, path_, EIO);
}

void File::sync() { FlushFileBuffers(static_cast<HANDLE>(handle_)); }

bool File::lockRange(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        if (LockFileEx(static_cast<HANDLE>(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov))
            return true;
        if (GetLastError() != ERROR_LOCK_VIOLATION)
            ioFailure("Не удалось заблокировать запись в файле "_cp, path_, EIO);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void File::unlockRange(std::uint64_t offset, std::uint64_t length) noexcept {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    UnlockFileEx(static_cast<HANDLE>(handle_), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov);
}

#endif

}  // namespace strnum
