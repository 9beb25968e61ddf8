// The main window as the operations' Host: labels, progress bar, hourglass, breathing, the
// summary question, the report window, errors, and what a run went past (strnum.log).
#include <QApplication>
#include <QDir>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "gui/frm_main.h"
#include "gui/frm_report.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "system/program_log.h"

namespace strnum {

using namespace strnum::literals;

// --- Host ---------------------------------------------------------------------------

void TfrmMain::setLabel(HostLabel which, std::string_view text) {
    if (which == HostLabel::RecordCount && running_) {  // shown as often as messages are processed
        pendingRecCount_ = std::string(text);
        return;
    }
    QLabel* target = nullptr;
    switch (which) {
        case HostLabel::RecordCount:
            target = lblRecCount;
            break;
        case HostLabel::Count:
            target = lblCount;
            break;
        case HostLabel::District:
            target = lblDistrictBD;
            break;
        case HostLabel::Processed:
            target = lblProcessed;
            break;
        case HostLabel::Found:
            target = lblFound;
            break;
    }
    if (target == lblDistrictBD) {
        lblDistrictBD->setFullText(toQt(text));
        return;
    }
    target->setText(toQt(text));
    if (target == lblRecCount || target == lblCount) target->adjustSize();
}

void TfrmMain::setProgressRange(int minimum, int maximum) { ProgressBar1->setRange(minimum, maximum); }
void TfrmMain::setProgress(int position) { ProgressBar1->setValue(position); }
void TfrmMain::showProgress(bool visible) { ProgressBar1->setVisible(visible); }

void TfrmMain::setBusy(bool busy) {
    endOpeningFeedback();  // the walk's own hourglass takes over
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

// The operations ask for this at every tenth found record: tens of thousands of times in a
// run over a region, where processing messages each time cost as long as the run's own work.
// Messages are processed at the first call of a run and then whenever kEventsEveryMs have
// passed since the last time: the window still repaints and answers many times a second.
void TfrmMain::processEvents() {
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventsEveryMs) return;
    showPendingLabels();
    QCoreApplication::processEvents();
    sinceEvents_.start();
}

void TfrmMain::showPendingLabels() {
    if (!pendingRecCount_) return;
    lblRecCount->setText(toQt(*pendingRecCount_));
    lblRecCount->adjustSize();
    pendingRecCount_.reset();
}

bool TfrmMain::confirm(std::string_view text) {
    endOpeningFeedback();
    return askYesNo(this, QStringLiteral("Confirm"), toQt(text));
}

void TfrmMain::showReport(bool modal) {
    if (!frmReport_) return;
    // The near matches of the assignment's persons are on their page when the window opens.
    if (nearMatchesPending_ && !notFound_.empty()) findPendingNearMatches();
    // A report window already open ("Отчет" pressed while it is) only comes to the front and
    // keeps its place in the report; after a run the report is new and shown from its start.
    if (!(modal && frmReport_->isVisible())) frmReport_->reportChanged();
    if (modal)
        frmReport_->showModal();
    else
        frmReport_->showNonModal();
}

void TfrmMain::showError(std::string_view message) {
    endOpeningFeedback();  // no hourglass over the error
    lastError_ = std::string(message);
    showErrorDialog(this, toQt(message));
}

// What a run went past goes into strnum.log as it happens, and is shown when the run ends.
void TfrmMain::notice(std::string_view message) {
    notices_.emplace_back(message);
    appendProgramLog(settingsFile_.parent_path(), std::string("Не выполнено: "_cp) + std::string(message));
}

void TfrmMain::showNotices() {
    if (notices_.empty()) return;
    constexpr std::size_t kShown = 8;
    QString text = QStringLiteral("Не всё удалось прочитать или записать:\n");
    for (std::size_t i = 0; i < notices_.size() && i < kShown; ++i) text += QStringLiteral("\n• ") + toQt(notices_[i]);
    if (notices_.size() > kShown) text += QStringLiteral("\n… и еще %1").arg(notices_.size() - kShown);
    text += QStringLiteral("\n\nВсе сообщения записаны в файл %1.")
                .arg(QDir::toNativeSeparators(toQt(pathTo1251(settingsFile_.parent_path() / kProgramLogName))));
    notices_.clear();
    showErrorDialog(this, text);
}

}  // namespace strnum
