// strnum-cli undo JOURNAL [--dry-run]   puts back what a writing run wrote
// strnum-cli journal [DIR]              lists the journals kept, newest first
// The table settings (lock scheme, code page) come from ./SOBES.INI when it is there.
#include <iostream>
#include <memory>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "journal/undo.h"
#include "settings/settings.h"

namespace strnum::cli {

using namespace strnum::literals;

namespace {

Settings localSettings() {
    std::vector<std::string> problems;
    Settings s = loadSettings(std::filesystem::current_path() / kSettingsFileName, &problems);
    for (const auto& p : problems) std::cerr << cp1251ToUtf8(p) << "\n";
    s.engine.journal.reset();  // an undo is no run to journal
    return s;
}

}  // namespace

void addUndoCommand(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto dryRun = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("undo", "Put back the fields a writing run wrote, from its journal");
    cmd->add_option("JOURNAL", *file, "the run's journal (journal/....jsonl)")->required();
    cmd->add_flag("--dry-run", *dryRun, "report what would be put back, change nothing");
    cmd->callback([file, dryRun] {
        try {
            const Settings settings = localSettings();
            const JournalContents journal = readJournal(pathFromUtf8(*file));
            Report report;
            const UndoTotals totals = undoJournal(journal, *dryRun, settings.engine, report);
            for (std::size_t i = 0; i < report.lineCount(); ++i) std::cout << cp1251ToUtf8(report.line(i)) << '\n';
            std::cout.flush();
            exitStatus() = totals.left > 0 ? 1 : 0;
        } catch (const Error& e) {
            std::cout.flush();
            std::cerr << e.utf8() << '\n';
            exitStatus() = 1;
        }
    });
}

void addJournalCommand(CLI::App& app) {
    auto dir = std::make_shared<std::string>(".");
    auto* cmd = app.add_subcommand("journal", "List the journals of writing runs, newest first");
    cmd->add_option("DIR", *dir, "the program directory (holding journal/) or the journal folder itself");
    cmd->callback([dir] {
        std::filesystem::path where = pathFromUtf8(*dir);
        if (where.filename() == kJournalFolder && !std::filesystem::exists(where / kJournalFolder))
            where = where.parent_path();
        const auto journals = RunJournal::list(where);
        if (journals.empty())
            std::cout << cp1251ToUtf8(std::string("Журналов нет в "_cp)) << pathToUtf8(where / kJournalFolder) << '\n';
        for (const auto& path : journals) {
            std::string line = pathToUtf8(path) + "  ";
            try {
                const JournalContents j = readJournal(path);
                line += j.operation + "  " + j.started + "  ";
                line += cp1251ToUtf8(std::string("записей полей: "_cp)) + std::to_string(j.writes.size());
                if (!j.ended)
                    line += cp1251ToUtf8(std::string(", не завершен"_cp));
                else if (!j.ok)
                    line += cp1251ToUtf8(std::string(", завершен с ошибкой: "_cp) + j.error);
                for (const auto& [name, value] : j.counters) line += ", " + name + " " + std::to_string(value);
                if (j.damage) line += cp1251ToUtf8(std::string(", поврежден"_cp));
            } catch (const Error& e) {
                line += e.utf8();
            }
            std::cout << line << '\n';
        }
    });
}

}  // namespace strnum::cli
