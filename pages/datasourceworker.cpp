#include "pages/datasourceworker.h"

#include "pages/customparam.h"

#include <QDebug>

#include <algorithm>
#include <chrono>

namespace {
// What a wait "bounded by the stack" may last: its 3000 ms time-out plus a margin.
constexpr int kStackBoundMs = 3500;
constexpr int kJoinMarginMs = 1000;
}

DataSourceWorker::DataSourceWorker(std::shared_ptr<SdoChannel> channel, QObject* parent)
    : QObject(parent), m_channel(std::move(channel))
{
}

DataSourceWorker::~DataSourceWorker()
{
    shutDown();
}

void DataSourceWorker::shutDown()
{
    while (!stopAndJoin(joinBoundMs()))
        qWarning() << "data source worker: still busy with an exchange, waiting on";
}

void DataSourceWorker::setSettings(const WorkerSettings& settings)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_settings = settings;
}

WorkerSettings DataSourceWorker::settings() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_settings;
}

int DataSourceWorker::joinBoundMs() const
{
    const WorkerSettings s = settings();
    const auto bound = [](int ms) { return ms < 0 ? kStackBoundMs : ms; };
    return std::max(bound(s.responseTimeoutMs), bound(s.writeWaitMs)) + kJoinMarginMs;
}

void DataSourceWorker::startProcess()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
        if (m_active)
            return; // still in its loop: it goes on
    }
    // A thread that has decided to end only returns from run(); reap it.
    if (m_thread.joinable())
        m_thread.join();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_active = true;
    }
    m_thread = std::thread([this] { run(); });
}

void DataSourceWorker::stopProcess()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cond.notify_all();
}

bool DataSourceWorker::stopAndJoin(int boundMs)
{
    stopProcess();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cond.wait_for(lock, std::chrono::milliseconds(boundMs), [this] { return !m_active; }))
        return false;
    lock.unlock();
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

bool DataSourceWorker::isActive() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_active;
}

bool DataSourceWorker::stopRequested() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

bool DataSourceWorker::sleepRound(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_cond.wait_for(lock, std::chrono::milliseconds(std::max(0, ms)), [this] { return m_stop; });
}

void DataSourceWorker::run()
{
    for (;;) {
        RoundEnd end = RoundEnd::Stopped;
        // Settings are taken after the sleep: a connection made meanwhile counts.
        if (!stopRequested() && sleepRound(settings().roundIntervalMs))
            end = round(settings());
        const std::lock_guard<std::mutex> lock(m_mutex);
        // A start that came after a stop has cleared the flag: the thread goes on.
        if (end == RoundEnd::Ended || m_stop) {
            m_active = false;
            m_cond.notify_all();
            return;
        }
    }
}

bool DataSourceWorker::linkAnswers(const WorkerSettings& s, bool* stopped)
{
    *stopped = false;
    for (int i = 0; i < SDO_REQUEST_TRIES; ++i) {
        if (stopRequested()) {
            *stopped = true;
            return true;
        }
        if (m_channel->read(s.nodeId, 0x1000, 0, 0x07, s.responseTimeoutMs).ok)
            return true;
    }
    return false;
}

void debugFailure(const CustomParam& param, uint16_t index, uint8_t subIndex)
{
    qDebug().noquote() << QStringLiteral("Не удалось получить данные параметра ") + param.name();
    qDebug().noquote() << QStringLiteral("index ") + QString::number(index);
    qDebug().noquote() << QStringLiteral("subindex ") + QString::number(subIndex);
}

uint8_t canTypeOf(const CustomParam& param)
{
    const QSharedPointer<ParamDataType> type = param.dataType();
    return type ? uint8_t(type->canType()) : uint8_t(0x0F);
}
