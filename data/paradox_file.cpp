#include "data/paradox_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

namespace {
[[noreturn]] void ioError(std::string_view what, std::string_view name) {
    std::string m(what);
    m += name;
    throwError(ErrorKind::Io, std::move(m));
}
}  // namespace

PxFile::PxFile(const std::filesystem::path& path, Mode mode, std::string_view name) : name_(name) {
    const int flags = mode == Mode::Read        ? O_RDONLY
                      : mode == Mode::ReadWrite ? O_RDWR
                      : mode == Mode::CreateNew ? O_RDWR | O_CREAT | O_EXCL
                                                : O_RDWR | O_CREAT | O_TRUNC;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        if (errno == ENOENT) {
            std::string m("Не найден файл "_cp);
            m += name;
            throwError(ErrorKind::NotFound, std::move(m));
        }
        if (errno == EEXIST) {
            std::string m("Файл уже существует: "_cp);
            m += name;
            throwError(ErrorKind::Io, std::move(m));
        }
        ioError("Ошибка открытия файла "_cp, name);
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        ioError("Не является файлом: "_cp, name);
    }
}

PxFile::~PxFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t PxFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ioError("Ошибка чтения файла "_cp, name_);
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t PxFile::readSome(std::uint64_t off, char* buf, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, buf + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            ioError("Ошибка чтения файла "_cp, name_);
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void PxFile::readAt(std::uint64_t off, char* buf, std::size_t n) const {
    if (readSome(off, buf, n) != n) {
        std::string m("Повреждена таблица Paradox "_cp);
        m += name_;
        m += ": "_cp;
        m += "файл короче, чем указано в заголовке"_cp;
        throwError(ErrorKind::Corrupt, std::move(m));
    }
}

void PxFile::writeAt(std::uint64_t off, const char* buf, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pwrite(fd_, buf + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            ioError("Ошибка записи в файл "_cp, name_);
        }
        done += static_cast<std::size_t>(r);
    }
}

void PxFile::lockExclusive() {
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        std::string m("Таблица занята другой программой: "_cp);
        m += name_;
        throwError(ErrorKind::Locked, std::move(m));
    }
}

}  // namespace strnum
