#include "paradox/paradox_file.h"

#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

namespace {

File::Mode fileMode(PxFile::Mode mode) {
    switch (mode) {
        case PxFile::Mode::Read:
            return File::Mode::ReadOnly;
        case PxFile::Mode::ReadWrite:
            return File::Mode::ReadWrite;
        case PxFile::Mode::CreateNew:
            return File::Mode::CreateNew;
        case PxFile::Mode::CreateOrTruncate:
            return File::Mode::CreateOrTruncate;
    }
    return File::Mode::ReadOnly;
}

}  // namespace

PxFile::PxFile(const std::filesystem::path& path, Mode mode, std::string_view name)
    : file_(path, fileMode(mode)), name_(name) {
    if (!file_.regular()) throwError(ErrorKind::Io, std::string("Не является файлом: "_cp) + name_);
    if (mode == Mode::ReadWrite && !file_.writable())
        throwError(ErrorKind::Io, std::string("Файл открыт только для чтения: "_cp) + name_);
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

void PxFile::lockExclusive() {
    if (!file_.lockWhole()) {
        std::string m("Таблица занята другой программой: "_cp);
        m += name_;
        throwError(ErrorKind::Locked, std::move(m));
    }
}

}  // namespace strnum
