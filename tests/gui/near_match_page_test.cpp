// The page "Похожие" as a clerk uses it: the assignment with "Похожие для ненайденных"
// ticked over the demonstration region (whose district files type some people as another
// office would) puts the near matches on the report window's page before the window shows,
// the report itself as without them; a ticked hint's number is written as a writing run of
// its own with its journal, refused in count-only mode, and nothing goes without a tick.
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "base/text.h"
#include "data/file_descriptions.h"
#include "data/table_open.h"
#include "demo/demo_region.h"
#include "gui/frm_main.h"
#include "gui/frm_report.h"
#include "gui/message_box.h"
#include "gui_test.h"
#include "identity/insurance_number.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "support/test_support.h"

namespace strnum {

namespace {

// Calls back when the widget gets an event of the type (before it handles it).
class EventWatcher : public QObject {
public:
    EventWatcher(QWidget* widget, QEvent::Type type, std::function<void()> f)
        : widget_(widget), type_(type), f_(std::move(f)) {
        widget_->installEventFilter(this);
    }
    ~EventWatcher() override { widget_->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == type_) f_();
        return false;
    }

private:
    QWidget* widget_;
    QEvent::Type type_;
    std::function<void()> f_;
};

std::vector<std::string> reportLines(const Report& report) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < report.lineCount(); ++i) lines.emplace_back(report.line(i));
    return lines;
}

// The number field of a district record as it is on the disk, without blanks.
std::string numberOnDisk(const NotFoundPerson& p) {
    auto t = openTable(p.file.parent_path(), p.file.filename().string(), TableType::Dbase, {});
    if (!t->goToRecord(p.record)) return "?";
    std::string text = t->text(t->fieldByName(fileDescription(p.kind).number));
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

std::size_t journalsOf(const std::filesystem::path& dir, const std::string& operation) {
    std::size_t n = 0;
    for (const auto& j : RunJournal::list(dir)) n += readJournal(j).operation == operation ? 1 : 0;
    return n;
}

}  // namespace

class NearMatchPageTest : public QObject {
    Q_OBJECT

    QStringList errors_;
    bool answer_ = true;

private slots:
    void init() {
        errors_.clear();
        answer_ = true;
        setErrorDialogHook([this](QWidget*, const QString& text) { errors_ << text; });
        setQuestionHook([this](QWidget*, const QString&, const QString&) { return answer_; });
    }
    void cleanup() {
        setErrorDialogHook({});
        setQuestionHook({});
    }

    void assignmentFillsThePageAndTheChosenNumberIsWritten() {
        test::TempDir dir;
        writeDemoRegion(dir / "region", DemoOptions{});
        test::writeBytes(dir / "SOBES.INI", test::readBytes(dir / "region" / "SOBES.INI"));
        Report report;
        TfrmMain w{report, dir / "SOBES.INI"};
        TfrmReport r{report, QStringLiteral("/dev/null")};
        w.setReportWindow(&r);
        w.show();
        NearMatchPage* page = r.pgNearMatches;

        // Count-only, first without and then with the box: the same report, the page only
        // with the box, on it already when the report window shows.
        w.chkReadOnly->setChecked(true);
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QVERIFY(r.isVisible());
        QVERIFY(!r.hasNearMatches());
        const std::vector<std::string> without = reportLines(report);
        r.hide();
        w.chkNearMatches->setChecked(true);
        bool pageAtShow = false;
        bool searchShown = false;  // the label's word painted under the hourglass
        {
            EventWatcher shown(&r, QEvent::Show, [&] { pageAtShow = r.hasNearMatches() && !page->matches().empty(); });
            EventWatcher painted(w.lblDistrictBD, QEvent::Paint, [&] {
                const QCursor* cursor = QApplication::overrideCursor();
                searchShown =
                    searchShown || (w.lblDistrictBD->text() == QStringLiteral("Поиск похожих для ненайденных...") &&
                                    cursor && cursor->shape() == Qt::WaitCursor);
            });
            QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        }
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QVERIFY(pageAtShow);
        QVERIFY(searchShown);
        QVERIFY(w.lblDistrictBD->text() != QStringLiteral("Поиск похожих для ненайденных..."));
        QVERIFY(reportLines(report) == without);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(r.tabPages->tabText(1), QStringLiteral("Похожие"));
        QVERIFY(page->tvHints->topLevelItemCount() > 0);
        QVERIFY(page->lblSummary->text().contains(QStringLiteral("без похожих: ")));
        QVERIFY(!page->btnWriteChosen->isEnabled());
        QVERIFY(page->chosen().empty());

        // The first person with a hint whose record has no number; the differing values in red.
        const auto& matches = page->matches();
        const auto first = std::find_if(matches.begin(), matches.end(), [](const NearMatch& m) {
            if (m.hints.empty() || m.hints[0].hint.differs == 0) return false;
            const std::string number = numberOnDisk(m.person);
            return number.empty() || number == "0";
        });
        QVERIFY(first != matches.end());
        const auto at = static_cast<std::size_t>(first - matches.begin());
        QTreeWidgetItem* hint = page->hintItem(at, 0);
        QVERIFY(hint);
        const unsigned differs = first->hints[0].hint.differs;
        const int column = (differs & kDiffersSurname)      ? NearMatchPage::kSurname
                           : (differs & kDiffersName)       ? NearMatchPage::kName
                           : (differs & kDiffersPatronymic) ? NearMatchPage::kPatronymic
                                                            : NearMatchPage::kBirth;
        QCOMPARE(hint->foreground(column).color(), QColor(Qt::red));

        // One tick per person.
        const auto second =
            std::find_if(matches.begin(), matches.end(), [](const NearMatch& m) { return m.hints.size() >= 2; });
        if (second != matches.end()) {
            const auto s = static_cast<std::size_t>(second - matches.begin());
            page->hintItem(s, 0)->setCheckState(NearMatchPage::kWhere, Qt::Checked);
            page->hintItem(s, 1)->setCheckState(NearMatchPage::kWhere, Qt::Checked);
            QCOMPARE(page->hintItem(s, 0)->checkState(NearMatchPage::kWhere), Qt::Unchecked);
            QCOMPARE(page->chosen().size(), std::size_t{1});
            page->hintItem(s, 1)->setCheckState(NearMatchPage::kWhere, Qt::Unchecked);
        }
        QVERIFY(!page->btnWriteChosen->isEnabled());

        hint->setCheckState(NearMatchPage::kWhere, Qt::Checked);
        QVERIFY(page->btnWriteChosen->isEnabled());
        QCOMPARE(page->chosen().size(), std::size_t{1});
        const std::string before = numberOnDisk(first->person);

        const QString shots = qEnvironmentVariable("STRNUM_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            r.tabPages->setCurrentIndex(1);
            QTest::qWait(100);
            r.grab().save(shots + QStringLiteral("/frmReport-near-ticked.png"));
            w.grab().save(shots + QStringLiteral("/frmMain-near.png"));
        }

        // Count-only: refused, nothing written, no journal.
        QTest::mouseClick(page->btnWriteChosen, Qt::LeftButton);
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_[0].contains(QStringLiteral("Только подсчет")));
        QCOMPARE(numberOnDisk(first->person), before);
        QCOMPARE(journalsOf(dir.path(), "hints"), std::size_t{0});
        QCOMPARE(hint->checkState(NearMatchPage::kWhere), Qt::Checked);

        // Written: the record's number, the line under the tree, its journal; the hint can no
        // longer be ticked.
        errors_.clear();
        w.chkReadOnly->setChecked(false);
        QTest::mouseClick(page->btnWriteChosen, Qt::LeftButton);
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
        QCOMPARE(std::stoll(numberOnDisk(first->person)), std::stoll(numberText(first->hints[0].hint.num)));
        QVERIFY(!page->memWritten->isHidden());
        QVERIFY(page->memWritten->toPlainText().contains(QStringLiteral("Проставлен номер ")));
        QVERIFY(page->memWritten->toPlainText().contains(QStringLiteral("Проставлено : 1, не проставлено : 0")));
        QCOMPARE(hint->checkState(NearMatchPage::kWhere), Qt::Unchecked);
        QVERIFY(!(hint->flags() & Qt::ItemIsEnabled));
        QVERIFY(!page->btnWriteChosen->isEnabled());
        QCOMPARE(journalsOf(dir.path(), "hints"), std::size_t{1});
        if (!shots.isEmpty()) {
            QTest::qWait(100);
            r.grab().save(shots + QStringLiteral("/frmReport-near-written.png"));
        }

        // Nothing ticked: nothing written, no journal.
        page->btnWriteChosenClick();
        QCOMPARE(journalsOf(dir.path(), "hints"), std::size_t{1});

        // "Отчет" later shows the same page.
        r.hide();
        bool kept = false;
        QTimer::singleShot(0, &r, [&] {
            kept = r.hasNearMatches() && !page->memWritten->isHidden();
            r.hide();
        });
        QTest::mouseClick(w.btnReportShow, Qt::LeftButton);
        QVERIFY(kept);

        // The question answered No: the near matches are found after the run all the same;
        // another operation takes the page away.
        answer_ = false;
        w.chkReadOnly->setChecked(true);
        QTest::mouseClick(w.btnAssignNumInPDL, Qt::LeftButton);
        QVERIFY(r.hasNearMatches());
        QVERIFY(page->memWritten->isHidden());
        QTest::mouseClick(w.btnCheckFIO, Qt::LeftButton);
        QVERIFY(!r.hasNearMatches());
        QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
    }
};

}  // namespace strnum

using strnum::NearMatchPageTest;
STRNUM_GUI_TEST(NearMatchPageTest)
#include "near_match_page_test.moc"
