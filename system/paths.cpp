#include "system/paths.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace strnum {

namespace fs = std::filesystem;

namespace {

// Upper-case form of a 1251 byte: ASCII letters, А-Я/а-я, Ё/ё and the other Cyrillic pairs.
unsigned char upper1251(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0) return static_cast<unsigned char>(c - 32);  // а..я -> А..Я
    switch (c) {
        case 0xB8:
            return 0xA8;  // ё
        case 0xBA:
            return 0xAA;  // є
        case 0xBF:
            return 0xAF;  // ї
        case 0xB3:
            return 0xB2;  // і
        case 0xA2:
            return 0xA1;  // ў
        case 0xBC:
            return 0xA3;  // ј
        case 0x90:
            return 0x80;  // ђ
        case 0x83:
            return 0x81;  // ѓ
        case 0x9A:
            return 0x8A;  // љ
        case 0x9C:
            return 0x8C;  // њ
        case 0x9D:
            return 0x8D;  // ќ
        case 0x9E:
            return 0x8E;  // ћ
        case 0x9F:
            return 0x8F;  // џ
        case 0xB4:
            return 0xA5;  // ґ
        case 0xBE:
            return 0xBD;  // ѕ
        default:
            return c;
    }
}

std::string fold(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(upper1251(static_cast<unsigned char>(c)));
    return out;
}

#ifdef _WIN32
// Separators, the drive's colon, the wildcards and the other characters no Windows name holds.
constexpr std::string_view kNotInName("/\\:*?\"<>|\0", 11);
#else
constexpr std::string_view kNotInName("/\0", 2);
#endif

}  // namespace

bool fileNamesEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    const auto a1251 = utf8To1251(a);
    const auto b1251 = utf8To1251(b);
    if (!a1251 || !b1251) return false;
    return a1251->size() == b1251->size() && fold(*a1251) == fold(*b1251);
}

std::optional<fs::path> findInDirectory(const fs::path& dir, std::string_view name) {
    // One entry's name: a separator or a NUL would name another file than the one asked for.
    if (name.empty() || name == "." || name == ".." || name.find_first_of(kNotInName) != std::string_view::npos)
        return std::nullopt;
#ifdef _WIN32
    // The system finds the name without regard to case (Cyrillic letters too) and tells how
    // the entry itself is written.
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileExW((dir / pathFromUtf8(name)).c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(h);
    return dir / fs::path(found.cFileName);
#else
    std::error_code ec;
    const fs::path exact = dir / pathFromUtf8(name);
    if (fs::exists(exact, ec)) {
        // A case-insensitive file system answers for any spelling; the exact name is then right too.
        return exact;
    }
    std::vector<std::string> matches;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = pathToUtf8(it->path().filename());
        if (fileNamesEqual(entry, name)) matches.push_back(entry);
    }
    if (matches.empty()) return std::nullopt;
    std::sort(matches.begin(), matches.end());
    return dir / pathFromUtf8(matches.front());
#endif
}

std::optional<fs::path> fileBeside(const fs::path& file, std::string_view extension) {
    const std::u8string stem = file.stem().u8string();
    return findInDirectory(file.parent_path(), std::string(stem.begin(), stem.end()) + std::string(extension));
}

fs::path resolveDirectory(std::string_view written, const DriveTable& drives) {
    // A stored text ends at its first NUL, as a field's text does.
    std::string text(written.substr(0, written.find('\0')));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (text.empty()) return {};
#ifdef _WIN32
    // Windows reads a stored directory as it stands: a drive letter, a network path
    // (\\server\share\...) or one relative to the current directory, its names found by the
    // file system without regard to letter case.  The drive letters are this desk's own.
    (void)drives;
    std::replace(text.begin(), text.end(), '/', '\\');
    return pathFrom1251(text);
#else
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    std::replace(text.begin(), text.end(), '\\', '/');
    if (text.rfind("//", 0) == 0) return {};  // \\server\share: no mapping for network names

    fs::path base;
    std::string_view rest = text;
    if (rest.size() >= 2 && isLetter(rest[0]) && rest[1] == ':') {
        const char drive = static_cast<char>(upper1251(static_cast<unsigned char>(rest[0])));
        const auto it = drives.find(drive);
        if (it == drives.end()) return {};
        base = it->second;
        rest.remove_prefix(2);
    } else if (!rest.empty() && rest.front() == '/') {
        base = "/";
    } else {
        base = ".";
    }

    fs::path result = base;
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t slash = rest.find('/', pos);
        if (slash == std::string_view::npos) slash = rest.size();
        const std::string component = cp1251ToUtf8(rest.substr(pos, slash - pos));
        pos = slash + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            result /= "..";
            continue;
        }
        if (auto found = findInDirectory(result, component)) {
            result = *found;
        } else {
            result /= pathFromUtf8(component);
        }
    }
    return result;
#endif
}

}  // namespace strnum
