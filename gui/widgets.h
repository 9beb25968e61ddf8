// Small widgets of the main window: the directory edit (a line edit with a browse button
// 26 pixels wide), the edit that turns letters to upper case while the user types, and the
// label that shows a long path cut in the middle.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

namespace strnum {

class DirectoryEdit : public QWidget {
    Q_OBJECT
public:
    explicit DirectoryEdit(QWidget* parent = nullptr);
    QString text() const { return edit_->text(); }
    void setText(const QString& text) { edit_->setText(text); }
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* browseButton() const { return browse_; }

signals:
    void textChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void browse();
    QLineEdit* edit_;
    QToolButton* browse_;
};

class UpperCaseEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit UpperCaseEdit(QWidget* parent = nullptr);
};

// A one-line label of a fixed width whose text, when longer than the label, is shown with
// its middle left out ("/srv/ortan/…/U99"), so that it never runs into the labels beside
// it; the whole text is in the tooltip.  text() is always the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr) : QLabel(parent) {}
    void setFullText(const QString& text);
    // The text as painted.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace strnum
