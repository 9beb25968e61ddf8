#include "report/output_file.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

#include "system/file.h"
#include "system/replacing_file.h"

namespace strnum {

namespace fs = std::filesystem;

bool OutputFile::isDevice(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!ec && fs::exists(st) && !fs::is_regular_file(st)) return true;
    if (path.parent_path() == "/dev" || path.parent_path().parent_path() == "/dev") return true;
    // DOS device names, with or without an extension, anywhere.
    std::string stem = path.stem().string();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    if (stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.rfind("LPT", 0) == 0 || stem.rfind("COM", 0) == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

OutputFile::OutputFile(const fs::path& path) {
    if (isDevice(path))
        device_ = std::make_unique<File>(path, File::Mode::WriteExisting);
    else
        file_ = std::make_unique<ReplacingFile>(path);
}

OutputFile::~OutputFile() = default;

void OutputFile::write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (device_)
        device_->append(bytes.data(), bytes.size());
    else if (file_)
        file_->write(bytes);
}

void OutputFile::close() {
    if (file_) {
        file_->commit();
        file_.reset();
    }
    device_.reset();
}

}  // namespace strnum
