#include "classic/edsdevice.h"

#include "classic/classichost.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {
const QString kSaveFailed = QStringLiteral("Не удалось сохранить eds в файл.");
const QString kDamaged = QStringLiteral("EDS из устройства повреждён: ");
const QString kUnpackFailed = QStringLiteral("Не удалось распаковать eds: ");

QString cachePath(const ClassicHost& host, quint32 checksum)
{
    return host.deviceFolder() + QLatin1Char('/') + QString::number(checksum, 16) + QStringLiteral(".eds");
}

// Work folders that a run ended with the application left behind (its helper
// went with it). Ours run one at a time, so none of them is in use here; only
// real folders named as QTemporaryDir names ours go, and no link is followed.
void removeStaleWorkFolders(const QString& folder)
{
    static const QRegularExpression name(QStringLiteral("^\\.eds-[A-Za-z0-9]{6}$"));
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral(".eds-*")}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink() && name.match(entry.fileName()).hasMatch())
            QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

// The helper writes into a folder of its own beside the cache, on the same
// file system: the whole file is moved into place, and whatever a helper
// that was ended left behind goes with the folder.
bool storeEds(const QByteArray& packed, const QString& path, const ClassicHost& host)
{
    const QFileInfo target(path);
    removeStaleWorkFolders(target.absolutePath());
    QTemporaryDir work(target.absolutePath() + QStringLiteral("/.eds-XXXXXX"));
    if (!work.isValid()) {
        host.toLog(kSaveFailed, false);
        return false;
    }
    const QString part = work.filePath(target.fileName());
    const int limitMs = host.edsUnpackLimitMs;
    const EdsUnpackOutcome outcome = unpackEdsInHelper(host.edsUnpackerProgram(), packed, part, limitMs);
    switch (outcome.result) {
    case EdsUnpackOutcome::Written:
        if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0)
            return true;
        host.toLog(kSaveFailed, false);
        return false;
    case EdsUnpackOutcome::Damaged:
        host.toLog(kDamaged + outcome.reason, false);
        return false;
    case EdsUnpackOutcome::TimedOut:
        host.toLog(kDamaged + QStringLiteral("распаковка не закончилась за %1 с процессорного времени")
                                  .arg(limitMs / 1000.0),
                   false);
        return false;
    case EdsUnpackOutcome::Stalled:
        host.toLog(kDamaged + QStringLiteral("распаковка не выдала данных за %1 с процессорного времени")
                                  .arg(kEdsUnpackStallMs / 1000.0),
                   false);
        return false;
    case EdsUnpackOutcome::WallTimedOut:
        // The machine gave the helper too little time to tell: not called damaged.
        host.toLog(kUnpackFailed + QStringLiteral("распаковка не закончилась за %1 с")
                                       .arg(double(limitMs) * kEdsUnpackWallFactor / 1000.0),
                   false);
        return false;
    case EdsUnpackOutcome::NotSaved:
        host.toLog(kSaveFailed, false);
        return false;
    case EdsUnpackOutcome::NoHelper:
        break;
    }
    host.toLog(kUnpackFailed + outcome.reason, false);
    return false;
}
}

bool readEdsFromDevice(const ClassicHost& host, QString& edsPath)
{
    const uint8_t node = connectionSettings().nodeId;
    const SdoOutcome crc = sdoRead(node, 0x2000, 6, CO_UNSIGNED32, SDO_WAIT_STACK_TIMEOUT);
    if (!crc.ok || crc.data.isEmpty() || crc.data.size() > 4) {
        host.toLog(QStringLiteral("Не удалось считать crc eds: ") + sdoAbortCodeName(crc.abortCode), false);
        host.tools(false);
        return false;
    }
    quint32 checksum = 0;
    for (int i = 0; i < crc.data.size(); ++i)
        checksum |= quint32(quint8(crc.data.at(i))) << (8 * i);
    if (checksum == 0)
        return false; // the device holds no EDS

    edsPath = cachePath(host, checksum);
    if (QFile::exists(edsPath))
        return true;

    SdoOutcome eds;
    {
        std::lock_guard<std::mutex> request(sdoRequestLock());
        for (int i = 0; i < SDO_TRIES && !eds.ok; ++i)
            eds = sdoReadEdsOnce(node, SDO_WAIT_STACK_TIMEOUT);
    }
    if (!eds.ok) {
        host.toLog(QStringLiteral("Не удалось считать eds: ") + sdoAbortCodeName(eds.abortCode), false);
        host.dropCanLink();
        host.tools(false);
        return false;
    }
    return storeEds(eds.data, edsPath, host);
}

bool chooseEds(const ClassicHost& host, QString& edsPath)
{
    const bool fromDevice = host.edsFromDevice();
    if (fromDevice && readEdsFromDevice(host, edsPath))
        return true;
    edsPath = host.openFileName ? host.openFileName(QStringLiteral("Открытие файла eds"), host.deviceFolder())
                                : QString();
    if (!edsPath.isEmpty())
        return true;
    host.toLog(fromDevice ? QStringLiteral("Файл eds не найден или не выбран.") : QStringLiteral("Файл eds не выбран."),
               false);
    return false;
}
