#include "settings/ini_file.h"

#include <algorithm>
#include <system_error>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/file.h"
#include "system/replacing_file.h"
#include "tables/table.h"

namespace strnum {

using namespace strnum::literals;

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Section and key names compare as Windows compares them: ASCII letters without case.
bool sameName(std::string_view a, std::string_view b) { return equalsIgnoreCase(a, b); }

// The section name of a header line "[name]", or nullopt.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    line = trim(line);
    return line.empty() || line.front() == ';' || line.front() == '#';
}

}  // namespace

IniFile IniFile::load(const std::filesystem::path& file) {
    IniFile ini;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return ini;
    std::string text;
    try {
        File in(file, File::Mode::ReadOnly);  // a regular file only: never a pipe or a device
        const std::uint64_t size = in.size();
        if (size > kMaxBytes)
            throwError(ErrorKind::Corrupt, std::string("Файл настроек "_cp) + pathTo1251(file) +
                                               std::string(" слишком велик для файла настроек: "_cp) +
                                               std::to_string(size) + std::string(" байт"_cp));
        text.resize(static_cast<std::size_t>(size));
        text.resize(in.readAt(0, text.data(), text.size()));
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::Corrupt) throw;
        throwError(ErrorKind::Io, std::string("Не удается прочитать файл настроек: "_cp) + std::string(e.text()));
    }
    if (text.find('\0') != std::string::npos)
        throwError(ErrorKind::Corrupt,
                   std::string("Файл настроек "_cp) + pathTo1251(file) + std::string(" не является текстовым"_cp));
    // A file saved as UTF-8 by an editor starts with its byte-order mark: its values are
    // read as UTF-8, and it is written back as it came.
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.starts_with(kBom)) {
        ini.utf8_ = true;
        text.erase(0, kBom.size());
    }
    // Lines end with CR LF, LF or a CR alone.
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.find('\r', pos));
        if (end == std::string::npos) {
            ini.lines_.push_back(text.substr(pos));
            break;
        }
        ini.lines_.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return ini;
}

std::size_t IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (auto name = sectionName(lines_[i]); name && sameName(*name, section)) return i;
    return std::string::npos;
}

std::size_t IniFile::sectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    std::size_t lastContent = header + 1;
    for (; end < lines_.size() && !sectionName(lines_[end]); ++end)
        if (!trim(lines_[end]).empty()) lastContent = end + 1;
    return lastContent;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    if (header == std::string::npos) return std::nullopt;
    for (std::size_t i = header + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        if (isComment(lines_[i])) continue;
        const std::string_view line = lines_[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && sameName(trim(line.substr(0, eq)), key)) {
            const std::string value(trim(line.substr(eq + 1)));
            if (!utf8_) return value;
            // A character of a UTF-8 file that code page 1251 lacks: the value is unusable.
            return utf8To1251(value).value_or(std::string(1, '?'));
        }
    }
    return std::nullopt;
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string newLine = std::string(key) + "=" + (utf8_ ? cp1251ToUtf8(value) : std::string(value));
    std::size_t header = findSection(section);
    if (header == std::string::npos) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(newLine);
        return;
    }
    for (std::size_t i = header + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        if (isComment(lines_[i])) continue;
        const std::string_view line = lines_[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && sameName(trim(line.substr(0, eq)), key)) {
            lines_[i] = newLine;
            return;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(sectionEnd(header)), newLine);
}

void IniFile::save(const std::filesystem::path& file) const {
    std::string text = utf8_ ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : lines_) text.append(line).append("\r\n");
    try {
        ReplacingFile out(file);
        out.write(text);
        out.commit();
    } catch (const Error& e) {
        throwError(ErrorKind::Io, std::string("Не удается записать файл настроек: "_cp) + std::string(e.text()));
    }
}

}  // namespace strnum
