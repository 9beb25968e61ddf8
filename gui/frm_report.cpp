#include "gui/frm_report.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHideEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <filesystem>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "report/output_file.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"
#include "settings/settings.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr int kPanelHeight = 51;

// Runs a handler so that nothing it throws reaches Qt.
template <typename F>
void guarded(QWidget* window, F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showErrorDialog(window, e);
    } catch (...) {
        showErrorDialog(window, QStringLiteral("Неизвестная ошибка"));
    }
}

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

// The integer of an edit by the system's one conversion rule; throws Error(Conversion).
int editInteger(const QLineEdit* edit) {
    const std::optional<std::string> text = fromQt(edit->text());
    if (text) {
        if (const std::optional<std::int32_t> value = toInt32(*text)) return *value;
    }
    throwError(ErrorKind::Conversion,
               std::string("\""_cp) + fromQtLossy(edit->text()) + std::string("\" не является целым числом"_cp));
}

// Busy cursor for the length of a print or save of a large report.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The pictures of the three small buttons, drawn rather than shipped: a printer, a
// diskette and a door.  The disabled state is derived by QIcon.
enum class Picture { Printer, Diskette, Door };

QIcon drawnIcon(Picture picture) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(40, 40, 40));
    switch (picture) {
        case Picture::Printer:
            p.setBrush(Qt::white);
            p.drawRect(4, 1, 8, 6);  // paper going in
            p.setBrush(QColor(170, 170, 170));
            p.drawRect(1, 6, 14, 6);  // body
            p.setBrush(Qt::white);
            p.drawRect(4, 10, 8, 5);  // paper coming out
            p.fillRect(12, 8, 2, 1, QColor(0, 160, 0));
            break;
        case Picture::Diskette:
            p.setBrush(QColor(30, 60, 150));
            p.drawRect(1, 1, 14, 14);
            p.setBrush(Qt::white);
            p.drawRect(4, 2, 8, 5);  // label
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(4, 10, 8, 5);  // shutter
            p.fillRect(9, 11, 2, 3, QColor(30, 60, 150));
            break;
        case Picture::Door: {
            p.setBrush(QColor(150, 100, 50));
            p.drawRect(5, 1, 9, 14);
            p.setBrush(QColor(240, 200, 80));
            p.drawEllipse(11, 8, 2, 2);  // knob
            QPen arrow(QColor(200, 0, 0), 2);
            p.setPen(arrow);
            p.drawLine(1, 8, 7, 8);
            p.drawLine(1, 8, 4, 5);
            p.drawLine(1, 8, 4, 11);
            break;
        }
    }
    p.end();
    return QIcon(pixmap);
}

QFont controlFont() {
    QFont f;
    // Courier New Cyr where the machine has it; Liberation Mono has the metrics of Courier New.
    f.setFamilies(
        {QStringLiteral("Courier New Cyr"), QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(12);
    return f;
}

}  // namespace

bool isRichTextName(const QString& fileName) {
    // The extension begins at the last dot that follows the last folder separator.
    const qsizetype separator =
        std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < separator) return false;
    return fileName.mid(dot).toUpper().left(4) == QLatin1String(".RTF");
}

TfrmReport::TfrmReport(Report& report, QString printerDevice, QWidget* parent)
    : QWidget(parent, Qt::Window), report_(report), printerDevice_(std::move(printerDevice)) {
    if (printerDevice_.isEmpty()) printerDevice_ = QString::fromStdString(defaultPrinterDevice());
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Выходные формы"));
    setFont(controlFont());
    setGeometry(45, 120, 808, 286);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(0, 0, width(), kPanelHeight);

    const auto pictureButton = [&](const char* name, Picture picture, const QString& hint, int x) {
        auto* b = new QToolButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(drawnIcon(picture));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(hint);
        b->setGeometry(x, 8, 25, 25);
        return b;
    };
    const auto label = [&](const char* name, const QString& text, int x) {
        auto* l = new QLabel(text, Panel1);
        l->setObjectName(QString::fromLatin1(name));
        l->move(x, 16);
        l->adjustSize();
        return l;
    };
    const auto edit = [&](const char* name, const QString& text, int x) {
        auto* e = new QLineEdit(text, Panel1);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(x, 8, 39, 23);
        e->setTextMargins(0, 0, 0, 0);
        return e;
    };

    sbtnPrint = pictureButton("sbtnPrint", Picture::Printer, QStringLiteral("Вывод на печать"), 8);
    btnPrintRTF = new QPushButton(QStringLiteral("Печать"), Panel1);
    btnPrintRTF->setObjectName(QStringLiteral("btnPrintRTF"));
    btnPrintRTF->setToolTip(QStringLiteral("Распечатать отчет на принтере по умолчанию"));
    btnPrintRTF->setGeometry(40, 8, 57, 25);
    sbtnSave = pictureButton("sbtnSave", Picture::Diskette, QStringLiteral("Запись в файл"), 104);
    sbtnExit = pictureButton("sbtnExit", Picture::Door, QStringLiteral("Закрыть окно"), 136);

    Label1 = label("Label1", QStringLiteral("Шрифт"), 168);
    RxSpinEdit1 = new QSpinBox(Panel1);
    RxSpinEdit1->setObjectName(QStringLiteral("RxSpinEdit1"));
    RxSpinEdit1->setRange(0, 99);
    RxSpinEdit1->setValue(8);
    RxSpinEdit1->setGeometry(208, 8, 49, 24);

    Label2 = label("Label2", QStringLiteral("Строк:"), 264);
    edtNlinesMax = edit("edtNlinesMax", QStringLiteral("62"), 304);
    edtNlinesMax->setToolTip(QStringLiteral("Число строк на странице"));
    Label3 = label("Label3", QStringLiteral("Страницы с"), 352);
    edtFirstPage = edit("edtFirstPage", QStringLiteral("1"), 432);
    Label4 = label("Label4", QStringLiteral("по"), 480);
    edtLastPage = edit("edtLastPage", QStringLiteral("9999"), 504);

    cbxFormFeed = new QCheckBox(QStringLiteral("Прогон листа"), Panel1);
    cbxFormFeed->setObjectName(QStringLiteral("cbxFormFeed"));
    cbxFormFeed->setChecked(true);
    cbxFormFeed->setGeometry(548, 8, 105, 17);
    chkAllPages = new QCheckBox(QStringLiteral("Все страницы"), Panel1);
    chkAllPages->setObjectName(QStringLiteral("chkAllPages"));
    chkAllPages->setChecked(true);  // the page edits stay enabled until the box is clicked
    chkAllPages->setGeometry(548, 24, 108, 20);

    Memo1 = new ReportView(report_, this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, kPanelHeight, width(), height() - kPanelHeight);

    tabPages = new QTabBar(this);
    tabPages->setObjectName(QStringLiteral("tabPages"));
    tabPages->addTab(QStringLiteral("Отчет"));
    tabPages->addTab(QStringLiteral("Похожие"));
    tabPages->setDrawBase(true);
    tabPages->setExpanding(false);
    tabPages->hide();
    pgNearMatches = new NearMatchPage(this);
    pgNearMatches->hide();
    connect(tabPages, &QTabBar::currentChanged, this, [this] { layoutPages(); });

    linesPerPage_ = 62;
    connect(sbtnPrint, &QToolButton::clicked, this, &TfrmReport::btnPrintClick);
    connect(btnPrintRTF, &QPushButton::clicked, this, &TfrmReport::btnPrintRTFClick);
    connect(sbtnSave, &QToolButton::clicked, this, &TfrmReport::btnFileClick);
    connect(sbtnExit, &QToolButton::clicked, this, &TfrmReport::btnCloseClick);
    connect(chkAllPages, &QCheckBox::toggled, this, &TfrmReport::chkAllPagesClick);
    connect(RxSpinEdit1, &QSpinBox::valueChanged, this, &TfrmReport::RxSpinEdit1Change);
    for (QLineEdit* e : {edtNlinesMax, edtFirstPage, edtLastPage})
        connect(e, &QLineEdit::textChanged, this, &TfrmReport::edtNlinesMaxChange);
}

TfrmReport::~TfrmReport() {
    if (modalLoop_) modalLoop_->quit();
}

void TfrmReport::reportChanged() { Memo1->reportChanged(); }

void TfrmReport::setNearMatches(std::vector<NearMatch> matches, QColor highlight) {
    pgNearMatches->setMatches(std::move(matches), highlight);
    tabPages->setCurrentIndex(0);
    tabPages->show();
    // The usual height leaves the tree a few rows only.
    constexpr int kHeightWithPage = 460;
    if (height() < kHeightWithPage && !isMaximized()) resize(width(), kHeightWithPage);
    layoutPages();
}

void TfrmReport::clearNearMatches() {
    pgNearMatches->setMatches({}, QColor());
    tabPages->setCurrentIndex(0);
    tabPages->hide();
    layoutPages();
}

void TfrmReport::layoutPages() {
    int top = kPanelHeight;
    if (!tabPages->isHidden()) {
        const int h = tabPages->sizeHint().height();
        tabPages->setGeometry(0, top, width(), h);
        top += h;
    }
    const QRect below(0, top, width(), std::max(0, height() - top));
    const bool page = !tabPages->isHidden() && tabPages->currentIndex() == 1;
    Memo1->setGeometry(below);
    pgNearMatches->setGeometry(below);
    Memo1->setVisible(!page);
    pgNearMatches->setVisible(page);
}

void TfrmReport::showNonModal() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TfrmReport::showModal() {
    if (isVisible()) {
        showNonModal();
        return;
    }
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    QPointer<TfrmReport> self(this);
    showNonModal();
    loop.exec(QEventLoop::DialogExec);
    if (!self) return;  // destroyed while shown: the program is ending
    modalLoop_ = nullptr;
    if (isVisible()) hide();  // the loop also ends when the application quits
    setWindowModality(Qt::NonModal);
}

void TfrmReport::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised window counts as visible; only a real hide ends a modal showing.
    if (modalLoop_ && !isVisible()) modalLoop_->quit();
}

void TfrmReport::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Panel1->setGeometry(0, 0, width(), kPanelHeight);
    layoutPages();
}

// --- the steps after the dialogs --------------------------------------------------------

void TfrmReport::writePagedTextTo(const QString& path) {
    OutputFile out(fsPath(path));  // created before anything can fail
    PageOptions options;
    options.linesPerPage = linesPerPage_;
    options.firstPage = 0;
    options.lastPage = 9999;
    options.finalFormFeed = cbxFormFeed->isChecked();
    if (!chkAllPages->isChecked()) {
        try {
            options.firstPage = editInteger(edtFirstPage);
            options.lastPage = editInteger(edtLastPage);
        } catch (const Error&) {
            out.close();  // the destination was made before the page numbers were read: it stays, empty
            throw;
        }
    }
    BusyCursor busy;
    writePagedText(report_, out, options);
    out.close();
}

int TfrmReport::fontPoints() const {
    const QFont f = Memo1->font();
    if (f.pointSize() > 0) return f.pointSize();
    return std::max(1, (f.pixelSize() * 72 + 48) / 96);  // 12 pixels: 9 points
}

void TfrmReport::writeRtfTo(const QString& path) {
    OutputFile out(fsPath(path));
    BusyCursor busy;
    writeRtf(report_, out, RtfOptions{fontPoints()});
    out.close();
}

void TfrmReport::saveTo(const QString& path) {
    if (isRichTextName(path))
        writeRtfTo(path);
    else
        writePagedTextTo(path);
}

void TfrmReport::printRichText(QPrinter& printer) {
    BusyCursor busy;
    printer.setDocName(QString());
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (!printer.outputFileName().isEmpty())
            throwError(ErrorKind::Io,
                       std::string("Не удалось создать файл "_cp) + fromQtLossy(printer.outputFileName()));
        throwError(ErrorKind::Io, std::string("Отчет не напечатан"_cp));
    }
    QFont font = Memo1->font();
    font.setPointSize(fontPoints());  // points, so that the printer's resolution scales it
    painter.setFont(font);
    const PrintLayout layout = printLayout(printer, QFontMetricsF(painter.font(), painter.device()));
    int page = 1;
    const auto pageNumber = [&] {
        // At the foot of the page, to the right.
        const QString number = QString::number(page);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(layout.area.right() - layout.cellWidth * number.size(),
                                 layout.area.top() + (layout.rows + 1) * layout.lineHeight + layout.ascent),
                         number);
    };
    forEachPrintedRow(report_, layout.columns, layout.rows, [&](const PrintedRow& printed) {
        if (printed.page != page) {
            pageNumber();
            if (!printer.newPage()) throwError(ErrorKind::Io, std::string("Отчет не напечатан"_cp));
            page = printed.page;
        }
        const qreal y = layout.area.top() + printed.row * layout.lineHeight + layout.ascent;
        std::size_t runStart = 0;
        report_.forEachRun(printed.line, [&](const Run& run) {
            const std::size_t runEnd = runStart + run.text.size();
            const std::size_t from = std::max(runStart, printed.begin);
            const std::size_t to = std::min(runEnd, printed.end);
            if (from < to) {
                painter.setPen(run.colour.isDefault()
                                   ? QColor(Qt::black)
                                   : QColor(run.colour.red(), run.colour.green(), run.colour.blue()));
                QString shown = toQt(run.text.substr(from - runStart, to - from));
                for (QChar& c : shown)
                    if (c.unicode() < 0x20) c = QLatin1Char(' ');
                painter.drawText(
                    QPointF(layout.area.left() + static_cast<qreal>(from - printed.begin) * layout.cellWidth, y),
                    shown);
            }
            runStart = runEnd;
        });
    });
    pageNumber();
    if (!painter.end() || printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        throwError(ErrorKind::Io, std::string("Отчет не напечатан"_cp));
    if (!printer.outputFileName().isEmpty() && !QFileInfo::exists(printer.outputFileName()))
        throwError(ErrorKind::Io, std::string("Не удалось создать файл "_cp) + fromQtLossy(printer.outputFileName()));
}

void TfrmReport::forEachPrintedRow(const Report& report, int columns, int rows,
                                   const std::function<void(const PrintedRow&)>& f) {
    PrintedRow printed;
    printed.page = 1;
    printed.row = 0;
    const auto width = static_cast<std::size_t>(std::max(1, columns));
    for (std::size_t i = 0; i < report.lineCount(); ++i) {
        const std::string_view text = report.line(i);
        // A page-break line starts a new page (unless one has just begun); its form feed is
        // not printed.
        std::size_t skip = 0;
        if (!text.empty() && text[0] == '\f') {
            skip = 1;
            if (printed.row > 0) {
                ++printed.page;
                printed.row = 0;
            }
        }
        printed.line = i;
        for (const LinePiece& piece : wrapAtWords(text.substr(skip), width)) {
            if (printed.row >= std::max(1, rows)) {
                ++printed.page;
                printed.row = 0;
            }
            printed.begin = skip + piece.begin;
            printed.end = skip + piece.end;
            f(printed);
            ++printed.row;
        }
    }
}

TfrmReport::PrintLayout TfrmReport::printLayout(const QPrinter& printer, const QFontMetricsF& metrics) {
    PrintLayout layout;
    layout.cellWidth = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('M')));
    layout.lineHeight = std::max<qreal>(1, metrics.lineSpacing());
    layout.ascent = metrics.ascent();
    // The margins of the rich text (rtf_writer.h) from the paper's edges; the printer's own
    // unprintable margins count towards them.  Painting starts at the printable area.
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const qreal perMm = printer.resolution() / 25.4;
    const qreal left = std::max<qreal>(0, 20 * perMm - (page.left() - paper.left()));
    const qreal right = std::max<qreal>(0, 10 * perMm - (paper.right() - page.right()));
    const qreal top = std::max<qreal>(0, 15 * perMm - (page.top() - paper.top()));
    const qreal bottom = std::max<qreal>(0, 15 * perMm - (paper.bottom() - page.bottom()));
    layout.area = QRectF(left, top, std::max<qreal>(0, page.width() - left - right),
                         std::max<qreal>(0, page.height() - top - bottom));
    layout.columns = std::max(1, static_cast<int>(layout.area.width() / layout.cellWidth));
    // The last two rows of a page: an empty one and the page number.
    layout.rows = std::max(1, static_cast<int>(layout.area.height() / layout.lineHeight) - 2);
    return layout;
}

// --- handlers -------------------------------------------------------------------------

void TfrmReport::btnPrintClick() {
    guarded(this, [&] {
        if (!askYesNo(this, QStringLiteral("Confirm"), QStringLiteral("Вывести текст отчета на принтер?"))) return;
        writePagedTextTo(printerDevice_);
    });
}

void TfrmReport::btnPrintRTFClick() {
    guarded(this, [&] {
        QPrinter printer;
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted) return;
        printRichText(printer);
    });
}

void TfrmReport::btnFileClick() {
    guarded(this, [&] {
        const QString chosen = QFileDialog::getSaveFileName(
            this, QString(), saveFileName_, QStringLiteral("Text File (*.txt);;RTF file (*.rtf);;Any File (*)"));
        if (chosen.isEmpty()) return;
        saveFileName_ = chosen;
        saveTo(chosen);
    });
}

void TfrmReport::btnCloseClick() {
    guarded(this, [&] { close(); });
}

void TfrmReport::chkAllPagesClick() {
    guarded(this, [&] {
        const bool pages = !chkAllPages->isChecked();
        edtFirstPage->setEnabled(pages);
        edtLastPage->setEnabled(pages);
    });
}

void TfrmReport::RxSpinEdit1Change() {
    guarded(this, [&] {
        const int value = RxSpinEdit1->value();
        if (value > 2) Memo1->setFontPointSize(value);
    });
}

void TfrmReport::edtNlinesMaxChange() {
    guarded(this, [&] {
        // Assigned only once the text has converted: a bad text keeps the old value.
        linesPerPage_ = edtNlinesMax->text().isEmpty() ? 62 : editInteger(edtNlinesMax);
    });
}

}  // namespace strnum
