#include "gui/report_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "gui/message_box.h"
#include "gui/qt_text.h"

namespace strnum {

namespace {

constexpr int kMargin = 2;  // pixels left of the first column

// Control characters (the form feed of a page-break line, a stray tab) take one cell
// like any other character, shown blank.
QString displayText(std::string_view cp1251) {
    QString s = toQt(cp1251);
    for (QChar& c : s)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    return s;
}

}  // namespace

ReportView::ReportView(const Report& report, QWidget* parent) : QAbstractScrollArea(parent), report_(report) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    QFont f;
    // Courier New where the machine has it; Liberation Mono has its metrics.
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPixelSize(12);
    setFont(f);
    updateMetrics();
    reportChanged();
}

void ReportView::reportChanged() {
    std::size_t longest = 0;
    for (std::size_t i = 0; i < report_.lineCount(); ++i) longest = std::max(longest, report_.line(i).size());
    longestLine_ = static_cast<int>(std::min<std::size_t>(longest, 1u << 24));
    anchor_ = current_ = -1;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void ReportView::setFontPointSize(int points) {
    QFont f = font();
    f.setPointSize(points);
    setFont(f);  // changeEvent re-measures
}

void ReportView::updateMetrics() {
    const QFontMetricsF fm(font());
    lineHeight_ = std::max(1, static_cast<int>(std::ceil(fm.lineSpacing())));
    ascent_ = static_cast<int>(std::round(fm.ascent()));
    cellWidth_ = std::max<qreal>(1, fm.horizontalAdvance(QLatin1Char('M')));
    updateScrollBars();
    viewport()->update();
}

int ReportView::visibleLineCount() const { return std::max(1, viewport()->height() / lineHeight_); }

void ReportView::updateScrollBars() {
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, lineCount() - visibleLineCount()));
    v->setSingleStep(1);
    v->setPageStep(visibleLineCount());
    QScrollBar* h = horizontalScrollBar();
    const int contentWidth = static_cast<int>(std::ceil(longestLine_ * cellWidth_)) + 2 * kMargin;
    h->setRange(0, std::max(0, contentWidth - viewport()->width()));
    h->setSingleStep(std::max(1, static_cast<int>(cellWidth_)));
    h->setPageStep(std::max(1, viewport()->width()));
}

int ReportView::firstVisibleLine() const { return verticalScrollBar()->value(); }

int ReportView::lineAt(int y) const {
    if (lineCount() == 0) return -1;
    const int line = firstVisibleLine() + (y < 0 ? -1 - (-y - 1) / lineHeight_ : y / lineHeight_);
    return std::clamp(line, 0, lineCount() - 1);
}

int ReportView::selectionFirst() const { return anchor_ < 0 ? -1 : std::min(anchor_, current_); }
int ReportView::selectionLast() const { return anchor_ < 0 ? -1 : std::max(anchor_, current_); }

void ReportView::selectLines(int first, int last) {
    if (lineCount() == 0 || first < 0) {
        anchor_ = current_ = -1;
    } else {
        anchor_ = std::clamp(first, 0, lineCount() - 1);
        current_ = std::clamp(last, 0, lineCount() - 1);
    }
    viewport()->update();
}

void ReportView::selectAll() { selectLines(0, lineCount() - 1); }

QString ReportView::selectedText() const {
    QString text;
    const int first = selectionFirst();
    // A run that is filling the report anew while the window is open (it processes
    // messages) may have left fewer lines than the selection covers: only those that are
    // there are copied.
    const int last = std::min(selectionLast(), lineCount() - 1);
    if (first < 0) return text;
    for (int i = first; i <= last; ++i) {
        if (i > first) text += QLatin1Char('\n');
        text += toQt(report_.line(static_cast<std::size_t>(i)));
    }
    return text;
}

void ReportView::copy() const {
    if (selectionFirst() < 0) return;
    try {
        QApplication::clipboard()->setText(selectedText());
    } catch (const std::exception& e) {
        // A whole large report may not fit in memory twice; the report itself stays.
        showErrorDialog(const_cast<ReportView*>(this), e);
    }
}

void ReportView::ensureLineVisible(int line) {
    QScrollBar* v = verticalScrollBar();
    if (line < v->value())
        v->setValue(line);
    else if (line >= v->value() + visibleLineCount())
        v->setValue(line - visibleLineCount() + 1);
}

void ReportView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    p.setFont(font());
    const QPalette& pal = palette();
    const QColor text = pal.color(QPalette::WindowText);
    const QColor highlight = pal.color(QPalette::Highlight);
    const QColor highlightedText = pal.color(QPalette::HighlightedText);
    const int first = firstVisibleLine() + event->rect().top() / lineHeight_;
    const int last = std::min(lineCount() - 1, firstVisibleLine() + event->rect().bottom() / lineHeight_);
    const qreal left = kMargin - horizontalScrollBar()->value();
    const int width = viewport()->width();
    const int selFirst = selectionFirst();
    const int selLast = selectionLast();
    for (int i = first; i <= last; ++i) {
        const int top = (i - firstVisibleLine()) * lineHeight_;
        const bool selected = selFirst >= 0 && selFirst <= i && i <= selLast;
        if (selected) p.fillRect(0, top, width, lineHeight_, highlight);
        qreal x = left;
        report_.forEachRun(static_cast<std::size_t>(i), [&](const Run& run) {
            const qreal runWidth = static_cast<qreal>(run.text.size()) * cellWidth_;
            // Only what falls into the viewport is converted and drawn.
            if (x + runWidth > 0 && x < width) {
                QColor colour =
                    run.colour.isDefault() ? text : QColor(run.colour.red(), run.colour.green(), run.colour.blue());
                if (selected) colour = highlightedText;
                p.setPen(colour);
                std::size_t skip = x < 0 ? static_cast<std::size_t>(-x / cellWidth_) : 0;
                skip = std::min(skip, run.text.size());
                const std::size_t fits = static_cast<std::size_t>(width / cellWidth_) + 2;
                const std::string_view shown = run.text.substr(skip, fits);
                p.drawText(QPointF(x + static_cast<qreal>(skip) * cellWidth_, top + ascent_), displayText(shown));
            }
            x += runWidth;
        });
    }
}

void ReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int line = lineAt(static_cast<int>(event->position().y()));
    if (line < 0) return;
    if (!(event->modifiers() & Qt::ShiftModifier) || anchor_ < 0) anchor_ = line;
    current_ = line;
    viewport()->update();
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || anchor_ < 0) return;
    const int line = lineAt(static_cast<int>(event->position().y()));
    if (line < 0 || line == current_) return;
    current_ = line;
    ensureLineVisible(line);  // dragging past an edge scrolls
    viewport()->update();
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return copy();
    if (event->matches(QKeySequence::SelectAll)) return selectAll();
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Up:
            v->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_PageUp:
            v->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            v->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Left:
            h->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_Home:
            (ctrl ? v : h)->setValue(0);
            break;
        case Qt::Key_End:
            (ctrl ? v : h)->setValue(ctrl ? v->maximum() : h->maximum());
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void ReportView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("Копировать"), this, &ReportView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(selectionFirst() >= 0);
    menu.addAction(QStringLiteral("Выделить все"), this, &ReportView::selectAll)->setShortcut(QKeySequence::SelectAll);
    menu.exec(event->globalPos());
}

void ReportView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
    else if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

}  // namespace strnum
