#include "firmware/dfuthread.h"

#include "firmware/fwinfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <sys/eventfd.h>
#include <unistd.h>

std::function<void(const char*, int)> dfuLogHolder;
std::function<void(int)> dfuProgressHolder;
std::function<int(const char*)> dfuAskHolder;
std::condition_variable askUserCondition;

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
        const QString tag = QString::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
        const QString name = folder.filePath(QStringLiteral(".%1.%2.part").arg(info.fileName(), tag));
        const QFileInfo candidate(name);
        if (!candidate.exists() && !candidate.isSymLink())
            return name;
    }
}

} // namespace

DfuThread::DfuThread(QObject* parent)
    : QThread(parent)
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        qFatal("eventfd: %s", std::strerror(errno));
    m_wakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
    connect(m_wakeNotifier.get(), &QSocketNotifier::activated, this, &DfuThread::emitReports);
}

DfuThread::~DfuThread()
{
    stopProcess();
    wait();
    // The run's last unlock hands what it did over to this thread.
    { const std::lock_guard<std::mutex> handOver(m_mutex); }
    m_wakeNotifier.reset();
    ::close(m_wakeFd);
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
        std::lock_guard<std::mutex> lock(m_mutex);
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    askUserCondition.notify_all();
}

bool DfuThread::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

void DfuThread::setLogPauseMs(unsigned long ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_logPauseMs = ms;
}

void DfuThread::answerQuestion(int answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answer = answer;
    m_answered = true;
    askUserCondition.notify_one();
}

bool DfuThread::reportsPending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_reports.empty();
}

void DfuThread::report(Report r)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(std::move(r));
    }
    wake();
}

void DfuThread::wake()
{
    const uint64_t one = 1;
    // The counter only fails to take a write when it is already huge, and then
    // a wake-up is pending anyway.
    while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void DfuThread::emitReports()
{
    uint64_t count;
    while (::read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
    // A slot may end this object (the window going while a question is open).
    const QPointer<DfuThread> self(this);
    for (;;) {
        Report r{Report::Log, QString(), 0};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_reports.empty())
                return;
            r = std::move(m_reports.front());
            m_reports.pop_front();
        }
        switch (r.kind) {
        case Report::Log:
            emit logSignal(r.text, r.value);
            break;
        case Report::Progress:
            emit progressBarStepSignal(r.value);
            break;
        case Report::BarVisible:
            emit setProgressBarVisible(r.value != 0);
            break;
        case Report::Question:
            emit askUserSignal(r.text);
            break;
        }
        if (!self)
            return;
    }
}

void DfuThread::log(const char* text, int kind)
{
    report({Report::Log, QString::fromUtf8(text), kind});
    unsigned long pause;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pause = m_logPauseMs;
    }
    if (pause)
        QThread::msleep(pause);
}

void DfuThread::progress(int step)
{
    report({Report::Progress, QString(), step});
}

int DfuThread::askUser(const char* question)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return 0;
        m_answered = false;
        m_reports.push_back({Report::Question, QString::fromUtf8(question), 0});
    }
    wake();
    // The answered flag keeps an answer that comes before the wait begins.
    std::unique_lock<std::mutex> lock(m_mutex);
    askUserCondition.wait(lock, [this] { return m_answered || m_stop; });
    return m_stop ? 0 : m_answer;
}

void DfuThread::run()
{
    work();
    // QThread::wait is no hand-over the thread checker can see; the mutex is.
    const std::lock_guard<std::mutex> handOver(m_mutex);
}

void DfuThread::work()
{
    dfuLogHolder = [this](const char* text, int kind) { log(text, kind); };
    dfuProgressHolder = [this](int step) { progress(step); };
    dfuAskHolder = [this](const char* question) { return askUser(question); };

    int mode;
    QString file;
    QString backupFolder;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        mode = m_mode;
        file = m_file;
        backupFolder = m_backupFolder;
    }

    if (!dfu_device_check(logHook)) {
        log(kNotInDfuMode, DFU_LOG_FAILURE);
        return;
    }
    report({Report::BarVisible, QString(), 1});
    if (mode == ModeUpload)
        upload(file);
    else
        download(file, backupFolder);
    report({Report::BarVisible, QString(), 0});
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
