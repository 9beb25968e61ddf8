#include "console/table_module.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "base/ru.h"
#include "base/text.h"
#include "console/row_source.h"
#include "console/sql_functions.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"

namespace strnum::console {

namespace fs = std::filesystem;
using namespace strnum::literals;

std::shared_ptr<Table> TableShelf::paradox(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    const auto modified = fs::last_write_time(file, ec);
    auto it = kept_.find(file);
    if (it != kept_.end() && !ec && it->second.size == size && it->second.modified == modified) return it->second.table;
    if (it != kept_.end()) kept_.erase(it);
    std::shared_ptr<Table> table = openParadoxTable(file, settings_);
    if (!ec) kept_[file] = Kept{size, modified, table};
    return table;
}

// The values of one dBASE column, gathered at its second lookup: key text -> record numbers.
using Gathered = std::unordered_map<std::string, std::vector<std::int64_t>>;

struct TableModule::Source {
    NamedTable named;
    std::string name1251;  // the file name, for messages
    EngineSettings settings;
    std::shared_ptr<Table> kept;  // a Paradox table: read once, a reading cursor per SQLite cursor
    std::vector<FieldInfo> fields;
    std::vector<std::string> columns;  // as declared (UTF-8)
    std::vector<bool> textMemo;
    std::vector<bool> sharedName;  // per column: another field has its field's name
    double rows = 1;
    bool uniqueFirstField = false;  // a Paradox table keyed on its first field alone
    std::vector<int> lookups;       // per column: lookups asked so far
    std::vector<std::unique_ptr<Gathered>> gathered;
};

namespace {

struct VTab {
    sqlite3_vtab base;
    TableModule* module;
    TableModule::Source* source;
};

// What a lookup value means for a column.
enum class Lookup { Key, Nothing, Scan };

struct VCursor {
    sqlite3_vtab_cursor base;
    TableModule::Source* source = nullptr;
    std::unique_ptr<Table> table;
    enum class Mode { Scan, Run, Hits, Nothing } mode = Mode::Scan;
    int column = -1;
    KeyValue key;
    const std::vector<std::int64_t>* hits = nullptr;
    std::size_t hit = 0;
    bool eof = true;
    int prefixColumn = -1;  // a LIKE's field, or -1
    std::string prefix;     // its pattern's start, folded (1251)
    std::string cell, utf8;
};

// 1251 bytes folded as the console's LIKE folds their characters.
const std::array<unsigned char, 256> kFold1251 = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
        t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b);
        const char32_t lower = foldLower(cp1251CodePoint(static_cast<unsigned char>(b)));
        for (int o = 0; o < 256; ++o)
            if (cp1251CodePoint(static_cast<unsigned char>(o)) == lower)
                t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(o);
    }
    return t;
}();

std::string foldedCp1251(std::string_view s) {
    std::string r(s);
    for (char& ch : r) ch = static_cast<char>(kFold1251[static_cast<unsigned char>(ch)]);
    return r;
}

bool searchable(const TableModule::Source& s, int c) {
    if (c < 0 || c >= static_cast<int>(s.fields.size())) return false;
    if (s.named.paradox && s.sharedName[static_cast<std::size_t>(c)]) return false;
    const FieldInfo& f = s.fields[static_cast<std::size_t>(c)];
    switch (f.kind) {
        case FieldKind::Text:
        case FieldKind::Integer:
        case FieldKind::Date:
            return true;
        case FieldKind::Number:
            return !s.named.paradox && f.decimals == 0;
        default:
            return false;
    }
}

std::string_view valueText(sqlite3_value* v) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return t ? std::string_view(t, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

// The value a lookup on field f asks for, in the form the table compares (text in 1251,
// integer, date); Nothing when no record can equal it, Scan when that is not sure.
Lookup lookupKey(const FieldInfo& f, sqlite3_value* v, KeyValue& key) {
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) return Lookup::Nothing;
    switch (f.kind) {
        case FieldKind::Text: {
            if (type == SQLITE_BLOB) return Lookup::Nothing;
            auto t = utf8To1251(valueText(v));
            if (!t) return Lookup::Nothing;  // the tables hold no such character
            key = std::move(*t);
            return Lookup::Key;
        }
        case FieldKind::Date: {
            if (type != SQLITE_TEXT) return Lookup::Nothing;
            const auto d = sqlDate(valueText(v));
            if (!d) return Lookup::Nothing;
            key = *d;
            return Lookup::Key;
        }
        case FieldKind::Integer:
        case FieldKind::Number: {
            std::int64_t n = 0;
            if (type == SQLITE_INTEGER) {
                n = sqlite3_value_int64(v);
            } else if (type == SQLITE_FLOAT) {
                const double d = sqlite3_value_double(v);
                if (d != std::floor(d) || std::fabs(d) > 9e15) return Lookup::Nothing;
                n = static_cast<std::int64_t>(d);
            } else {
                return Lookup::Scan;  // a text: SQLite's own conversion decides
            }
            if (n < INT32_MIN || n > INT32_MAX) {
                if (f.kind == FieldKind::Integer) return Lookup::Nothing;
                key = std::to_string(n);
                return Lookup::Key;
            }
            key = static_cast<std::int32_t>(n);
            return Lookup::Key;
        }
        default:
            return Lookup::Scan;
    }
}

// A gathered dBASE column's key for a record or a lookup value.
std::string gatheredKey(const KeyValue& k) {
    if (const auto* s = std::get_if<std::string>(&k)) return *s;
    if (const auto* i = std::get_if<std::int32_t>(&k)) return std::to_string(*i);
    return std::get<Date>(k).text();
}

bool currentEquals(const Table& t, int c, const KeyValue& key) {
    if (const auto* s = std::get_if<std::string>(&key)) return t.text(c) == *s;
    if (const auto* i = std::get_if<std::int32_t>(&key)) return !t.isEmpty(c) && t.text(c) == std::to_string(*i);
    return t.date(c) == std::get<Date>(key);
}

std::string utf8Of(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }

}  // namespace

struct ModuleAccess {
    static int fail(TableModule& m, sqlite3_vtab* vtab, const std::exception& e) {
        const auto* err = dynamic_cast<const Error*>(&e);
        m.failure_ = err ? *err : Error(ErrorKind::Io, std::string(e.what()));
        const std::string text = utf8Of(m.failure_->text());
        sqlite3_free(vtab->zErrMsg);
        vtab->zErrMsg = sqlite3_mprintf("%s", text.c_str());
        return SQLITE_ERROR;
    }
    static TableModule& module(sqlite3_vtab_cursor* c) { return *reinterpret_cast<VTab*>(c->pVtab)->module; }

    static int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
        auto* m = static_cast<TableModule*>(aux);
        const std::size_t index = argc > 3 ? static_cast<std::size_t>(std::atoi(argv[3])) : m->sources_.size();
        if (index >= m->sources_.size()) {
            *err = sqlite3_mprintf("%s", "таблицы объявляет только консоль");
            return SQLITE_ERROR;
        }
        TableModule::Source& s = *m->sources_[index];
        std::string schema = "CREATE TABLE x(";
        for (std::size_t k = 0; k < s.fields.size(); ++k) {
            if (k) schema += ", ";
            schema += '"';
            for (char ch : s.columns[k]) schema += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            schema += "\" ";
            const FieldInfo& f = s.fields[k];
            switch (f.kind) {
                case FieldKind::Number:
                    schema += "NUMERIC";
                    break;
                case FieldKind::Integer:
                    schema += "INTEGER";
                    break;
                case FieldKind::Date:
                    schema += "TEXT COLLATE ";
                    schema += kDateCollation;
                    break;
                case FieldKind::Memo:
                    schema += s.textMemo[k] ? "TEXT" : "BLOB";
                    break;
                default:
                    schema += "TEXT";
            }
        }
        schema += ")";
        const int rc = sqlite3_declare_vtab(db, schema.c_str());
        if (rc != SQLITE_OK) {
            *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
            return rc;
        }
        auto* v = new VTab{};
        v->module = m;
        v->source = &s;
        *out = &v->base;
        return SQLITE_OK;
    }
    // Not the same function as connect: the module has no tables of its own name.
    static int create(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
        return connect(db, aux, argc, argv, out, err);
    }
    static int disconnect(sqlite3_vtab* v) {
        delete reinterpret_cast<VTab*>(v);
        return SQLITE_OK;
    }

    static int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
        const TableModule::Source& s = *reinterpret_cast<VTab*>(vtab)->source;
        int chosen = -1;
        bool chosenIsKey = false;
        for (int i = 0; i < info->nConstraint; ++i) {
            const auto& c = info->aConstraint[i];
            if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || !searchable(s, c.iColumn)) continue;
            const FieldKind kind = s.fields[static_cast<std::size_t>(c.iColumn)].kind;
            const char* coll = sqlite3_vtab_collation(info, i);
            if (kind == FieldKind::Text && coll && sqlite3_stricmp(coll, "BINARY") != 0) continue;
            if (kind == FieldKind::Date && coll && sqlite3_stricmp(coll, kDateCollation) != 0) continue;
            const bool key = s.named.paradox && c.iColumn == 0;
            if (chosen < 0 || (key && !chosenIsKey)) {
                chosen = i;
                chosenIsKey = key;
            }
        }
        // A LIKE on a character field: records whose start cannot match are passed over
        // before SQLite sees them.
        int like = -1;
        for (int i = 0; i < info->nConstraint && like < 0; ++i) {
            const auto& c = info->aConstraint[i];
            if (c.usable && c.op == SQLITE_INDEX_CONSTRAINT_LIKE && c.iColumn >= 0 &&
                s.fields[static_cast<std::size_t>(c.iColumn)].kind == FieldKind::Text)
                like = i;
        }
        int argv = 0;
        info->idxNum = 0;
        if (chosen >= 0) {
            info->aConstraintUsage[chosen].argvIndex = ++argv;
            info->aConstraintUsage[chosen].omit = 0;  // SQLite checks every row given
            info->idxNum = info->aConstraint[chosen].iColumn + 1;
        }
        if (like >= 0) {
            info->aConstraintUsage[like].argvIndex = ++argv;
            info->aConstraintUsage[like].omit = 0;
            info->idxNum |= (info->aConstraint[like].iColumn + 1) << 16;
        }
        if (chosen < 0) {
            info->estimatedCost = like >= 0 ? s.rows * 0.9 : s.rows;
            info->estimatedRows = static_cast<sqlite3_int64>(like >= 0 ? s.rows / 4 : s.rows);
            return SQLITE_OK;
        }
        if (chosenIsKey) {
            info->estimatedCost = 2;
            info->estimatedRows = 1;
            if (s.uniqueFirstField) info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
        } else {
            info->estimatedCost = std::min(s.rows, 25.0);
            info->estimatedRows = static_cast<sqlite3_int64>(std::min(s.rows, 10.0));
        }
        return SQLITE_OK;
    }

    static int open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
        auto* v = reinterpret_cast<VTab*>(vtab);
        try {
            auto c = std::make_unique<VCursor>();
            c->source = v->source;
            c->table = v->source->kept && v->source->kept->keySearch()
                           ? v->source->kept->keySearch()->cursor()
                           : openDbfTable(v->source->named.file, v->source->settings);
            if (!c->table) c->table = openParadoxTable(v->source->named.file, v->source->settings);
            *out = &c.release()->base;
            return SQLITE_OK;
        } catch (const std::exception& e) {
            return fail(*v->module, vtab, e);
        }
    }
    static int close(sqlite3_vtab_cursor* c) {
        delete reinterpret_cast<VCursor*>(c);
        return SQLITE_OK;
    }

    // dBASE: the hits of the current lookup, from the first one still there.
    static void settleHits(VCursor& c) {
        while (c.hit < c.hits->size() && !c.table->goToRecord((*c.hits)[c.hit])) ++c.hit;
        c.eof = c.hit >= c.hits->size();
    }

    static void scan(VCursor& c) {
        if (c.source->named.paradox && !c.table->indexFieldNames().empty()) c.table->setIndexFieldNames("");
        c.table->first();
        c.mode = VCursor::Mode::Scan;
        c.eof = c.table->eof();
    }

    static const Gathered& gather(TableModule::Source& s, int column) {
        auto& g = s.gathered[static_cast<std::size_t>(column)];
        if (g) return *g;
        auto values = std::make_unique<Gathered>();
        auto t = openDbfTable(s.named.file, s.settings);
        std::string key;
        for (t->first(); !t->eof(); t->next()) {
            t->textInto(column, key);
            (*values)[key].push_back(t->recordNumber());
        }
        g = std::move(values);
        return *g;
    }

    static int filter(sqlite3_vtab_cursor* cur, int idxNum, const char*, int argc, sqlite3_value** argv) {
        auto& c = *reinterpret_cast<VCursor*>(cur);
        try {
            position(c, idxNum & 0xFFFF, argc, argv);
            c.prefixColumn = -1;
            const int like = idxNum >> 16;
            const int likeArg = (idxNum & 0xFFFF) ? 1 : 0;
            if (like > 0 && argc > likeArg && sqlite3_value_type(argv[likeArg]) == SQLITE_TEXT) {
                // The pattern's start up to its first wildcard, its letters without case.
                std::string_view pattern = valueText(argv[likeArg]);
                pattern = pattern.substr(0, pattern.find_first_of("%_"));
                if (auto start = utf8To1251(pattern)) {
                    c.prefix = foldedCp1251(*start);
                    if (!c.prefix.empty()) c.prefixColumn = like - 1;
                } else {
                    c.eof = true;  // a character no table text holds
                }
            }
            settle(c);
            return SQLITE_OK;
        } catch (const std::exception& e) {
            return fail(module(cur), cur->pVtab, e);
        }
    }

    // Whether the current record can match the LIKE prefix.
    static bool prefixFits(VCursor& c) {
        if (c.prefixColumn < 0) return true;
        c.table->textInto(c.prefixColumn, c.cell);
        if (c.cell.size() < c.prefix.size()) return false;
        for (std::size_t k = 0; k < c.prefix.size(); ++k)
            if (kFold1251[static_cast<unsigned char>(c.cell[k])] != static_cast<unsigned char>(c.prefix[k]))
                return false;
        return true;
    }
    static void settle(VCursor& c) {
        while (!c.eof && !prefixFits(c)) advance(c);
    }

    // Stands on the first record for a scan (column 0) or a lookup on column-1.
    static void position(VCursor& c, int idxNum, int argc, sqlite3_value** argv) {
        {
            TableModule::Source& s = *c.source;
            if (idxNum <= 0 || argc < 1) {
                scan(c);
                return;
            }
            const int column = idxNum - 1;
            const FieldInfo& f = s.fields[static_cast<std::size_t>(column)];
            const Lookup l = lookupKey(f, argv[0], c.key);
            if (l == Lookup::Nothing) {
                c.mode = VCursor::Mode::Nothing;
                c.eof = true;
                return;
            }
            const bool firstOrder = s.named.paradox && column == 0;
            // A first lookup of a column reads the table as a scan would; gathering the
            // column's values (or building its order) pays only when it is asked again.
            const int asked = s.lookups[static_cast<std::size_t>(column)]++;
            if (l == Lookup::Scan || (!firstOrder && asked == 0)) {
                scan(c);
                return;
            }
            c.column = column;
            if (s.named.paradox) {
                const std::string order = firstOrder ? std::string() : s.fields[static_cast<std::size_t>(column)].name;
                if (c.table->indexFieldNames() != order) c.table->setIndexFieldNames(order);
                c.mode = VCursor::Mode::Run;
                c.eof = !c.table->findKey(std::span<const KeyValue>(&c.key, 1));
            } else {
                const Gathered& g = gather(s, column);
                static const std::vector<std::int64_t> none;
                const auto it = g.find(gatheredKey(c.key));
                c.hits = it == g.end() ? &none : &it->second;
                c.hit = 0;
                c.mode = VCursor::Mode::Hits;
                c.table->first();
                settleHits(c);
            }
        }
    }

    static void advance(VCursor& c) {
        switch (c.mode) {
            case VCursor::Mode::Scan:
                c.table->next();
                c.eof = c.table->eof();
                break;
            case VCursor::Mode::Run:
                c.table->next();
                c.eof = c.table->eof() || !currentEquals(*c.table, c.column, c.key);
                break;
            case VCursor::Mode::Hits:
                ++c.hit;
                settleHits(c);
                break;
            case VCursor::Mode::Nothing:
                c.eof = true;
        }
    }

    static int next(sqlite3_vtab_cursor* cur) {
        auto& c = *reinterpret_cast<VCursor*>(cur);
        try {
            advance(c);
            settle(c);
            return SQLITE_OK;
        } catch (const std::exception& e) {
            return fail(module(cur), cur->pVtab, e);
        }
    }
    static int eof(sqlite3_vtab_cursor* cur) { return reinterpret_cast<VCursor*>(cur)->eof ? 1 : 0; }

    static int column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
        auto& c = *reinterpret_cast<VCursor*>(cur);
        try {
            const FieldInfo& f = c.source->fields[static_cast<std::size_t>(i)];
            Table& t = *c.table;
            if (f.kind == FieldKind::Memo) {
                const MemoValue m = t.memo(i);
                if (m.bytes.empty() && !m.text)
                    sqlite3_result_zeroblob(ctx, 0);
                else if (m.bytes.empty())
                    sqlite3_result_null(ctx);
                else if (m.text) {
                    c.utf8.clear();
                    appendCp1251AsUtf8(m.bytes, c.utf8);
                    sqlite3_result_text(ctx, c.utf8.data(), static_cast<int>(c.utf8.size()), SQLITE_TRANSIENT);
                } else {
                    sqlite3_result_blob64(ctx, m.bytes.data(), m.bytes.size(), SQLITE_TRANSIENT);
                }
                return SQLITE_OK;
            }
            t.textInto(i, c.cell);
            switch (f.kind) {
                case FieldKind::Text:
                    break;
                case FieldKind::Number:
                case FieldKind::Integer: {
                    if (c.cell.empty()) {
                        sqlite3_result_null(ctx);
                        return SQLITE_OK;
                    }
                    std::int64_t n = 0;
                    const char* end = c.cell.data() + c.cell.size();
                    const auto r = std::from_chars(c.cell.data(), end, n);
                    if (r.ec == std::errc() && r.ptr == end) {
                        sqlite3_result_int64(ctx, n);
                        return SQLITE_OK;
                    }
                    char* stop = nullptr;
                    const double d = std::strtod(c.cell.c_str(), &stop);
                    if (stop == c.cell.c_str() + c.cell.size()) {
                        sqlite3_result_double(ctx, d);
                        return SQLITE_OK;
                    }
                    break;  // not a number after all: its text
                }
                default:
                    if (c.cell.empty()) {
                        sqlite3_result_null(ctx);
                        return SQLITE_OK;
                    }
            }
            c.utf8.clear();
            appendCp1251AsUtf8(c.cell, c.utf8);
            sqlite3_result_text(ctx, c.utf8.data(), static_cast<int>(c.utf8.size()), SQLITE_TRANSIENT);
            return SQLITE_OK;
        } catch (const std::exception& e) {
            TableModule& m = module(cur);
            const auto* err = dynamic_cast<const Error*>(&e);
            m.failure_ = err ? *err : Error(ErrorKind::Io, std::string(e.what()));
            const std::string text = utf8Of(m.failure_->text());
            sqlite3_result_error(ctx, text.data(), static_cast<int>(text.size()));
            return SQLITE_ERROR;
        }
    }
    static int rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* out) {
        *out = reinterpret_cast<VCursor*>(cur)->table->recordNumber();
        return SQLITE_OK;
    }
};

namespace {

const sqlite3_module kModule = {
    0,                         // iVersion
    ModuleAccess::create,      // xCreate
    ModuleAccess::connect,     // xConnect
    ModuleAccess::bestIndex,   // xBestIndex
    ModuleAccess::disconnect,  // xDisconnect
    ModuleAccess::disconnect,  // xDestroy
    ModuleAccess::open,        // xOpen
    ModuleAccess::close,       // xClose
    ModuleAccess::filter,      // xFilter
    ModuleAccess::next,        // xNext
    ModuleAccess::eof,         // xEof
    ModuleAccess::column,      // xColumn
    ModuleAccess::rowid,       // xRowid
    nullptr,                   // xUpdate: read only
    nullptr,                   // xBegin
    nullptr,                   // xSync
    nullptr,                   // xCommit
    nullptr,                   // xRollback
    nullptr,                   // xFindFunction
    nullptr,                   // xRename
    nullptr,                   // xSavepoint
    nullptr,                   // xRelease
    nullptr,                   // xRollbackTo
    nullptr,                   // xShadowName
};

bool textMemoField(const TableModule::Source&, const FieldInfo& f) { return f.textMemo; }

}  // namespace

TableModule::TableModule(sqlite3* db, TableShelf& shelf) : db_(db), shelf_(shelf) {
    if (sqlite3_create_module_v2(db, "strnum_table", &kModule, this, nullptr) != SQLITE_OK)
        throwError(ErrorKind::Io, std::string("SQLite не принял модуль таблиц: "_cp) + sqlite3_errmsg(db));
}

TableModule::~TableModule() = default;

void TableModule::declare(const NamedTable& table) {
    auto s = std::make_unique<Source>();
    s->named = table;
    s->name1251 = pathTo1251(table.file.filename());
    s->settings = shelf_.settings();
    std::unique_ptr<Table> probe;
    if (table.paradox) {
        s->kept = shelf_.paradox(table.file);
        s->fields = s->kept->fields();
        s->rows = static_cast<double>(std::max<std::int64_t>(1, s->kept->recordCount()));
        if (const auto* px = dynamic_cast<const ParadoxTable*>(s->kept.get()))
            s->uniqueFirstField = px->header().keyFields == 1;
    } else {
        probe = openDbfTable(table.file, s->settings);
        s->fields = probe->fields();
        std::error_code ec;
        const auto size = fs::file_size(table.file, ec);
        int length = 1;
        for (const auto& f : s->fields) length += f.length;
        s->rows = ec ? 1000.0 : std::max(1.0, static_cast<double>(size) / length);
    }
    // Column names: the field names, each once (console/row_source.h: a field named twice).
    const std::vector<std::string> names = columnNames(s->fields);
    for (std::size_t k = 0; k < s->fields.size(); ++k) {
        s->columns.push_back(utf8Of(names[k]));
        s->textMemo.push_back(textMemoField(*s, s->fields[k]));
        // A Paradox order is asked for by field name: a name two fields share would give
        // the first one's order, so such a column is searched by a scan.
        bool shared = false;
        for (std::size_t j = 0; j < s->fields.size(); ++j)
            shared = shared || (j != k && sqlite3_stricmp(s->fields[j].name.c_str(), s->fields[k].name.c_str()) == 0);
        s->sharedName.push_back(shared);
    }
    s->lookups.assign(s->fields.size(), 0);
    s->gathered.resize(s->fields.size());
    sources_.push_back(std::move(s));

    std::string sql = "CREATE VIRTUAL TABLE temp.\"";
    for (char ch : table.sqlName) sql += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    sql += "\" USING strnum_table(" + std::to_string(sources_.size() - 1) + ")";
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string m("Таблица "_cp);
        m += sources_.back()->name1251;
        m += " не может быть прочитана в SQL: "_cp;
        m += utf8To1251(err ? err : "").value_or(err ? err : "");
        sqlite3_free(err);
        sources_.pop_back();
        throwError(ErrorKind::Unsupported, std::move(m));
    }
}

const FieldInfo* TableModule::field(std::string_view sqlName, std::string_view column) const {
    for (const auto& s : sources_) {
        if (sqlite3_strnicmp(s->named.sqlName.c_str(), std::string(sqlName).c_str(), 1 << 30) != 0 ||
            s->named.sqlName.size() != sqlName.size())
            continue;
        for (std::size_t k = 0; k < s->columns.size(); ++k)
            if (s->columns[k].size() == column.size() &&
                sqlite3_stricmp(s->columns[k].c_str(), std::string(column).c_str()) == 0)
                return &s->fields[k];
    }
    return nullptr;
}

std::optional<Error> TableModule::takeFailure() {
    std::optional<Error> f = std::move(failure_);
    failure_.reset();
    return f;
}

}  // namespace strnum::console
