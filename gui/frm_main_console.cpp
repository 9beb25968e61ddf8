// The "Отладка" tab of the main window: Show WAY, Run, Close and Save Result.
//
// The grid shows one of two models: dsPDL (the table component tblPDL shown whole, the
// district list after Show WAY) or dsQuery1 (the result of the last Run).  Each handler
// runs to its end before it returns; none lets the window take clicks meanwhile (the
// hourglass shows while a statement starts or a result is saved).
//
// A statement stopped with "Прервать" is no error: the grid keeps the rows read before
// the stop under their columns, and the line under the grid says that the query was
// stopped.  Save Result says there where the file went (or why it did not); a save
// stopped with "Прервать" leaves the previous file as it was.
#include <QCoreApplication>
#include <QHeaderView>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "console/result_file.h"
#include "gui/frm_main.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

namespace {

// Grid columns as wide as their display width (or their label), within reason.
void fitColumns(QTableView* grid, const std::vector<console::ResultColumn>& columns) {
    const int digit = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int chars =
            std::clamp<int>(std::max<int>(columns[i].width, static_cast<int>(columns[i].label.size())), 2, 60);
        grid->setColumnWidth(static_cast<int>(i), chars * digit + 10);
    }
}

// The hourglass for as long as a handler works.
class BusyCursor {
public:
    explicit BusyCursor(Host& host) : host_(host) { host_.setBusy(true); }
    ~BusyCursor() { host_.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Host& host_;
};

}  // namespace

std::filesystem::path TfrmMain::resultFile() const {
    return settingsFile_.parent_path() / std::string(console::kResultFileName);
}

bool TfrmMain::sqlInterrupted() {
    constexpr int kQuietMs = 300, kShowAfterMs = 1500;
    // Calls come every few milliseconds while a statement works; a gap starts anew.
    if (!sqlLastAsked_.isValid() || sqlLastAsked_.elapsed() > kQuietMs) sqlWorking_.start();
    sqlLastAsked_.start();
    if (sqlWorking_.elapsed() < kShowAfterMs) return false;
    if (!sqlProgress_) {
        sqlProgress_ =
            new QProgressDialog(QStringLiteral("Выполняется запрос SQL..."), QStringLiteral("Прервать"), 0, 0, this);
        sqlProgress_->setWindowTitle(QStringLiteral("Отладка"));
        sqlProgress_->setWindowModality(Qt::WindowModal);
        sqlProgress_->setMinimumDuration(0);
        sqlProgressDone_ = new QTimer(this);
        sqlProgressDone_->setInterval(kQuietMs);
        connect(sqlProgressDone_, &QTimer::timeout, this, [this] {
            if (sqlLastAsked_.elapsed() <= kQuietMs) return;
            sqlProgress_->reset();
            sqlProgress_->hide();
            sqlProgressDone_->stop();
        });
    }
    if (!sqlProgress_->isVisible()) {
        sqlProgress_->reset();
        sqlProgress_->setRange(0, 0);
        sqlProgress_->show();
        sqlProgressDone_->start();
    }
    // Only the progress window takes input now (it is modal over the main window).
    QCoreApplication::processEvents();
    sqlLastAsked_.start();
    return sqlProgress_->wasCanceled();
}

bool TfrmMain::refusedWhileRunning() {
    if (!running_) return false;
    showErrorDialog(this, QStringLiteral("Идет обработка. Дождитесь ее окончания."));
    return true;
}

void TfrmMain::showSqlStatus(const QString& text) {
    lblSQLStatus->setText(text);
    lblSQLStatus->setToolTip(text);
}

void TfrmMain::bindGrid(console::ResultModel* model) {
    grSQL->setModel(model);
    if (model && model->source()) fitColumns(grSQL, model->source()->columns());
}

void TfrmMain::btnShowWayClick() {
    if (refusedWhileRunning()) return;
    BusyCursor busy(*this);
    showSqlStatus({});
    try {
        tblPDL_.close();
        tblPDL_.setDirectory(resolveDirectory(wayDirectory(), settings_.engine));
        tblPDL_.setTableName("WAY.DBF");
        tblPDL_.open();
        wayRows_ = std::make_unique<console::TableRows>(tblPDL_.table());
        dsPDL_->setSource(wayRows_.get());
        bindGrid(dsPDL_);
    } catch (const std::exception& e) {
        showErrorDialog(this, toQt(errorText(e)));
    }
}

void TfrmMain::btnRunSQLClick() {
    if (refusedWhileRunning()) return;
    BusyCursor busy(*this);
    showSqlStatus({});
    // Close the query first: a grid bound to it shows nothing until the new one opens.
    dsQuery1_->setSource(nullptr);
    query_.reset();
    try {
        const auto database = fromQt(edtQueryDBName->text());
        const auto text = fromQt(memSQL->toPlainText());
        querySql_ = console::sqlLines(text ? *text : fromQtLossy(memSQL->toPlainText()));
        if (!text)
            throwError(ErrorKind::InvalidArgument,
                       std::string("Текст запроса содержит знаки вне кодовой страницы 1251"_cp));
        if (!database)
            throwError(ErrorKind::InvalidArgument, std::string("Имя БД содержит знаки вне кодовой страницы 1251"_cp));
        std::string sql;
        for (const auto& line : querySql_) sql += line + "\n";
        query_ = std::make_unique<console::SqlQuery>(*sqlSession_, sql, *database);
        dsQuery1_->setSource(query_.get());
        bindGrid(dsQuery1_);
    } catch (const std::exception& e) {
        query_.reset();
        showErrorDialog(this, toQt(errorText(e)));
    }
}

void TfrmMain::btnCloseSQLClick() {
    if (refusedWhileRunning()) return;
    showSqlStatus({});
    dsQuery1_->setSource(nullptr);
    query_.reset();  // its SQL text stays for Save Result
    bindGrid(nullptr);
}

void TfrmMain::btnSaveSQLClick() {
    if (refusedWhileRunning()) return;
    if (!confirm("Вывести данные на печать/в файл?"_cp)) return;
    BusyCursor busy(*this);
    const bool shown = grSQL->model() == dsQuery1_;
    const std::filesystem::path file = resultFile();
    const QString path = toQt(pathTo1251(file));
    bool placed = false;
    try {
        // The grid does not follow the walk: its model takes the rows as they pass.
        const std::int64_t rows =
            console::writeResultFile(file, querySql_, query_ ? &dsQuery1_->walker() : nullptr, {}, &placed);
        dsQuery1_->walked(rows);
        if (shown) grSQL->scrollToBottom();
        showSqlStatus(QStringLiteral("Результат сохранен в файл %1 (строк: %2).").arg(path).arg(rows));
    } catch (const console::QueryStopped&) {
        showSqlStatus(QStringLiteral("Сохранение прервано: файл %1 не изменен.").arg(path));
    } catch (const std::exception& e) {
        const QString what = !placed ? QStringLiteral("Результат не сохранен в файл %1.").arg(path)
                             : query_
                                 ? QStringLiteral("В файл %1 записаны строки, прочитанные до ошибки.").arg(path)
                                 : QStringLiteral("В файл %1 записаны только текст запроса и разделитель.").arg(path);
        showSqlStatus(what);
        showErrorDialog(this, what + QLatin1Char('\n') + toQt(errorText(e)));
    }
}

}  // namespace strnum
