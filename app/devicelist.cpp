#include "app/devicelist.h"

#include <QCoreApplication>
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
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file)) {
        if (log)
            log(QStringLiteral("Ошибка открытия файла controllers.xml."), false);
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
