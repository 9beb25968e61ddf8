#include "console/sql_text.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/paths.h"

namespace strnum::console {

namespace fs = std::filesystem;
using namespace strnum::literals;

namespace {

enum class Kind { Space, Comment, String, Quoted, Word, Number, Punct };

struct Token {
    Kind kind;
    std::size_t from, to;
};

bool wordStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool wordChar(unsigned char c) { return wordStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }

// SQLite's tokens, as far as telling names from literals and comments needs.
std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    const std::size_t n = s.size();
    std::size_t i = 0;
    const auto at = [&](std::size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(s[k]) : 0; };
    while (i < n) {
        const std::size_t from = i;
        const unsigned char c = at(i);
        Kind kind = Kind::Punct;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            while (i < n &&
                   (at(i) == ' ' || at(i) == '\t' || at(i) == '\n' || at(i) == '\r' || at(i) == '\f' || at(i) == '\v'))
                ++i;
            kind = Kind::Space;
        } else if (c == '-' && at(i + 1) == '-') {
            while (i < n && at(i) != '\n') ++i;
            kind = Kind::Comment;
        } else if (c == '/' && at(i + 1) == '*') {
            const std::size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
            kind = Kind::Comment;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : static_cast<char>(c);
            ++i;
            while (i < n) {
                if (s[i] == close) {
                    if (close != ']' && at(i + 1) == static_cast<unsigned char>(close)) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kind = c == '\'' ? Kind::String : Kind::Quoted;
        } else if (digit(c) || (c == '.' && digit(at(i + 1)))) {
            while (i < n && (wordChar(at(i)) || at(i) == '.')) {
                const unsigned char e = at(i);
                ++i;
                if ((e == 'e' || e == 'E') && (at(i) == '+' || at(i) == '-') && digit(at(i + 1))) ++i;
            }
            kind = Kind::Number;
        } else if (wordStart(c)) {
            while (i < n && wordChar(at(i))) ++i;
            kind = Kind::Word;
        } else {
            ++i;
        }
        out.push_back(Token{kind, from, i});
    }
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

bool wordIs(std::string_view word, std::string_view lower) { return asciiLower(word) == lower; }

bool isKeyword(std::string_view word) { return sqlite3_keyword_check(word.data(), static_cast<int>(word.size())) != 0; }

// The inner text of a quoted name.
std::string dequote(std::string_view q) {
    if (q.size() < 2) return std::string(q.substr(std::min<std::size_t>(1, q.size())));
    const char open = q.front();
    const char close = open == '[' ? ']' : open;
    std::string_view inner = q.substr(1);
    if (!inner.empty() && inner.back() == close) inner.remove_suffix(1);
    std::string r;
    for (std::size_t k = 0; k < inner.size(); ++k) {
        r += inner[k];
        if (close != ']' && inner[k] == close && k + 1 < inner.size() && inner[k + 1] == close) ++k;
    }
    return r;
}

std::string sqlQuoted(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        r += c;
        if (c == '"') r += '"';
    }
    return r + '"';
}

enum class Extension { None, Dbf, Db, Other };

std::size_t lastSeparator(std::string_view path) {
    const std::size_t k = path.find_last_of("/\\");
    return k == std::string_view::npos ? 0 : k + 1;
}

Extension extensionOf(std::string_view path) {
    const std::string_view name = path.substr(lastSeparator(path));
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return Extension::None;
    const std::string ext = asciiLower(name.substr(dot + 1));
    return ext == "dbf" ? Extension::Dbf : ext == "db" ? Extension::Db : Extension::Other;
}

std::string stemOf(std::string_view path) {
    std::string_view name = path.substr(lastSeparator(path));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name);
}

// The file a written name stands for, found as the tables' own programs found it.
std::optional<fs::path> locate(std::string_view written, const fs::path& directory, const EngineSettings& settings) {
    const std::size_t cut = lastSeparator(written);
    const std::string_view file = written.substr(cut);
    if (file.empty()) return std::nullopt;
    fs::path base = directory;
    if (cut > 0) {
        const std::string_view dirPart = written.substr(0, cut);
        const auto dir1251 = utf8To1251(dirPart);
        if (!dir1251) return std::nullopt;
        const bool absolute =
            dirPart.front() == '/' || dirPart.front() == '\\' ||
            (dirPart.size() >= 2 && dirPart[1] == ':' && wordStart(static_cast<unsigned char>(dirPart[0])));
        base = resolveDirectory(absolute ? *dir1251 : pathTo1251(directory) + "/" + *dir1251, settings);
        if (base.empty()) return std::nullopt;
    }
    return findInDirectory(base, file);
}

class Rewriter {
public:
    Rewriter(std::string_view sql, const fs::path& directory, const EngineSettings& settings)
        : sql_(sql), directory_(directory), settings_(settings), tokens_(tokenize(sql)) {}

    RewrittenSql run() {
        std::vector<bool> inFrom{false};
        const Token* prev = nullptr;  // the previous significant token
        for (std::size_t j = 0; j < tokens_.size();) {
            const Token& t = tokens_[j];
            if (t.kind == Kind::Space || t.kind == Kind::Comment) {
                copy(t.from, t.to);
                ++j;
                continue;
            }
            const bool tablePlace =
                prev && ((prev->kind == Kind::Word && (wordIs(text(*prev), "from") || wordIs(text(*prev), "join"))) ||
                         (text(*prev) == "," && inFrom.back()));
            const std::size_t used = reference(j, tablePlace);
            if (used == 0) {
                copy(t.from, t.to);
                trackLevel(t, inFrom);
                prev = &t;
                ++j;
            } else {
                prev = &tokens_[j + used - 1];
                j += used;
            }
        }
        return std::move(out_);
    }

private:
    std::string_view text(const Token& t) const { return sql_.substr(t.from, t.to - t.from); }

    // Parenthesis levels and FROM lists, for telling where a table stands.
    void trackLevel(const Token& t, std::vector<bool>& inFrom) const {
        const std::string_view s = text(t);
        if (t.kind == Kind::Punct && s == "(") {
            inFrom.push_back(false);
        } else if (t.kind == Kind::Punct && s == ")") {
            if (inFrom.size() > 1) inFrom.pop_back();
        } else if (t.kind == Kind::Word) {
            const std::string w = asciiLower(s);
            if (w == "from")
                inFrom.back() = true;
            else if (w == "select" || w == "where" || w == "group" || w == "order" || w == "having" || w == "limit" ||
                     w == "window" || w == "union" || w == "intersect" || w == "except" || w == "values" ||
                     w == "set" || w == "returning")
                inFrom.back() = false;
        }
    }

    const Token* at(std::size_t j) const { return j < tokens_.size() ? &tokens_[j] : nullptr; }
    bool adjacentPunct(std::size_t j, std::size_t end, char c) const {
        const Token* t = at(j);
        return t && t->from == end && t->kind == Kind::Punct && t->to - t->from == 1 && sql_[t->from] == c;
    }
    const Token* nextSignificant(std::size_t j) const {
        for (; j < tokens_.size(); ++j)
            if (tokens_[j].kind != Kind::Space && tokens_[j].kind != Kind::Comment) return &tokens_[j];
        return nullptr;
    }
    bool aliasFollows(std::size_t j) const {
        const Token* t = nextSignificant(j);
        if (!t) return false;
        if (t->kind == Kind::Quoted || t->kind == Kind::String) return true;
        if (t->kind != Kind::Word) return false;
        return wordIs(text(*t), "as") || !isKeyword(text(*t));
    }

    // Tokens from j that name a table: how many were taken (0: none).
    std::size_t reference(std::size_t j, bool tablePlace) {
        const Token& t = tokens_[j];
        std::string written;  // the name as a path
        std::size_t used = 1;
        bool withExtension = false;
        if (t.kind == Kind::Word) {
            const Token* dot = at(j + 1);
            const Token* ext = at(j + 2);
            // Not the second part of a dotted name (an alias's field).
            const bool afterDot = j > 0 && tokens_[j - 1].to == t.from && text(tokens_[j - 1]) == ".";
            const std::string dotted = ext ? std::string(text(t)) + "." + std::string(text(*ext)) : std::string();
            const Extension e = dotted.empty() ? Extension::None : extensionOf(dotted);
            if (!afterDot && adjacentPunct(j + 1, t.to, '.') && ext && ext->kind == Kind::Word &&
                ext->from == dot->to && (e == Extension::Dbf || e == Extension::Db)) {
                written = dotted;
                used = 3;
                withExtension = true;
            } else if (tablePlace && !afterDot && !isKeyword(text(t))) {
                const Token* after = nextSignificant(j + 1);
                if (after && after->kind == Kind::Punct && (text(*after) == "." || text(*after) == "(")) return 0;
                written = std::string(text(t));
            } else {
                return 0;
            }
        } else if (t.kind == Kind::Quoted) {
            written = dequote(text(t));
            const Extension e = extensionOf(written);
            withExtension = e == Extension::Dbf || e == Extension::Db;
            if (e == Extension::Other || written.empty()) return 0;
            if (!withExtension && !tablePlace) return 0;
        } else {
            return 0;
        }

        const std::size_t end = tokens_[j + used - 1].to;
        const bool qualifier = adjacentPunct(j + used, end, '.');
        if (qualifier) {
            if (!withExtension) return 0;  // an ordinary table or alias name
            replace(t.from, end, sqlQuoted(stemOf(written)));
            return used;
        }

        const Extension e = extensionOf(written);
        std::optional<fs::path> file;
        bool paradox = e == Extension::Db;
        if (withExtension) {
            file = locate(written, directory_, settings_);
            const bool always = e == Extension::Dbf && t.kind == Kind::Word;
            if (!file && !tablePlace && !always) return 0;
        } else {
            // A name without extension is a Paradox table; a dBASE one of that name will do.
            file = locate(written + ".db", directory_, settings_);
            paradox = file.has_value();
            if (!file) file = locate(written + ".dbf", directory_, settings_);
            if (!file) return 0;  // a name SQLite knows (a subquery's, a common table's) or does not
        }
        if (!file) {
            std::string m("Таблица "_cp);
            m += utf8To1251(written).value_or(std::string(written));
            m += " не найдена в каталоге "_cp;
            m += pathTo1251(directory_);
            throwError(ErrorKind::NotFound, std::move(m));
        }

        std::string name = written;
        const std::string key = asciiLower(name);
        auto it = std::find_if(out_.tables.begin(), out_.tables.end(),
                               [&](const NamedTable& n) { return asciiLower(n.sqlName) == key; });
        if (it == out_.tables.end())
            out_.tables.push_back(NamedTable{name, written, *file, paradox});
        else
            name = it->sqlName;

        std::string replacement = sqlQuoted(name);
        if (withExtension && tablePlace && !aliasFollows(j + used)) replacement += " AS " + sqlQuoted(stemOf(written));
        replace(t.from, end, replacement);
        return used;
    }

    void copy(std::size_t from, std::size_t to) {
        if (from == to) return;
        out_.pieces.push_back({out_.text.size(), out_.text.size() + (to - from), from, true});
        out_.text.append(sql_.substr(from, to - from));
    }
    void replace(std::size_t from, std::size_t to, const std::string& with) {
        (void)to;
        out_.pieces.push_back({out_.text.size(), out_.text.size() + with.size(), from, false});
        out_.text += with;
    }

    std::string_view sql_;
    const fs::path& directory_;
    const EngineSettings& settings_;
    std::vector<Token> tokens_;
    RewrittenSql out_;
};

}  // namespace

std::size_t RewrittenSql::writtenOffset(std::size_t offset) const {
    for (const Piece& p : pieces)
        if (offset >= p.from && offset < p.to) return p.copied ? p.writtenFrom + (offset - p.from) : p.writtenFrom;
    if (pieces.empty()) return offset;
    const Piece& last = pieces.back();
    return last.writtenFrom + (last.copied ? last.to - last.from : 0);
}

std::string placeInText(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    int line = 1, column = 1;
    for (std::size_t k = 0; k < offset; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80 && c != '\r') {
            ++column;
        }
    }
    return std::string("строка "_cp) + std::to_string(line) + std::string(", позиция "_cp) + std::to_string(column);
}

RewrittenSql rewriteTableNames(std::string_view sql, const fs::path& directory, const EngineSettings& settings) {
    return Rewriter(sql, directory, settings).run();
}

}  // namespace strnum::console
