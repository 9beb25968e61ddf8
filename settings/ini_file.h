// A Windows initialisation file kept line for line: sections in square brackets, lines of
// key=value under them.  Reading a value and setting one change nothing else, so keys and
// sections that other programs or people put there — comments, blank lines, unknown
// keys — are written back exactly as found.  Section and key names compare without regard
// to ASCII letter case, as Windows does.  The file's bytes are code page 1251; lines end
// with CR LF when written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strnum {

class IniFile {
public:
    // A settings file holds a few dozen lines; a larger file is no settings file.
    static constexpr std::uint64_t kMaxBytes = 1 << 20;

    // Reads the file; a missing file gives an empty one.  Throws Error(Io) when the file is
    // there but cannot be read (a pipe or a device is not read), Error(Corrupt) when it holds
    // NUL bytes or is larger than kMaxBytes (not a settings file: it is then never written
    // over).  Lines may end with CR LF, LF or CR; a file that starts with the UTF-8
    // byte-order mark is read and written as UTF-8 (values still cross as 1251).
    static IniFile load(const std::filesystem::path& file);

    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    std::string value(std::string_view section, std::string_view key, std::string_view fallback = {}) const {
        return get(section, key).value_or(std::string(fallback));
    }
    // Replaces the key's value in place, or adds the key at the end of its section, or the
    // section at the end of the file.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Writes the whole file anew beside the old one and puts it in its place once it is on
    // disk (system/replacing_file.h): after a failure the file is the old one, else the new
    // one.  Throws Error(Io) naming the file.
    void save(const std::filesystem::path& file) const;

    const std::vector<std::string>& lines() const { return lines_; }

private:
    // Index of the section's header line, or npos.
    std::size_t findSection(std::string_view section) const;
    // Index one past the section's last key line (before trailing blank lines).
    std::size_t sectionEnd(std::size_t header) const;
    std::vector<std::string> lines_;  // as the file holds them (UTF-8 when utf8_)
    bool utf8_ = false;
};

}  // namespace strnum
