#include "gui/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <utility>

#include "base/error.h"
#include "gui/qt_text.h"

namespace strnum {

namespace {

ErrorDialogHook& errorHook() {
    static ErrorDialogHook hook;
    return hook;
}

QuestionHook& questionHook() {
    static QuestionHook hook;
    return hook;
}

}  // namespace

void showErrorDialog(QWidget* parent, const QString& text) {
    if (errorHook()) {
        errorHook()(parent, text);
        return;
    }
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), text);
}

void showErrorDialog(QWidget* parent, const std::exception& error) {
    if (const auto* e = dynamic_cast<const Error*>(&error)) {
        showErrorDialog(parent, toQt(e->text()));
    } else {
        // The standard library's own exceptions speak ASCII (std::bad_alloc and the like).
        showErrorDialog(parent, QString::fromLocal8Bit(error.what()));
    }
}

bool askYesNo(QWidget* parent, const QString& title, const QString& text) {
    if (questionHook()) return questionHook()(parent, title, text);
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

ErrorDialogHook setErrorDialogHook(ErrorDialogHook hook) { return std::exchange(errorHook(), std::move(hook)); }

QuestionHook setQuestionHook(QuestionHook hook) { return std::exchange(questionHook(), std::move(hook)); }

}  // namespace strnum
