#include "app/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QtGlobal>

bool installQtTranslation(QCoreApplication& app)
{
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"), folder)) {
        qWarning("Qt's Russian translation qtbase_ru.qm not found in %s", qPrintable(folder));
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    return true;
}
