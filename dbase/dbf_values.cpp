#include "dbase/dbf_values.h"

#include <cstdio>
#include <cstring>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

bool allOf(std::string_view raw, std::string_view set) {
    for (char c : raw)
        if (set.find(c) == std::string_view::npos) return false;
    return true;
}

std::uint32_t le32(std::string_view b) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
    return v;
}

std::int64_t le64(std::string_view b) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
    return static_cast<std::int64_t>(v);
}

Date dateOfYmdText(std::string_view raw) {
    if (raw.size() < 8) return Date();
    int v[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    std::size_t pos = 0;
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < widths[k]; ++i, ++pos) {
            const char c = raw[pos];
            if (c < '0' || c > '9') return Date();
            v[k] = v[k] * 10 + (c - '0');
        }
    return Date::fromYmd(v[0], v[1], v[2]);
}

std::optional<Date> dateTimeDate(std::string_view raw) {
    const auto julian = static_cast<std::int32_t>(le32(raw.substr(0, 4)));
    // Julian day 1721426 is 01.01.0001 (serial 1); a day before it is no date.
    if (julian <= 1721425) return Date();
    return Date::fromSerial(julian - 1721425);
}

[[noreturn]] void fieldError(ErrorKind kind, const std::string& fileName, const DbfField& f, std::string_view what) {
    throwError(kind, std::string("Таблица "_cp) + fileName + ", поле "_cp.data() + f.name + ": " + std::string(what));
}

std::string decimalText(std::int64_t scaled, int decimals) {
    const bool negative = scaled < 0;
    std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string digits = std::to_string(m);
    if (static_cast<int>(digits.size()) <= decimals)
        digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    if (decimals > 0) digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
    return *canonicalDecimal((negative ? "-" : "") + digits);
}

}  // namespace

FieldKind dbfFieldKind(char type) {
    switch (type) {
        case 'C':
        case 'V':
            return FieldKind::Text;
        case 'N':
        case 'F':
            return FieldKind::Number;
        case 'I':
        case '+':
            return FieldKind::Integer;
        case 'D':
            return FieldKind::Date;
        case 'L':
            return FieldKind::Logical;
        default:
            return FieldKind::Other;
    }
}

std::optional<std::string> canonicalDecimal(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string intPart, fracPart;
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') intPart += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') fracPart += s[i++];
    }
    if (intPart.empty() && fracPart.empty()) return std::nullopt;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        // Exponent form of floating fields: shift the point, exactly.
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) expNegative = s[i++] == '-';
        long exp = 0;
        const std::size_t expStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && exp < 10000) exp = exp * 10 + (s[i++] - '0');
        if (i == expStart || exp >= 10000) return std::nullopt;
        std::string digits = intPart + fracPart;
        long point = static_cast<long>(intPart.size()) + (expNegative ? -exp : exp);
        if (point < 0) {
            digits.insert(0, static_cast<std::size_t>(-point), '0');
            point = 0;
        }
        if (point > static_cast<long>(digits.size()))
            digits.append(static_cast<std::size_t>(point) - digits.size(), '0');
        intPart = digits.substr(0, static_cast<std::size_t>(point));
        fracPart = digits.substr(static_cast<std::size_t>(point));
    }
    if (i != s.size()) return std::nullopt;
    const std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
    std::string out = intPart;
    if (!fracPart.empty()) out += "." + fracPart;
    if (negative && out != "0") out.insert(0, "-");
    return out;
}

std::string dbfText(const DbfField& f, std::string_view raw, CodePage cp) {
    switch (f.type) {
        case 'C':
        case 'V': {
            const std::string_view s = dbfCharBytes(raw);
            return cp == CodePage::Cp866 ? cp866To1251Lossy(s) : std::string(s);
        }
        case 'N':
        case 'F': {
            const std::string_view s = trimBlanks(raw);
            if (s.empty() || s == ".") return {};
            if (auto c = canonicalDecimal(s)) return *c;
            return cp == CodePage::Cp866 ? cp866To1251Lossy(s) : std::string(s);  // "***" overflow marks and the like
        }
        case 'D':
            return dateOfYmdText(raw).text();
        case 'L': {
            const char c = raw.empty() ? ' ' : raw[0];
            if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return "T";
            if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return "F";
            return {};
        }
        case 'I':
        case '+':
            if (raw.size() != 4) return {};
            if (auto v = dbfInteger(f, raw)) return std::to_string(*v);
            return {};
        case 'Y':
            if (raw.size() != 8) return {};
            return decimalText(le64(raw), 4);
        case 'T': {
            if (raw.size() != 8 || allOf(raw, std::string_view("\0", 1)) || allOf(raw, " ")) return {};
            const Date d = *dateTimeDate(raw);
            if (d.empty()) return {};
            const std::uint32_t ms = le32(raw.substr(4, 4));
            char buf[16];
            std::snprintf(buf, sizeof buf, " %02u:%02u:%02u", ms / 3600000 % 24, ms / 60000 % 60, ms / 1000 % 60);
            return d.text() + buf;
        }
        case 'B':
            if (raw.size() == 8) {  // Visual FoxPro double (dBASE IV B is a memo pointer of 10)
                double v;
                std::memcpy(&v, raw.data(), 8);
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g", v);
                for (int p = 1; p <= 17; ++p) {  // the shortest form that reads back exactly
                    char t[40];
                    std::snprintf(t, sizeof t, "%.*g", p, v);
                    if (std::strtod(t, nullptr) == v) {
                        std::snprintf(buf, sizeof buf, "%s", t);
                        break;
                    }
                }
                return buf;
            }
            return {};
        default:
            return {};  // memo, general, picture, _NullFlags: no text of their own here
    }
}

std::optional<std::int32_t> dbfInteger(const DbfField& f, std::string_view raw) {
    switch (f.type) {
        case 'N':
        case 'F': {
            const std::string_view s = trimBlanks(raw);
            if (s.empty() || s == ".") return 0;
            const auto c = canonicalDecimal(s);
            if (!c || c->find('.') != std::string::npos) return std::nullopt;
            return toInt32(*c);
        }
        case 'C':
        case 'V': {
            const std::string_view s = trimBlanks(raw);
            if (s.empty()) return 0;
            return toInt32(s);
        }
        case 'I':
        case '+': {
            if (raw.size() != 4) return std::nullopt;
            if (!f.dbase7) return static_cast<std::int32_t>(le32(raw));
            // dBASE 7 keeps integers big-endian with the top bit inverted (1 = 80 00 00 01).
            std::uint32_t v = 0;
            for (char c : raw) v = v << 8 | static_cast<unsigned char>(c);
            return static_cast<std::int32_t>(v ^ 0x80000000u);
        }
        default:
            return std::nullopt;
    }
}

std::optional<Date> dbfDate(const DbfField& f, std::string_view raw) {
    if (f.type == 'D') return dateOfYmdText(raw);
    if (f.type == 'T' && raw.size() == 8) return dateTimeDate(raw);
    return std::nullopt;
}

bool dbfIsEmpty(const DbfField& f, std::string_view raw) {
    switch (f.type) {
        case 'C':
        case 'V':
            return allOf(raw, std::string_view(" \0", 2));
        case 'N':
        case 'F': {
            const std::string_view s = trimBlanks(raw);
            return s.empty() || s == ".";
        }
        case 'D':
            return dateOfYmdText(raw).empty();
        case 'L':
            return dbfText(f, raw, CodePage::Cp1251).empty();
        case 'I':
        case '+':
        case 'Y':
        case 'B':
            return false;
        case 'T':
            return dbfText(f, raw, CodePage::Cp1251).empty();
        default:
            return allOf(raw, std::string_view(" \0", 2));
    }
}

std::string dbfEncodeText(const DbfField& f, std::string_view value, CodePage cp, const std::string& fileName) {
    const auto width = static_cast<std::size_t>(f.length);
    switch (f.type) {
        case 'C': {
            std::size_t bad = 0;
            auto stored = fromCp1251(cp, value, &bad);
            if (!stored) {
                const std::string ch(1, value[bad]);
                fieldError(ErrorKind::Conversion, fileName, f,
                           std::string("символа \""_cp) + ch + "\" нет в кодовой странице таблицы ("_cp.data() +
                               std::to_string(codePageNumber(cp)) + ")");
            }
            if (stored->size() > width)
                fieldError(ErrorKind::InvalidArgument, fileName, f,
                           std::string("текст длиннее поля ("_cp) + std::to_string(stored->size()) + " > " +
                               std::to_string(width) + ")");
            stored->resize(width, ' ');
            return *stored;
        }
        case 'N':
        case 'F': {
            if (trimBlanks(value).empty()) return std::string(width, ' ');
            const auto c = canonicalDecimal(value);
            if (!c || value.find_first_of("eE") != std::string_view::npos)
                fieldError(ErrorKind::Conversion, fileName, f,
                           std::string("\""_cp) + std::string(value) + "\" не является числом"_cp.data());
            std::string number = *c;
            const std::size_t point = number.find('.');
            std::string frac = point == std::string::npos ? "" : number.substr(point + 1);
            std::string whole = number.substr(0, point);
            if (static_cast<int>(frac.size()) > f.decimals)
                fieldError(ErrorKind::InvalidArgument, fileName, f,
                           std::string("у числа "_cp) + number + " больше знаков после точки, чем в поле ("_cp.data() +
                               std::to_string(f.decimals) + ")");
            if (f.decimals > 0)
                whole += "." + frac + std::string(static_cast<std::size_t>(f.decimals) - frac.size(), '0');
            if (whole.size() > width)
                fieldError(ErrorKind::InvalidArgument, fileName, f,
                           std::string("число "_cp) + number + " не помещается в поле ширины "_cp.data() +
                               std::to_string(width));
            return std::string(width - whole.size(), ' ') + whole;
        }
        case 'D': {
            const std::string_view s = trimBlanks(value);
            if (s.empty()) return std::string(width, ' ');
            int d = 0, m = 0, y = 0;
            char tail = 0;
            Date date;
            if (s.size() == 10 && std::sscanf(std::string(s).c_str(), "%2d.%2d.%4d%c", &d, &m, &y, &tail) == 3)
                date = Date::fromYmd(y, m, d);
            if (date.empty())
                fieldError(ErrorKind::Conversion, fileName, f,
                           std::string("\""_cp) + std::string(value) + "\" не является датой дд.мм.гггг"_cp.data());
            return dbfEncodeDate(f, date, fileName);
        }
        case 'L': {
            const std::string_view s = trimBlanks(value);
            if (s.empty()) return std::string(width, ' ');
            if (s == "T" || s == "t" || s == "Y" || s == "y") return "T" + std::string(width - 1, ' ');
            if (s == "F" || s == "f" || s == "N" || s == "n") return "F" + std::string(width - 1, ' ');
            fieldError(ErrorKind::Conversion, fileName, f,
                       std::string("\""_cp) + std::string(value) + "\" не является логическим значением"_cp.data());
        }
        case 'I': {
            const auto v = toInt32(trimBlanks(value));
            if (!v)
                fieldError(ErrorKind::Conversion, fileName, f,
                           std::string("\""_cp) + std::string(value) + "\" не является целым числом"_cp.data());
            return dbfEncodeInteger(f, *v, fileName);
        }
        default:
            fieldError(ErrorKind::Unsupported, fileName, f,
                       std::string("запись в поле типа "_cp) + f.type + " не поддерживается"_cp.data());
    }
}

std::string dbfEncodeInteger(const DbfField& f, std::int32_t value, const std::string& fileName) {
    switch (f.type) {
        case 'N':
        case 'F':
        case 'C':
            return dbfEncodeText(f, std::to_string(value), CodePage::Cp1251, fileName);
        case 'I': {
            if (f.length != 4 || f.dbase7) break;
            std::string b(4, '\0');
            const auto u = static_cast<std::uint32_t>(value);
            for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>(u >> (8 * i) & 0xFF);
            return b;
        }
        default:
            break;
    }
    fieldError(ErrorKind::Unsupported, fileName, f,
               std::string("поле типа "_cp) + f.type + " не принимает целое число"_cp.data());
}

std::string dbfEncodeDate(const DbfField& f, Date value, const std::string& fileName) {
    if (f.type != 'D' || f.length != 8)
        fieldError(ErrorKind::Unsupported, fileName, f,
                   std::string("поле типа "_cp) + f.type + " не принимает дату"_cp.data());
    if (value.empty()) return std::string(8, ' ');
    int y, m, d;
    value.ymd(y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

}  // namespace strnum
