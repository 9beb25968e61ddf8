#include "journal/run_journal.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/clock.h"
#include "system/file.h"

#ifndef STRNUM_VERSION
#define STRNUM_VERSION "0"
#endif

namespace strnum {

namespace fs = std::filesystem;
using namespace strnum::literals;

namespace {

std::string utf8Path(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

template <class Int>
void appendDecimal(std::string& out, Int value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void appendHex(std::string& out, std::string_view bytes) {
    static const char* const kHex = "0123456789ABCDEF";
    const std::size_t at = out.size();
    out.resize(at + 2 * bytes.size());
    char* o = out.data() + at;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *o++ = kHex[b >> 4];
        *o++ = kHex[b & 15];
    }
}

bool isJournalName(const fs::path& p) {
    const std::string name = p.filename().string();
    return p.extension() == ".jsonl" && name.size() >= 25 && name[4] == '-' && name[10] == '_';
}

}  // namespace

std::string journalTime() { return localTimeText(std::time(nullptr), "%Y-%m-%dT%H:%M:%S"); }

std::vector<fs::path> RunJournal::list(const fs::path& programDirectory) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(programDirectory / kJournalFolder, ec))
        if (e.is_regular_file(ec) && isJournalName(e.path())) found.push_back(e.path());
    std::sort(found.begin(), found.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() > b.filename(); });
    return found;
}

std::shared_ptr<RunJournal> RunJournal::start(const fs::path& programDirectory, const JournalRun& run, int keepDays) {
    const fs::path dir = programDirectory / kJournalFolder;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throwError(ErrorKind::Io, std::string("Не удалось создать папку журналов "_cp) + pathTo1251(dir) + ": " +
                                      utf8To1251Lossy(ec.message()));
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);

    // Journals older than the settings keep them.
    const auto now = fs::file_time_type::clock::now();
    for (const fs::path& old : list(programDirectory)) {
        const auto written = fs::last_write_time(old, ec);
        if (!ec && now - written > std::chrono::hours(24) * keepDays) fs::remove(old, ec);
    }

    std::shared_ptr<RunJournal> j(new RunJournal);
    const std::time_t t = std::time(nullptr);
    const std::string stem = localTimeText(t, "%Y-%m-%d_%H-%M-%S");
    for (int n = 1;; ++n) {
        j->path_ = dir / (stem + (n > 1 ? "_" + std::to_string(n) : std::string()) + ".jsonl");
        if (fs::exists(j->path_, ec)) continue;
        j->file_ = std::make_unique<File>(j->path_, File::Mode::CreatePrivate);
        break;
    }
    nlohmann::ordered_json head;
    head["journal"] = "strnum";
    head["format"] = 1;
    head["operation"] = run.operation;
    head["started"] = localTimeText(t, "%Y-%m-%dT%H:%M:%S");
    head["program"] = std::string("strnum ") + STRNUM_VERSION;
    head["way"] = cp1251ToUtf8(run.way);
    head["nums"] = cp1251ToUtf8(run.nums);
    const std::lock_guard<std::mutex> lock(j->lock_);
    j->line(head.dump());
    j->file_->append(j->held_.data(), j->held_.size());
    j->held_.clear();
    return j;
}

RunJournal::~RunJournal() {
    try {
        flush();
    } catch (const Error&) {
    }
}

void RunJournal::line(std::string_view text) {
    held_ += text;
    held_ += '\n';
}

int RunJournal::fileNumber(const fs::path& file) {
    auto it = files_.find(file);
    if (it != files_.end()) return it->second;
    const int n = static_cast<int>(files_.size()) + 1;
    files_.emplace(file, n);
    nlohmann::ordered_json f;
    f["file"] = n;
    f["path"] = utf8Path(file);
    std::error_code ec;
    f["size"] = fs::file_size(file, ec);
    const auto modified = fs::last_write_time(file, ec);
    if (!ec) {
        const auto system = std::chrono::file_clock::to_sys(modified);
        f["modified"] = localTimeText(std::chrono::system_clock::to_time_t(system), "%Y-%m-%dT%H:%M:%S");
    }
    line(f.dump());
    return n;
}

int RunJournal::fileOpened(const fs::path& file) {
    const std::lock_guard<std::mutex> lock(lock_);
    return fileNumber(file);
}

void RunJournal::note(int file, std::int64_t record, std::string_view field, std::string_view before,
                      std::string_view after) {
    // Millions of these in a large run: made straight into the held lines.
    const bool plain = std::all_of(field.begin(), field.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80 && c != '"' && c != '\\';
    });
    const std::lock_guard<std::mutex> lock(lock_);
    if (broken_) throwError(ErrorKind::Io, brokenBy_);
    held_ += "{\"w\":";
    appendDecimal(held_, file);
    held_ += ",\"record\":";
    appendDecimal(held_, record);
    held_ += ",\"field\":";
    if (plain)
        ((held_ += '"') += field) += '"';
    else
        held_ += nlohmann::json(cp1251ToUtf8(field)).dump();
    held_ += ",\"before\":\"";
    appendHex(held_, before);
    held_ += "\",\"after\":\"";
    appendHex(held_, after);
    held_ += "\"}\n";
}

void RunJournal::flush() {
    const std::lock_guard<std::mutex> lock(lock_);
    if (broken_) throwError(ErrorKind::Io, brokenBy_);
    if (held_.empty()) return;
    try {
        file_->append(held_.data(), held_.size());
    } catch (const Error& e) {
        // Part of a line may have reached the file: nothing more is added after it, and
        // nothing more is written into the tables.
        broken_ = true;
        brokenBy_ = std::string("Журнал записей "_cp) + pathTo1251(path_) + std::string(" не дописывается ("_cp) +
                    std::string(e.text()) + std::string("): записи без отметки в журнале не изменяются"_cp);
        held_.clear();
        throwError(ErrorKind::Io, brokenBy_);
    }
    held_.clear();
}

std::string RunJournal::failure() const {
    const std::lock_guard<std::mutex> lock(lock_);
    return brokenBy_;
}

void RunJournal::finish(bool ok, const std::vector<std::pair<std::string, std::int64_t>>& counters,
                        std::string_view error) {
    nlohmann::ordered_json end;
    end["end"] = journalTime();
    end["ok"] = ok;
    nlohmann::ordered_json c = nlohmann::ordered_json::object();
    for (const auto& [name, value] : counters) c[name] = value;
    end["counters"] = std::move(c);
    if (!error.empty()) end["error"] = cp1251ToUtf8(error);
    try {
        const std::lock_guard<std::mutex> lock(lock_);
        if (broken_) return;
        line(end.dump());
        file_->append(held_.data(), held_.size());
        held_.clear();
    } catch (const Error&) {
    }
}

}  // namespace strnum
