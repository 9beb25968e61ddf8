#include "system/file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/file_faults.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace strnum {

using namespace strnum::literals;

// ---- the seam of injected failures -------------------------------------------------------

namespace faults {
namespace {

// The installed injector.  Calls read the pointer without a lock; installing one swaps it
// under the mutex and keeps the old one alive until the next installation, so that a call
// that has just loaded it never runs a destroyed function.
std::atomic<const Injector*> installed{nullptr};
std::mutex installing;
std::unique_ptr<Injector> current, retired;

}  // namespace

Injector setInjector(Injector injector) {
    const std::lock_guard<std::mutex> lock(installing);
    Injector previous = current ? *current : Injector();
    retired = std::move(current);
    current = injector ? std::make_unique<Injector>(std::move(injector)) : nullptr;
    installed.store(current.get(), std::memory_order_release);
    return previous;
}

Fault consult(const WriteCall& call) {
    const Injector* injector = installed.load(std::memory_order_acquire);
    return injector ? (*injector)(call) : Fault{};
}

}  // namespace faults

namespace {

// What the system answered, in the program's language.
std::string reasonOf(int err) {
    switch (err) {
        case ENOSPC:
            return std::string("нет места на диске"_cp);
#ifdef EDQUOT
        case EDQUOT:
            return std::string("превышена квота на диске"_cp);
#endif
        case EACCES:
        case EPERM:
            return std::string("нет доступа"_cp);
        case EROFS:
            return std::string("диск только для чтения"_cp);
        case EIO:
            return std::string("ошибка ввода-вывода"_cp);
        case ENOENT:
            return std::string("файл не найден"_cp);
#ifdef ESTALE
        case ESTALE:
            return std::string("файл удален на сервере"_cp);
#endif
        case EFBIG:
            return std::string("файл слишком велик"_cp);
        case EISDIR:
            return std::string("это каталог"_cp);
        case EBUSY:
            return std::string("файл занят"_cp);
        case ENXIO:
        case ENODEV:
            return std::string("устройство не подключено"_cp);
        case EAGAIN:
            return std::string("ресурс временно недоступен"_cp);
        default:
            break;
    }
    std::string text("ошибка системы "_cp);
    text += std::to_string(err);
    const char* s = std::strerror(err);  // ASCII in the C locale the core runs in
    if (s) text += std::string(": ") + s;
    return text;
}

enum class Doing { Opening, Creating, Other };

// Only a file that is not there to be opened is NotFound; every other failure is Io.
[[noreturn]] void ioFailure(std::string_view what, const std::filesystem::path& shown, int err,
                            Doing doing = Doing::Other) {
    std::string msg(what);
    msg += pathTo1251(shown);
    msg += " (";
    // A file that is being made cannot be missing: its folder is.
    msg += doing == Doing::Creating && err == ENOENT ? std::string("нет такого каталога"_cp) : reasonOf(err);
    msg += ")";
    throwError(err == ENOENT && doing == Doing::Opening ? ErrorKind::NotFound : ErrorKind::Io, std::move(msg));
}

// A record lock is held for the moment of one write: asked again soon at first, then
// less often, up to every 20 ms.
std::chrono::milliseconds lockRetryPause(int tries) { return std::chrono::milliseconds(tries < 4 ? 1 << tries : 20); }

// Opened to be read as a whole or in place: a regular file only.
bool reads(File::Mode mode) { return mode == File::Mode::ReadOnly || mode == File::Mode::ReadWrite; }

bool creates(File::Mode mode) {
    return mode == File::Mode::CreateNew || mode == File::Mode::CreatePrivate || mode == File::Mode::CreateOrTruncate;
}

}  // namespace

void File::fail(std::string_view what, int error) const { ioFailure(what, shown_, error); }

#ifndef _WIN32

File::File(const std::filesystem::path& path, Mode mode, const std::filesystem::path& shownAs)
    : path_(path), shown_(shownAs.empty() ? path : shownAs) {
    // A file opened to be read is opened without waiting, so that a pipe or a device put
    // where a table or a settings file should be is refused at once instead of blocking.
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= O_RDONLY | O_NONBLOCK;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR | O_NONBLOCK;
            break;
        case Mode::CreateNew:
        case Mode::CreatePrivate:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        case Mode::CreateOrTruncate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Mode::WriteExisting:
            flags |= O_WRONLY;
            break;
    }
    if (creates(mode)) {
        if (const faults::Fault f = faults::consult({faults::Call::Create, path_}); f.error)
            ioFailure("Не удалось создать файл "_cp, shown_, f.error, Doing::Creating);
    }
    fd_ = ::open(path.c_str(), flags, mode == Mode::CreatePrivate ? 0600 : 0666);
    if (fd_ < 0 && mode == Mode::ReadWrite && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    else
        writable_ = mode != Mode::ReadOnly;
    if (fd_ < 0) {
        if (errno == EEXIST) throwError(ErrorKind::Io, std::string("Файл уже существует: "_cp) + pathTo1251(shown_));
        ioFailure(creates(mode) ? "Не удалось создать файл "_cp : "Не удалось открыть файл "_cp, shown_, errno,
                  creates(mode) ? Doing::Creating : Doing::Opening);
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throwError(ErrorKind::Unsupported, std::string("Не файл, а каталог: "_cp) + pathTo1251(shown_));
        }
        regular_ = S_ISREG(st.st_mode);
        if (!regular_ && reads(mode)) {
            ::close(fd_);
            fd_ = -1;
            throwError(ErrorKind::Unsupported,
                       std::string("Не обычный файл, а устройство или канал: "_cp) + pathTo1251(shown_));
        }
        if (reads(mode)) {
            const int status = ::fcntl(fd_, F_GETFL);
            if (status >= 0) (void)::fcntl(fd_, F_SETFL, status & ~O_NONBLOCK);
        }
        device_ = static_cast<std::uint64_t>(st.st_dev);
        inode_ = static_cast<std::uint64_t>(st.st_ino);
    }
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("Не удалось узнать размер файла "_cp, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            fail("Ошибка чтения файла "_cp, errno);
        }
        if (r == 0) break;  // end of file
        done += static_cast<std::size_t>(r);
    }
    return done;
}

namespace {

// Writes all n bytes, at offset or (offset < 0) where the descriptor stands; an injected
// fault lets its first bytes through and then fails.
int writeAll(int fd, const char* p, std::size_t n, std::int64_t offset, const faults::Fault& fault) {
    const std::size_t through = fault.error ? std::min(fault.written, n) : n;
    std::size_t done = 0;
    while (done < through) {
        const ssize_t r =
            offset < 0 ? ::write(fd, p + done, through - done)
                       : ::pwrite(fd, p + done, through - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(r);
    }
    return fault.error;
}

}  // namespace

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (!writable_) throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + pathTo1251(shown_));
    const faults::Fault f = faults::consult({faults::Call::Write, path_, offset, n});
    if (const int err = writeAll(fd_, static_cast<const char*>(buffer), n, static_cast<std::int64_t>(offset), f))
        fail("Ошибка записи в файл "_cp, err);
}

void File::append(const void* buffer, std::size_t n) {
    if (!writable_) throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + pathTo1251(shown_));
    const faults::Fault f = faults::consult({faults::Call::Write, path_, regular_ ? appendAt_ : 0, n});
    const int err =
        writeAll(fd_, static_cast<const char*>(buffer), n, regular_ ? static_cast<std::int64_t>(appendAt_) : -1, f);
    if (err) fail("Ошибка записи в файл "_cp, err);
    appendAt_ += n;
}

void File::sync() {
    if (const faults::Fault f = faults::consult({faults::Call::Sync, path_}); f.error)
        fail("Ошибка записи на диск файла "_cp, f.error);
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail("Ошибка записи на диск файла "_cp, errno);
}

bool File::stillAtPath() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return false;
    return static_cast<std::uint64_t>(st.st_dev) == device_ && static_cast<std::uint64_t>(st.st_ino) == inode_;
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
    for (int tries = 0;; ++tries) {
        if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            fail("Не удалось заблокировать запись в файле "_cp, errno);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(lockRetryPause(tries));
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

bool File::lockWhole() {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    // A file system without such locks: nobody else can hold one either.
    return errno != EWOULDBLOCK;
}

void File::replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const faults::Fault f = faults::consult({faults::Call::Replace, to}); f.error)
        ioFailure("Не удалось заменить файл "_cp, to, f.error);
    if (::rename(from.c_str(), to.c_str()) != 0) ioFailure("Не удалось заменить файл "_cp, to, errno);
}

void File::syncDirectory(const std::filesystem::path& directory) noexcept {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

#else  // _WIN32: the same contract over Win32 handles; byte ranges as the Windows programs lock them.

namespace {

// What Windows answered, in the program's language.
std::string windowsReason(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
            return std::string("файл не найден"_cp);
        case ERROR_PATH_NOT_FOUND:
            return std::string("нет такого каталога"_cp);
        case ERROR_ACCESS_DENIED:
            return std::string("нет доступа"_cp);
        case ERROR_SHARING_VIOLATION:
            return std::string("файл открыт другой программой"_cp);
        case ERROR_LOCK_VIOLATION:
            return std::string("часть файла заблокирована другой программой"_cp);
        case ERROR_WRITE_PROTECT:
            return std::string("диск только для чтения"_cp);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::string("нет места на диске"_cp);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::string("файл уже существует"_cp);
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
            return std::string("устройство не подключено"_cp);
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NETWORK_UNREACHABLE:
            return std::string("сетевой диск недоступен"_cp);
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return std::string("недопустимое имя файла"_cp);
        case ERROR_FILE_TOO_LARGE:
            return std::string("файл слишком велик"_cp);
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_IO_DEVICE:
            return std::string("ошибка ввода-вывода"_cp);
        default:
            break;
    }
    return std::string("ошибка системы "_cp) + std::to_string(e);
}

// As ioFailure, for what Windows answered.
[[noreturn]] void systemFailure(std::string_view what, const std::filesystem::path& shown, DWORD e,
                                Doing doing = Doing::Other) {
    std::string msg(what);
    msg += pathTo1251(shown);
    msg += " (";
    msg += windowsReason(e);
    msg += ")";
    const bool missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
    throwError(missing && doing == Doing::Opening ? ErrorKind::NotFound : ErrorKind::Io, std::move(msg));
}

// The identity of the file a handle is open on: its volume and its number there.
bool identityOf(HANDLE h, std::uint64_t& volume, std::uint64_t& index) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return false;
    volume = info.dwVolumeSerialNumber;
    index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

// A security descriptor that lets the current user alone in, inheriting nothing from the
// folder: the journal holds personal data, and the program directory may be open to others.
class OwnerOnly {
public:
    OwnerOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        const bool known = GetTokenInformation(token, TokenUser, user_, sizeof user_, &size);
        CloseHandle(token);
        if (!known) return;
        const PSID sid = reinterpret_cast<TOKEN_USER*>(user_)->User.Sid;
        if (!InitializeAcl(reinterpret_cast<PACL>(acl_), sizeof acl_, ACL_REVISION) ||
            !AddAccessAllowedAce(reinterpret_cast<PACL>(acl_), ACL_REVISION, FILE_ALL_ACCESS, sid) ||
            !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor_, TRUE, reinterpret_cast<PACL>(acl_), FALSE) ||
            !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return;
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
        ready_ = true;
    }
    // nullptr when the descriptor could not be made.
    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

private:
    alignas(void*) char user_[256];
    alignas(DWORD) char acl_[512];
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

}  // namespace

File::File(const std::filesystem::path& path, Mode mode, const std::filesystem::path& shownAs)
    : path_(path), shown_(shownAs.empty() ? path : shownAs) {
    // Shared as the other programs of the office share their tables: they read and write them
    // while we have them open, and may rename or remove them (stillAtPath() notices).
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD access = mode == Mode::ReadOnly        ? GENERIC_READ
                   : mode == Mode::WriteExisting ? GENERIC_WRITE
                                                 : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == Mode::CreateNew || mode == Mode::CreatePrivate ? CREATE_NEW
                              : mode == Mode::CreateOrTruncate                       ? CREATE_ALWAYS
                                                                                     : OPEN_EXISTING;
    if (creates(mode)) {
        if (const faults::Fault f = faults::consult({faults::Call::Create, path_}); f.error)
            ioFailure("Не удалось создать файл "_cp, shown_, f.error, Doing::Creating);
    }
    OwnerOnly ownerOnly;
    SECURITY_ATTRIBUTES* security = nullptr;
    if (mode == Mode::CreatePrivate) {
        security = ownerOnly.attributes();
        if (!security)
            throwError(ErrorKind::Io, std::string("Не удалось создать файл "_cp) + pathTo1251(shown_) +
                                          std::string(" (не удалось закрыть его от других пользователей)"_cp));
    }
    HANDLE h = CreateFileW(path.c_str(), access, share, security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && mode == Mode::ReadWrite && GetLastError() == ERROR_ACCESS_DENIED) {
        access = GENERIC_READ;
        h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS)
            throwError(ErrorKind::Io, std::string("Файл уже существует: "_cp) + pathTo1251(shown_));
        systemFailure(creates(mode) ? "Не удалось создать файл "_cp : "Не удалось открыть файл "_cp, shown_, e,
                      creates(mode) ? Doing::Creating : Doing::Opening);
    }
    handle_ = h;
    writable_ = (access & GENERIC_WRITE) != 0;
    regular_ = GetFileType(h) == FILE_TYPE_DISK;
    if (!regular_ && reads(mode)) {
        CloseHandle(h);
        handle_ = nullptr;
        throwError(ErrorKind::Unsupported,
                   std::string("Не обычный файл, а устройство или канал: "_cp) + pathTo1251(shown_));
    }
    if (regular_) (void)identityOf(h, volume_, index_);
}

File::~File() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

std::uint64_t File::size() const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &s))
        systemFailure("Не удалось узнать размер файла "_cp, shown_, GetLastError());
    return static_cast<std::uint64_t>(s.QuadPart);
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        OVERLAPPED ov{};
        const std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
        if (!ReadFile(static_cast<HANDLE>(handle_), p + done, want, &got, &ov)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            // A range another program has locked cannot be read on Windows: said so.
            systemFailure("Ошибка чтения файла "_cp, shown_, GetLastError());
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

namespace {

// How a write ended: error 0 when every byte went; otherwise the system's error (system) or
// the injected fault's errno.
struct WriteOutcome {
    DWORD error = 0;
    bool system = false;
};

WriteOutcome writeAll(HANDLE h, const char* p, std::size_t n, std::int64_t offset, const faults::Fault& fault) {
    const std::size_t through = fault.error ? std::min(fault.written, n) : n;
    std::size_t done = 0;
    while (done < through) {
        OVERLAPPED ov{};
        OVERLAPPED* at = nullptr;
        if (offset >= 0) {
            const std::uint64_t o = static_cast<std::uint64_t>(offset) + done;
            ov.Offset = static_cast<DWORD>(o);
            ov.OffsetHigh = static_cast<DWORD>(o >> 32);
            at = &ov;
        }
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(through - done, 1u << 30));
        if (!WriteFile(h, p + done, want, &put, at)) return {GetLastError(), true};
        if (put == 0) return {ERROR_WRITE_FAULT, true};
        done += put;
    }
    return {static_cast<DWORD>(fault.error), false};
}

}  // namespace

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t n) {
    if (!writable_) throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + pathTo1251(shown_));
    const faults::Fault f = faults::consult({faults::Call::Write, path_, offset, n});
    const WriteOutcome o = writeAll(static_cast<HANDLE>(handle_), static_cast<const char*>(buffer), n,
                                    static_cast<std::int64_t>(offset), f);
    if (o.error && o.system) systemFailure("Ошибка записи в файл "_cp, shown_, o.error);
    if (o.error) fail("Ошибка записи в файл "_cp, static_cast<int>(o.error));
}

void File::append(const void* buffer, std::size_t n) {
    if (!writable_) throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + pathTo1251(shown_));
    const faults::Fault f = faults::consult({faults::Call::Write, path_, regular_ ? appendAt_ : 0, n});
    const WriteOutcome o = writeAll(static_cast<HANDLE>(handle_), static_cast<const char*>(buffer), n,
                                    regular_ ? static_cast<std::int64_t>(appendAt_) : -1, f);
    if (o.error && o.system) systemFailure("Ошибка записи в файл "_cp, shown_, o.error);
    if (o.error) fail("Ошибка записи в файл "_cp, static_cast<int>(o.error));
    appendAt_ += n;
}

void File::sync() {
    if (const faults::Fault f = faults::consult({faults::Call::Sync, path_}); f.error)
        fail("Ошибка записи на диск файла "_cp, f.error);
    if (regular_ && !FlushFileBuffers(static_cast<HANDLE>(handle_)))
        systemFailure("Ошибка записи на диск файла "_cp, shown_, GetLastError());
}

bool File::stillAtPath() const {
    // Another program may have removed or renamed the file (we share it for that) and put
    // another in its place: the name must still lead to the very file we have open.  A file
    // removed while we hold it cannot be opened by its name any more; one removed where the
    // system keeps its name until every handle is closed is marked for deletion.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(static_cast<HANDLE>(handle_), FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return false;
    const HANDLE h =
        CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::uint64_t volume = 0, index = 0;
    const bool known = identityOf(h, volume, index);
    CloseHandle(h);
    return known && volume == volume_ && index == index_;
}

bool File::lockRange(std::uint64_t offset, std::uint64_t length, int waitMilliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (int tries = 0;; ++tries) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        if (LockFileEx(static_cast<HANDLE>(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov))
            return true;
        const DWORD e = GetLastError();
        if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING)
            systemFailure("Не удалось заблокировать запись в файле "_cp, shown_, e);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(lockRetryPause(tries));
    }
}

void File::unlockRange(std::uint64_t offset, std::uint64_t length) noexcept {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    UnlockFileEx(static_cast<HANDLE>(handle_), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov);
}

bool File::lockWhole() {
    // Windows byte-range locks bar others from reading what they cover: one byte far past
    // any end of file stands for the whole file.
    return lockRange(std::uint64_t{1} << 62, 1, 0);
}

namespace {

// Renames the file `from` over `to` as a rename on Linux does, where the system offers it
// (Windows 10 1809 and later, on NTFS): a program that holds `to` open and lets others
// remove it keeps the old file, and `to` is the new one.  False when the system has no such
// rename (older Windows, other file systems, network shares, Wine): MoveFileEx is next.
bool renameOverOpenFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    const HANDLE h =
        CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::wstring target = to.native();
    // FILE_RENAME_INFO with the flags of FileRenameInfoEx in place of ReplaceIfExists.
    std::string bytes(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t), '\0');
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(bytes.data());
    const DWORD flags = 0x1 | 0x2;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS
    std::memcpy(bytes.data(), &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), info->FileNameLength);
    constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    const bool done = SetFileInformationByHandle(h, kFileRenameInfoEx, info, static_cast<DWORD>(bytes.size()));
    CloseHandle(h);
    return done;
}

// Why `to` could not be replaced when the system said no access: the file is open in
// another program (which is what "no access" mostly means here), or it is read-only.
std::string whyNotReplaced(const std::filesystem::path& to, DWORD e) {
    if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) return windowsReason(e);
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return std::string("файл только для чтения"_cp);
    const HANDLE h = CreateFileW(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const DWORD probe = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // The file could be removed, but not replaced: another program has it open.
    if (probe == 0 || probe == ERROR_SHARING_VIOLATION) return std::string("файл открыт другой программой"_cp);
    return windowsReason(e);
}

}  // namespace

void File::replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const faults::Fault f = faults::consult({faults::Call::Replace, to}); f.error)
        ioFailure("Не удалось заменить файл "_cp, to, f.error);
    if (renameOverOpenFile(from, to)) return;
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
    const DWORD e = GetLastError();
    throwError(ErrorKind::Io,
               std::string("Не удалось заменить файл "_cp) + pathTo1251(to) + " (" + whyNotReplaced(to, e) + ")");
}

void File::syncDirectory(const std::filesystem::path&) noexcept {}

#endif

}  // namespace strnum
