#include "console/sql_query.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "base/text.h"
#include "console/sql_functions.h"
#include "system/paths.h"

namespace strnum::console {

namespace fs = std::filesystem;
using namespace strnum::literals;

namespace {

// SQLite's values may be long: no single value or statement text beyond this.
constexpr int kLongestValue = 256 * 1024 * 1024;

std::string cp(std::string_view utf8) { return utf8To1251Lossy(utf8); }

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// What follows `prefix` in `message`, up to `suffix` (or the end).
std::string between(std::string_view message, std::string_view prefix, std::string_view suffix = {}) {
    std::string_view rest = message.substr(prefix.size());
    if (!suffix.empty()) {
        const std::size_t k = rest.rfind(suffix);
        if (k != std::string_view::npos) rest = rest.substr(0, k);
    }
    return cp(rest);
}

// SQLite's message in Russian words.  written: the statement as the user wrote it (UTF-8).
std::string russianReason(std::string_view m, std::string_view written) {
    const auto r = [](std::string_view ru) { return std::string(ru); };
    if (startsWith(m, "near \"") && m.ends_with("\": syntax error"))
        return r("синтаксическая ошибка около «"_cp) + between(m, "near \"", "\": syntax error") + r("»"_cp);
    if (m == "incomplete input") return r("текст запроса оборван: не закрыты скобка, кавычка или комментарий"_cp);
    if (startsWith(m, "unrecognized token: \"") && m.size() > 21 && std::strchr("'\"`[", m[21]))
        return r("не закрыта кавычка: «"_cp) + between(m, "unrecognized token: \"", "\"") + r("»"_cp);
    if (startsWith(m, "unrecognized token: \""))
        return r("непонятный знак или слово «"_cp) + between(m, "unrecognized token: \"", "\"") + r("»"_cp);
    if (startsWith(m, "no such table: "))
        return r("нет таблицы "_cp) + between(m, "no such table: ") +
               r(" (таблица называется именем своего файла: way.dbf, nums.db)"_cp);
    if (startsWith(m, "no such column: ")) {
        std::string name(m.substr(std::strlen("no such column: ")));
        std::string reason = r("нет поля "_cp) + cp(name);
        if (written.find("\"" + name + "\"") != std::string_view::npos)
            reason += r(" (текст в запросе пишется в одинарных кавычках: '"_cp) + cp(name) + r("')"_cp);
        return reason;
    }
    if (startsWith(m, "ambiguous column name: "))
        return r("поле "_cp) + between(m, "ambiguous column name: ") +
               r(" есть в нескольких таблицах запроса: укажите таблицу перед ним"_cp);
    if (startsWith(m, "no such function: ")) return r("нет функции "_cp) + between(m, "no such function: ");
    if (startsWith(m, "wrong number of arguments to function "))
        return r("неверное число аргументов функции "_cp) + between(m, "wrong number of arguments to function ");
    if (startsWith(m, "misuse of aggregate function "))
        return r("агрегатная функция "_cp) + between(m, "misuse of aggregate function ") + r(" здесь недопустима"_cp);
    if (startsWith(m, "misuse of aggregate: "))
        return r("агрегатная функция "_cp) + between(m, "misuse of aggregate: ") + r(" здесь недопустима"_cp);
    if (m == "no tables specified") return r("в запросе не названа таблица"_cp);
    if (startsWith(m, "SELECTs to the left and right of "))
        return r("у частей "_cp) + between(m, "SELECTs to the left and right of ", " do not have") +
               r(" разное число столбцов"_cp);
    if (startsWith(m, "sub-select returns "))
        return r("подзапрос дает "_cp) + between(m, "sub-select returns ", " columns") +
               r(" столбцов, а здесь нужен один"_cp);
    if (m.find("term out of range - should be between 1 and ") != std::string_view::npos) {
        const std::size_t k = m.find(" term out of range");
        return r("номер столбца в "_cp) + cp(m.substr(0, k)) + r(" вне пределов 1-"_cp) +
               cp(m.substr(m.rfind(' ') + 1));
    }
    if (m.find("term does not match any column in the result set") != std::string_view::npos)
        return r("выражение ORDER BY не совпадает ни с одним столбцом результата"_cp);
    if (startsWith(m, "no such collation sequence: "))
        return r("нет правила сравнения "_cp) + between(m, "no such collation sequence: ");
    if (startsWith(m, "unknown database ")) return r("нет базы данных "_cp) + between(m, "unknown database ");
    if (m == "a GROUP BY clause is required before HAVING") return r("HAVING без GROUP BY"_cp);
    if (m == "interrupted") return r("запрос прерван"_cp);
    if (m == "out of memory") return r("не хватило памяти для выполнения запроса"_cp);
    if (m == "string or blob too big") return r("слишком длинное значение или текст запроса"_cp);
    if (m == "parser stack overflow" || startsWith(m, "Expression tree is too large") ||
        startsWith(m, "too many terms in compound SELECT"))
        return r("запрос слишком сложен"_cp);
    if (startsWith(m, "circular reference: "))
        return r("выражение ссылается само на себя: "_cp) + between(m, "circular reference: ");
    return r("SQLite сообщает: "_cp) + cp(m);
}

bool blankTail(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == ';') {
            ++i;
        } else if (s.substr(i, 2) == "--") {
            const std::size_t e = s.find('\n', i);
            i = e == std::string_view::npos ? s.size() : e;
        } else if (s.substr(i, 2) == "/*") {
            const std::size_t e = s.find("*/", i + 2);
            i = e == std::string_view::npos ? s.size() : e + 2;
        } else {
            return false;
        }
    }
    return true;
}

// SQLite's own list of tables, indexes, views and triggers.  It is asked about a row
// added to it before it is asked about the CREATE that adds it (and a row removed with a
// DROP): those rows are the CREATE or DROP, not an INSERT or DELETE of the user's.
bool schemaTable(const char* name) {
    return name && (sqlite3_stricmp(name, "sqlite_master") == 0 || sqlite3_stricmp(name, "sqlite_temp_master") == 0 ||
                    sqlite3_stricmp(name, "sqlite_schema") == 0 || sqlite3_stricmp(name, "sqlite_temp_schema") == 0);
}

const std::string_view kCreating = "создание таблиц, индексов, представлений или триггеров (CREATE)"_cp;
const std::string_view kDropping = "удаление таблиц, индексов, представлений или триггеров (DROP)"_cp;

// What the authorizer refused, in the words of the message "... а в тексте есть ...".
std::string_view refusalOf(int action, const char* a1, const char* a2, std::string& named) {
    const std::string table = cp(a1 ? a1 : "");
    switch (action) {
        case SQLITE_INSERT:
            if (schemaTable(a1)) return kCreating;
            named = std::string("добавление записей в таблицу "_cp) + table + " (INSERT)";
            return named;
        case SQLITE_UPDATE:
            named = std::string("изменение записей таблицы "_cp) + table + " (UPDATE)";
            return named;
        case SQLITE_DELETE:
            if (schemaTable(a1)) return kDropping;
            named = std::string("удаление записей из таблицы "_cp) + table + " (DELETE)";
            return named;
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_TEMP_INDEX:
        case SQLITE_CREATE_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_TRIGGER:
        case SQLITE_CREATE_TEMP_VIEW:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_CREATE_VIEW:
        case SQLITE_CREATE_VTABLE:
            return kCreating;
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_TEMP_INDEX:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_DROP_TEMP_TRIGGER:
        case SQLITE_DROP_TEMP_VIEW:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_DROP_VIEW:
        case SQLITE_DROP_VTABLE:
            return kDropping;
        case SQLITE_ALTER_TABLE:
            return "изменение строения таблицы (ALTER)"_cp;
        case SQLITE_ATTACH:
            return "подключение или запись файла базы данных (ATTACH, VACUUM)"_cp;
        case SQLITE_DETACH:
            return "отключение базы данных (DETACH)"_cp;
        case SQLITE_REINDEX:
            return "перестройка индексов (REINDEX)"_cp;
        case SQLITE_ANALYZE:
            return "сбор статистики (ANALYZE)"_cp;
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT:
            return "управление транзакциями (BEGIN, COMMIT, ROLLBACK, SAVEPOINT)"_cp;
        case SQLITE_PRAGMA:
            named = std::string("команда PRAGMA "_cp) + cp(a1 ? a1 : "") +
                    (a2 ? std::string(" со значением "_cp) + cp(a2) : std::string());
            return named;
        case SQLITE_FUNCTION:
            named = std::string("функция "_cp) + cp(a2 ? a2 : "") +
                    std::string(", которая открывает файлы или меняет работу SQLite"_cp);
            return named;
        default:
            named = std::string("действие SQLite номер "_cp) + std::to_string(action);
            return named;
    }
}

bool allowedPragma(const char* name) {
    static const char* const kReading[] = {"table_info",     "table_xinfo", "table_list",      "function_list",
                                           "collation_list", "pragma_list", "compile_options", "module_list"};
    if (!name) return false;
    for (const char* p : kReading)
        if (sqlite3_stricmp(p, name) == 0) return true;
    return false;
}

bool allowedFunction(const char* name) {
    return name && sqlite3_stricmp(name, "load_extension") != 0 && sqlite3_stricmp(name, "fts3_tokenizer") != 0;
}

void configure(sqlite3* db, int threads) {
    int ignored = 0;
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &ignored);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &ignored);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kLongestValue);
    // Large sorts go through SQLite's own temporary files (in the system's temporary
    // folder, removed as they are made, never beside the tables): that is several times
    // faster than one sort in memory.  Sorts use the threads of [Tables] Threads.
    sqlite3_limit(db, SQLITE_LIMIT_WORKER_THREADS, std::max(0, static_cast<int>(threadCount(threads)) - 1));
}

}  // namespace

struct Authorizer {
    static int check(void* self, int action, const char* a1, const char* a2, const char*, const char*) {
        auto& q = *static_cast<SqlQuery*>(self);
        switch (action) {
            case SQLITE_SELECT:
            case SQLITE_READ:
            case SQLITE_RECURSIVE:
                return SQLITE_OK;
            case SQLITE_FUNCTION:
                if (allowedFunction(a2)) return SQLITE_OK;
                break;
            case SQLITE_PRAGMA:
                if (allowedPragma(a1)) return SQLITE_OK;
                break;
            case SQLITE_UPDATE:
                // SQLite asks this of its own schema while it sets up a table-valued
                // function (pragma_table_info, json_each); the connection writes nothing
                // (a read-only empty database, defensive mode, the statement read-only).
                if (schemaTable(a1)) return SQLITE_OK;
                break;
            default:
                break;
        }
        if (q.refusal_.empty()) {
            std::string named;
            q.refusal_ = std::string(refusalOf(action, a1, a2, named));
        }
        return SQLITE_DENY;
    }
};

SqlSession::SqlSession(EngineSettings settings)
    : shelf_([&] {
          settings.readOnly = true;
          return settings;
      }()) {}

fs::path SqlSession::database(std::string_view name) const {
    std::error_code ec;
    fs::path dir;
    if (name.empty()) {
        dir = fs::current_path(ec);
    } else {
        const bool absolute = name.front() == '/' || name.front() == '\\' || (name.size() >= 2 && name[1] == ':');
        dir = resolveDirectory(
            absolute ? std::string(name) : pathTo1251(fs::current_path(ec)) + "/" + std::string(name), settings());
    }
    if (dir.empty() || !fs::is_directory(dir, ec)) {
        std::string m("Каталог базы данных не найден: "_cp);
        m += name.empty() ? pathTo1251(dir) : std::string(name);
        throwError(ErrorKind::NotFound, std::move(m));
    }
    return dir;
}

SqlQuery::SqlQuery(SqlSession& session, std::string_view sql, std::string_view database)
    : directory_(session.database(database)), text_(cp1251ToUtf8(sql)) {
    rewritten_ = rewriteTableNames(text_, directory_, session.settings());
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_PRIVATECACHE, nullptr) != SQLITE_OK) {
        const std::string m = db_ ? cp(sqlite3_errmsg(db_)) : std::string();
        sqlite3_close(db_);
        db_ = nullptr;
        throwError(ErrorKind::Io, std::string("SQLite не открылся: "_cp) + m);
    }
    try {
        configure(db_, session.settings().threads);
        if (!registerRussianText(db_))
            throwError(ErrorKind::Io, std::string("SQLite не принял функции русского текста"_cp));
        module_ = std::make_unique<TableModule>(db_, session.shelf());
        for (const NamedTable& t : rewritten_.tables) module_->declare(t);
        sqlite3_set_authorizer(db_, Authorizer::check, this);
        if (session.interrupt())
            sqlite3_progress_handler(
                db_, 10000, [](void* f) { return (*static_cast<const std::function<bool()>*>(f))() ? 1 : 0; },
                const_cast<std::function<bool()>*>(&session.interrupt()));

        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v3(db_, rewritten_.text.c_str(), static_cast<int>(rewritten_.text.size()), 0,
                                          &stmt_, &tail);
        if (rc != SQLITE_OK) fail(rc);
        if (!stmt_) throwError(ErrorKind::InvalidArgument, std::string("Текст запроса пуст"_cp));
        std::size_t used = static_cast<std::size_t>(tail - rewritten_.text.c_str());
        if (!blankTail(std::string_view(rewritten_.text).substr(used))) {
            while (used < rewritten_.text.size() &&
                   (rewritten_.text[used] == ';' || std::isspace(static_cast<unsigned char>(rewritten_.text[used]))))
                ++used;
            std::string m("В тексте запроса больше одного оператора SQL ("_cp);
            m += placeInText(text_, rewritten_.writtenOffset(used));
            m += "): консоль выполняет один запрос за раз"_cp;
            throwError(ErrorKind::InvalidArgument, std::move(m));
        }
        if (!sqlite3_stmt_readonly(stmt_) || sqlite3_column_count(stmt_) == 0)
            throwError(
                ErrorKind::InvalidArgument,
                std::string(
                    "Запрос не выполнен: консоль SQL только читает таблицы, а этот оператор не дает строк для чтения"_cp));

        try {
            pending_ = step();
        } catch (const QueryStopped&) {
            stopPending_ = true;  // its columns are known all the same
        }
        const int n = sqlite3_column_count(stmt_);
        for (int i = 0; i < n; ++i) {
            ResultColumn c;
            const char* name = sqlite3_column_name(stmt_, i);
            c.label = cp(name ? name : "");
            const char* table = sqlite3_column_table_name(stmt_, i);
            const char* origin = sqlite3_column_origin_name(stmt_, i);
            const FieldInfo* f = table && origin ? module_->field(table, origin) : nullptr;
            if (f) {
                c.width = displayWidth(*f);
                // A field named twice goes by a name of its own: shown whole.
                if (origin != cp1251ToUtf8(f->name)) c.width = std::max(c.width, static_cast<int>(c.label.size()));
            } else {
                switch (pending_ ? sqlite3_column_type(stmt_, i) : SQLITE_NULL) {
                    case SQLITE_INTEGER:
                        c.width = 11;
                        break;
                    case SQLITE_TEXT:
                        c.width = 60;
                        break;
                    default:
                        c.width = 20;
                }
            }
            columns_.push_back(std::move(c));
        }
    } catch (...) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        sqlite3_close(db_);  // before the module: closing disconnects its tables
        db_ = nullptr;
        module_.reset();
        throw;
    }
}

SqlQuery::~SqlQuery() {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);  // the module's tables go with the connection
    module_.reset();
}

void SqlQuery::fail(int rc) {
    if (auto f = module_ ? module_->takeFailure() : std::nullopt) throw *f;
    if (rc == SQLITE_INTERRUPT) throw QueryStopped();
    const std::string message = sqlite3_errmsg(db_);
    const bool modifies = message.starts_with("table ") && message.ends_with(" may not be modified");
    if (rc == SQLITE_AUTH || message.starts_with("not authorized") || message == "authorization denied" || modifies) {
        std::string m("Запрос не выполнен: консоль SQL только читает таблицы, а в тексте есть "_cp);
        m += modifies ? std::string("изменение таблицы "_cp) + cp(message.substr(6, message.size() - 26))
             : refusal_.empty() ? std::string("недопустимое действие"_cp)
                                : refusal_;
        throwError(ErrorKind::InvalidArgument, std::move(m));
    }
    std::string m("Ошибка в запросе SQL: "_cp);
    m += russianReason(message, text_);
    const int offset = sqlite3_error_offset(db_);
    if (offset >= 0) {
        m += " ("_cp;
        m += placeInText(text_, rewritten_.writtenOffset(static_cast<std::size_t>(offset)));
        m += ")";
    }
    throwError(rc == SQLITE_NOMEM ? ErrorKind::Io : ErrorKind::InvalidArgument, std::move(m));
}

bool SqlQuery::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
        done_ = true;
        return false;
    }
    done_ = true;
    fail(rc);
}

std::string cellText(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT: {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.15g", sqlite3_column_double(stmt, column));
            return buf;
        }
        case SQLITE_BLOB:
            return blobText(static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
        default: {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return cp(std::string_view(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
        }
    }
}

void SqlQuery::readRow(std::vector<std::string>& cells) const {
    cells.resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) cells[i] = cellText(stmt_, static_cast<int>(i));
}

bool SqlQuery::fetch(std::vector<std::string>& cells) {
    touched_ = true;
    if (stopPending_) {
        stopPending_ = false;
        throw QueryStopped();
    }
    if (!pending_) {
        if (done_ || !step()) return false;
    }
    pending_ = false;
    readRow(cells);
    return true;
}

std::int64_t SqlQuery::skip(std::int64_t n) {
    touched_ = true;
    if (stopPending_ && n > 0) {
        stopPending_ = false;
        throw QueryStopped();
    }
    std::int64_t k = 0;
    if (n > 0 && pending_) {
        pending_ = false;
        ++k;
    }
    while (k < n && !done_ && step()) ++k;
    return k;
}

void SqlQuery::rewind() {
    if (!touched_) return;  // still at its start
    sqlite3_reset(stmt_);
    pending_ = false;
    done_ = false;
    stopPending_ = false;
    touched_ = false;
}

}  // namespace strnum::console
