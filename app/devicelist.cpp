#include "app/devicelist.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>

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
        if (!doc.setContent(&file, &error, &line, &column))
            reason = QStringLiteral("Ошибка XML в строке %1, столбце %2: %3")
                         .arg(QString::number(line), QString::number(column), error);
    }
    if (!reason.isEmpty()) {
        if (log)
            log(QStringLiteral("Ошибка открытия файла controllers.xml. ") + reason, false);
        return rows;
    }
    const QDomNodeList nodes = doc.documentElement().elementsByTagName(QStringLiteral("Controller"));
    rows.reserve(nodes.count());
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomElement e = nodes.at(i).toElement();
        rows.append(DeviceEntry{e.text(), e.attribute(QStringLiteral("id"))});
    }
    return rows;
}
