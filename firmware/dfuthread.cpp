#include "firmware/dfuthread.h"

#include "firmware/fwinfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRandomGenerator>

#include <cstdio>

std::function<void(const char*, int)> dfuLogHolder;
std::function<void(int)> dfuProgressHolder;
std::function<int(const char*)> dfuAskHolder;
QWaitCondition askUserCondition;

void logHook(const char* text, int kind)
{
    dfuLogHolder(text, kind);
}

void progressHook(int step)
{
    dfuProgressHolder(step);
}

int askUserHook(const char* question)
{
    return dfuAskHolder(question);
}

namespace {

const char kNotInDfuMode[] = "Устройство не переведено в режим dfu.";

// A name beside target that nothing has yet, for the upload to create.
QString freshNameBeside(const QString& target)
{
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    for (;;) {
        const QString name = folder.filePath(QStringLiteral(".%1.%2.part")
                                                 .arg(info.fileName())
                                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0')));
        const QFileInfo candidate(name);
        if (!candidate.exists() && !candidate.isSymLink())
            return name;
    }
}

} // namespace

DfuThread::DfuThread(QObject* parent)
    : QThread(parent)
{
}

DfuThread::~DfuThread()
{
    stopProcess();
    wait();
}

bool DfuThread::startUpload(const QString& file)
{
    return begin(ModeUpload, file, QString());
}

bool DfuThread::startDownload(const QString& file, const QString& backupFolder)
{
    return begin(ModeDownload, file, backupFolder);
}

bool DfuThread::begin(int mode, const QString& file, const QString& backupFolder)
{
    // A second start must not switch the target of the run in progress.
    if (isRunning())
        return false;
    {
        QMutexLocker lock(&m_mutex);
        m_file = file;
        m_backupFolder = backupFolder;
        m_stop = false;
        m_mode = mode;
    }
    QThread::start(QThread::InheritPriority);
    return true;
}

void DfuThread::stopProcess()
{
    QMutexLocker lock(&m_mutex);
    m_stop = true;
    askUserCondition.wakeAll();
}

bool DfuThread::stopRequested() const
{
    QMutexLocker lock(&m_mutex);
    return m_stop;
}

void DfuThread::setLogPauseMs(unsigned long ms)
{
    QMutexLocker lock(&m_mutex);
    m_logPauseMs = ms;
}

void DfuThread::answerQuestion(int answer)
{
    QMutexLocker lock(&m_mutex);
    m_answer = answer;
    m_answered = true;
    askUserCondition.wakeOne();
}

void DfuThread::log(const char* text, int kind)
{
    emit logSignal(QString::fromUtf8(text), kind);
    unsigned long pause;
    {
        QMutexLocker lock(&m_mutex);
        pause = m_logPauseMs;
    }
    QThread::msleep(pause);
}

void DfuThread::progress(int step)
{
    emit progressBarStepSignal(step);
}

int DfuThread::askUser(const char* question)
{
    QMutexLocker lock(&m_mutex);
    if (m_stop)
        return 0;
    m_answered = false;
    // Emitted under the mutex: the answer can only be stored once the wait
    // below has released it, and the flag keeps it even then.
    emit askUserSignal(QString::fromUtf8(question));
    while (!m_answered && !m_stop)
        askUserCondition.wait(&m_mutex);
    return m_stop ? 0 : m_answer;
}

void DfuThread::run()
{
    dfuLogHolder = [this](const char* text, int kind) { log(text, kind); };
    dfuProgressHolder = [this](int step) { progress(step); };
    dfuAskHolder = [this](const char* question) { return askUser(question); };

    int mode;
    QString file;
    QString backupFolder;
    {
        QMutexLocker lock(&m_mutex);
        mode = m_mode;
        file = m_file;
        backupFolder = m_backupFolder;
    }

    if (!dfu_device_check(logHook)) {
        log(kNotInDfuMode, DFU_LOG_FAILURE);
        return;
    }
    emit setProgressBarVisible(true);
    if (mode == ModeUpload)
        upload(file);
    else
        download(file, backupFolder);
    emit setProgressBarVisible(false);
}

void DfuThread::upload(const QString& file)
{
    const QString part = freshNameBeside(file);
    const int result = dfu_upload_entry(QFile::encodeName(part).constData(), logHook, progressHook);
    if (result == 0 && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(file).constData()) == 0)
        return;
    if (result == 0)
        log((QStringLiteral("Не удалось перезаписать файл ") + file).toUtf8().constData(), DFU_LOG_FAILURE);
    QFile::remove(part);
}

void DfuThread::download(const QString& file, const QString& backupFolder)
{
    const QByteArray backup =
        (backupFolder + QLatin1Char('/') + QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh-mm")))
            .toUtf8();
    const QByteArray path = QFile::encodeName(file);
    if (!fwinfo_preflash(backup.constData(), path.constData(), logHook, askUserHook))
        return;
    dfu_download_entry(path.constData(), logHook, progressHook);
}
