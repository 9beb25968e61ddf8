// Helpers shared by the core tests: the real-file corpus, temporary folders, files as
// bytes, and 1251 text from readable UTF-8 literals.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace strnum::test {

// The folder of real table files made by other programs (tests/corpus, with their
// provenance in MANIFEST.md and SOURCES.json).  Tests read them in place or copy them with
// copyCorpus() before writing; they never change them.
std::filesystem::path corpusDir();

// The corpus file `relative` (e.g. "dbf/kladr/SOCRBASE.DBF").  Throws MissingTestData,
// naming the file, when it is not there: the test then fails with that message instead of
// reading an empty file.
std::filesystem::path corpusPath(const std::filesystem::path& relative);
// The bytes of a corpus file (throws MissingTestData as corpusPath does).
std::string readCorpus(const std::filesystem::path& relative);

struct MissingTestData : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A fresh, empty folder removed with its content when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Copies corpus file `relative` (and nothing else) into dir; returns the copy's path.
std::filesystem::path copyCorpus(const std::filesystem::path& relative, const TempDir& dir);

std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, std::string_view bytes);

// Bytes the process holds from malloc and operator new right now (glibc's count); nullopt
// where that cannot be known (another allocator, as under AddressSanitizer).
std::optional<std::size_t> heapInUse();

// Another program, started from the tests: its standard input and output are pipes.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();  // ends its input and waits for it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // One line of its output, without the line end; empty at its end.
    std::string readLine();
    // Ends its standard input.
    void closeInput();
    // Waits for it to end; its exit status, or -1 when it did not exit by itself.
    int wait();

private:
    int pid_ = -1, in_ = -1, out_ = -1;
    std::string buffered_;
    int status_ = -2;
};

// UTF-8 -> 1251 for test data written readably; fails the test on a foreign character.
std::string w(std::string_view utf8);
// 1251 -> UTF-8 for readable assertion messages.
std::string u(std::string_view cp1251);

}  // namespace strnum::test
