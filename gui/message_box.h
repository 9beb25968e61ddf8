// The two standard dialogs of the windows: the error dialog and the yes/no question.
//
// Every slot of a window ends an exception here, so nothing escapes into Qt.  The window
// tests run without anyone to press a button: they install hooks that record the text
// (and give the answer) instead of opening a dialog.  Hooks are process-wide and used on
// the window thread only.
#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace strnum {

// The standard error dialog (critical icon, the application's name as title, OK).
void showErrorDialog(QWidget* parent, const QString& text);
// The same for an exception: an Error shows its Russian message, anything else what().
void showErrorDialog(QWidget* parent, const std::exception& error);

// The standard confirmation: question icon, the given title (the operations use
// "Confirm"), the buttons Yes and No.  True for Yes; closing the dialog is No.
bool askYesNo(QWidget* parent, const QString& title, const QString& text);

using ErrorDialogHook = std::function<void(QWidget* parent, const QString& text)>;
using QuestionHook = std::function<bool(QWidget* parent, const QString& title, const QString& text)>;

// Replace the dialogs (an empty function restores them); each returns the hook it replaced.
ErrorDialogHook setErrorDialogHook(ErrorDialogHook hook);
QuestionHook setQuestionHook(QuestionHook hook);

}  // namespace strnum
