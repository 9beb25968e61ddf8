#include "support/test_support.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

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

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    pid_ = pid;
}

ChildProcess::~ChildProcess() {
    closeInput();
    (void)wait();
    if (out_ >= 0) ::close(out_);
}

std::string ChildProcess::readLine() {
    for (;;) {
        const std::size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        char buf[256];
        const ssize_t n = out_ < 0 ? 0 : ::read(out_, buf, sizeof buf);
        if (n <= 0) return std::exchange(buffered_, {});
        buffered_.append(buf, static_cast<std::size_t>(n));
    }
}

void ChildProcess::closeInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
}

int ChildProcess::wait() {
    if (status_ != -2 || pid_ < 0) return status_;
    int raw = 0;
    if (::waitpid(pid_, &raw, 0) != pid_) return status_ = -1;
    return status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string u(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }

}  // namespace strnum::test
