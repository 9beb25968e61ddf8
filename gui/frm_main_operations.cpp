// The main window's operations: the run of one at a time, the number directory opened with
// a sign of life, and the handlers of the three buttons.
#include <QApplication>
#include <QScopeGuard>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "data/number_directory.h"
#include "gui/frm_main.h"
#include "gui/frm_report.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "hints/near_matches.h"
#include "journal/writing_run.h"
#include "operations/assign_numbers.h"
#include "operations/check_numbers.h"
#include "operations/find_records.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

// --- operations ---------------------------------------------------------------------

bool TfrmMain::runOperation(const std::function<void()>& operation) {
    if (running_) {
        showErrorDialog(this, QStringLiteral("Идет обработка. Дождитесь ее окончания."));
        return false;
    }
    running_ = true;
    notices_.clear();
    sinceEvents_.invalidate();
    try {
        operation();
    } catch (const std::exception& e) {
        endOpeningFeedback();
        showErrorDialog(this, toQt(errorText(e)));
    } catch (...) {
        endOpeningFeedback();
        showErrorDialog(this, QStringLiteral("Неизвестная ошибка"));
    }
    endOpeningFeedback();
    running_ = false;
    showNotices();
    showPendingLabels();
    if (frmReport_) frmReport_->reportChanged();
    // A change of dedtNUMS made during the run is applied now that no table is in use.
    if (fromQtLossy(dedtNUMS->text()) != numsDirectory_) dedtNUMSChange();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
    return true;
}

bool TfrmMain::walkDistricts(const DistrictWalk& walk) {
    return runDistrictWalk(*this, report_, wayDirectory(), settings_.engine, walk);
}

void TfrmMain::dedtNUMSChange() {
    if (running_) {
        // The directory of a table in use changes only between runs; the edit keeps the
        // new text and it is applied when the run ends (the next change or operation).
        return;
    }
    tblNUM_.close();
    numsDirectory_ = fromQtLossy(dedtNUMS->text());
    tblNUM_.setDirectory(resolveDirectory(numsDirectory_, settings_.engine));
}

void TfrmMain::btnReportShowClick() {
    if (running_) {
        showErrorDialog(this, QStringLiteral("Идет обработка. Дождитесь ее окончания."));
        return;
    }
    try {
        showReport(true);
    } catch (const std::exception& e) {
        showErrorDialog(this, toQt(errorText(e)));
    }
}

Table& TfrmMain::numberDirectory() {
    if (!tblNUM_.isOpen()) {
        // Reading a large directory and building its order take a second or more, before the
        // walk shows its hourglass: the window says so first.
        beginOpeningFeedback();
        const auto endOutsideRun = qScopeGuard([this] {
            if (!running_) endOpeningFeedback();
        });
        openNumberDirectory(tblNUM_);
    }
    return tblNUM_.table();
}

void TfrmMain::beginOpeningFeedback() {
    if (openingLabel_) return;
    openingLabel_ = lblDistrictBD->text();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    lblDistrictBD->setFullText(QStringLiteral("Открытие справочника номеров..."));
    lblDistrictBD->repaint();
    // The cursor and the label reach the screen before the window stops answering; input
    // waits until the run lets the window process messages.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::endOpeningFeedback() {
    if (!openingLabel_) return;
    lblDistrictBD->setFullText(*openingLabel_);
    openingLabel_.reset();
    QApplication::restoreOverrideCursor();
}

std::string TfrmMain::wayDirectory() const {
    const auto way = fromQt(dedtWayPath->text());
    if (!way)
        throwError(ErrorKind::InvalidArgument,
                   std::string("Каталог списка участков содержит знаки вне кодовой страницы 1251"_cp));
    return *way;
}

void TfrmMain::btnAssignNumInPDLClick() {
    runOperation([this] {
        // A writing run keeps its journal in the program directory, so that it can be undone
        // (strnum-cli undo); where it is goes to the program's log.
        EngineSettings engine = settings_.engine;
        WritingRunJournal journal(settingsFile_.parent_path(), {"assign", wayDirectory(), numsDirectory_},
                                  chkReadOnly->isChecked() ? 0 : settings_.journalKeepDays, engine);
        tblPDL_.setSettings(engine);
        struct Restore {
            TableObject& t;
            const EngineSettings& s;
            ~Restore() {
                t.close();
                t.setSettings(s);
            }
        } restore{tblPDL_, settings_.engine};
        // The near matches of the last assignment go with its report; the persons of this one
        // are collected when asked and their near matches found before the report shows.
        if (frmReport_) frmReport_->clearNearMatches();
        notFound_.clear();
        nearMatchesPending_ = chkNearMatches->isChecked();
        const auto forget = qScopeGuard([this] {
            nearMatchesPending_ = false;
            notFound_ = {};
        });
        AssignRun run{{*this, report_, tblPDL_, [this]() -> Table& { return numberDirectory(); }, engine},
                      chkReadOnly->isChecked(),
                      {},
                      nearMatchesPending_ ? &notFound_ : nullptr};
        lastError_.clear();
        const bool ok = assignNumbers(run, wayDirectory());
        journal.finish(ok, assignCounters(run.total), lastError_);
        // Not found yet when the report was not asked for (or nobody was missed).
        if (nearMatchesPending_ && (ok || !notFound_.empty())) findPendingNearMatches();
    });
}

void TfrmMain::setReportWindow(TfrmReport* report) {
    frmReport_ = report;
    if (frmReport_)
        frmReport_->pgNearMatches->setWriter(
            [this](const std::vector<ChosenHint>& chosen, Report& lines, std::vector<bool>& written) {
                return writeChosen(chosen, lines, written);
            });
}

void TfrmMain::findPendingNearMatches() {
    nearMatchesPending_ = false;
    std::vector<NotFoundPerson> persons = std::move(notFound_);
    notFound_ = {};
    if (!frmReport_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString label = lblDistrictBD->text();
    const auto restore = qScopeGuard([&] {
        lblDistrictBD->setFullText(label);
        QApplication::restoreOverrideCursor();
    });
    lblDistrictBD->setFullText(QStringLiteral("Поиск похожих для ненайденных..."));
    lblDistrictBD->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        std::vector<NearMatch> matches;
        if (!persons.empty())
            matches = findNearMatches(numberDirectory(), std::move(persons), settings_.engine.threads);
        frmReport_->setNearMatches(std::move(matches), QColor(highlight_.red(), highlight_.green(), highlight_.blue()));
    } catch (const std::exception& e) {
        // Said on its own: the assignment itself went well, and its journal says so.
        showErrorDialog(this, QStringLiteral("Похожие для ненайденных не подобраны: ") + toQt(errorText(e)));
    }
}

bool TfrmMain::writeChosen(const std::vector<ChosenHint>& chosen, Report& lines, std::vector<bool>& written) {
    if (chosen.empty()) return false;
    if (chkReadOnly->isChecked()) {
        showErrorDialog(this, QStringLiteral("Включен режим «Только подсчет»: номера не проставлены.\n"
                                             "Снимите флажок «Только подсчет» в главном окне, чтобы проставить "
                                             "выбранные номера."));
        return false;
    }
    bool tried = false;
    runOperation([&] {
        // A writing run of its own, journalled as the assignment's is, so that it can be undone.
        EngineSettings engine = settings_.engine;
        WritingRunJournal journal(settingsFile_.parent_path(),
                                  {"hints", fromQtLossy(dedtWayPath->text()), numsDirectory_},
                                  settings_.journalKeepDays, engine);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto normal = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        ChosenCounters counters;
        lastError_.clear();
        tried = true;
        const bool ok = writeChosenHints(chosen, engine, lines, *this, counters, &written);
        journal.finish(ok, chosenCounters(counters), lastError_);
    });
    return tried;
}

void TfrmMain::btnCheckFIOClick() {
    runOperation([this] {
        // The four option flags, taken from their check boxes as the run starts.
        if (frmReport_) frmReport_->clearNearMatches();
        options_ = CheckOptions{chkNoStatErrors->isChecked(), chkNoBirthErrors->isChecked(), chkCreateOBMN->isChecked(),
                                chkAnkList->isChecked()};
        CheckRun run{{*this, report_, tblPDL_, [this]() -> Table& { return numberDirectory(); }, settings_.engine},
                     options_,
                     [this] { return chkSeverErrors->isChecked(); },
                     [this] { return chkEmptyList->isChecked(); },
                     settingsFile_.parent_path(),
                     settings_.batchRegNum,
                     highlight_};
        checkNumbers(run, wayDirectory());
        options_ = run.options;  // the not-found list's flag cleared when its table could not be opened
    });
}
void TfrmMain::btnFindNumFIOClick() {
    runOperation([this] {
        if (frmReport_) frmReport_->clearNearMatches();
        const auto typed = [](const QLineEdit* e) { return fromQtLossy(e->text()); };
        FindRun run{{*this, report_, tblPDL_, [this]() -> Table& { return numberDirectory(); }, settings_.engine},
                    FindCriteria{typed(edtNum), typed(edtFAM), typed(edtNAM), typed(edtOtch)},
                    {}};
        findRecords(run, wayDirectory());
    });
}

}  // namespace strnum
