#include "gui/widgets.h"

#include <QFileDialog>
#include <QPainter>
#include <QStyle>

namespace strnum {

DirectoryEdit::DirectoryEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
    browse_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browse_->setToolTip(QStringLiteral("Выбрать каталог"));
    browse_->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(edit_);
    connect(edit_, &QLineEdit::textChanged, this, &DirectoryEdit::textChanged);
    connect(browse_, &QToolButton::clicked, this, &DirectoryEdit::browse);
}

void DirectoryEdit::resizeEvent(QResizeEvent*) {
    constexpr int kButton = 26;
    edit_->setGeometry(0, 0, width() - kButton, height());
    browse_->setGeometry(width() - kButton, 0, kButton, height());
}

void DirectoryEdit::browse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Выбор каталога"), edit_->text());
    if (!chosen.isEmpty()) edit_->setText(chosen);
}

UpperCaseEdit::UpperCaseEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const QString upper = typed.toUpper();
        if (upper == typed) return;
        const int cursor = cursorPosition();
        setText(upper);
        setCursorPosition(cursor);
    });
}

void ElidedLabel::setFullText(const QString& text) {
    setText(text);
    setToolTip(shownText() == text ? QString() : text);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), static_cast<int>(alignment()), shownText());
}

}  // namespace strnum
