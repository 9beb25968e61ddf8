// The "Отладка" tab as a technician uses it: Show WAY, Run, Save Result, Close over a
// demonstration region; the failures the tab shows; a statement stopped with "Прервать";
// where Save Result wrote; a table that names a field twice; the district list emptied
// when an operation takes the table component; a large result scrolled with flat memory.
#include <QProgressDialog>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include "console/result_file.h"
#include "demo/demo_region.h"
#include "gui/frm_main.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "gui_test.h"
#include "support/test_support.h"

namespace strnum {

class ConsoleTabTest : public QObject {
    Q_OBJECT

    QStringList errors_;
    QStringList questions_;
    bool answer_ = true;

    struct Window {
        test::TempDir dir;
        Report report;
        std::unique_ptr<TfrmMain> w;
        Window() {
            writeDemoRegion(dir / "region", DemoOptions{});
            test::writeBytes(dir / "SOBES.INI", test::readBytes(dir / "region" / "SOBES.INI"));
            w = std::make_unique<TfrmMain>(report, dir / "SOBES.INI");
            w->PageControl1->setCurrentIndex(1);
            w->show();
        }
        QString cell(int row, int column) const {
            auto* m = w->grSQL->model();
            return m->data(m->index(row, column), Qt::DisplayRole).toString();
        }
        std::string saved() const { return test::readBytes(dir / "REPORT.TXT"); }
    };

    static std::string lines(const std::vector<std::string>& sql) {
        std::string s;
        for (const auto& l : sql) s += l + "\r\n";
        return s + "=========================\r\n";
    }

private slots:
    void init() {
        errors_.clear();
        questions_.clear();
        answer_ = true;
        setErrorDialogHook([this](QWidget*, const QString& text) { errors_ << text; });
        setQuestionHook([this](QWidget*, const QString&, const QString& text) {
            questions_ << text;
            return answer_;
        });
    }
    void cleanup() {
        setErrorDialogHook({});
        setQuestionHook({});
    }

    void showWayRunSaveAndClose() {
        Window f;
        TfrmMain& w = *f.w;
        QTest::mouseClick(w.btnShowWay, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QCOMPARE(w.grSQL->model(), w.dsPDL());
        const int districts = w.grSQL->model()->rowCount();
        QVERIFY(districts >= 3);
        QCOMPARE(w.grSQL->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("W"));
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QTest::qWait(100);
            w.grab().save(shots + QStringLiteral("/frmMain-way.png"));
        }

        // The initial text of memSQL over the directory of the district list.
        w.edtQueryDBName->setText(w.dedtWayPath->text());
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QCOMPARE(w.grSQL->model(), w.dsQuery1());
        QCOMPARE(w.grSQL->model()->rowCount(), districts);
        QCOMPARE(f.cell(0, 0), QString::fromStdString((f.dir / "region" / "ORTAN" / "U01").string()));
        if (!shots.isEmpty()) {
            w.memSQL->setPlainText(
                QStringLiteral("select p.fm, p.im, p.ot, p.dtr, p.npsu\nfrom pdl.dbf p\n"
                               "where p.fm like 'а%'\norder by p.dtr"));
            w.edtQueryDBName->setText(QString::fromStdString((f.dir / "region" / "ORTAN" / "U01").string()));
            QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
            QTest::qWait(100);
            w.grab().save(shots + QStringLiteral("/frmMain-sql.png"));
            w.memSQL->setPlainText(QStringLiteral("select * from way.dbf"));
            w.edtQueryDBName->setText(w.dedtWayPath->text());
            QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        }

        // Save Result asks first; No writes nothing.
        answer_ = false;
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QCOMPARE(questions_.value(0), QStringLiteral("Вывести данные на печать/в файл?"));
        QVERIFY(!std::filesystem::exists(f.dir / "REPORT.TXT"));
        answer_ = true;
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        const std::string first = f.saved();
        QVERIFY(first.starts_with("select * from way.dbf\r\n=========================\r\n"));
        QCOMPARE(std::count(first.begin(), first.end(), '\n'), 3 + districts);
        // Saving again writes the file anew; a changed memSQL is not what was run.
        w.memSQL->setPlainText(QStringLiteral("select 1"));
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QCOMPARE(f.saved(), first);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));

        // Close: the grid shows nothing; Save then writes the text and the separator and says
        // that the query is closed.
        QTest::mouseClick(w.btnCloseSQL, Qt::LeftButton);
        QCOMPARE(w.grSQL->model(), nullptr);
        QCOMPARE(w.Query1(), nullptr);
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_[0].contains(QStringLiteral("закрытым набором данных")));
        QCOMPARE(f.saved(), lines({"select * from way.dbf"}));
    }

    // A table that names a field twice: each field shows its own values under its own name.
    void aFieldNamedTwiceShowsItsOwnValuesUnderItsOwnName() {
        Window f;
        TfrmMain& w = *f.w;
        const auto table = test::corpusPath("dbf/DbfDataReader/dbase_03.dbf");
        w.edtQueryDBName->setText(QString::fromStdString(table.parent_path().string()));
        w.memSQL->setPlainText(QStringLiteral("select * from dbase_03.dbf"));
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        auto* m = w.grSQL->model();
        QCOMPARE(m->columnCount(), 31);
        QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Point_ID"));
        QCOMPARE(m->headerData(30, Qt::Horizontal).toString(), QStringLiteral("Point_ID_2"));
        QCOMPARE(f.cell(0, 0), QStringLiteral("0507121"));
        QCOMPARE(f.cell(0, 30), QStringLiteral("401"));
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        const std::string saved = f.saved();
        QVERIFY2(saved.find(" Point_ID_2 \r\n") != std::string::npos, saved.c_str());
        QVERIFY2(saved.find(" 401        \r\n") != std::string::npos, saved.c_str());
    }

    void saveBeforeAnyRunWritesTheInitialStatement() {
        Window f;
        QTest::mouseClick(f.w->btnSaveSQL, Qt::LeftButton);
        QCOMPARE(f.saved(), lines(console::initialStatement()));
        QCOMPARE(errors_.size(), 1);
    }

    void failuresAreShownAndTheGridKeepsItsBinding() {
        Window f;
        TfrmMain& w = *f.w;
        QTest::mouseClick(w.btnShowWay, Qt::LeftButton);
        w.memSQL->setPlainText(QStringLiteral("select w\nfrom way.dbf where = 1"));
        w.edtQueryDBName->setText(w.dedtWayPath->text());
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains(QStringLiteral("строка 2")), qPrintable(errors_[0]));
        QCOMPARE(w.Query1(), nullptr);
        QCOMPARE(w.grSQL->model(), w.dsPDL());  // still the district list
        QVERIFY(w.grSQL->model()->rowCount() > 0);

        w.memSQL->setPlainText(QStringLiteral("delete from way.dbf"));
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QVERIFY(errors_.value(1).contains(QStringLiteral("только читает")));

        // Another operation takes the table component: the district list leaves the grid.
        w.tblPDL().close();
        QCOMPARE(w.grSQL->model()->rowCount(), 0);

        w.dedtWayPath->setText(QString::fromStdString((f.dir / "nowhere").string()));
        QTest::mouseClick(w.btnShowWay, Qt::LeftButton);
        QCOMPARE(errors_.size(), 3);
        QVERIFY(errors_[2].contains(QStringLiteral("WAY.DBF")));
    }

    // A statement that runs on: after a while a window offers to stop it.
    void aLongStatementCanBeStopped() {
        Window f;
        TfrmMain& w = *f.w;
        w.memSQL->setPlainText(
            QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c) select count(*) from c"));
        bool offered = false;
        QTimer::singleShot(2500, &w, [&] {
            if (auto* p = w.findChild<QProgressDialog*>()) {
                offered = p->isVisible() && p->labelText().contains(QStringLiteral("запрос"));
                const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
                if (!shots.isEmpty()) p->grab().save(shots + QStringLiteral("/sql-progress.png"));
                p->cancel();
            }
        });
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QVERIFY(offered);
        // Stopped before its first row: no error, the result's column and no rows.
        QTRY_VERIFY(w.lblSQLStatus->text().startsWith(QStringLiteral("Запрос прерван")));
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QVERIFY(w.Query1() != nullptr);
        QCOMPARE(w.grSQL->model(), w.dsQuery1());
        QCOMPARE(w.grSQL->model()->columnCount(), 1);
        QCOMPARE(w.grSQL->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("count(*)"));
        QCOMPARE(w.grSQL->model()->rowCount(), 0);
        QCOMPARE(w.lblSQLStatus->text(), QStringLiteral("Запрос прерван. Строк прочитано до остановки: 0."));
    }

    // Stopped while the grid reads its first rows: the rows read so far stay under their
    // column.  Save Result walks the statement again; stopping that leaves the old file.
    void aStopKeepsTheRowsReadAndAStoppedSaveLeavesTheFile() {
        Window f;
        TfrmMain& w = *f.w;
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        const auto stopIn = [&](int ms) {
            QTimer::singleShot(ms, &w, [&w] {
                if (auto* p = w.findChild<QProgressDialog*>(); p && p->isVisible()) p->cancel();
            });
        };
        w.memSQL->setPlainText(
            QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c)\n"
                           "select x, 'строка ' || x as t from c where x % 100000 = 0"));
        stopIn(2500);
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QTRY_VERIFY(w.lblSQLStatus->text().startsWith(QStringLiteral("Запрос прерван")));
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        auto* m = w.grSQL->model();
        QCOMPARE(m, w.dsQuery1());
        QCOMPARE(m->columnCount(), 2);
        const int read = m->rowCount();
        QVERIFY(read > 0);
        QVERIFY(read < console::ResultModel::kBlockRows);
        QCOMPARE(f.cell(0, 0), QStringLiteral("100000"));
        QCOMPARE(f.cell(read - 1, 1), QStringLiteral("строка %1").arg(100000 * read));
        QCOMPARE(w.lblSQLStatus->text(), QStringLiteral("Запрос прерван. Строк прочитано до остановки: %1.").arg(read));
        QVERIFY(!m->canFetchMore({}));
        if (!shots.isEmpty()) {
            QTest::qWait(100);
            w.grab().save(shots + QStringLiteral("/frmMain-sql-stopped.png"));
        }

        // Save Result runs the statement again; stopped, it leaves the previous file.
        test::writeBytes(f.dir / "REPORT.TXT", "previous");
        stopIn(2500);
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        const QString path = QString::fromStdString((f.dir / "REPORT.TXT").string());
        QCOMPARE(w.lblSQLStatus->text(), QStringLiteral("Сохранение прервано: файл %1 не изменен.").arg(path));
        QCOMPARE(f.saved(), std::string("previous"));
        QCOMPARE(m->rowCount(), read);  // the grid as it was
        QCOMPARE(f.cell(0, 0), QStringLiteral("100000"));
    }

    // A save that works names its file under the grid; one that fails names it and says why.
    void saveResultSaysWhereItWrote() {
        Window f;
        TfrmMain& w = *f.w;
        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        const QString path = QString::fromStdString((f.dir / "REPORT.TXT").string());
        w.memSQL->setPlainText(QStringLiteral("select * from way.dbf"));
        w.edtQueryDBName->setText(w.dedtWayPath->text());
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QCOMPARE(w.lblSQLStatus->text(), QString());
        const int districts = w.grSQL->model()->rowCount();
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QCOMPARE(w.lblSQLStatus->text(),
                 QStringLiteral("Результат сохранен в файл %1 (строк: %2).").arg(path).arg(districts));
        QVERIFY(f.saved().starts_with("select * from way.dbf\r\n"));
        if (!shots.isEmpty()) {
            QTest::qWait(100);
            w.grab().save(shots + QStringLiteral("/frmMain-sql-saved.png"));
        }

        // One that cannot write names the file and the reason.
        std::filesystem::remove(f.dir / "REPORT.TXT");
        std::filesystem::create_directory(f.dir / "REPORT.TXT");
        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].startsWith(QStringLiteral("Результат не сохранен в файл %1.\n").arg(path)),
                 qPrintable(errors_[0]));
        QVERIFY2(errors_[0].size() > QStringLiteral("Результат не сохранен в файл %1.\n").arg(path).size() + 5,
                 qPrintable(errors_[0]));
        QCOMPARE(w.lblSQLStatus->text(), QStringLiteral("Результат не сохранен в файл %1.").arg(path));
        // Close clears the line.
        QTest::mouseClick(w.btnCloseSQL, Qt::LeftButton);
        QCOMPARE(w.lblSQLStatus->text(), QString());
    }

    void aLargeResultScrollsWithFlatMemoryAndSavesToItsEnd() {
        Window f;
        TfrmMain& w = *f.w;
        constexpr int kRows = 300000;
        w.memSQL->setPlainText(QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                                              "where x < %1)\nselect x, 'строка ' || x as t from c")
                                   .arg(kRows));
        QTest::mouseClick(w.btnRunSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        auto* model = w.dsQuery1();
        QVERIFY(model->rowCount() > 0);
        QVERIFY(model->rowCount() < 10000);  // the first rows, not all
        QCOMPARE(f.cell(0, 1), QStringLiteral("строка 1"));
        for (int k = 0; k < 300; ++k) {
            w.grSQL->scrollToBottom();
            QCoreApplication::processEvents();
            if (model->canFetchMore({})) model->fetchMore({});
        }
        const int shown = model->rowCount();
        QVERIFY(shown >= 300 * 256);
        QCOMPARE(f.cell(shown - 1, 0), QString::number(shown));
        QVERIFY(model->rowsKept() <= console::ResultModel::kKeptBlocks * console::ResultModel::kBlockRows);
        w.grSQL->scrollToTop();
        QCOMPARE(f.cell(0, 1), QStringLiteral("строка 1"));  // read again from the start
        QVERIFY(model->rowsKept() <= console::ResultModel::kKeptBlocks * console::ResultModel::kBlockRows);

        QTest::mouseClick(w.btnSaveSQL, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QCOMPARE(model->rowCount(), kRows);
        QCOMPARE(f.cell(kRows - 1, 0), QString::number(kRows));  // the grid at the last rows
        const std::string saved = f.saved();
        QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), kRows + 4);
        QVERIFY(saved.ends_with(std::to_string(kRows) + std::string(11 - std::to_string(kRows).size(), ' ') + " " +
                                test::w("строка ") + std::to_string(kRows) + std::string(60 - 13, ' ') + " \r\n"));
    }
};

STRNUM_GUI_TEST(ConsoleTabTest)

}  // namespace strnum

#include "console_tab_test.moc"
