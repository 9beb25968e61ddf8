// What the user-interface library shows of its own, as the user meets it: the question box
// with "Да" and "Нет", a file dialog in Russian, and the main window's district label with
// a long directory cut in the middle instead of running into the counters.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "gui/frm_main.h"
#include "gui/message_box.h"
#include "gui_test.h"
#include "support/test_support.h"

namespace strnum {

namespace {

QStringList buttonTexts(QWidget* dialog) {
    QStringList texts;
    for (auto* b : dialog->findChildren<QAbstractButton*>()) {
        if (!b->isVisible() || b->text().isEmpty()) continue;
        texts << b->text().remove(QLatin1Char('&'));
    }
    texts.sort();
    return texts;
}

void screenshot(QWidget* w, const char* name) {
    const QString dir = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
    if (!dir.isEmpty()) w->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

}  // namespace

class StandardDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void questionBoxAnswersYesOrNoInRussian() {
        QStringList seen;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = buttonTexts(box);
            screenshot(box, "question.png");
            for (auto* b : box->buttons())
                if (box->buttonRole(b) == QMessageBox::NoRole) b->click();
        });
        const bool yes = askYesNo(nullptr, QStringLiteral("Confirm"), QStringLiteral("Показать отчет ?"));
        QVERIFY(!yes);
        QCOMPARE(seen, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    }

    void fileDialogSpeaksRussian() {
        QFileDialog dialog(nullptr, QStringLiteral("Сохранить отчет"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QStringList texts = buttonTexts(&dialog);
        QVERIFY2(texts.contains(QStringLiteral("Сохранить")) && texts.contains(QStringLiteral("Отмена")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        screenshot(&dialog, "file-dialog.png");
        dialog.reject();
    }

    void longDistrictDirectoryIsCutInTheMiddle() {
        test::TempDir dir;
        Report report;
        TfrmMain w(report, dir / "SOBES.INI");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::string path = "/srv/ortan";
        while (path.size() < 110) path += "/district-archive";
        path += "/ORTAN/U99";
        QVERIFY(path.size() >= 120);
        w.setLabel(HostLabel::District, path);
        w.setLabel(HostLabel::Processed, "12345");
        w.setLabel(HostLabel::Found, "678");
        const QString full = QString::fromStdString(path);
        QCOMPARE(w.lblDistrictBD->text(), full);
        QCOMPARE(w.lblDistrictBD->toolTip(), full);
        const QString shown = w.lblDistrictBD->shownText();
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY2(shown.startsWith(QStringLiteral("/srv/")) && shown.endsWith(QStringLiteral("U99")), qPrintable(shown));
        QVERIFY(w.lblDistrictBD->fontMetrics().horizontalAdvance(shown) <= w.lblDistrictBD->width());
        QVERIFY(w.lblDistrictBD->geometry().right() < w.lblProcessed->geometry().left());
        QVERIFY(w.lblProcessed->geometry().right() < w.lblFound->geometry().left());
        // The counters' digits fit their labels.
        QVERIFY(w.lblProcessed->fontMetrics().horizontalAdvance(w.lblProcessed->text()) <= w.lblProcessed->width());
        QVERIFY(w.lblFound->fontMetrics().horizontalAdvance(w.lblFound->text()) <= w.lblFound->width());
        screenshot(&w, "frmMain-long-directory.png");
        // A short one is shown whole, without a tooltip.
        w.setLabel(HostLabel::District, "C:\\ORTAN\\U01");
        QCOMPARE(w.lblDistrictBD->shownText(), QStringLiteral("C:\\ORTAN\\U01"));
        QCOMPARE(w.lblDistrictBD->toolTip(), QString());
        w.close();
    }
};

STRNUM_GUI_TEST(StandardDialogsTest)

}  // namespace strnum

#include "standard_dialogs_test.moc"
