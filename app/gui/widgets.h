// Small widgets of the main window: the directory edit (a line edit with a browse button
// 26 pixels wide) and the edit that turns letters to upper case while the user types.
#pragma once

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

}  // namespace strnum
