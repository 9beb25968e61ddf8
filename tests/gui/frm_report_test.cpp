// The report window: its controls as created, the handlers' rules (lines per page, page
// range, the save format by extension), what reaches the files, and how it shows and hides.
#include "gui/frm_report.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPrinter>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "base/error.h"
#include "gui/message_box.h"
#include "gui_test.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::TempDir;
using test::w;

QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// Records the error dialogs and answers the questions while a test runs.
struct Dialogs {
    QStringList errors;
    QStringList questions;
    bool answer = true;
    Dialogs() {
        previousError = setErrorDialogHook([this](QWidget*, const QString& text) { errors << text; });
        previousQuestion = setQuestionHook([this](QWidget*, const QString& title, const QString& text) {
            questions << title + QLatin1Char('|') + text;
            return answer;
        });
    }
    ~Dialogs() {
        setErrorDialogHook(previousError);
        setQuestionHook(previousQuestion);
    }
    ErrorDialogHook previousError;
    QuestionHook previousQuestion;
};

Report numbered(int lines) {
    Report r;
    for (int i = 1; i <= lines; ++i) r.appendLine(w("строка ") + std::to_string(i));
    return r;
}

// A small report as operations write it: plain lines and coloured differences.
Report sample() {
    Report r;
    r.appendLine(w("Участок 01: C:\\ORTAN\\U01"));
    r.appendLine(w("PDL.DBF  Обработано 1520 записей, найдено 1498"));
    r.appendLine(w("  123-456-789 01  Иванова Мария Петровна 01.02.1950"));
    r.newLine();
    r.appendRun(w("  в справочнике: "), Colour());
    r.appendRun(w("Иванова"), kRed);
    r.appendRun(w(" Мария "), Colour());
    r.appendRun(w("Пeтровна"), kBlue);
    r.appendLine("");
    r.appendLine(w("Ёлкин ёжик №5 — не найден в справочнике"));
    r.newLine();
    r.appendRun(w("Зелёная строка"), Colour::rgb(0, 128, 0));
    return r;
}

std::string corePaged(const Report& r, const PageOptions& options) {
    TempDir dir;
    {
        OutputFile out(dir / "core.txt");
        writePagedText(r, out, options);
        out.close();
    }
    return test::readBytes(dir / "core.txt");
}

}  // namespace

class FrmReportTest : public QObject {
    Q_OBJECT

private slots:
    void controlsAsCreated() {
        Report report;
        TfrmReport f(report, QStringLiteral("/dev/null"));
        QCOMPARE(f.objectName(), QStringLiteral("frmReport"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Выходные формы"));
        QCOMPARE(f.geometry(), QRect(45, 120, 808, 286));
        QVERIFY(f.isWindow());

        const std::pair<QWidget*, QRect> places[] = {
            {f.sbtnPrint, {8, 8, 25, 25}},       {f.btnPrintRTF, {40, 8, 57, 25}},  {f.sbtnSave, {104, 8, 25, 25}},
            {f.sbtnExit, {136, 8, 25, 25}},      {f.RxSpinEdit1, {208, 8, 49, 24}}, {f.edtNlinesMax, {304, 8, 39, 23}},
            {f.edtFirstPage, {432, 8, 39, 23}},  {f.edtLastPage, {504, 8, 39, 23}}, {f.cbxFormFeed, {548, 8, 105, 17}},
            {f.chkAllPages, {548, 24, 108, 20}}, {f.Memo1, {0, 51, 808, 286 - 51}}};
        for (const auto& [widget, place] : places) {
            QCOMPARE(widget->geometry(), place);
            QCOMPARE(f.findChild<QWidget*>(widget->objectName()), widget);  // tests find controls by name
        }
        QCOMPARE(f.Label2->pos(), QPoint(264, 16));

        const std::pair<QWidget*, const char*> hints[] = {{f.sbtnPrint, "Вывод на печать"},
                                                          {f.btnPrintRTF, "Распечатать отчет на принтере по умолчанию"},
                                                          {f.sbtnSave, "Запись в файл"},
                                                          {f.sbtnExit, "Закрыть окно"},
                                                          {f.edtNlinesMax, "Число строк на странице"}};
        for (const auto& [widget, hint] : hints) QCOMPARE(widget->toolTip(), QString::fromUtf8(hint));
        for (QToolButton* b : {f.sbtnPrint, f.sbtnSave, f.sbtnExit}) QVERIFY(!b->icon().isNull());
        QCOMPARE(f.btnPrintRTF->text(), QStringLiteral("Печать"));
        QCOMPARE(QStringList({f.Label1->text(), f.Label2->text(), f.Label3->text(), f.Label4->text()}),
                 QStringList({"Шрифт", "Строк:", "Страницы с", "по"}));

        QCOMPARE(f.RxSpinEdit1->value(), 8);
        QCOMPARE(f.edtNlinesMax->text(), QStringLiteral("62"));
        QCOMPARE(f.edtFirstPage->text(), QStringLiteral("1"));
        QCOMPARE(f.edtLastPage->text(), QStringLiteral("9999"));
        QCOMPARE(f.cbxFormFeed->text(), QStringLiteral("Прогон листа"));
        QVERIFY(f.cbxFormFeed->isChecked());
        QCOMPARE(f.chkAllPages->text(), QStringLiteral("Все страницы"));
        QVERIFY(f.chkAllPages->isChecked());
        // Enabled although "Все страницы" is checked, until the box is clicked.
        QVERIFY(f.edtFirstPage->isEnabled());
        QVERIFY(f.edtLastPage->isEnabled());
        QCOMPARE(f.linesPerPage(), 62);
        QCOMPARE(f.saveFileName(), QStringLiteral("REPORT.TXT"));

        // The text box: 12 pixels of a monospaced Courier New, both scroll bars.
        QCOMPARE(f.Memo1->font().pixelSize(), 12);
        QVERIFY(f.Memo1->font().families().contains(QStringLiteral("Courier New")));
        QVERIFY(QFontInfo(f.Memo1->font()).fixedPitch());
        QCOMPARE(f.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(f.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(f.edtNlinesMax->font().pixelSize(), 12);
    }

    void allPagesBoxEnablesThePageEdits() {
        Report report;
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.chkAllPages->click();
        QVERIFY(f.edtFirstPage->isEnabled() && f.edtLastPage->isEnabled());
        f.chkAllPages->click();
        QVERIFY(!f.edtFirstPage->isEnabled() && !f.edtLastPage->isEnabled());
    }

    void fontSpinAboveTwoSetsPoints() {
        Report report;
        TfrmReport f(report, QStringLiteral("/dev/null"));
        const int height = f.Memo1->lineHeight();
        f.RxSpinEdit1->setValue(2);
        QCOMPARE(f.Memo1->font().pixelSize(), 12);  // 2 and below change nothing
        f.RxSpinEdit1->setValue(16);
        QCOMPARE(f.Memo1->font().pointSize(), 16);
        QVERIFY(f.Memo1->lineHeight() > height);
        f.RxSpinEdit1->setValue(1);
        QCOMPARE(f.Memo1->font().pointSize(), 16);
    }

    void linesPerPageFromTheEdit() {
        Dialogs dialogs;
        Report report;
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.edtNlinesMax->setText(QStringLiteral("40"));
        QCOMPARE(f.linesPerPage(), 40);
        f.edtNlinesMax->setText(QString());
        QCOMPARE(f.linesPerPage(), 62);
        f.edtNlinesMax->setText(QStringLiteral(" -3"));
        QCOMPARE(f.linesPerPage(), -3);
        QVERIFY(dialogs.errors.isEmpty());

        f.edtNlinesMax->setText(QStringLiteral("4x"));
        QCOMPARE(f.linesPerPage(), -3);
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors[0].contains(QStringLiteral("4x")), qPrintable(dialogs.errors[0]));
        // The shared handler reads only edtNlinesMax, whichever edit changed.
        f.edtFirstPage->setText(QStringLiteral("2"));
        QCOMPARE(dialogs.errors.size(), 2);
        f.edtNlinesMax->setText(QStringLiteral("99999999999"));  // beyond 32 bits
        QCOMPARE(f.linesPerPage(), -3);
        QCOMPARE(dialogs.errors.size(), 3);
        f.edtNlinesMax->setText(QStringLiteral("5"));
        f.edtLastPage->setText(QStringLiteral("abc"));  // page edits are read only when writing
        QCOMPARE(f.linesPerPage(), 5);
        QCOMPARE(dialogs.errors.size(), 3);
    }

    void extensionRule_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("rich");
        QTest::newRow("lower") << "/tmp/a.rtf" << true;
        QTest::newRow("upper") << "REPORT.RTF" << true;
        QTest::newRow("longer extension") << "x.Rtfx" << true;
        QTest::newRow("text") << "REPORT.TXT" << false;
        QTest::newRow("no extension") << "REPORT" << false;
        QTest::newRow("rtf before the last dot") << "a.rtf.txt" << false;
        QTest::newRow("dot in a folder name") << "/tmp/x.rtf/REPORT" << false;
        QTest::newRow("empty") << "" << false;
    }
    void extensionRule() {
        QFETCH(QString, name);
        QFETCH(bool, rich);
        QCOMPARE(isRichTextName(name), rich);
    }

    void savedPagedTextIsTheCoreWritersOutput() {
        Report report = numbered(130);
        report.appendLine(w("последняя строка с ё и №"));
        TfrmReport f(report, QStringLiteral("/dev/null"));
        TempDir dir;

        f.saveTo(qpath(dir / "REPORT.TXT"));
        QCOMPARE(test::readBytes(dir / "REPORT.TXT"), corePaged(report, PageOptions{62, 0, 9999, true}));

        f.edtNlinesMax->setText(QStringLiteral("10"));
        f.cbxFormFeed->setChecked(false);
        f.chkAllPages->setChecked(false);
        f.edtFirstPage->setText(QStringLiteral("2"));
        f.edtLastPage->setText(QStringLiteral(" 3"));
        f.saveTo(qpath(dir / "REPORT"));
        const std::string expected = corePaged(report, PageOptions{10, 2, 3, false});
        QCOMPARE(test::readBytes(dir / "REPORT"), expected);
        QVERIFY(expected.find(std::string(30, ' ') + "2\r\n") == 0);  // page 1 not written

        // An existing file is overwritten, not appended to.
        f.chkAllPages->setChecked(true);
        f.saveTo(qpath(dir / "REPORT"));
        QCOMPARE(test::readBytes(dir / "REPORT"), corePaged(report, PageOptions{10, 0, 9999, false}));
    }

    void savedRichTextIsTheRtfWritersOutputInTheBoxsFontSize() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        TempDir dir;
        const auto coreRtf = [&](int points) {
            OutputFile out(dir / "core.rtf");
            writeRtf(report, out, RtfOptions{points});
            out.close();
            return test::readBytes(dir / "core.rtf");
        };
        f.saveTo(qpath(dir / "a.Rtf"));
        QCOMPARE(test::readBytes(dir / "a.Rtf"), coreRtf(9));  // 12 pixels
        f.RxSpinEdit1->setValue(14);
        f.saveTo(qpath(dir / "b.rtfx"));
        QCOMPARE(test::readBytes(dir / "b.rtfx"), coreRtf(14));
    }

    void badPageNumberLeavesTheCreatedFileEmpty() {
        Dialogs dialogs;
        Report report = numbered(5);
        TempDir dir;
        const auto port = dir / "lp0";
        TfrmReport f(report, qpath(port));
        dialogs.answer = false;
        f.sbtnPrint->click();
        QVERIFY(!std::filesystem::exists(port));  // No: the port is not even opened
        dialogs.questions.clear();
        dialogs.answer = true;
        f.chkAllPages->setChecked(false);
        f.edtFirstPage->setText(QStringLiteral("x1"));

        try {
            f.writePagedTextTo(qpath(dir / "r.txt"));
            QFAIL("a bad page number was written");
        } catch (const Error& e) {
            QCOMPARE(e.kind(), ErrorKind::Conversion);
        }
        QVERIFY(std::filesystem::exists(dir / "r.txt"));
        QCOMPARE(std::filesystem::file_size(dir / "r.txt"), std::uintmax_t{0});

        // The printer button: the question first, then the same failure in the dialog.
        f.sbtnPrint->click();
        QCOMPARE(dialogs.questions, QStringList{QStringLiteral("Confirm|Вывести текст отчета на принтер?")});
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY(dialogs.errors[0].contains(QStringLiteral("x1")));
        QVERIFY(std::filesystem::exists(port));
        QCOMPARE(std::filesystem::file_size(port), std::uintmax_t{0});
        QCOMPARE(report.lineCount(), std::size_t{5});

        // Good page numbers: the printer port gets the paged text.
        f.edtFirstPage->setText(QStringLiteral("1"));
        f.sbtnPrint->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QCOMPARE(test::readBytes(port), corePaged(report, PageOptions{62, 1, 9999, true}));
    }

    void unwritableDestinationIsAnIoErrorAndTheReportStays() {
        Dialogs dialogs;
        Report report = sample();
        const std::size_t lines = report.lineCount();
        TempDir dir;
        TfrmReport f(report, qpath(dir / "no such folder" / "lp0"));
        for (const char* name : {"REPORT.TXT", "REPORT.RTF"}) {
            try {
                f.saveTo(qpath(dir / "no such folder" / name));
                QFAIL("saved into a missing folder");
            } catch (const Error& e) {
                QCOMPARE(e.kind(), ErrorKind::Io);
            }
        }
        f.sbtnPrint->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QCOMPARE(report.lineCount(), lines);
        QCOMPARE(report.line(0), w("Участок 01: C:\\ORTAN\\U01"));
    }

    void richTextPrintsToPdf() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        TempDir dir;
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(qpath(dir / "report.pdf"));
        f.printRichText(printer);
        QCOMPARE(test::readBytes(dir / "report.pdf").substr(0, 5), std::string("%PDF-"));
        QCOMPARE(printer.docName(), QString());

        QPrinter nowhere;
        nowhere.setOutputFormat(QPrinter::PdfFormat);
        nowhere.setOutputFileName(qpath(dir / "no such folder" / "report.pdf"));
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QVERIFY_THROWS_EXCEPTION(Error, f.printRichText(nowhere));
    }

    // Printed, "указана д/р 27.08.1931" was broken as "указана д/" | "р 27.08.1931": a line
    // longer than the page goes on in the next printed line, broken between words only.
    void printedLinesBreakBetweenWords() {
        Report report;
        report.appendLine(w("Участок 01"));
        report.appendLine(w("   в СПУ  числится "));
        report.appendRun(w("КОНСТАНТИНОПОЛЬСКАЯ ЕЛИЗАВЕТА"), kRed);
        report.appendRun(w(" ВЛАДИМИРОВНА"), Colour());
        const std::string check =
            w("1 12 48233610495: КОНСТАНТИНОПОЛЬСКАЯ ЕЛИЗАВЕТА ВЛАДИМИРОВНА 14.11.1931  в СПУ со стр.N "
              "482-336-104 95 указана д/р 27.08.1931");
        for (int i = 0; i < 9; ++i) report.appendLine(std::string(static_cast<std::size_t>(i), ' ') + check);
        report.appendLine(w("\fновая страница"));
        report.appendLine(std::string(120, 'x'));
        QList<TfrmReport::PrintedRow> rows;
        TfrmReport::forEachPrintedRow(report, 94, 10, [&](const TfrmReport::PrintedRow& r) { rows << r; });
        QString printed;  // the rows, one a line
        for (const auto& r : rows) {
            const std::string_view line = report.line(r.line);
            QVERIFY(r.end - r.begin <= 94);
            printed += QString::fromStdString(test::u(line.substr(r.begin, r.end - r.begin))) + QLatin1Char('\n');
        }
        QVERIFY2(printed.count(QStringLiteral("указана д/р 27.08.1931\n")) +
                         printed.count(QStringLiteral("указана\nд/р 27.08.1931\n")) ==
                     9,
                 qPrintable(printed));
        // Ten rows to a page: two short lines and the first four check lines (two rows each)
        // fill page 1.
        QCOMPARE(rows.size(), qsizetype{2 + 9 * 2 + 1 + 2});
        QCOMPARE(rows[9].page, 1);
        QCOMPARE(rows[10].page, 2);
        QCOMPARE(rows[10].row, 0);
        // The page-break line starts page 3 without its form feed; the long word is cut.
        const auto pageBreak = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.line == 11; });
        QVERIFY(pageBreak != rows.end());
        QCOMPARE(pageBreak->page, 3);
        QCOMPARE(pageBreak->row, 0);
        QCOMPARE(pageBreak->begin, std::size_t{1});
        QCOMPARE(rows.back().line, std::size_t{12});
        QCOMPARE(rows.back().end - rows.back().begin, std::size_t{120 - 94});

        // On A4 in 9 points the text is 180 mm wide: 94 characters of Courier New.
        Report one;
        one.appendLine(check);
        TfrmReport f(one, QStringLiteral("/dev/null"));
        TempDir dir;
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QFont font = f.Memo1->font();
        font.setPointSize(9);
        const TfrmReport::PrintLayout layout = TfrmReport::printLayout(printer, QFontMetricsF(font, &printer));
        QVERIFY2(layout.columns >= 90 && layout.columns <= 96, qPrintable(QString::number(layout.columns)));
        QVERIFY2(layout.rows >= 70 && layout.rows <= 80, qPrintable(QString::number(layout.rows)));
        QCOMPARE(qRound(layout.area.left() * 25.4 / printer.resolution()), 20);

        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        printer.setOutputFileName(shots.isEmpty() ? qpath(dir / "r.pdf")
                                                  : shots + QStringLiteral("/report-printed.pdf"));
        TfrmReport whole(report, QStringLiteral("/dev/null"));
        whole.printRichText(printer);
    }

    void modalShowingEndsWhenTheWindowCloses() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.reportChanged();
        bool wasModal = false;
        QTimer::singleShot(0, &f, [&] {
            wasModal = f.isVisible() && f.isModal();
            f.sbtnExit->click();
        });
        f.showModal();
        QVERIFY(wasModal);
        QVERIFY(!f.isVisible());
        QVERIFY(!f.isModal());
        QCOMPARE(report.lineCount(), sample().lineCount());
    }

    // A modal request while the window is shown was an error in English ("Cannot make a
    // visible window modal"); the window now comes to the front as it is.
    void modalRequestWhileShownBringsItToTheFront() {
        Report report;
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.showNonModal();
        QVERIFY(f.isVisible());
        f.showMinimized();
        f.showModal();  // returns at once
        QVERIFY(f.isVisible());
        QVERIFY(!f.isMinimized());
        QVERIFY(!f.isModal());
        f.close();
    }

    // A new run refills the report while the window is open (the run lets it process
    // messages); a copy then takes only the lines that are there.
    void selectionPastTheEndOfARefilledReport() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.reportChanged();
        f.Memo1->selectLines(1, 5);
        report.clear();
        report.appendLine("one");
        report.appendLine("two");
        QCOMPARE(f.Memo1->selectedText(), QStringLiteral("two"));
        report.clear();
        QCOMPARE(f.Memo1->selectedText(), QString());
    }

    void closingOnlyHidesAndKeepsTheSettings() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.showNonModal();
        f.edtNlinesMax->setText(QStringLiteral("30"));
        f.setSaveFileName(QStringLiteral("/tmp/x.rtf"));
        f.sbtnExit->click();
        QVERIFY(!f.isVisible());
        f.showNonModal();
        QVERIFY(f.isVisible());
        QCOMPARE(f.linesPerPage(), 30);
        QCOMPARE(f.saveFileName(), QStringLiteral("/tmp/x.rtf"));
        QCOMPARE(report.lineCount(), sample().lineCount());
        f.close();
        QVERIFY(!f.isVisible());
    }

    void textBoxSelectsAndCopiesWholeLines() {
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.showNonModal();
        f.reportChanged();
        ReportView* view = f.Memo1;
        QWidget* vp = view->viewport();
        const int h = view->lineHeight();
        QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(10, h * 2 + h / 2));
        QCOMPARE(view->selectionFirst(), 2);
        QCOMPARE(view->selectionLast(), 2);
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, h * 3 + 1));
        QCOMPARE(view->selectionFirst(), 2);
        QCOMPARE(view->selectionLast(), 3);
        QCOMPARE(view->selectedText(),
                 QStringLiteral(
                     "  123-456-789 01  Иванова Мария Петровна 01.02.1950\n  в справочнике: Иванова Мария Пeтровна"));
        // Below the last line: the last line.
        QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(10, vp->height() - 2));
        QCOMPARE(view->selectionFirst(), static_cast<int>(report.lineCount()) - 1);

        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view->selectionFirst(), 0);
        QCOMPARE(view->selectionLast(), static_cast<int>(report.lineCount()) - 1);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        if (QClipboard* clipboard = QApplication::clipboard(); clipboard && !clipboard->text().isEmpty())
            QCOMPARE(clipboard->text(), view->selectedText());

        // A new report drops the selection instead of pointing past its end.
        report.clear();
        report.appendLine("one");
        f.reportChanged();
        QCOMPARE(view->selectionFirst(), -1);
        QCOMPARE(view->selectedText(), QString());
        f.close();
    }

    void textBoxScrollsOverTheWholeReport() {
        Report report = numbered(1000);
        report.appendLine(std::string(300, 'x'));
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.showNonModal();
        f.reportChanged();
        ReportView* view = f.Memo1;
        QScrollBar* v = view->verticalScrollBar();
        QScrollBar* hb = view->horizontalScrollBar();
        const int visible = view->viewport()->height() / view->lineHeight();
        QCOMPARE(v->maximum(), 1001 - visible);
        QVERIFY(hb->maximum() >= static_cast<int>(300 * view->cellWidth()) - view->viewport()->width());
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_PageUp);
        QCOMPARE(v->value(), v->maximum() - v->pageStep());
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(hb->value(), hb->maximum());
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(v->value(), 0);
        QCOMPARE(view->lineAt(0), 0);
        f.close();
    }

    // Not a timed test: the numbers are printed for the benchmark notes.
    void largeReportAppearsQuickly() {
        Report report;
        for (int i = 0; i < 200000; ++i) {
            report.appendLine(w("  123-456-789 01  Иванова Мария Петровна 01.02.1950 запись ") + std::to_string(i));
            if (i % 10 == 0) {
                report.appendRun(w(" Иванова"), kRed);
                report.appendRun(w(" Петровна"), kBlue);
            }
        }
        TfrmReport f(report, QStringLiteral("/dev/null"));
        QElapsedTimer timer;
        timer.start();
        f.reportChanged();
        f.showNonModal();
        const QPixmap first = f.grab();
        const qint64 shown = timer.elapsed();
        QScrollBar* v = f.Memo1->verticalScrollBar();
        timer.restart();
        for (int step = 0; step < 200; ++step) {
            v->setValue(v->value() + 997);
            (void)f.Memo1->viewport()->grab();
        }
        const qint64 scrolled = timer.elapsed();
        qInfo("200000 lines: reportChanged + first paint %lld ms; 200 scroll repaints %lld ms", shown, scrolled);
        QVERIFY(!first.isNull());
        f.close();
    }

    // With STRNUM_SCREENSHOT_DIR set, the window with a small report goes there as a PNG.
    void screenshot() {
        const QString dir = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("STRNUM_SCREENSHOT_DIR not set");
        Report report = sample();
        TfrmReport f(report, QStringLiteral("/dev/null"));
        f.reportChanged();
        f.showNonModal();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.grab().save(dir + QStringLiteral("/frmReport.png")));
        f.close();
    }
};

}  // namespace strnum

using strnum::FrmReportTest;
STRNUM_GUI_TEST(FrmReportTest)

#include "frm_report_test.moc"
