#include "app/devicelist.h"

#include "classic/domwalk.h"
#include "classic/xmlnesting.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>

namespace {
// Far deeper than a device list nests; a deeper file is refused before it is
// built, which past some 100,000 levels would overflow the stack.
const int kMaxDepth = 128;
}

QString controllersFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ConfigurationData/Controllers.xml");
}

DeviceList loadControllers(const QString& path, const LogSink& log)
{
    DeviceList rows;
    QFile file(path);
    QDomDocument doc;
    QString reason;
    if (!file.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("Файл %1 не открыт: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    } else {
        QString error;
        int line = 0;
        int column = 0;
        const XmlNesting nesting = measureXmlNesting(file, kMaxDepth);
        if (nesting == XmlNesting::TooDeep)
            reason = QStringLiteral("Элементы вложены глубже %1 уровней").arg(kMaxDepth);
        else if (nesting == XmlNesting::TooMuchText)
            reason = QStringLiteral("Сущности раскрываются в слишком длинный текст");
        else if (nesting == XmlNesting::TooManyEntities)
            reason = QStringLiteral("Объявлено больше %1 сущностей").arg(kMaxEntityDeclarations);
        else if (!file.seek(0) || !doc.setContent(&file, &error, &line, &column))
            reason = QStringLiteral("Ошибка XML в строке %1, столбце %2: %3")
                         .arg(QString::number(line), QString::number(column), error);
    }
    if (!reason.isEmpty()) {
        if (log)
            log(QStringLiteral("Ошибка открытия файла controllers.xml. ") + reason, false);
        return rows;
    }
    forEachElementBelow(doc.documentElement(), QStringLiteral("Controller"), [&rows](const QDomElement& e) {
        rows.append(DeviceEntry{e.text(), e.attribute(QStringLiteral("id"))});
    });
    return rows;
}
