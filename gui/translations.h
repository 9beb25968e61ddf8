// The user-interface library's own texts in Russian: the buttons of the standard dialogs
// ("Да", "Нет", "Отмена"), the file and print dialogs, the context menus of the edits.
// Qt's translations are looked for beside the program (translations/, as a Windows
// installation ships them) and then where Qt keeps them (Debian: qt6-translations-l10n).
#pragma once

class QCoreApplication;

namespace strnum {

// Installs the Russian translation of Qt's own texts and makes Russian the default locale.
// False when no translation was found (the texts then stay in English).
bool installRussianTranslations(QCoreApplication& app);

}  // namespace strnum
