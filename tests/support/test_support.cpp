#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"

namespace strnum::test {

namespace fs = std::filesystem;

fs::path corpusDir() { return fs::path(STRNUM_CORPUS_DIR); }

fs::path corpusPath(const fs::path& relative) {
    const fs::path file = corpusDir() / relative;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw MissingTestData("test data missing: " + file.string() +
                              " (the real tables live in tests/corpus of the repository)");
    return file;
}

std::string readCorpus(const fs::path& relative) { return readBytes(corpusPath(relative)); }

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        auto candidate = fs::temp_directory_path() / ("strnum-test-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path copyCorpus(const fs::path& relative, const TempDir& dir) {
    const fs::path target = dir.path() / relative.filename();
    fs::copy_file(corpusPath(relative), target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return target;
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string w(std::string_view utf8) {
    auto converted = utf8To1251(utf8);
    if (!converted) {
        ADD_FAILURE() << "test text outside code page 1251: " << utf8;
        return {};
    }
    return *converted;
}

std::optional<std::size_t> heapInUse() {
#if defined(__SANITIZE_ADDRESS__) || !defined(__GLIBC__)
    return std::nullopt;
#else
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

std::string u(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }

}  // namespace strnum::test
