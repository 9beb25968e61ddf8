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

// Another program, started from the tests: its standard input and output are pipes, its
// errors go where ours go.  argv[0] is the program file; arguments are UTF-8 (on Windows
// they reach the program as its wide-character command line).  dir: its current directory
// (empty: ours).  Output::Discarded sends its output and errors nowhere.
class ChildProcess {
public:
    enum class Output { Piped, Discarded };
    explicit ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir = {},
                          Output output = Output::Piped);
    ~ChildProcess();  // ends its input and waits for it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // One line of its output, without the line end (a CR before it is dropped); empty at
    // its end.
    std::string readLine();
    // The rest of its output, up to its end.
    std::string readAll();
    // Ends its standard input.
    void closeInput();
    // Waits for it to end; its exit status, or -1 when it did not exit by itself.
    int wait();
    // Waits at most `milliseconds`; false when it is still running then.
    bool waitFor(int milliseconds);
    // Ends it at once, as a power cut or the task manager would (SIGKILL, TerminateProcess).
    void kill();

private:
    std::size_t readSome(char* buffer, std::size_t n);
#ifdef _WIN32
    void* process_ = nullptr;
    void* in_ = nullptr;
    void* out_ = nullptr;
#else
    int pid_ = -1, in_ = -1, out_ = -1;
#endif
    std::string buffered_;
    int status_ = -2;
};

// The programs the tests start: strnum-cli, and the helper that edits shared files as another
// program would (tests/support/edit_worker.cpp).
std::string cliProgram();
std::string editWorkerProgram();

// A program run to its end, as a script runs it.
struct ProgramRun {
    int status = -1;  // its exit status; -1 when it could not start, or was ended after `seconds`
    std::string out;  // its standard output
    std::string err;  // its standard error
};

// Runs argv as ChildProcess does, its standard input empty; waits at most `seconds` for it.
ProgramRun runProgram(const std::vector<std::string>& argv, const std::filesystem::path& dir = {}, int seconds = 120);
// strnum-cli with these arguments.
ProgramRun runCli(const std::vector<std::string>& args, const std::filesystem::path& dir = {}, int seconds = 120);

// Who may open the file: "owner" when its owner alone may (Linux: mode 0600; Windows: an
// access list that lets no account in but the current user and the system itself);
// otherwise who else may.
std::string whoMayOpen(const std::filesystem::path& file);

// Whether this Windows program runs under Wine, which differs from Windows where noted.
bool underWine();

// A path as UTF-8 (for messages and the arguments of another program).
std::string utf8(const std::filesystem::path& path);
// A path from UTF-8 test text.
std::filesystem::path pathOf(std::string_view utf8);

// UTF-8 -> 1251 for test data written readably; fails the test on a foreign character.
std::string w(std::string_view utf8);
// 1251 -> UTF-8 for readable assertion messages.
std::string u(std::string_view cp1251);

}  // namespace strnum::test
