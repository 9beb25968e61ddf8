// The report window frmReport ("Выходные формы"): shows the report every operation
// writes, prints it as paged text on the printer port or as rich text through the print
// dialog, and saves it as paged text or RTF.
//
// The window is created once at program start, beside the main window, and lives until
// the program ends.  Closing it only hides it; its settings (font size, lines per page,
// page range, form feed) and the remembered save file name keep their values between
// showings.  The report belongs to the caller and must outlive the window; after an
// operation has changed it, call reportChanged().
//
// When the last assignment collected near matches, a tab bar under the panel switches
// between the report and the page "Похожие" (gui/near_match_page.h); without them the window
// is the report alone.  The report itself, its printing and saving never include the page.
//
// Every handler ends its own failures in the standard error dialog (gui/message_box.h);
// a failed print or save never changes the report.  What reaches a file or the printer
// port before a failure stays there.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRectF>
#include <QSpinBox>
#include <QString>
#include <QTabBar>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include "gui/near_match_page.h"
#include "gui/report_view.h"
#include "report/report.h"

class QEventLoop;
class QFontMetricsF;
class QPrinter;

namespace strnum {

// The save dialog's choice between the two formats: a name whose extension (from its
// last dot, the dot included), upper-cased and cut to four characters, is ".RTF" gets
// rich text ("a.rtf", "a.Rtfx"); any other name, one without extension included, gets
// paged text.
bool isRichTextName(const QString& fileName);

class TfrmReport : public QWidget {
    Q_OBJECT
public:
    // printerDevice: the device the printer port "LPT1" stands for (the settings file's
    // [Printer] LPT1); empty: the platform's default.
    TfrmReport(Report& report, QString printerDevice, QWidget* parent = nullptr);
    ~TfrmReport() override;

    // Call after an operation has changed the report: the text box shows it anew.
    void reportChanged();
    // The near matches of the last assignment on the page "Похожие", which appears beside the
    // report (the report's tab stays the current one); the window grows to show them.
    void setNearMatches(std::vector<NearMatch> matches, QColor highlight);
    // No page "Похожие": the window is the report alone.
    void clearNearMatches();
    bool hasNearMatches() const { return !tabPages->isHidden(); }
    // Shows the window without waiting and brings it to the front (restored when it was
    // minimised).
    void showNonModal();
    // Shows the window modally and returns when it is closed.  A window already shown (a
    // Yes to an operation's closing question leaves it open beside the main window) cannot
    // become modal: it is brought to the front as it is, and the call returns at once.
    void showModal();

    int linesPerPage() const { return linesPerPage_; }
    QString saveFileName() const { return saveFileName_; }
    void setSaveFileName(QString name) { saveFileName_ = std::move(name); }
    QString printerDevice() const { return printerDevice_; }

    // The steps of the handlers after their dialogs; they throw Error and leave the
    // report as it was.
    //
    // The paged text of the report to a file or device: the destination is created
    // first, then the page range read (when "Все страницы" is off; a page number that
    // is not an integer fails with the destination created and empty), then written.
    void writePagedTextTo(const QString& path);
    // Saves under the name as rich text or paged text by isRichTextName().
    void saveTo(const QString& path);
    // The report as an RTF file, in the text box's font size.
    void writeRtfTo(const QString& path);
    // Prints the report with its colours in the text box's font (its size in points), with
    // an empty document title: the text at least 2 cm from the paper's left edge, 1 cm from
    // its right, 1.5 cm from top and bottom, the page number at the foot.  A line wider than
    // the page goes on in the next printed line, broken between words (wrapAtWords); a
    // page-break line starts a new page.
    void printRichText(QPrinter& printer);

    // The printed page: the text area in the painter's coordinates, the character cell,
    // and how many characters and lines of report text it holds.
    struct PrintLayout {
        QRectF area;
        qreal cellWidth = 1;
        qreal lineHeight = 1;
        qreal ascent = 0;
        int columns = 1;
        int rows = 1;
    };
    static PrintLayout printLayout(const QPrinter& printer, const QFontMetricsF& metrics);
    // One printed line: bytes [begin, end) of report line `line`, on row `row` (from 0) of
    // page `page` (from 1).
    struct PrintedRow {
        int page = 1;
        int row = 0;
        std::size_t line = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    // The printed lines of the report in order, on pages of `rows` lines of `columns`
    // characters (each at least 1).
    static void forEachPrintedRow(const Report& report, int columns, int rows,
                                  const std::function<void(const PrintedRow&)>& f);

    // The controls, by the names the window's description gives them.
    QFrame* Panel1;
    QToolButton* sbtnPrint;
    QPushButton* btnPrintRTF;
    QToolButton* sbtnSave;
    QToolButton* sbtnExit;
    QLabel* Label1;  // "Шрифт"
    QSpinBox* RxSpinEdit1;
    QLabel* Label2;  // "Строк:"
    QLineEdit* edtNlinesMax;
    QLabel* Label3;  // "Страницы с"
    QLineEdit* edtFirstPage;
    QLabel* Label4;  // "по"
    QLineEdit* edtLastPage;
    QCheckBox* cbxFormFeed;
    QCheckBox* chkAllPages;
    ReportView* Memo1;
    QTabBar* tabPages;  // "Отчет" and "Похожие"; hidden without near matches
    NearMatchPage* pgNearMatches;

    // Handlers, each guarded: a failure goes to the error dialog.
    void btnPrintClick();
    void btnPrintRTFClick();
    void btnFileClick();
    void btnCloseClick();
    void chkAllPagesClick();
    void RxSpinEdit1Change();
    // Shared by edtNlinesMax, edtFirstPage and edtLastPage; reads edtNlinesMax only.
    void edtNlinesMaxChange();

protected:
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int fontPoints() const;
    void layoutPages();

    Report& report_;
    QString printerDevice_;
    int linesPerPage_ = 62;
    QString saveFileName_ = QStringLiteral("REPORT.TXT");
    QEventLoop* modalLoop_ = nullptr;
};

}  // namespace strnum
