// The report window's text box Memo1: the report's lines with their coloured runs,
// read-only, scrolling both ways, never wrapping.
//
// Reports run to hundreds of thousands of lines, so the box keeps no copy of them: it
// paints the lines in view straight from the Report, one run at a time, and only the
// longest line is measured (in reportChanged()).  The font is monospaced, so a line is
// a row of equal cells: line height and cell width come from the font metrics, and a
// column is found without laying text out.
//
// The user selects whole lines with the mouse (click, drag, Shift+click), copies them
// with Ctrl+C or the context menu, and selects everything with Ctrl+A.  Default-coloured
// text is drawn in the system's window-text colour, coloured runs in their RGB.
//
// The Report must outlive the box; after it changes, call reportChanged() before the
// next paint (a view into a changed report is not valid).
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include "report/report.h"

namespace strnum {

class ReportView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReportView(const Report& report, QWidget* parent = nullptr);

    // Re-reads the report: scroll ranges from its line count and longest line; the view
    // goes back to the first line and the selection is dropped.
    void reportChanged();
    // Sets the font size in points (the family stays).
    void setFontPointSize(int points);

    // Selected lines [first, last]; first is -1 when nothing is selected.
    int selectionFirst() const;
    int selectionLast() const;
    void selectLines(int first, int last);
    void selectAll();
    // The selected lines as text, joined by line ends, without a final one.
    QString selectedText() const;
    void copy() const;

    int lineHeight() const { return lineHeight_; }
    qreal cellWidth() const { return cellWidth_; }
    int firstVisibleLine() const;
    // The line under a viewport point, clamped to the report; -1 for an empty report.
    int lineAt(int y) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateMetrics();
    void updateScrollBars();
    void ensureLineVisible(int line);
    int visibleLineCount() const;
    int lineCount() const { return static_cast<int>(report_.lineCount()); }

    const Report& report_;
    int longestLine_ = 0;  // characters
    int lineHeight_ = 1;
    int ascent_ = 0;
    qreal cellWidth_ = 1;
    int anchor_ = -1;  // the line where the selection started; -1: none
    int current_ = -1;
};

}  // namespace strnum
