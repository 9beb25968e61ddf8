#include "support/test_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
// windows.h goes before the headers that need it.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
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

namespace {

int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return ::getpid();
#endif
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        auto candidate = fs::temp_directory_path() / ("strnum-test-" + std::to_string(processId()) + "-" +
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

std::string utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

fs::path pathOf(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string ChildProcess::readLine() {
    for (;;) {
        const std::size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        char buf[256];
        const std::size_t n = readSome(buf, sizeof buf);
        if (n == 0) return std::exchange(buffered_, {});
        buffered_.append(buf, n);
    }
}

std::string ChildProcess::readAll() {
    std::string all = std::exchange(buffered_, {});
    char buf[4096];
    for (std::size_t n; (n = readSome(buf, sizeof buf)) > 0;) all.append(buf, n);
    return all;
}

std::string cliProgram() { return STRNUM_CLI_PATH; }
std::string editWorkerProgram() { return STRNUM_EDIT_WORKER_PATH; }

ProgramRun runCli(const std::vector<std::string>& args, const fs::path& dir, int seconds) {
    std::vector<std::string> argv{cliProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, dir, seconds);
}

#ifdef _WIN32

namespace {

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// One argument as the C runtime of the program started splits its command line: quoted
// when it holds a blank or a quote, backslashes doubled before a quote.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// Starts argv with the given standard handles (inheritable); returns the process handle.
HANDLE start(const std::vector<std::string>& argv, const fs::path& dir, HANDLE in, HANDLE out, HANDLE err) {
    std::wstring line;
    for (const std::string& a : argv) appendQuoted(line, wide(a));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(wide(argv[0]).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi))
        throw std::runtime_error("cannot start " + argv[0]);
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// A pipe whose one end (the child's) is inherited.
void makePipe(HANDLE& read, HANDLE& write, bool childReads) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &sa, 0)) throw std::runtime_error("pipe");
    SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
}

std::string readToEnd(HANDLE h) {
    std::string all;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) all.append(buf, n);
    return all;
}

int exitCodeOf(HANDLE process) {
    DWORD code = 0;
    return GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
}

HANDLE nullDevice(DWORD access) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const fs::path& dir, Output output) {
    HANDLE childIn = nullptr, childOut = nullptr, in = nullptr, out = nullptr;
    makePipe(childIn, in, true);
    if (output == Output::Piped) {
        makePipe(out, childOut, false);
    } else {
        childOut = nullDevice(GENERIC_WRITE);
    }
    in_ = in;
    out_ = out;
    try {
        process_ =
            start(argv, dir, childIn, childOut, output == Output::Piped ? GetStdHandle(STD_ERROR_HANDLE) : childOut);
    } catch (...) {
        CloseHandle(childIn);
        CloseHandle(childOut);
        throw;
    }
    CloseHandle(childIn);
    CloseHandle(childOut);
}

ChildProcess::~ChildProcess() {
    closeInput();
    (void)wait();
    if (out_) CloseHandle(static_cast<HANDLE>(out_));
    if (process_) CloseHandle(static_cast<HANDLE>(process_));
}

std::size_t ChildProcess::readSome(char* buffer, std::size_t n) {
    DWORD got = 0;
    if (!out_ || !ReadFile(static_cast<HANDLE>(out_), buffer, static_cast<DWORD>(n), &got, nullptr)) return 0;
    return got;
}

void ChildProcess::closeInput() {
    if (in_) CloseHandle(static_cast<HANDLE>(in_));
    in_ = nullptr;
}

int ChildProcess::wait() {
    if (status_ != -2 || !process_) return status_;
    WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
    return status_ = exitCodeOf(static_cast<HANDLE>(process_));
}

bool ChildProcess::waitFor(int milliseconds) {
    if (status_ != -2 || !process_) return true;
    if (WaitForSingleObject(static_cast<HANDLE>(process_), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0)
        return false;
    status_ = exitCodeOf(static_cast<HANDLE>(process_));
    return true;
}

void ChildProcess::kill() {
    if (status_ != -2 || !process_) return;
    TerminateProcess(static_cast<HANDLE>(process_), 1);
    WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
    status_ = -1;
}

ProgramRun runProgram(const std::vector<std::string>& argv, const fs::path& dir, int seconds) {
    ProgramRun run;
    HANDLE nothing = nullDevice(GENERIC_READ);
    HANDLE out = nullptr, childOut = nullptr, err = nullptr, childErr = nullptr;
    makePipe(out, childOut, false);
    makePipe(err, childErr, false);
    HANDLE process = nullptr;
    try {
        process = start(argv, dir, nothing, childOut, childErr);
    } catch (const std::exception&) {
    }
    CloseHandle(nothing);
    CloseHandle(childOut);
    CloseHandle(childErr);
    std::thread errors([&] { run.err = readToEnd(err); });
    std::thread output([&] { run.out = readToEnd(out); });
    if (process) {
        if (WaitForSingleObject(process, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) {
            run.status = exitCodeOf(process);
        } else {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
        }
        CloseHandle(process);
    }
    output.join();
    errors.join();
    CloseHandle(out);
    CloseHandle(err);
    return run;
}

std::string whoMayOpen(const fs::path& file) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &sd) != ERROR_SUCCESS)
        return "no access list to be read";
    HANDLE token = nullptr;
    alignas(void*) char user[256];
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    const bool known = token && GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    if (token) CloseHandle(token);
    const PSID me = known ? reinterpret_cast<TOKEN_USER*>(user)->User.Sid : nullptr;
    std::string others = dacl ? "" : " everyone (no access list);";
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if ((me && EqualSid(sid, me)) || IsWellKnownSid(sid, WinLocalSystemSid)) continue;
        LPWSTR text = nullptr;
        others += " ";
        if (ConvertSidToStringSidW(sid, &text)) {
            others += utf8(fs::path(text));
            LocalFree(text);
        }
        others += ";";
    }
    LocalFree(sd);
    return others.empty() ? "owner" : others;
}

bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#else

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const fs::path& dir, Output output) {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    if (output == Output::Piped) {
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
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
    if (rc != 0) {
        closeInput();
        ::close(out_);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    pid_ = pid;
}

ChildProcess::~ChildProcess() {
    closeInput();
    (void)wait();
    if (out_ >= 0) ::close(out_);
}

std::size_t ChildProcess::readSome(char* buffer, std::size_t n) {
    for (;;) {
        const ssize_t got = out_ < 0 ? 0 : ::read(out_, buffer, n);
        if (got < 0 && errno == EINTR) continue;
        return got > 0 ? static_cast<std::size_t>(got) : 0;
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

bool ChildProcess::waitFor(int milliseconds) {
    if (status_ != -2 || pid_ < 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int raw = 0;
        const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            return true;
        }
        if (r < 0) {
            status_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ChildProcess::kill() {
    if (status_ != -2 || pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    (void)wait();
    status_ = -1;
}

ProgramRun runProgram(const std::vector<std::string>& argv, const fs::path& dir, int seconds) {
    ProgramRun run;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    // Both pipes read as they fill, so that neither blocks the program; past the deadline
    // the program is ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool killed = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&run.out, &run.err};
    while (rc == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !killed) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        if (::poll(fds, 2, killed ? 1000 : static_cast<int>(std::min<long long>(left.count(), 1000))) < 0 &&
            errno != EINTR)
            break;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n > 0) {
                into[k]->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[k].fd = -1;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    if (rc != 0) return run;
    int raw = 0;
    if (::waitpid(pid, &raw, 0) == pid && !killed && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    return run;
}

bool underWine() { return false; }

std::string whoMayOpen(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return "not there";
    const unsigned mode = st.st_mode & 0777;
    return mode == 0600
               ? "owner"
               : "mode " + std::to_string(mode >> 6) + std::to_string((mode >> 3) & 7) + std::to_string(mode & 7);
}

#endif

std::string u(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }

}  // namespace strnum::test
