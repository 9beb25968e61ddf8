#include "gui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QHeaderView>
#include <QStyle>
#include <QTabBar>
#include <algorithm>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "console/result_file.h"
#include "gui/frm_report.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

namespace {

QFont windowFont() {
    QFont f;
    // MS Sans Serif where the machine has it; Liberation Sans has the metrics of Arial,
    // the closest of what Debian ships.
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setPixelSize(11);
    return f;
}

QFont courierNew(int pixels) {
    QFont f;
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    f.setPixelSize(pixels);
    f.setStyleHint(QFont::Monospace);
    return f;
}

template <typename W>
W* place(QWidget* parent, const char* name, int x, int y, int w = -1, int h = -1) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    if (w < 0) {
        widget->adjustSize();
        widget->move(x, y);
    } else {
        widget->setGeometry(x, y, w, h);
    }
    return widget;
}

QLabel* label(QWidget* parent, const char* name, int x, int y, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->adjustSize();
    l->move(x, y);
    return l;
}

QCheckBox* checkBox(QWidget* parent, const char* name, int x, int y, const QString& text, const QString& hint,
                    bool checked) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(hint);
    c->setChecked(checked);
    c->adjustSize();
    c->setGeometry(x, y, c->sizeHint().width(), 17);
    return c;
}

QPushButton* button(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text,
                    const QString& hint, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setGeometry(x, y, w, h);
    if (icon != QStyle::SP_CustomBase) b->setIcon(parent->style()->standardIcon(icon));
    return b;
}

}  // namespace

TfrmMain::TfrmMain(Report& report, std::filesystem::path settingsFile, QWidget* parent)
    : QWidget(parent), report_(report), settingsFile_(std::move(settingsFile)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Простановка стр. номеров в БД ОРТАН"));
    setFont(windowFont());
    setGeometry(154, 19, 642, 477);
    setFixedSize(642, 477);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 642, 477 - 40);
    auto* processing = new QWidget;
    processing->setObjectName(QStringLiteral("TabSheet1"));
    auto* debug = new QWidget;
    debug->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(processing, QStringLiteral("Обработка"));
    PageControl1->addTab(debug, QStringLiteral("Отладка"));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 477 - 40, 642, 40);
    Label1 = label(Panel1, "Label1", 18, 5, QStringLiteral("Число счетов"));
    lblRecCount = label(Panel1, "lblRecCount", 124, 5, QStringLiteral("000"));
    lblCount = label(Panel1, "lblCount", 214, 5, QStringLiteral("-"));
    ProgressBar1 = place<QProgressBar>(Panel1, "ProgressBar1", 266, 10, 344, 20);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    buildProcessingPage(processing);
    buildDebugPage(debug);

    connect(dedtNUMS, &DirectoryEdit::textChanged, this, &TfrmMain::dedtNUMSChange);
    connect(btnReportShow, &QPushButton::clicked, this, &TfrmMain::btnReportShowClick);
    connect(btnAssignNumInPDL, &QPushButton::clicked, this, &TfrmMain::btnAssignNumInPDLClick);
    connect(btnCheckFIO, &QPushButton::clicked, this, &TfrmMain::btnCheckFIOClick);
    connect(btnFindNumFIO, &QPushButton::clicked, this, &TfrmMain::btnFindNumFIOClick);
    connect(btnShowWay, &QPushButton::clicked, this, &TfrmMain::btnShowWayClick);
    connect(btnRunSQL, &QPushButton::clicked, this, &TfrmMain::btnRunSQLClick);
    connect(btnCloseSQL, &QPushButton::clicked, this, &TfrmMain::btnCloseSQLClick);
    connect(btnSaveSQL, &QPushButton::clicked, this, &TfrmMain::btnSaveSQLClick);

    FormCreate();
}

void TfrmMain::buildProcessingPage(QWidget* page) {
    Label23 = place<QLabel>(page, "Label23", 20, 2, 366, 40);
    Label23->setText(QStringLiteral("Проверка страх. номеров в БД АРМа ОРТАН на расхождения по ФИО и д/рождения"));
    Label23->setWordWrap(true);
    QFont big = font();
    big.setPixelSize(17);
    Label23->setFont(big);
    QPalette navy = Label23->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label23->setPalette(navy);

    Label12 = label(page, "Label12", 8, 48, QStringLiteral("Каталог с списком участков - файлом  WAY.DBF"));
    dedtWayPath = place<DirectoryEdit>(page, "dedtWayPath", 16, 64, 401, 25);
    Label2 = label(page, "Label2", 8, 96, QStringLiteral("Каталог с БД Sverkin - файлом  NUMS.DB"));
    dedtNUMS = place<DirectoryEdit>(page, "dedtNUMS", 16, 112, 401, 26);

    btnCheckFIO = button(page, "btnCheckFIO", 424, 64, 190, 33, QStringLiteral("Сверка ФИО и д/р"),
                         QStringLiteral("Сверка ФИО и д/р с БД ПерсУчета"), QStyle::SP_DialogApplyButton);
    btnAssignNumInPDL =
        button(page, "btnAssignNumInPDL", 424, 144, 190, 25, QStringLiteral("Простановка номеров"),
               QStringLiteral("Простановка стр.номеров по участкам БД ОРТАН"), QStyle::SP_DialogSaveButton);
    btnReportShow = button(page, "btnReportShow", 423, 180, 190, 25, QStringLiteral("Отчет"),
                           QStringLiteral("Показать последний отчет"), QStyle::SP_FileDialogDetailedView);
    btnFindNumFIO = button(page, "btnFindNumFIO", 424, 232, 190, 25, QStringLiteral("Поиск по стр.№/ФИО"),
                           QStringLiteral("Поиск по ФИО в участках БД ОРТАН"), QStyle::SP_FileDialogContentsView);

    chkReadOnly = checkBox(page, "chkReadOnly", 24, 144, QStringLiteral("Только подсчет"),
                           QStringLiteral("Только поиск стр.номеров без простановки в БД"), false);
    // Under the assignment's two buttons, above the search's row.
    chkNearMatches = checkBox(page, "chkNearMatches", 428, 210, QStringLiteral("Похожие для ненайденных"),
                              QStringLiteral("При простановке номеров подобрать в справочнике похожие записи "
                                             "для ненайденных лиц (страница «Похожие» отчета)"),
                              false);
    chkCreateOBMN = checkBox(page, "chkCreateOBMN", 24, 160, QStringLiteral("Заявления на обмен"),
                             QStringLiteral("Вывести расхождения в формате пачек заявлений на обмен"), false);
    chkAnkList = checkBox(page, "chkAnkList", 24, 184, QStringLiteral("Список ненайденных"),
                          QStringLiteral("Создать список номеров, ненайденных в БД СПУ"), false);
    chkNoStatErrors = checkBox(page, "chkNoStatErrors", 216, 144, QStringLiteral("Без ошибок статуса"),
                               QStringLiteral("Не выводить сообщения об ошибках"), true);
    chkNoBirthErrors =
        checkBox(page, "chkNoBirthErrors", 216, 160, QStringLiteral("Без ошибок д/рождения"), QString(), false);
    chkSeverErrors = checkBox(page, "chkSeverErrors", 216, 176, QStringLiteral("Только грубые ошибки"),
                              QStringLiteral("Не выводить сообщения о незначительных отличиях в ФИО"), false);
    chkEmptyList = checkBox(page, "chkEmptyList", 216, 192, QStringLiteral("Без стр. номеров"),
                            QStringLiteral("Сообщать об отсутсвии стр. номеров"), false);

    label(page, "Label5", 16, 216, QStringLiteral("Cтр.№"));
    label(page, "Label6", 112, 216, QStringLiteral("Фамилия"));
    label(page, "Label7", 232, 216, QStringLiteral("Имя"));
    label(page, "Label8", 328, 216, QStringLiteral("Отчество"));
    edtNum = place<QLineEdit>(page, "edtNum", 16, 232, 89, 21);
    edtFAM = place<UpperCaseEdit>(page, "edtFAM", 112, 232, 121, 21);
    edtNAM = place<UpperCaseEdit>(page, "edtNAM", 240, 232, 89, 21);
    edtOtch = place<UpperCaseEdit>(page, "edtOtch", 336, 232, 81, 21);

    // Up to the counters beside it: a long directory is shown cut in the middle.
    lblDistrictBD = place<ElidedLabel>(page, "lblDistrictBD", 8, 360, 196, 16);
    lblDistrictBD->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDistrictBD->setFullText(QStringLiteral(" --- "));
    lblProcessed = place<QLabel>(page, "lblProcessed", 208, 360, 57, 16);
    lblProcessed->setText(QStringLiteral("0"));
    lblProcessed->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblFound = place<QLabel>(page, "lblFound", 272, 360, 57, 16);
    lblFound->setText(QStringLiteral("0"));
    lblFound->setAlignment(Qt::AlignRight | Qt::AlignTop);

    // The keyboard order of the page; focusNextPrevChild follows it.
    tabOrder_[0] = {PageControl1->tabBar(),
                    btnAssignNumInPDL,
                    dedtWayPath->lineEdit(),
                    dedtNUMS->lineEdit(),
                    btnCheckFIO,
                    chkReadOnly,
                    chkNearMatches,
                    chkNoStatErrors,
                    chkNoBirthErrors,
                    chkCreateOBMN,
                    btnFindNumFIO,
                    edtNum,
                    edtFAM,
                    edtNAM,
                    edtOtch,
                    chkEmptyList,
                    chkSeverErrors,
                    chkAnkList,
                    btnReportShow};
}

void TfrmMain::buildDebugPage(QWidget* page) {
    Panel3 = place<QWidget>(page, "Panel3", 0, 0, 638, 153);
    btnShowWay = button(Panel3, "btnShowWay", 10, 10, 79, 21, QStringLiteral("Show WAY"),
                        QStringLiteral("Показать содержимое файла WAY"), QStyle::SP_CustomBase);
    btnRunSQL = button(Panel3, "btnRunSQL", 122, 10, 47, 21, QStringLiteral("Run"),
                       QStringLiteral("Запустить запрос с данным SQL"), QStyle::SP_CustomBase);
    btnSaveSQL = button(Panel3, "btnSaveSQL", 178, 10, 95, 21, QStringLiteral("Save Result"),
                        QStringLiteral("Сохранить результат запроса вместе с текстом SQL в заданный файл"),
                        QStyle::SP_CustomBase);
    btnCloseSQL = button(Panel3, "btnCloseSQL", 279, 10, 50, 21, QStringLiteral("Close"),
                         QStringLiteral("Закрыть запрос"), QStyle::SP_CustomBase);
    label(Panel3, "Label3", 345, 16, QStringLiteral("Имя БД"));
    edtQueryDBName = place<QLineEdit>(Panel3, "edtQueryDBName", 407, 10, 208, 21);
    memSQL = place<QPlainTextEdit>(Panel3, "memSQL", 10, 39, 621, 106);
    memSQL->setFont(courierNew(15));
    memSQL->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memSQL->setPlainText(QStringLiteral("select * from way.dbf"));
    grSQL = place<QTableView>(page, "grSQL", 0, 153, 638, 437 - 153 - 26 - 30);
    lblSQLStatus = place<QLabel>(page, "lblSQLStatus", 6, 437 - 26 - 30 + 1, 626, 28);
    lblSQLStatus->setWordWrap(true);
    lblSQLStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblSQLStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dsPDL_ = new console::ResultModel(this);
    dsPDL_->setObjectName(QStringLiteral("dsPDL"));
    dsQuery1_ = new console::ResultModel(this);
    dsQuery1_->setObjectName(QStringLiteral("dsQuery1"));
    for (auto* m : {dsPDL_, dsQuery1_})
        m->onError = [this](const std::string& message) { showErrorDialog(this, toQt(message)); };
    dsQuery1_->onStopped = [this] {
        showSqlStatus(QStringLiteral("Запрос прерван. Строк прочитано до остановки: %1.").arg(dsQuery1_->rowCount()));
    };
    grSQL->setModel(nullptr);
    grSQL->verticalHeader()->setDefaultSectionSize(18);
    // Tab leaves the SQL text for the next control, as everywhere else in the window.
    memSQL->setTabChangesFocus(true);
    tabOrder_[1] = {PageControl1->tabBar(), btnShowWay, btnRunSQL,  btnCloseSQL,
                    edtQueryDBName,         memSQL,     btnSaveSQL, grSQL};
}

// Tab and Shift+Tab go round the current page's controls in the order set when the page was
// built, the tab bar above them included.  Qt's own focus chain is not used for this: the
// directory edits (a line edit and a button in one widget) keep their place in it whatever
// order is asked for, and the chain skipped "Простановка номеров".
bool TfrmMain::focusNextPrevChild(bool next) {
    const int page = PageControl1->currentIndex();
    QWidget* focused = QApplication::focusWidget();
    if (page < 0 || page >= static_cast<int>(std::size(tabOrder_)) || !focused)
        return QWidget::focusNextPrevChild(next);
    const std::vector<QWidget*>& order = tabOrder_[page];
    // The control holding the focus, or the one it lies in (a cell editor of the grid).
    const auto at =
        std::find_if(order.begin(), order.end(), [&](QWidget* w) { return w == focused || w->isAncestorOf(focused); });
    if (at == order.end()) return QWidget::focusNextPrevChild(next);
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    std::ptrdiff_t i = at - order.begin();
    for (std::ptrdiff_t step = 0; step < count; ++step) {
        i = (i + (next ? 1 : count - 1)) % count;
        QWidget* candidate = order[static_cast<std::size_t>(i)];
        if (candidate->isVisible() && candidate->isEnabled() && (candidate->focusPolicy() & Qt::TabFocus)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

TfrmMain::~TfrmMain() {
    dsPDL_->setSource(nullptr);
    dsQuery1_->setSource(nullptr);
    FormDestroy();
}

// --- start and stop ---------------------------------------------------------------

void TfrmMain::FormCreate() {
    // Dates become "dd.mm.yyyy" everywhere (base/date.h); the highlight starts red.
    highlight_ = kRed;
    std::vector<std::string> problems;
    try {
        settings_ = loadSettings(settingsFile_, &problems);
    } catch (const std::exception& e) {
        problems.push_back(errorText(e));
    }
    tblNUM_.setSettings(settings_.engine);
    tblPDL_.setSettings(settings_.engine);
    sqlSession_ = std::make_unique<console::SqlSession>(settings_.engine);
    sqlSession_->setInterrupt([this] { return sqlInterrupted(); });
    querySql_ = console::initialStatement();
    // The grid empties when another operation closes the district list under it.
    tblPDL_.setClosingListener([this] {
        dsPDL_->setSource(nullptr);
        wayRows_.reset();
    });
    {
        const QSignalBlocker block(dedtNUMS);
        dedtNUMS->setText(toQt(settings_.dbPath));
    }
    dedtWayPath->setText(toQt(settings_.wayPath));
    PageControl1->setCurrentIndex(0);
    try {
        dedtNUMSChange();
    } catch (...) {
        // An unusable directory at start is ignored; the operation that needs it says so.
    }
    for (const std::string& problem : problems) showErrorDialog(this, toQt(problem));
}

void TfrmMain::writeSettings() { saveDirectories(settingsFile_, numsDirectory_, fromQtLossy(dedtWayPath->text())); }

void TfrmMain::FormClose() {
    try {
        writeSettings();
    } catch (const std::exception& e) {
        showErrorDialog(this, toQt(errorText(e)));
    }
}

void TfrmMain::FormDestroy() {
    // Written once more as the window goes; a failure was already shown at close.
    try {
        writeSettings();
    } catch (...) {
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        if (askYesNo(this, QStringLiteral("Confirm"),
                     QStringLiteral("Идет обработка. Закрыть программу, когда она закончится?")))
            closeAfterRun_ = true;
        return;
    }
    FormClose();
    if (frmReport_) frmReport_->hide();
    event->accept();
}

}  // namespace strnum
