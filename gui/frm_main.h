// The main window: every operation is started by one of its buttons and runs inside its
// handler, on the window's thread, letting the window repaint as it goes.
//
// The window keeps what the operations share for the whole run of the program: the
// settings from SOBES.INI, the number directory's table object (opened by the first
// operation that needs it, closed when dedtNUMS changes), the district-file table
// object, the highlight colour and the option flags.  It is the operations' Host:
// labels, progress bar, hourglass, the summary question and the error dialog.
//
// One operation at a time: while a run lets the window process messages, a second button
// only says that a run is in progress; closing the window during a run asks, and when
// the user insists the window closes as soon as the run has ended — tables are never
// closed under a running operation.
#pragma once

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/row_source.h"
#include "console/sql_query.h"
#include "data/table_object.h"
#include "gui/result_model.h"
#include "gui/widgets.h"
#include "hints/near_matches.h"
#include "operations/check_numbers.h"
#include "report/report.h"
#include "settings/settings.h"
#include "walk/district_walk.h"
#include "walk/host.h"

namespace strnum {

class TfrmReport;

class TfrmMain : public QWidget, public Host {
    Q_OBJECT
public:
    // settingsFile: SOBES.INI in the program directory unless a test gives another.
    TfrmMain(Report& report, std::filesystem::path settingsFile, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The report window; its page "Похожие" writes the chosen numbers through this window.
    void setReportWindow(TfrmReport* report);

    // Host
    void setLabel(HostLabel label, std::string_view text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void showProgress(bool visible) override;
    void setBusy(bool busy) override;
    void processEvents() override;
    bool confirm(std::string_view text) override;
    void showReport(bool modal) override;
    void showError(std::string_view message) override;
    void notice(std::string_view message) override;
    // What the run went past, in one dialog naming strnum.log.
    void showNotices();

    // Runs a district operation as the buttons do: refused while another runs.  Returns
    // false when refused.  Exposed for tests.
    bool runOperation(const std::function<void()>& operation);
    // Writes the numbers of the near matches the clerk chose as a writing run of its own, with
    // its journal in the program directory; the lines it wrote go into `lines`, and `written`
    // gets one flag per chosen hint.  Refused (false, nothing written) in count-only mode and
    // while another operation runs.
    bool writeChosen(const std::vector<ChosenHint>& chosen, Report& lines, std::vector<bool>& written);
    // A district walk over the list in dedtWayPath with the window as host.
    bool walkDistricts(const DistrictWalk& walk);
    bool running() const { return running_; }

    Settings& settings() { return settings_; }
    TableObject& tblNUM() { return tblNUM_; }
    TableObject& tblPDL() { return tblPDL_; }
    // The console tab's query (nullptr while closed), its SQL text in lines (1251; the
    // initial statement until the first Run) and the grid's two models.
    console::SqlQuery* Query1() const { return query_.get(); }
    const std::vector<std::string>& Query1Sql() const { return querySql_; }
    console::ResultModel* dsPDL() const { return dsPDL_; }
    console::ResultModel* dsQuery1() const { return dsQuery1_; }
    // Where Save Result writes: REPORT.TXT in the program directory.
    std::filesystem::path resultFile() const;
    Colour& highlightColour() { return highlight_; }
    Report& report() { return report_; }

    // The controls, by the names the operations and tests know them.
    QTabWidget* PageControl1;
    QWidget* Panel1;
    QLabel* Label1;
    QLabel* lblRecCount;
    QLabel* lblCount;
    QProgressBar* ProgressBar1;
    QLabel* Label23;
    QLabel* Label12;
    DirectoryEdit* dedtWayPath;
    QLabel* Label2;
    DirectoryEdit* dedtNUMS;
    QPushButton* btnCheckFIO;
    QPushButton* btnAssignNumInPDL;
    QPushButton* btnReportShow;
    QPushButton* btnFindNumFIO;
    QCheckBox* chkReadOnly;
    // The assignment also collects the persons it does not find and their near matches.
    QCheckBox* chkNearMatches;
    QCheckBox* chkCreateOBMN;
    QCheckBox* chkAnkList;
    QCheckBox* chkNoStatErrors;
    QCheckBox* chkNoBirthErrors;
    QCheckBox* chkSeverErrors;
    QCheckBox* chkEmptyList;
    QLineEdit* edtNum;
    UpperCaseEdit* edtFAM;
    UpperCaseEdit* edtNAM;
    UpperCaseEdit* edtOtch;
    ElidedLabel* lblDistrictBD;
    QLabel* lblProcessed;
    QLabel* lblFound;
    QWidget* Panel3;
    QPushButton* btnShowWay;
    QPushButton* btnRunSQL;
    QPushButton* btnSaveSQL;
    QPushButton* btnCloseSQL;
    QLineEdit* edtQueryDBName;
    QPlainTextEdit* memSQL;
    QTableView* grSQL;
    // Under the grid: what the last Run or Save Result came to (a stopped query, where the
    // result was saved); empty otherwise.
    QLabel* lblSQLStatus;

    // Operation flags copied from the check boxes when the district check starts.
    bool noStatusErrors = false;
    bool noBirthErrors = false;
    bool batches = false;
    bool notFoundList = false;

public slots:
    void dedtNUMSChange();
    void btnReportShowClick();
    void btnAssignNumInPDLClick();
    void btnCheckFIOClick();
    void btnFindNumFIOClick();
    void btnShowWayClick();
    void btnRunSQLClick();
    void btnCloseSQLClick();
    void btnSaveSQLClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildProcessingPage(QWidget* page);
    void buildDebugPage(QWidget* page);
    // The keyboard (Tab) order of each page, the tab bar first.
    std::vector<QWidget*> tabOrder_[2];
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void writeSettings();
    // The text of dedtWayPath as 1251; throws when it holds other characters.
    std::string wayDirectory() const;
    // The number directory, opened from its directory when it is closed.
    Table& numberDirectory();
    // While the number directory opens: the hourglass, and "Открытие справочника номеров..."
    // painted in lblDistrictBD.  Both go, the label's text put back, when the walk shows its
    // own hourglass, a question or an error is shown, or the run ends.
    void beginOpeningFeedback();
    void endOpeningFeedback();
    std::optional<QString> openingLabel_;  // lblDistrictBD's text before; set while shown

    // The persons the running assignment did not find, while their near matches are still to
    // be found: when the report window is about to show, or else when the run has ended.
    std::vector<NotFoundPerson> notFound_;
    bool nearMatchesPending_ = false;
    // Finds them (a second or so over a large region, with the hourglass and a word in
    // lblDistrictBD) and puts them on the report window's page.
    void findPendingNearMatches();

    // The console tab.
    bool refusedWhileRunning();
    // Asked by SQLite while a statement works: after a while a window says so and offers to
    // stop it (the main window takes no clicks meanwhile).  True: stop.
    bool sqlInterrupted();
    QElapsedTimer sqlWorking_, sqlLastAsked_;
    class QProgressDialog* sqlProgress_ = nullptr;
    class QTimer* sqlProgressDone_ = nullptr;
    void bindGrid(console::ResultModel* model);  // nullptr: the grid shows nothing
    void showSqlStatus(const QString& text);     // empty: none
    std::unique_ptr<console::SqlSession> sqlSession_;
    std::unique_ptr<console::SqlQuery> query_;
    std::vector<std::string> querySql_;
    std::unique_ptr<console::TableRows> wayRows_;
    console::ResultModel* dsPDL_ = nullptr;
    console::ResultModel* dsQuery1_ = nullptr;

    Report& report_;
    TfrmReport* frmReport_ = nullptr;
    std::filesystem::path settingsFile_;
    Settings settings_;
    TableObject tblNUM_;
    TableObject tblPDL_;
    std::string numsDirectory_;  // the directory set for tblNUM, written as DBPath (1251)
    Colour highlight_ = kRed;
    CheckOptions options_;  // the option flags, as the district check last took them
    bool running_ = false;
    // Pending messages are processed at most every kEventsEveryMs during a run (processEvents).
    static constexpr int kEventsEveryMs = 40;
    QElapsedTimer sinceEvents_;
    // lblRecCount's text during a run: shown when messages are processed and at the end.
    std::optional<std::string> pendingRecCount_;
    void showPendingLabels();
    bool closeAfterRun_ = false;
    int busyDepth_ = 0;
    std::string lastError_;             // the last error shown (1251), for the run's journal
    std::vector<std::string> notices_;  // of the run going on: what it went past (1251)
};

}  // namespace strnum
