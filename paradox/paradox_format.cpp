#include "paradox/paradox_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

namespace {

std::uint16_t le16(std::string_view b, std::size_t off) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[off]) |
                                      (static_cast<unsigned char>(b[off + 1]) << 8));
}
std::uint32_t le32(std::string_view b, std::size_t off) {
    return static_cast<std::uint32_t>(le16(b, off)) | (static_cast<std::uint32_t>(le16(b, off + 2)) << 16);
}

[[noreturn]] void corrupt(std::string_view name, std::string_view what) {
    std::string m("Повреждена таблица Paradox "_cp);
    m += name;
    m += ": ";
    m += what;
    throwError(ErrorKind::Corrupt, std::move(m));
}

// Bytes a field of this type takes, or -1 when the size comes from the field array.
int fixedSize(std::uint8_t type) {
    switch (type) {
        case pxtype::Date:
        case pxtype::Long:
        case pxtype::AutoInc:
        case pxtype::Time:
            return 4;
        case pxtype::Short:
            return 2;
        case pxtype::Money:
        case pxtype::Number:
        case pxtype::Timestamp:
            return 8;
        case pxtype::Logical:
            return 1;
        case pxtype::Bcd:
            return 17;
        default:
            return -1;
    }
}

bool knownType(std::uint8_t t) {
    return t == pxtype::Alpha || t == pxtype::Bytes || (t >= pxtype::Memo && t <= pxtype::Graphic) || fixedSize(t) > 0;
}

std::string hexText(const char* p, int size) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

std::string doubleText(double v) {
    if (v == 0) return "0";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (s.find('e') == std::string::npos) return s;
    std::snprintf(buf, sizeof buf, "%.17g", v);  // far out of range of any real amount
    return buf;
}

std::string timeText(std::int64_t ms) {
    if (ms < 0) return {};
    char buf[32];
    const auto s = ms / 1000;
    if (ms % 1000 == 0)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60),
                      static_cast<long long>(ms % 1000));
    return buf;
}

// BCD: nullopt when empty or when a nibble is not a digit.
std::optional<std::string> bcdText(const char* p, int decimals) {
    if (pxIsEmpty(p, 17)) return std::nullopt;
    const auto head = static_cast<unsigned char>(p[0]);
    const bool negative = (head & 0x80) == 0;
    std::string digits;
    for (int i = 0; i < 32; ++i) {
        const auto b = static_cast<unsigned char>(p[1 + i / 2]);
        int nib = i % 2 == 0 ? b >> 4 : b & 15;
        if (negative) nib ^= 15;
        if (nib > 9) return std::nullopt;
        digits += static_cast<char>('0' + nib);
    }
    if (decimals < 0 || decimals > 32) return std::nullopt;
    std::string whole = digits.substr(0, static_cast<std::size_t>(32 - decimals));
    std::string frac = digits.substr(static_cast<std::size_t>(32 - decimals));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole.empty()) whole = "0";
    std::string s = whole;
    if (!frac.empty()) s += "." + frac;
    if (negative && s != "0") s = "-" + s;
    return s;
}

}  // namespace

int ParadoxHeader::versionNumber() const {
    switch (version) {
        case 3:
            return 30;
        case 4:
            return 35;
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
            return 40;
        case 0x0A:
        case 0x0B:
            return 50;
        default:
            return version >= 0x0C ? 70 : 0;
    }
}

CodePage paradoxTextCodePage(int cp, CodePage defaultCp) {
    if (cp == 866) return CodePage::Cp866;
    if (cp >= 1250 && cp <= 1258) return CodePage::Cp1251;
    return defaultCp;
}

ParadoxHeader parseParadoxHeader(std::string_view b, std::uint64_t fileSize, std::string_view name,
                                 CodePage defaultCp) {
    if (b.size() < 0x58 || fileSize < 0x58) corrupt(name, "файл короче заголовка"_cp);
    ParadoxHeader h;
    h.recordSize = le16(b, 0x00);
    h.headerSize = le16(b, 0x02);
    h.fileType = static_cast<std::uint8_t>(b[0x04]);
    const int blockKiB = static_cast<unsigned char>(b[0x05]);
    h.records = le32(b, 0x06);
    h.firstBlock = le16(b, 0x0E);
    h.lastBlock = le16(b, 0x10);
    const int fieldCount = le16(b, 0x21);
    h.keyFields = le16(b, 0x23);
    h.sortOrder = static_cast<std::uint8_t>(b[0x29]);
    h.version = static_cast<std::uint8_t>(b[0x39]);
    h.autoIncrement = le32(b, 0x49);

    if (h.fileType != pxfile::KeyedDb && h.fileType != pxfile::UnkeyedDb) {
        std::string m(name);
        m += ": "_cp;
        m += "это не таблица данных Paradox"_cp;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    if (h.version < 3 || h.version > 0x0C) corrupt(name, "неизвестная версия файла"_cp);
    if (blockKiB < 1 || blockKiB > 32) corrupt(name, "недопустимый размер блока"_cp);
    h.blockSize = blockKiB * 1024;
    if (h.recordSize < 1 || h.recordSize > h.blockSize - 6) corrupt(name, "недопустимая длина записи"_cp);
    if (fieldCount < 1 || fieldCount > 1024) corrupt(name, "недопустимое число полей"_cp);
    if (h.headerSize < 0x58 || static_cast<std::uint64_t>(h.headerSize) > fileSize ||
        static_cast<std::size_t>(h.headerSize) > b.size())
        corrupt(name, "недопустимая длина заголовка"_cp);
    if (h.keyFields > fieldCount) corrupt(name, "недопустимое число ключевых полей"_cp);

    const bool extended = h.version >= 5;
    const std::size_t base = extended ? 0x78 : 0x58;
    std::uint32_t encryption = le32(b, 0x25);
    if (extended && h.headerSize >= 0x78) {
        encryption = le32(b, 0x5C);
        h.codePageNumber = le16(b, 0x6A);
    }
    if (encryption != 0 && !(extended && encryption == 0xFF00FF00u)) {
        std::string m(name);
        m += ": "_cp;
        m += "таблица защищена паролем (зашифрована) и не может быть прочитана"_cp;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    h.textCodePage = paradoxTextCodePage(h.codePageNumber, defaultCp);

    const std::size_t hs = static_cast<std::size_t>(h.headerSize);
    const std::size_t n = static_cast<std::size_t>(fieldCount);
    if (base + 2 * n > hs) corrupt(name, "список полей выходит за заголовок"_cp);
    int offset = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ParadoxField f;
        f.type = static_cast<std::uint8_t>(b[base + 2 * i]);
        const int size = static_cast<unsigned char>(b[base + 2 * i + 1]);
        if (f.type == pxtype::Bcd) {
            f.size = 17;
            f.decimals = size;
        } else {
            f.size = fixedSize(f.type) > 0 ? fixedSize(f.type) : size;
        }
        if (!knownType(f.type) || f.size < 1 || (fixedSize(f.type) > 0 && f.type != pxtype::Bcd && size != f.size)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, " %zu (0x%02X/%d)", i + 1, f.type, size);
            corrupt(name, std::string("недопустимое поле"_cp) + buf);
        }
        f.offset = offset;
        offset += f.size;
        h.fields.push_back(std::move(f));
    }
    if (offset != h.recordSize) corrupt(name, "длина записи не равна сумме длин полей"_cp);

    // Names follow the field array, the pointers and the table name.
    std::size_t pos = base + 6 * n + 4 + (h.version >= 0x0C ? 261 : 79);
    for (auto& f : h.fields) {
        if (pos >= hs) corrupt(name, "имена полей выходят за заголовок"_cp);
        const std::size_t end = b.find('\0', pos);
        if (end == std::string_view::npos || end >= hs) corrupt(name, "имена полей выходят за заголовок"_cp);
        const std::string_view raw = b.substr(pos, end - pos);
        f.name = h.textCodePage == CodePage::Cp866 ? cp866To1251Lossy(raw) : std::string(raw);
        pos = end + 1;
    }

    h.fileBlocks = static_cast<std::uint32_t>((fileSize - hs) / static_cast<std::uint64_t>(h.blockSize));
    return h;
}

bool pxIsEmpty(const char* p, int size) {
    for (int i = 0; i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

std::optional<std::int64_t> pxDecodeInt(const char* p, int size) {
    if (pxIsEmpty(p, size)) return std::nullopt;
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    const std::uint64_t top = std::uint64_t{1} << (8 * size - 1);
    v ^= top;  // now two's complement of width 8*size
    if (v & top) return static_cast<std::int64_t>(v) - static_cast<std::int64_t>(top << 1);
    return static_cast<std::int64_t>(v);
}

void pxEncodeInt(char* p, int size, std::int64_t value) {
    std::uint64_t v = static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << (8 * size - 1));
    for (int i = size - 1; i >= 0; --i) {
        p[i] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

std::optional<double> pxDecodeDouble(const char* p) {
    if (pxIsEmpty(p, 8)) return std::nullopt;
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    v = (v & 0x8000000000000000ull) ? v ^ 0x8000000000000000ull : ~v;
    return std::bit_cast<double>(v);
}

void pxEncodeDouble(char* p, double value) {
    std::uint64_t v = std::bit_cast<std::uint64_t>(value);
    v = (v & 0x8000000000000000ull) ? ~v : v | 0x8000000000000000ull;
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

std::string_view pxAlphaBytes(const char* p, int size) {
    // A plain loop: fields are short, and this runs for every text of a large directory.
    int n = 0;
    while (n < size && p[n] != 0) ++n;
    while (n > 0 && p[n - 1] == ' ') --n;
    return {p, static_cast<std::size_t>(n)};
}

std::string pxValueText(const ParadoxField& f, const char* record, CodePage cp) {
    const char* p = record + f.offset;
    switch (f.type) {
        case pxtype::Alpha: {
            const auto raw = pxAlphaBytes(p, f.size);
            return cp == CodePage::Cp866 ? cp866To1251Lossy(raw) : std::string(raw);
        }
        case pxtype::Short:
        case pxtype::Long:
        case pxtype::AutoInc: {
            const auto v = pxDecodeInt(p, f.size);
            return v ? std::to_string(*v) : std::string();
        }
        case pxtype::Date: {
            const auto v = pxDecodeInt(p, 4);
            return v && *v > 0 && *v <= 3652059 ? Date::fromSerial(static_cast<std::int32_t>(*v)).text()
                                                : std::string();
        }
        case pxtype::Money:
        case pxtype::Number: {
            const auto v = pxDecodeDouble(p);
            return v && std::isfinite(*v) ? doubleText(*v) : std::string();
        }
        case pxtype::Logical:
            return p[0] == 0 ? std::string() : static_cast<unsigned char>(p[0]) == 0x80 ? "F" : "T";
        case pxtype::Time: {
            const auto v = pxDecodeInt(p, 4);
            return v ? timeText(*v) : std::string();
        }
        case pxtype::Timestamp: {
            const auto v = pxDecodeDouble(p);
            if (!v || !std::isfinite(*v) || *v < 86400000.0 || *v > 3652059.0 * 86400000.0) return {};
            const auto ms = static_cast<std::int64_t>(*v);
            const Date d = Date::fromSerial(static_cast<std::int32_t>(ms / 86400000));
            return d.text() + " " + timeText(ms % 86400000);
        }
        case pxtype::Bcd:
            return bcdText(p, f.decimals).value_or(std::string());
        case pxtype::Bytes: {
            int n = f.size;
            while (n > 0 && p[n - 1] == 0) --n;
            return hexText(p, n);
        }
        default:
            return {};  // memo and blob fields
    }
}

std::optional<std::int32_t> pxValueInt(const ParadoxField& f, const char* record, CodePage cp, bool* ok) {
    *ok = true;
    const char* p = record + f.offset;
    std::optional<std::int64_t> v;
    switch (f.type) {
        case pxtype::Short:
        case pxtype::Long:
        case pxtype::AutoInc:
        case pxtype::Date:
        case pxtype::Time:
            v = pxDecodeInt(p, f.size);
            break;
        case pxtype::Money:
        case pxtype::Number: {
            const auto d = pxDecodeDouble(p);
            if (!d) return std::nullopt;
            if (!(std::trunc(*d) == *d && std::fabs(*d) < 2147483648.0)) break;
            v = static_cast<std::int64_t>(*d);
            break;
        }
        case pxtype::Bcd: {
            const auto t = bcdText(p, f.decimals);
            if (!t) return std::nullopt;
            const auto i = toInt32(*t);
            if (i) return i;
            *ok = false;
            return std::nullopt;
        }
        case pxtype::Alpha: {
            const std::string t = pxValueText(f, record, cp);
            if (t.empty()) return std::nullopt;
            const auto i = toInt32(t);
            if (!i) *ok = false;
            return i;
        }
        default:
            *ok = false;
            return std::nullopt;
    }
    if (!v) {
        if (!pxIsEmpty(p, f.size)) *ok = false;
        return std::nullopt;
    }
    if (*v < INT32_MIN || *v > INT32_MAX) {
        *ok = false;
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*v);
}

Date pxValueDate(const ParadoxField& f, const char* record) {
    const char* p = record + f.offset;
    if (f.type == pxtype::Date) {
        const auto v = pxDecodeInt(p, 4);
        return v && *v > 0 && *v <= 3652059 ? Date::fromSerial(static_cast<std::int32_t>(*v)) : Date();
    }
    if (f.type == pxtype::Timestamp) {
        const auto v = pxDecodeDouble(p);
        if (!v || !std::isfinite(*v) || *v < 86400000.0 || *v > 3652059.0 * 86400000.0) return Date();
        return Date::fromSerial(static_cast<std::int32_t>(*v / 86400000.0));
    }
    return Date();
}

bool pxEncodeAlpha(char* p, int size, std::string_view text, CodePage cp) {
    if (text.size() > static_cast<std::size_t>(size)) return false;
    if (cp == CodePage::Cp866) {
        // Converted in place only once the whole text is known to convert: p is left as it
        // was when it does not.
        char probe[64];
        for (std::size_t at = 0; at < text.size(); at += sizeof probe)
            if (!cp1251To866Into(text.substr(at, sizeof probe), probe)) return false;
        cp1251To866Into(text, p);
    } else {
        std::memcpy(p, text.data(), text.size());
    }
    std::memset(p + text.size(), 0, static_cast<std::size_t>(size) - text.size());
    return true;
}

}  // namespace strnum
