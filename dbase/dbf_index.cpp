#include "dbase/dbf_index.h"

#include <algorithm>
#include <system_error>

#include "base/text.h"
#include "system/file.h"
#include "system/paths.h"

namespace strnum {

namespace fs = std::filesystem;

namespace {

std::uint32_t le(std::string_view b, std::size_t at, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

std::uint32_t be32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

// Text up to the first NUL, blanks around removed; empty when it holds non-printable bytes.
std::string cString(std::string_view b) {
    std::string_view s = b.substr(0, std::min(b.size(), b.find('\0')));
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20) return {};
    return std::string(s);
}

DbfIndexKey makeKey(const std::string& file, std::string tag, const std::string& key, const std::string& cond) {
    DbfIndexKey k;
    k.file = file;
    k.tag = std::move(tag);
    k.expression = cond.empty() ? key : key + " FOR " + cond;
    k.names = expressionNames(k.expression);
    k.unreadable = key.empty() || k.names.empty();
    return k;
}

std::vector<DbfIndexKey> unreadable(const std::string& file) {
    DbfIndexKey k;
    k.file = file;
    k.unreadable = true;
    return {k};
}

bool sameName(const fs::path& a, std::string_view b) {
    const std::u8string s = a.u8string();
    return fileNamesEqual(std::string(s.begin(), s.end()), b);
}

std::string upperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

bool DbfIndexKey::covers(std::string_view fieldName) const {
    if (unreadable) return true;
    const std::string want = upperAscii(std::string(fieldName));
    return std::find(names.begin(), names.end(), want) != names.end();
}

std::vector<std::string> expressionNames(std::string_view e) {
    std::vector<std::string> names;
    const auto identStart = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    const auto identChar = [&](char c) { return identStart(c) || (c >= '0' && c <= '9'); };
    for (std::size_t i = 0; i < e.size();) {
        const char c = e[i];
        if (c == '"' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const std::size_t end = e.find(close, i + 1);
            i = end == std::string_view::npos ? e.size() : end + 1;
        } else if (identStart(c)) {
            std::size_t j = i;
            while (j < e.size() && identChar(e[j])) ++j;
            std::string n = upperAscii(std::string(e.substr(i, j - i)));
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(std::move(n));
            i = j;
        } else if (c >= '0' && c <= '9') {
            while (i < e.size() && identChar(e[i])) ++i;  // a number, also 1E5
        } else {
            ++i;
        }
    }
    return names;
}

std::vector<DbfIndexKey> readNdxKeys(const ByteReader& read, const std::string& fileName) {
    const std::string h = read(0, 512);
    if (h.size() < 25) return unreadable(fileName);
    auto k = makeKey(fileName, "", cString(std::string_view(h).substr(24)), "");
    return {k};
}

std::vector<DbfIndexKey> readNtxKeys(const ByteReader& read, const std::string& fileName) {
    const std::string h = read(0, 1024);
    if (h.size() < 278) return unreadable(fileName);
    const std::string_view v(h);
    const std::string key = cString(v.substr(22, 256));
    const std::string cond = h.size() >= 538 ? cString(v.substr(282, 256)) : "";
    const std::string tag = h.size() >= 550 ? cString(v.substr(538, 12)) : "";
    return {makeKey(fileName, tag, key, cond)};
}

std::vector<DbfIndexKey> readMdxKeys(const ByteReader& read, const std::string& fileName) {
    const std::string h = read(0, 544 + 48 * 32);
    if (h.size() < 544) return unreadable(fileName);
    const std::string_view v(h);
    const unsigned tags = le(v, 28, 2);
    unsigned entrySize = static_cast<unsigned char>(v[26]);
    if (entrySize < 32) entrySize = 32;
    if (tags == 0 || tags > 48) return tags == 0 ? std::vector<DbfIndexKey>{} : unreadable(fileName);
    std::vector<DbfIndexKey> keys;
    for (unsigned i = 0; i < tags; ++i) {
        const std::size_t at = 544 + i * entrySize;
        if (at + 32 > h.size()) return unreadable(fileName);
        const std::uint64_t headerAt = std::uint64_t{le(v, at, 4)} * 512;
        const std::string tag = cString(v.substr(at + 4, 11));
        const std::string th = read(headerAt, 1024);
        if (headerAt == 0 || th.size() < 25) {
            auto k = unreadable(fileName);
            k[0].tag = tag;
            keys.push_back(k[0]);
            continue;
        }
        const std::string key = cString(std::string_view(th).substr(24, 220));
        const std::string cond = th.size() > 762 ? cString(std::string_view(th).substr(762, 256)) : "";
        keys.push_back(makeKey(fileName, tag, key, cond));
    }
    return keys;
}

std::vector<DbfIndexKey> readCdxKeys(const ByteReader& read, const std::string& fileName) {
    const std::string dir = read(0, 1024);
    if (dir.size() < 512) return unreadable(fileName);
    const std::size_t keyLen = le(dir, 12, 2);
    if (keyLen == 0 || keyLen > 240) return unreadable(fileName);

    // Walk the tag directory (a compact index: keys = tag names, record numbers = tag header
    // offsets) down to its leftmost leaf, then along the leaves.
    std::uint32_t node = le(dir, 0, 4);
    std::vector<std::pair<std::string, std::uint32_t>> tags;
    int steps = 0;
    std::string n;
    for (;; ++steps) {
        if (steps > 4096) return unreadable(fileName);
        n = read(node, 512);
        if (n.size() < 512) return unreadable(fileName);
        const unsigned attr = le(n, 0, 2);
        if ((attr & 0x02) != 0) break;
        if (le(n, 2, 2) == 0 || 12 + keyLen + 8 > 512) return unreadable(fileName);
        node = be32(n, 12 + keyLen + 4);  // first entry: key, record number, child
    }
    for (; steps < 8192; ++steps) {
        const std::string_view v(n);
        const unsigned count = le(v, 2, 2);
        const std::uint32_t recMask = le(v, 14, 4);
        const unsigned dupMask = static_cast<unsigned char>(v[18]), trailMask = static_cast<unsigned char>(v[19]);
        const unsigned recBits = static_cast<unsigned char>(v[20]), dupBits = static_cast<unsigned char>(v[21]);
        const unsigned entryBytes = static_cast<unsigned char>(v[23]);
        if (entryBytes == 0 || entryBytes > 8 || recBits + dupBits >= 64 || 24 + count * entryBytes > 512)
            return unreadable(fileName);
        std::size_t pos = 512;
        std::string prev;
        for (unsigned i = 0; i < count; ++i) {
            std::uint64_t val = 0;
            for (unsigned b = entryBytes; b-- > 0;)
                val = val << 8 | static_cast<unsigned char>(v[24 + i * entryBytes + b]);
            const auto rec = static_cast<std::uint32_t>(val & recMask);
            const std::size_t dup = (val >> recBits) & dupMask;
            const std::size_t trail = (val >> (recBits + dupBits)) & trailMask;
            if (dup + trail > keyLen || dup > prev.size()) return unreadable(fileName);
            const std::size_t stored = keyLen - dup - trail;
            if (pos < 24 + count * entryBytes + stored) return unreadable(fileName);
            pos -= stored;
            std::string key = prev.substr(0, dup) + std::string(v.substr(pos, stored)) + std::string(trail, ' ');
            tags.emplace_back(cString(key), rec);
            prev = std::move(key);
        }
        const std::uint32_t right = le(v, 8, 4);
        if (right == 0xFFFFFFFFu || right == 0) break;
        n = read(right, 512);
        if (n.size() < 512) return unreadable(fileName);
    }

    std::vector<DbfIndexKey> keys;
    for (const auto& [tag, at] : tags) {
        const std::string th = read(at, 1024);
        if (th.size() < 1024) {
            auto k = unreadable(fileName);
            k[0].tag = tag;
            keys.push_back(k[0]);
            continue;
        }
        const std::string_view pool = std::string_view(th).substr(512);
        const auto piece = [&](std::size_t start, std::size_t len) {
            if (start >= pool.size() || len == 0) return std::string();
            return cString(pool.substr(start, std::min(len, pool.size() - start)));
        };
        keys.push_back(
            makeKey(fileName, tag, piece(le(th, 508, 2), le(th, 510, 2)), piece(le(th, 504, 2), le(th, 506, 2))));
    }
    return keys;
}

std::vector<DbfIndexKey> findDbfIndexes(const fs::path& tableFile, const DbfHeader& header) {
    std::vector<DbfIndexKey> keys;
    const fs::path dir = tableFile.parent_path();
    const std::u8string stem8 = tableFile.stem().u8string();
    const std::string stem(stem8.begin(), stem8.end());
    const auto readFile = [&](const fs::path& p, auto parser) {
        try {
            File f(p, File::Mode::ReadOnly);
            const ByteReader reader = [&f](std::uint64_t off, std::size_t n) {
                std::string b(n, '\0');
                b.resize(f.readAt(off, b.data(), n));
                return b;
            };
            auto found = parser(reader, pathTo1251(p.filename()));
            keys.insert(keys.end(), found.begin(), found.end());
        } catch (const std::exception&) {
            keys.push_back(unreadable(pathTo1251(p.filename()))[0]);
        }
    };
    if (header.hasProductionIndex()) {
        if (auto p = findInDirectory(dir, stem + ".MDX")) readFile(*p, readMdxKeys);
        if (auto p = findInDirectory(dir, stem + ".CDX")) readFile(*p, readCdxKeys);
    }
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const auto& p : entries) {
        const bool ndx = sameName(p.extension(), ".NDX"), ntx = sameName(p.extension(), ".NTX");
        if (!ndx && !ntx) continue;
        const std::u8string s8 = p.stem().u8string();
        const std::string s(s8.begin(), s8.end());
        if (!fileNamesEqual(s, stem)) {
            const bool otherTable = std::any_of(entries.begin(), entries.end(), [&](const fs::path& q) {
                const std::u8string q8 = q.stem().u8string();
                return sameName(q.extension(), ".DBF") && fileNamesEqual(std::string(q8.begin(), q8.end()), s);
            });
            if (otherTable) continue;
        }
        readFile(p, ndx ? readNdxKeys : readNtxKeys);
    }
    return keys;
}

}  // namespace strnum
