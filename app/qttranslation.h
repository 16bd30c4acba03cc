// Qt's own texts in the tool's language: the standard buttons ("Отмена"), the
// context menus of text fields and the like come from the Russian translation
// that Qt ships (qtbase_ru.qm in Qt's translations folder).
#pragma once

class QCoreApplication;

// Loads the translation from QLibraryInfo's translations path and installs it
// into `app`, which owns it from then on. False, after a warning on standard
// error, when it cannot be loaded: Qt's texts then stay English.
bool installQtTranslation(QCoreApplication& app);
