#include "system/replacing_file.h"

#include <atomic>
#include <string>
#include <system_error>

#include "system/file.h"

#ifdef _WIN32
#include <process.h>
#define STRNUM_GETPID _getpid
#else
#include <unistd.h>
#define STRNUM_GETPID ::getpid
#endif

namespace strnum {

namespace fs = std::filesystem;

namespace {

// A link is followed: the file it names is the one replaced, and the link stays.
fs::path realTarget(const fs::path& target) {
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) return target;
    const fs::path real = fs::canonical(target, ec);
    return ec ? target : real;
}

}  // namespace

ReplacingFile::ReplacingFile(const fs::path& target) : target_(realTarget(target)) {
    static std::atomic<unsigned> counter{0};
    temporary_ = target_;
    temporary_ += "." + std::to_string(STRNUM_GETPID()) + "-" + std::to_string(counter++) + ".~new";
    file_ = std::make_unique<File>(temporary_, File::Mode::CreateNew, target_);
    std::error_code ec;
    const fs::file_status old = fs::status(target_, ec);
    if (!ec && fs::is_regular_file(old)) fs::permissions(temporary_, old.permissions(), ec);
}

ReplacingFile::~ReplacingFile() {
    if (committed_) return;
    file_.reset();
    std::error_code ec;
    fs::remove(temporary_, ec);
}

void ReplacingFile::write(std::string_view bytes) {
    if (!bytes.empty()) file_->append(bytes.data(), bytes.size());
}

void ReplacingFile::commit() {
    file_->sync();
    file_.reset();  // closed before the rename: Windows renames no open file
    File::replace(temporary_, target_);
    committed_ = true;
    File::syncDirectory(target_.parent_path());
}

}  // namespace strnum
