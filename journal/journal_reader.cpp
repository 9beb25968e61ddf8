#include "journal/journal_reader.h"

#include <nlohmann/json.hpp>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "system/file.h"

namespace strnum {

using namespace strnum::literals;
namespace fs = std::filesystem;

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> fromHex(const nlohmann::json& v) {
    if (!v.is_string()) return std::nullopt;
    const std::string& s = v.get_ref<const std::string&>();
    if (s.size() % 2) return std::nullopt;
    std::string out(s.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = hexDigit(s[2 * i]), lo = hexDigit(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

std::string text(const nlohmann::json& o, const char* key) {
    const auto it = o.find(key);
    return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A line's worth of what is wrong with it, or nothing when it was taken.
std::optional<std::string_view> take(const nlohmann::json& o, bool first, JournalContents& j) {
    if (!o.is_object()) return "строка не является объектом JSON"_cp;
    if (first) {
        if (text(o, "journal") != "strnum") return "это не журнал записей strnum"_cp;
        j.operation = text(o, "operation");
        j.started = text(o, "started");
        j.program = text(o, "program");
        j.way = utf8To1251Lossy(text(o, "way"));
        j.nums = utf8To1251Lossy(text(o, "nums"));
        return std::nullopt;
    }
    if (j.ended) return "строки после завершающей строки запуска"_cp;
    if (o.contains("w")) {
        const auto& w = o["w"];
        const auto& record = o.contains("record") ? o["record"] : nlohmann::json();
        if (!w.is_number_integer() || !record.is_number_integer()) return "нет номера файла или записи"_cp;
        JournalWrite write;
        write.file = w.get<int>();
        write.record = record.get<std::int64_t>();
        if (!j.files.count(write.file)) return "запись в файл, который журнал не назвал"_cp;
        if (write.record < 1) return "неверный номер записи"_cp;
        write.field = utf8To1251Lossy(text(o, "field"));
        if (write.field.empty()) return "нет имени поля"_cp;
        auto before = fromHex(o.contains("before") ? o["before"] : nlohmann::json());
        auto after = fromHex(o.contains("after") ? o["after"] : nlohmann::json());
        if (!before || !after || before->size() != after->size()) return "значения поля записаны неверно"_cp;
        write.before = std::move(*before);
        write.after = std::move(*after);
        j.writes.push_back(std::move(write));
        return std::nullopt;
    }
    if (o.contains("file")) {
        const auto& n = o["file"];
        const std::string path = text(o, "path");
        if (!n.is_number_integer() || path.empty()) return "описание файла неполно"_cp;
        JournalFileEntry f;
        f.path = fs::path(std::u8string(path.begin(), path.end()));
        if (o.contains("size") && o["size"].is_number_unsigned()) f.size = o["size"].get<std::uint64_t>();
        f.modified = text(o, "modified");
        j.files[n.get<int>()] = std::move(f);
        return std::nullopt;
    }
    if (o.contains("end")) {
        j.ended = true;
        j.ok = o.contains("ok") && o["ok"].is_boolean() && o["ok"].get<bool>();
        if (o.contains("counters") && o["counters"].is_object())
            for (const auto& [k, v] : o["counters"].items())
                if (v.is_number_integer()) j.counters.emplace_back(k, v.get<std::int64_t>());
        j.error = utf8To1251Lossy(text(o, "error"));
        return std::nullopt;
    }
    return "строка неизвестного вида"_cp;
}

}  // namespace

JournalContents parseJournal(std::string_view bytes, std::string_view name) {
    JournalContents j;
    std::size_t at = 0;
    int number = 0;
    while (at < bytes.size()) {
        ++number;
        const std::size_t end = bytes.find('\n', at);
        const bool cut = end == std::string_view::npos;
        const std::string_view line = bytes.substr(at, cut ? std::string_view::npos : end - at);
        at = cut ? bytes.size() : end + 1;
        std::optional<std::string_view> wrong;
        if (cut) {
            wrong = "строка оборвана (запуск прерван на ее записи)"_cp;
        } else {
            const nlohmann::json o = nlohmann::json::parse(line, nullptr, false);
            wrong = o.is_discarded() ? std::optional<std::string_view>("строка не читается как JSON"_cp)
                                     : take(o, number == 1, j);
        }
        if (wrong) {
            std::string d("Журнал "_cp);
            d += name;
            d += ", строка "_cp;
            d += std::to_string(number);
            d += ": "_cp;
            d += *wrong;
            d += "; записи журнала до нее учтены, после нее - нет"_cp;
            j.damage = std::move(d);
            return j;
        }
    }
    if (number == 0) j.damage = std::string("Журнал "_cp) + std::string(name) + std::string(" пуст"_cp);
    return j;
}

JournalContents readJournal(const fs::path& file) {
    File f(file, File::Mode::ReadOnly);
    const std::uint64_t size = f.size();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes.resize(f.readAt(0, bytes.data(), bytes.size()));
    return parseJournal(bytes, pathTo1251(file));
}

}  // namespace strnum
