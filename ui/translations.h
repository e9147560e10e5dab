#pragma once

class QCoreApplication;

namespace dovrel {

// Shows the program in the user's language (the locale of LC_ALL, LC_MESSAGES
// or LANG): the program's own translation, built into it, and Qt's own for
// the standard buttons and the framework's texts, from the system (Debian's
// qt6-translations-l10n). English, the source, where neither has one.
void InstallTranslations(QCoreApplication& application);

}  // namespace dovrel
