// The main window as a user meets it: start with and without SOBES.INI, close, the
// number directory's directory, a district walk with the window as host, one run at a
// time, and the number assignment over a small region shown in the report window.
#include "gui/frm_main.h"

#include <QScrollBar>
#include <QTabBar>
#include <QtTest>
#include <algorithm>
#include <functional>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "demo/demo_region.h"
#include "gui/frm_report.h"
#include "gui/message_box.h"
#include "gui_test.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "support/test_support.h"

namespace strnum {

// The demonstration region in a temporary program directory (its SOBES.INI beside the
// program), and both windows over it, shown.
struct DemoWindows {
    test::TempDir dir;
    bool regionWritten = [this] {
        writeDemoRegion(dir / "region", DemoOptions{});
        test::writeBytes(dir / "SOBES.INI", test::readBytes(dir / "region" / "SOBES.INI"));
        return true;
    }();
    Report report;
    TfrmMain w{report, dir / "SOBES.INI"};
    TfrmReport r{report, QStringLiteral("/dev/null")};

    DemoWindows() {
        w.setReportWindow(&r);
        w.show();
    }
    std::tuple<test::TempDir&, Report&, TfrmMain&, TfrmReport&> parts() { return {dir, report, w, r}; }
};

// Calls back whenever the widget paints, before it paints.
class PaintWatcher : public QObject {
public:
    PaintWatcher(QWidget* widget, std::function<void()> painting) : widget_(widget), painting_(std::move(painting)) {
        widget_->installEventFilter(this);
    }
    ~PaintWatcher() override { widget_->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint) painting_();
        return false;
    }

private:
    QWidget* widget_;
    std::function<void()> painting_;
};

class FrmMainTest : public QObject {
    Q_OBJECT

    QStringList errors_;
    QStringList questions_;
    bool answer_ = false;

private slots:
    void init() {
        errors_.clear();
        questions_.clear();
        answer_ = false;
        setErrorDialogHook([this](QWidget*, const QString& text) { errors_ << text; });
        setQuestionHook([this](QWidget*, const QString& title, const QString& text) {
            questions_ << title + "|" + text;
            return answer_;
        });
    }
    void cleanup() {
        setErrorDialogHook({});
        setQuestionHook({});
    }

    void startsWithoutSettingsAndCreatesThemAtClose() {
        test::TempDir dir;
        Report report;
        {
            TfrmMain w(report, dir / "SOBES.INI");
            QCOMPARE(w.windowTitle(), QStringLiteral("Простановка стр. номеров в БД ОРТАН"));
            QCOMPARE(w.size(), QSize(642, 477));
            QCOMPARE(w.dedtNUMS->text(), QString());
            QCOMPARE(w.dedtWayPath->text(), QString());
            QCOMPARE(w.PageControl1->currentIndex(), 0);
            QVERIFY(w.chkNoStatErrors->isChecked());
            QVERIFY(!w.chkReadOnly->isChecked());
            QCOMPARE(w.lblRecCount->text(), QStringLiteral("000"));
            QVERIFY(w.ProgressBar1->isHidden());
            QCOMPARE(w.memSQL->toPlainText(), QStringLiteral("select * from way.dbf"));
            QCOMPARE(w.btnAssignNumInPDL->geometry(), QRect(424, 144, 190, 25));
            QCOMPARE(w.btnAssignNumInPDL->toolTip(), QStringLiteral("Простановка стр.номеров по участкам БД ОРТАН"));
            w.show();
            QVERIFY(w.close());
        }
        QCOMPARE(QString::fromStdString(test::readBytes(dir / "SOBES.INI")),
                 QStringLiteral("[Init]\r\nDBPath=\r\nWayPath=\r\n"));
        QVERIFY(errors_.isEmpty());
    }

    void readsSettingsAndKeepsOtherKeys() {
        test::TempDir dir;
        test::writeBytes(dir / "SOBES.INI",
                         "[Init]\r\nDBPath=/n\r\nWayPath=" + test::w("/участки") + "\r\nOther=1\r\n[Mine]\r\nX=y\r\n");
        Report report;
        {
            TfrmMain w(report, dir / "SOBES.INI");
            QCOMPARE(w.dedtNUMS->text(), QStringLiteral("/n"));
            QCOMPARE(w.dedtWayPath->text(), QStringLiteral("/участки"));
            QCOMPARE(QString::fromStdString(w.tblNUM().directory().string()), QStringLiteral("/n"));
            w.dedtNUMS->setText(QStringLiteral("/new"));  // applied at once: directory set, table closed
            QCOMPARE(QString::fromStdString(w.tblNUM().directory().string()), QStringLiteral("/new"));
            QVERIFY(!w.tblNUM().isOpen());
            w.show();
            w.close();
        }
        QCOMPARE(QString::fromStdString(test::readBytes(dir / "SOBES.INI")),
                 QString::fromStdString("[Init]\r\nDBPath=/new\r\nWayPath=" + test::w("/участки") +
                                        "\r\nOther=1\r\n[Mine]\r\nX=y\r\n"));
    }

    void unwritableSettingsAreShownAtClose() {
        test::TempDir dir;
        Report report;
        TfrmMain w(report, dir / "no" / "such" / "SOBES.INI");
        w.show();
        w.close();
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_[0].contains(QStringLiteral("SOBES.INI")));
    }

    void walkShowsProgressAndAsksAfterTheClosingStep() {
        test::TempDir dir;
        std::filesystem::create_directory(dir / "U01");
        {
            DbfWriter way(dir / "WAY.DBF", {{"W", 'C', 80, 0}}, 0x65);
            way.append({(dir / "U01").string()});
            way.append({(dir / "U02").string()});
            way.finish();
        }
        Report report;
        TfrmMain w(report, dir / "SOBES.INI");
        w.dedtWayPath->setText(QString::fromStdString(dir.path().string()));
        DistrictWalk walk;
        int steps = 0;
        bool progressShownInStep = false;
        walk.step = [&](const std::string&, const std::filesystem::path&) {
            ++steps;
            progressShownInStep = !w.ProgressBar1->isHidden() && w.ProgressBar1->maximum() == 2;
            throw Error(ErrorKind::Corrupt, "boom");
        };
        walk.summary = [] { return std::string("summary"); };
        QVERIFY(w.runOperation([&] { w.walkDistricts(walk); }));
        QCOMPARE(steps, 1);
        QVERIFY(progressShownInStep);
        QVERIFY(w.ProgressBar1->isHidden());
        QCOMPARE(questions_, QStringList{QStringLiteral("Confirm|summary")});
        QCOMPARE(errors_, QStringList{QStringLiteral("boom")});
        QCOMPARE(w.lblDistrictBD->text(), QString::fromStdString((dir / "U01").string()));
        QVERIFY(!w.running());
    }

    void secondOperationIsRefusedWhileOneRuns() {
        test::TempDir dir;
        Report report;
        TfrmMain w(report, dir / "SOBES.INI");
        bool inner = false;
        QVERIFY(w.runOperation([&] {
            QVERIFY(!w.runOperation([&] { inner = true; }));
            w.dedtNUMS->setText(QStringLiteral("/later"));  // not applied under a running operation
            QVERIFY(w.tblNUM().directory() != std::filesystem::path("/later"));
        }));
        QVERIFY(!inner);
        QCOMPARE(errors_.size(), 1);
        QCOMPARE(w.tblNUM().directory(), std::filesystem::path("/later"));  // applied when the run ended
    }

    // During a run, messages are processed at the first request and then at most every
    // few tens of milliseconds, however often they are asked for; the record count set in
    // between is shown by the end of the run.
    void runProcessesMessagesAtAMeasuredPace() {
        test::TempDir dir;
        Report report;
        TfrmMain w(report, dir / "SOBES.INI");
        int rounds = 0;  // one message is always waiting: each processing delivers it
        bool waiting = false;
        QObject receiver;
        QElapsedTimer clock;
        int count = 0;
        QVERIFY(w.runOperation([&] {
            clock.start();
            while (clock.elapsed() < 150) {
                if (!waiting) {
                    waiting = true;
                    QMetaObject::invokeMethod(
                        &receiver, [&] { ++rounds, waiting = false; }, Qt::QueuedConnection);
                }
                count += 10;
                w.setLabel(HostLabel::RecordCount, std::to_string(count));
                w.processEvents();
                if (count == 10) QCOMPARE(rounds, 1);  // the first request is served at once
            }
        }));
        const qint64 ms = clock.elapsed();
        QVERIFY2(rounds >= 2 && rounds <= 2 + ms / 30, qPrintable(QString("%1 in %2 ms").arg(rounds).arg(ms)));
        QVERIFY(count > 100 * rounds);
        QCOMPARE(w.lblRecCount->text(), QString::number(count));
    }

    void assignButtonRunsOverARegionAndShowsTheReport() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        answer_ = true;
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QVERIFY(errors_.isEmpty());
        QCOMPARE(questions_.size(), 1);
        QVERIFY(questions_[0].startsWith(QStringLiteral("Confirm|Найдено по ФИО : ")));
        QVERIFY(r.isVisible());
        QVERIFY(report.lineCount() > 20);
        QVERIFY(QString::fromStdString(test::u(report.line(0))).startsWith(QStringLiteral("Участок ")));
        QVERIFY(w.tblNUM().isOpen());  // left open for the next operation
        QCOMPARE(QString::fromStdString(w.tblNUM().table().indexFieldNames()), QStringLiteral("FAM;NAM;OTCH;BIRTH"));
        // The writing run's journal is in the program directory, named in the program's log.
        const auto journals = RunJournal::list(dir.path());
        QCOMPARE(journals.size(), std::size_t{1});
        const JournalContents journal = readJournal(journals[0]);
        QVERIFY(journal.ended && journal.ok && !journal.writes.empty());
        QVERIFY(QString::fromStdString(test::u(test::readBytes(dir / "strnum.log")))
                    .contains(QString::fromStdString(journals[0].string())));
        // A second run in count-only mode finds the numbers in place; only those of the numeric
        // NPSU field, which cannot keep leading zeros, would be written again.
        const auto written = [](const QString& q) {
            const int at = q.indexOf(QStringLiteral("проставлено: ")) + 13;
            return q.mid(at, q.indexOf(QLatin1Char(' '), at) - at).toInt();
        };
        const int first = written(questions_[0]);
        questions_.clear();
        answer_ = false;
        w.chkReadOnly->setChecked(true);
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QVERIFY(first > 10);
        QVERIFY(written(questions_[0]) < first / 5);

        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            w.chkReadOnly->setChecked(false);
            answer_ = true;
            QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
            QTest::qWait(200);
            w.grab().save(shots + QStringLiteral("/frmMain.png"));
            r.grab().save(shots + QStringLiteral("/frmReport-assign.png"));
            w.PageControl1->setCurrentIndex(1);
            QTest::qWait(100);
            w.grab().save(shots + QStringLiteral("/frmMain-debug.png"));
        }
        r.hide();
    }

    // The check from its button, with the exchange batch and the not-found list written in
    // the program directory (beside SOBES.INI); the report shows the blue header runs and the
    // red spans.
    void checkButtonRunsOverARegionWithItsByProducts() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        answer_ = true;
        w.chkCreateOBMN->setChecked(true);
        w.chkAnkList->setChecked(true);
        QTest::mouseClick(w.btnCheckFIO, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join(QLatin1Char('|'))));
        QCOMPARE(questions_.size(), 1);
        QVERIFY(questions_[0].startsWith(QStringLiteral("Confirm|Найдено : ")));
        QCOMPARE(QString::fromStdString(test::u(report.line(0))),
                 QStringLiteral("Сверка проставленных стр. номеров с БД ПерсУчета"));
        QVERIFY(report.hasColour());
        QVERIFY(std::filesystem::exists(dir / "00000100.001"));
        QVERIFY(std::filesystem::exists(dir / "ANKT.DB"));
        QCOMPARE(w.lblProcessed->text(), QStringLiteral("0"));
        QCOMPARE(w.highlightColour(), kRed);
        QCOMPARE(QString::fromStdString(w.tblNUM().table().indexFieldNames()), QString());
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(200);
            r.grab().save(shots + QStringLiteral("/frmReport-check.png"));
        }
        r.hide();
    }

    // A damaged district file and a foreign not-found table: the report keeps its own lines,
    // and when the run ends one message names each file with its reason and strnum.log.
    void whatARunWentPastIsShownAfterItAndLogged() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        test::writeBytes(dir / "region" / "ORTAN" / "U01" / "OPEKA.DBF", "not a table");
        std::filesystem::copy_file(test::corpusPath("paradox/paradoxdriver/db/CUSTOMER.DB"), dir / "ANKT.DB");
        const std::string ankt = test::readBytes(dir / "ANKT.DB");
        answer_ = false;
        w.chkAnkList->setChecked(true);
        QTest::mouseClick(w.btnCheckFIO, Qt::LeftButton);
        QCOMPARE(questions_.size(), 1);
        QCOMPARE(errors_.size(), 1);
        const QString shown = errors_[0];
        QVERIFY2(shown.contains(QStringLiteral("OPEKA.DBF")), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("ANKT.DB")), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("strnum.log")), qPrintable(shown));
        const std::string log = test::readBytes(dir / "strnum.log");
        QVERIFY(log.find(test::w("OPEKA.DBF")) != std::string::npos);
        QVERIFY(log.find(test::w("не совпадает по структуре")) != std::string::npos);
        QCOMPARE(test::readBytes(dir / "ANKT.DB"), ankt);
        bool reported = false;
        for (std::size_t i = 0; i < report.lineCount(); ++i)
            reported = reported || test::u(report.line(i)) == "Ошибка при открытии таблицы ANKT";
        QVERIFY(reported);
    }

    // A surname typed as a clerk types it (lower case, made upper by the edit), the button,
    // and the found lines in the report window; then a number typed with hyphens stops at once.
    void findButtonShowsTheFoundLines() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        answer_ = true;
        for (const QChar c : QStringLiteral("иванов")) {  // QTest's key clicks know only ASCII
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w.edtFAM, &press);
        }
        QCOMPARE(w.edtFAM->text(), QStringLiteral("ИВАНОВ"));
        QTest::mouseClick(w.btnFindNumFIO, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join(QLatin1Char('|'))));
        QCOMPARE(questions_.size(), 1);
        QVERIFY(r.isVisible());
        int found = 0;
        for (std::size_t i = 0; i < report.lineCount(); ++i) {
            const QString line = QString::fromStdString(test::u(report.line(i)));
            if (line.contains(QStringLiteral("  стр.№"))) {
                ++found;
                QVERIFY2(line.contains(QStringLiteral("ИВАНОВ")), qPrintable(line));
            }
        }
        QVERIFY(found > 0);
        QCOMPARE(questions_[0], QStringLiteral("Confirm|Найдено : %1 записей. Показать отчет ?").arg(found));
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(200);
            r.grab().save(shots + QStringLiteral("/frmReport-find.png"));
        }

        questions_.clear();
        w.edtFAM->clear();
        w.edtNum->setText(QStringLiteral("112-233-445 95"));
        QTest::mouseClick(w.btnFindNumFIO, Qt::LeftButton);
        QCOMPARE(errors_.size(), 1);
        QVERIFY(questions_.isEmpty());
        QCOMPARE(report.lineCount(), std::size_t{1});
        r.hide();
    }

    // "Отчет" pressed while the report window was open (left open by a Yes to a closing
    // question) showed "Cannot make a visible window modal" in English.  It now brings the
    // window to the front as it is, at the same place in the report, however often pressed.
    void reportButtonWhileTheReportIsOpenBringsItToTheFront() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        answer_ = true;
        QTest::mouseClick(w.btnCheckFIO, Qt::LeftButton);
        QVERIFY(r.isVisible() && !r.isModal());
        QVERIFY(QTest::qWaitForWindowExposed(&r));
        QScrollBar* v = r.Memo1->verticalScrollBar();
        QVERIFY(v->maximum() > 5);
        v->setValue(5);
        for (int press = 0; press < 2; ++press) {
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::mouseClick(w.btnReportShow, Qt::LeftButton);
            QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join(QLatin1Char('|'))));
            QVERIFY(QTest::qWaitForWindowActive(&r));
            QVERIFY(r.isVisible() && !r.isModal());
            QCOMPARE(v->value(), 5);
        }
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(200);
            QVERIFY(r.grab().save(shots + QStringLiteral("/frmReport-twice.png")));
        }
        r.hide();

        // Shown modally by a first press, the window is not shown again by a second one that
        // reaches the button meanwhile: that press returns at once and the first showing goes on.
        bool secondReturned = false;
        QTimer::singleShot(0, &r, [&] {
            w.btnReportShowClick();
            secondReturned = r.isVisible() && r.isModal();
            r.sbtnExit->click();
        });
        QTest::mouseClick(w.btnReportShow, Qt::LeftButton);
        QVERIFY(secondReturned);
        QVERIFY(!r.isVisible());
        QVERIFY(errors_.isEmpty());
    }

    // Tab never reached "Простановка номеров", the first control of the page: the directory
    // edits kept their own place in Qt's focus chain.  Tab and Shift+Tab go round each page in
    // its order, the tab bar before the first control.
    void tabGoesRoundEachPageInItsOrder() {
        test::TempDir dir;
        Report report;
        TfrmMain w(report, dir / "SOBES.INI");
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // The control with the focus after the key, by name (a directory edit's line edit by
        // the edit's name).
        const auto nameOf = [](const QWidget* widget) {
            if (!widget) return QStringLiteral("(none)");
            if (widget->objectName().isEmpty() && widget->parentWidget())
                return widget->parentWidget()->objectName() + QStringLiteral(".lineEdit");
            return widget->objectName();
        };
        const auto tab = [&](Qt::Key key = Qt::Key_Tab) {
            if (QWidget* focused = QApplication::focusWidget()) QTest::keyClick(focused, key);
            return nameOf(QApplication::focusWidget());
        };
        QWidget* tabBar = w.PageControl1->tabBar();
        const QList<QWidget*> processing{w.btnAssignNumInPDL,
                                         w.dedtWayPath->lineEdit(),
                                         w.dedtNUMS->lineEdit(),
                                         w.btnCheckFIO,
                                         w.chkReadOnly,
                                         w.chkNearMatches,
                                         w.chkNoStatErrors,
                                         w.chkNoBirthErrors,
                                         w.chkCreateOBMN,
                                         w.btnFindNumFIO,
                                         w.edtNum,
                                         w.edtFAM,
                                         w.edtNAM,
                                         w.edtOtch,
                                         w.chkEmptyList,
                                         w.chkSeverErrors,
                                         w.chkAnkList,
                                         w.btnReportShow};
        tabBar->setFocus();
        for (QWidget* expected : processing) QCOMPARE(tab(), nameOf(expected));
        QCOMPARE(QApplication::focusWidget(), w.btnReportShow);
        QCOMPARE(tab(), nameOf(tabBar));
        QCOMPARE(tab(), nameOf(w.btnAssignNumInPDL));
        QCOMPARE(tab(Qt::Key_Backtab), nameOf(tabBar));
        for (auto it = processing.rbegin(); it != processing.rend(); ++it) QCOMPARE(tab(Qt::Key_Backtab), nameOf(*it));

        // The console's page; Tab leaves the SQL text without writing into it.
        w.PageControl1->setCurrentIndex(1);
        tabBar->setFocus();
        for (QWidget* expected :
             {static_cast<QWidget*>(w.btnShowWay), static_cast<QWidget*>(w.btnRunSQL),
              static_cast<QWidget*>(w.btnCloseSQL), static_cast<QWidget*>(w.edtQueryDBName),
              static_cast<QWidget*>(w.memSQL), static_cast<QWidget*>(w.btnSaveSQL), static_cast<QWidget*>(w.grSQL)})
            QCOMPARE(tab(), nameOf(expected));
        QCOMPARE(w.memSQL->toPlainText(), QStringLiteral("select * from way.dbf"));
        QCOMPARE(tab(Qt::Key_Backtab), nameOf(w.btnSaveSQL));
    }

    // Opening the number directory took a second and more with nothing on the screen.  The
    // hourglass and "Открытие справочника номеров..." in the district label are painted
    // first; afterwards the cursor and the label are as they were, after a failure too.
    void numberDirectoryOpeningIsShownAndPutBack() {
        DemoWindows run;
        auto [dir, report, w, r] = run.parts();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString opening = QStringLiteral("Открытие справочника номеров...");
        struct Painted {
            QString text;
            bool whole;  // not cut short to fit the label
            bool busy;
            bool open;
        };
        QList<Painted> painted;
        PaintWatcher watcher(w.lblDistrictBD, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            painted.push_back({w.lblDistrictBD->text(), w.lblDistrictBD->shownText() == w.lblDistrictBD->text(),
                               cursor && cursor->shape() == Qt::WaitCursor, w.tblNUM().isOpen()});
        });
        const auto openingShown = [&] {
            return std::count_if(painted.begin(), painted.end(), [&](const Painted& p) { return p.text == opening; });
        };
        w.chkReadOnly->setChecked(true);
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QVERIFY(errors_.isEmpty());
        QCOMPARE(openingShown(), 1);
        const auto first =
            std::find_if(painted.begin(), painted.end(), [&](const Painted& p) { return p.text == opening; });
        QVERIFY(first != painted.end());
        QVERIFY(first->whole);
        QVERIFY(first->busy);
        QVERIFY(!first->open);
        QVERIFY(w.tblNUM().isOpen());
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(w.lblDistrictBD->text() != opening);  // the last district visited

        // Open already: the next run has nothing to say.
        painted.clear();
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QCOMPARE(openingShown(), 0);

        // A directory without NUMS: the error comes without the hourglass, and the label is
        // back to what it showed.
        w.dedtNUMS->setText(QString::fromStdString((dir / "empty").string()));
        std::filesystem::create_directory(dir / "empty");
        const QString before = w.lblDistrictBD->text();
        bool busyAtError = true;
        setErrorDialogHook([&](QWidget*, const QString& text) {
            errors_ << text;
            busyAtError = QApplication::overrideCursor() != nullptr;
        });
        painted.clear();
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QCOMPARE(openingShown(), 1);
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains(QStringLiteral("NUMS")), qPrintable(errors_[0]));
        QVERIFY(!busyAtError);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(w.lblDistrictBD->text(), before);
        QVERIFY(!w.tblNUM().isOpen());
    }
};

}  // namespace strnum

using strnum::FrmMainTest;
STRNUM_GUI_TEST(FrmMainTest)

#include "frm_main_test.moc"
