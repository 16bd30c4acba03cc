// ConfigurationData for the connect-flow tests: the sample data of the source
// tree plus a second device, "DemoDriveB", whose pages are only the sample's
// information page, so that the two devices' pages tell apart.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>

namespace configfixture {

const QString kDeviceA = QStringLiteral("DemoDrive");
const QString kDeviceB = QStringLiteral("DemoDriveB");
const QString kCaptionB = QStringLiteral("Сведения B");

inline bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(path, target))
            return false;
    }
    return true;
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// Builds `target` (removed first) from the sample ConfigurationData at `source`.
inline bool make(const QString& source, const QString& target)
{
    QDir(target).removeRecursively();
    const QString uiA = target + "/UiData/" + kDeviceA;
    const QString uiB = target + "/UiData/" + kDeviceB;
    return copyTree(source, target) && copyTree(uiA, uiB)
        && writeFile(uiB + "/tree.json",
                     QString(R"({"nodes": [{"name": "info", "caption": "%1"}]})").arg(kCaptionB).toUtf8())
        && writeFile(target + "/Controllers.xml",
                     QString("<Controllers><Controller id=\"1\">%1</Controller>"
                             "<Controller id=\"2\">%2</Controller></Controllers>")
                         .arg(kDeviceA, kDeviceB)
                         .toUtf8());
}

} // namespace configfixture
