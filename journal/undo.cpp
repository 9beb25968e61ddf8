#include "journal/undo.h"

#include <algorithm>
#include <map>
#include <memory>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_table.h"

namespace strnum {

using namespace strnum::literals;
namespace fs = std::filesystem;

namespace {

// A field's bytes as a reader sees them, for the report: in the file's code page, blanks
// at the end dropped.
std::string shown(const DbfTable& t, std::string_view bytes) {
    std::string s(bytes);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return t.codePage() == CodePage::Cp866 ? cp866To1251Lossy(s) : s;
}

std::string fileLine(const fs::path& file, std::string_view outcome) {
    return "Участок "_cp.data() + pathTo1251(file.parent_path()) + "  файл "_cp.data() + pathTo1251(file.filename()) +
           " - "_cp.data() + str(outcome);
}

std::string counts(std::int64_t restored, std::int64_t left) {
    return "восстановлено "_cp.data() + std::to_string(restored) + ", оставлено "_cp.data() + std::to_string(left);
}

struct FileUndo {
    std::int64_t restored = 0, left = 0, already = 0;
};

// The writes of one file, record by record, the last write of a field first.
FileUndo undoFile(const fs::path& file, const std::vector<const JournalWrite*>& writes, bool dryRun,
                  const EngineSettings& settings, Report& report) {
    FileUndo u;
    std::unique_ptr<DbfTable> t;
    try {
        t = std::make_unique<DbfTable>(file, pathTo1251(file.filename()), settings);
    } catch (const Error& e) {
        u.left = static_cast<std::int64_t>(writes.size());
        report.appendLine("  "_cp.data() + str(e.text()));
        report.appendLine(fileLine(file, "файл не открывается, "_cp.data() + counts(0, u.left)));
        return u;
    }
    std::map<std::int64_t, std::vector<const JournalWrite*>> byRecord;
    for (const JournalWrite* w : writes) byRecord[w->record].push_back(w);
    const auto leftLine = [&](std::int64_t record, std::string_view field, std::string_view why) {
        report.appendLine("  запись "_cp.data() + std::to_string(record) + ", поле "_cp.data() + str(field) +
                          ": "_cp.data() + str(why));
    };
    t->first();  // the file's records as they are now
    for (auto& [record, fieldWrites] : byRecord) {
        if (!t->goToRecord(record)) {
            for (const JournalWrite* w : fieldWrites) leftLine(record, w->field, "записи больше нет в файле"_cp);
            u.left += static_cast<std::int64_t>(fieldWrites.size());
            continue;
        }
        try {
            t->edit();  // the record's lock, the record as on disk now
        } catch (const Error& e) {
            for (const JournalWrite* w : fieldWrites) leftLine(record, w->field, e.text());
            u.left += static_cast<std::int64_t>(fieldWrites.size());
            continue;
        }
        std::int64_t restoredHere = 0;
        for (auto it = fieldWrites.rbegin(); it != fieldWrites.rend(); ++it) {
            const JournalWrite& w = **it;
            const auto f = t->findField(w.field);
            if (!f || t->fieldBytes(*f).size() != w.after.size()) {
                leftLine(record, w.field, "такого поля в файле нет"_cp);
                ++u.left;
                continue;
            }
            const std::string_view now = t->fieldBytes(*f);
            if (now == w.after) {
                t->setFieldBytes(*f, w.before);
                ++restoredHere;
            } else if (now == w.before) {
                ++u.already;
            } else {
                leftLine(record, w.field,
                         "изменено после запуска, сейчас \""_cp.data() + shown(*t, now) +
                             "\" (запуск записал \""_cp.data() + shown(*t, w.after) + "\")");
                ++u.left;
            }
        }
        if (restoredHere == 0 || dryRun) {
            t->cancel();
            u.restored += restoredHere;
            continue;
        }
        try {
            t->post();
            u.restored += restoredHere;
        } catch (const Error& e) {
            t->cancel();
            leftLine(record, fieldWrites.front()->field, e.text());
            u.left += restoredHere;
        }
    }
    report.appendLine(fileLine(file, counts(u.restored, u.left)));
    return u;
}

}  // namespace

std::string undoSummary(const UndoTotals& totals) { return "Всего: "_cp.data() + counts(totals.restored, totals.left); }

UndoTotals undoJournal(const JournalContents& journal, bool dryRun, const EngineSettings& settings, Report& report) {
    UndoTotals totals;
    report.appendLine(std::string(dryRun ? "Проверка отмены записей запуска "_cp : "Отмена записей запуска "_cp) +
                      utf8To1251Lossy(journal.operation) + " от "_cp.data() + utf8To1251Lossy(journal.started) +
                      (dryRun ? " (файлы не изменяются)"_cp.data() : ""));
    if (!journal.ended) report.appendLine(str("Запуск не был завершен: журнал без последней строки"_cp));
    if (journal.damage) {
        report.appendLine(*journal.damage);
        ++totals.left;
    }
    // Files in the order the journal named them.
    std::map<int, std::vector<const JournalWrite*>> byFile;
    for (const JournalWrite& w : journal.writes) byFile[w.file].push_back(&w);
    for (const auto& [number, writes] : byFile) {
        const FileUndo u = undoFile(journal.files.at(number).path, writes, dryRun, settings, report);
        totals.restored += u.restored;
        totals.left += u.left;
        totals.already += u.already;
    }
    report.appendLine(undoSummary(totals));
    return totals;
}

}  // namespace strnum
