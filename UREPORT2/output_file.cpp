#include "UREPORT2/output_file.h"

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"

namespace strnum {

using namespace strnum::literals;

OutputFile::OutputFile(const std::filesystem::path& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) fail();
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
}

void OutputFile::fail() {
    const int err = errno;
    std::string message = std::string("Ошибка ввода-вывода: "_cp) + pathTo1251(path_);
    if (err != 0) {
        // strerror speaks the C locale's language; the code is what a technician needs.
        message += " (";
        message += std::strerror(err);
        message += ")";
    }
    throw Error(ErrorKind::Io, message);
}

void OutputFile::write(std::string_view bytes) {
    if (bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) fail();
}

void OutputFile::close() {
    if (!file_) return;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) fail();
}

}  // namespace strnum
