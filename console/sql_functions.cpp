#include "console/sql_functions.h"

#include <sqlite3.h>

#include <cstring>
#include <vector>

namespace strnum::console {

namespace {

// One character of a UTF-8 text; a byte that starts no character stands for itself as a
// code point of its own (0xDC00 + byte), so that comparisons stay exact.
struct Char {
    char32_t cp;
    std::size_t length;
};

Char decode(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {b0, 1};
    const std::size_t len = (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return {0xDC00u + b0, 1};
    char32_t cp = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return {0xDC00u + b0, 1};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, len};
}

void encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <char32_t (*Fold)(char32_t)>
std::string mapText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const Char c = decode(s, i);
        if (c.cp >= 0xDC80 && c.cp <= 0xDCFF && c.length == 1)
            out += s[i];  // not a character: kept as it is
        else
            encode(Fold(c.cp), out);
        i += c.length;
    }
    return out;
}

// The order of NOCASE: letters without case, Ё after Е.
std::uint32_t noCaseWeight(char32_t c) {
    const char32_t l = foldLower(c);
    if (l == 0x0451) return 0x0435u * 2 + 1;
    return static_cast<std::uint32_t>(l) * 2;
}

// A LIKE pattern made ready: folded characters and the two wildcards.
constexpr char32_t kAnyOne = 0x110000;
constexpr char32_t kAnyRun = 0x110001;

struct Pattern {
    std::string source;
    char32_t escape = 0;
    std::vector<char32_t> items;
    bool prefixOnly = false;  // literals then one trailing %
};

Pattern compile(std::string_view pattern, char32_t escape) {
    Pattern p{std::string(pattern), escape, {}, false};
    for (std::size_t i = 0; i < pattern.size();) {
        Char c = decode(pattern, i);
        i += c.length;
        if (escape && c.cp == escape && i < pattern.size()) {
            c = decode(pattern, i);
            i += c.length;
            p.items.push_back(foldLower(c.cp));
        } else if (c.cp == '%') {
            if (p.items.empty() || p.items.back() != kAnyRun) p.items.push_back(kAnyRun);
        } else if (c.cp == '_') {
            p.items.push_back(kAnyOne);
        } else {
            p.items.push_back(foldLower(c.cp));
        }
    }
    std::size_t wild = 0;
    for (char32_t c : p.items) wild += (c == kAnyOne || c == kAnyRun);
    p.prefixOnly = wild == 1 && !p.items.empty() && p.items.back() == kAnyRun;
    return p;
}

bool matches(const Pattern& p, std::string_view text) {
    const std::vector<char32_t>& pat = p.items;
    if (p.prefixOnly) {
        std::size_t i = 0;
        for (std::size_t k = 0; k + 1 < pat.size(); ++k) {
            if (i >= text.size()) return false;
            const Char c = decode(text, i);
            if (foldLower(c.cp) != pat[k]) return false;
            i += c.length;
        }
        return true;
    }
    thread_local std::vector<char32_t> t;
    t.clear();
    for (std::size_t i = 0; i < text.size();) {
        const Char c = decode(text, i);
        t.push_back(foldLower(c.cp));
        i += c.length;
    }
    std::size_t pi = 0, ti = 0, star = std::string::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < pat.size() && (pat[pi] == kAnyOne || pat[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < pat.size() && pat[pi] == kAnyRun) {
            star = pi++;
            mark = ti;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < pat.size() && pat[pi] == kAnyRun) ++pi;
    return pi == pat.size();
}

std::string_view textOf(sqlite3_value* v) {
    const auto* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return s ? std::string_view(s, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void caseFunction(sqlite3_context* ctx, int, sqlite3_value** argv, std::string (*map)(std::string_view)) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string r = map(textOf(argv[0]));
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void upperFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) { caseFunction(ctx, argc, argv, utf8Upper); }
void lowerFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) { caseFunction(ctx, argc, argv, utf8Lower); }

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    const std::string_view pattern = textOf(argv[0]);
    if (pattern.size() > static_cast<std::size_t>(sqlite3_limit(sqlite3_context_db_handle(ctx),
                                                                SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))) {
        sqlite3_result_error(ctx, "слишком длинный образец LIKE", -1);
        return;
    }
    char32_t escape = 0;
    if (argc == 3) {
        const std::string_view e = textOf(argv[2]);
        if (e.empty() || decode(e, 0).length != e.size()) {
            sqlite3_result_error(ctx, "ESCAPE в LIKE должен быть одним знаком", -1);
            return;
        }
        escape = decode(e, 0).cp;
    }
    auto* compiled = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!compiled || compiled->source != pattern || compiled->escape != escape) {
        compiled = new Pattern(compile(pattern, escape));
        sqlite3_set_auxdata(ctx, 0, compiled, [](void* p) { delete static_cast<Pattern*>(p); });
        compiled = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!compiled) {
            // Not kept (the pattern is not a constant): compile for this call only.
            const Pattern once = compile(pattern, escape);
            sqlite3_result_int(ctx, matches(once, textOf(argv[1])) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, matches(*compiled, textOf(argv[1])) ? 1 : 0);
}

int noCaseCollation(void*, int na, const void* a, int nb, const void* b) {
    return compareNoCase(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(na)),
                         std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(nb)));
}

int dateCollation(void*, int na, const void* a, int nb, const void* b) {
    return compareAsDates(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(na)),
                          std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(nb)));
}

bool digits(std::string_view s, std::size_t from, std::size_t count, int& value) {
    if (from + count > s.size()) return false;
    value = 0;
    for (std::size_t k = from; k < from + count; ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
        value = value * 10 + (s[k] - '0');
    }
    return true;
}

}  // namespace

char32_t foldLower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return c + 32;
    if (c >= 0x0410 && c <= 0x042F) return c + 32;
    if (c >= 0x0400 && c <= 0x040F) return c + 80;
    if (((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x04FF)) &&
        c % 2 == 0)
        return c + 1;
    if (c >= 0x04C1 && c <= 0x04CE && c % 2 == 1) return c + 1;
    if (c == 0x04C0) return 0x04CF;
    return c;
}

char32_t foldUpper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return c - 32;
    if (c >= 0x0430 && c <= 0x044F) return c - 32;
    if (c >= 0x0450 && c <= 0x045F) return c - 80;
    if (((c >= 0x0461 && c <= 0x0481) || (c >= 0x048B && c <= 0x04BF) || (c >= 0x04D1 && c <= 0x04FF)) &&
        c % 2 == 1)
        return c - 1;
    if (c >= 0x04C2 && c <= 0x04CE && c % 2 == 0) return c - 1;
    if (c == 0x04CF) return 0x04C0;
    return c;
}

std::string utf8Lower(std::string_view s) { return mapText<foldLower>(s); }
std::string utf8Upper(std::string_view s) { return mapText<foldUpper>(s); }

bool likeMatches(std::string_view pattern, std::string_view text, char32_t escape) {
    return matches(compile(pattern, escape), text);
}

std::optional<Date> sqlDate(std::string_view s) {
    int d = 0, m = 0, y = 0;
    if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
        if (!digits(s, 0, 4, y) || !digits(s, 5, 2, m) || !digits(s, 8, 2, d)) return std::nullopt;
    } else {
        const std::size_t p1 = s.find('.');
        const std::size_t p2 = p1 == std::string_view::npos ? p1 : s.find('.', p1 + 1);
        if (p2 == std::string_view::npos || p1 < 1 || p1 > 2 || p2 - p1 - 1 < 1 || p2 - p1 - 1 > 2 ||
            s.size() - p2 - 1 != 4)
            return std::nullopt;
        if (!digits(s, 0, p1, d) || !digits(s, p1 + 1, p2 - p1 - 1, m) || !digits(s, p2 + 1, 4, y))
            return std::nullopt;
    }
    const Date date = Date::fromYmd(y, m, d);
    if (date.empty()) return std::nullopt;
    return date;
}

int compareAsDates(std::string_view a, std::string_view b) {
    const auto da = sqlDate(a), db = sqlDate(b);
    if (da && db) return da->serial() < db->serial() ? -1 : da->serial() > db->serial() ? 1 : 0;
    if (da) return -1;
    if (db) return 1;
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int compareNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const Char ca = decode(a, i), cb = decode(b, j);
        if (ca.cp != cb.cp) {
            const std::uint32_t wa = noCaseWeight(ca.cp), wb = noCaseWeight(cb.cp);
            if (wa != wb) return wa < wb ? -1 : 1;
        }
        i += ca.length;
        j += cb.length;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool registerRussianText(sqlite3* db) {
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    bool ok = sqlite3_create_function_v2(db, "upper", 1, flags, nullptr, upperFunction, nullptr, nullptr, nullptr) ==
              SQLITE_OK;
    ok = ok && sqlite3_create_function_v2(db, "lower", 1, flags, nullptr, lowerFunction, nullptr, nullptr,
                                          nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
                   SQLITE_OK;
    ok = ok && sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr) ==
                   SQLITE_OK;
    ok = ok && sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, noCaseCollation, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_collation_v2(db, kDateCollation, SQLITE_UTF8, nullptr, dateCollation, nullptr) ==
                   SQLITE_OK;
    return ok;
}

}  // namespace strnum::console
