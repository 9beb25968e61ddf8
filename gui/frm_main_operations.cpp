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
        AssignRun run{{*this, report_, tblPDL_, [this]() -> Table& { return numberDirectory(); }, engine},
                      chkReadOnly->isChecked(),
                      {}};
        lastError_.clear();
        const bool ok = assignNumbers(run, wayDirectory());
        journal.finish(ok, assignCounters(run.total), lastError_);
    });
}

void TfrmMain::btnCheckFIOClick() {
    runOperation([this] {
        // The four option flags, taken from their check boxes as the run starts.
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
        const auto typed = [](const QLineEdit* e) { return fromQtLossy(e->text()); };
        FindRun run{{*this, report_, tblPDL_, [this]() -> Table& { return numberDirectory(); }, settings_.engine},
                    FindCriteria{typed(edtNum), typed(edtFAM), typed(edtNAM), typed(edtOtch)},
                    {}};
        findRecords(run, wayDirectory());
    });
}

}  // namespace strnum
