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
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kSaveFailed = QStringLiteral("Не удалось сохранить eds в файл.");
const QString kDamaged = QStringLiteral("EDS из устройства повреждён: ");
const QString kUnpackFailed = QStringLiteral("Не удалось распаковать eds: ");

QString cachePath(const ClassicHost& host, quint32 checksum)
{
    return host.deviceFolder() + QLatin1Char('/') + QString::number(checksum, 16) + QStringLiteral(".eds");
}

// A descriptor closed with its owner.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

// A folder's own lock: flock() on the folder opened without following a
// link. It goes with the process that holds it, and two opens conflict even
// within one process.
Descriptor lockedFolder(const QString& path)
{
    Descriptor folder(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0 || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0)
        return Descriptor();
    return folder;
}

// Work folders no running copy of the application uses: each run locks its
// own, so an unlocked one was left by a run that ended with the application
// (its helper went with it). Only real folders named as QTemporaryDir names
// ours go, and no link is followed.
void removeStaleWorkFolders(const QString& folder)
{
    static const QRegularExpression name(QStringLiteral("^\\.eds-[A-Za-z0-9]{6}$"));
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral(".eds-*")}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!entry.isDir() || entry.isSymLink() || !name.match(entry.fileName()).hasMatch())
            continue;
        // Held while the folder goes: a run that made it a moment ago and
        // could not lock it yet finds it gone and makes another.
        const Descriptor lock = lockedFolder(entry.absoluteFilePath());
        if (lock.get() >= 0)
            QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

// This run's work folder beside the cache, locked for as long as it lives so
// that other copies of the application leave it alone.
class WorkFolder {
public:
    explicit WorkFolder(const QString& parent)
    {
        // Another copy may take a new folder for a stale one in the moment
        // before it is locked; that one is gone then, and another is made.
        for (int i = 0; i < kTries && !m_dir; ++i) {
            auto dir = std::make_unique<QTemporaryDir>(parent + QStringLiteral("/.eds-XXXXXX"));
            if (!dir->isValid())
                return;
            Descriptor lock = lockedFolder(dir->path());
            if (lock.get() >= 0 && isFolder(lock.get(), dir->path())) {
                m_lock = std::move(lock);
                m_dir = std::move(dir);
            }
        }
    }
    bool isValid() const { return m_dir != nullptr; }
    QString filePath(const QString& name) const { return m_dir->filePath(name); }

private:
    enum { kTries = 3 };

    // Whether `path` still names the folder open on `fd`.
    static bool isFolder(int fd, const QString& path)
    {
        struct stat held {};
        struct stat named {};
        return ::fstat(fd, &held) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0
               && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    // Declared first, so it is released only after the folder has gone.
    Descriptor m_lock;
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The helper writes into a folder of its own beside the cache, on the same
// file system: the whole file is moved into place, and whatever a helper
// that was ended left behind goes with the folder.
bool storeEds(const QByteArray& packed, const QString& path, const ClassicHost& host)
{
    const QFileInfo target(path);
    removeStaleWorkFolders(target.absolutePath());
    const WorkFolder work(target.absolutePath());
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
    if (QFile::exists(edsPath)) {
        removeStaleWorkFolders(host.deviceFolder());
        return true;
    }

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
