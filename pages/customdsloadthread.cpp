#include "pages/customdsloadthread.h"

#include <QDebug>

#include <vector>

CustomDSLoadThread::CustomDSLoadThread(std::shared_ptr<SdoChannel> channel, QObject* parent)
    : DataSourceWorker(std::move(channel), parent)
{
    startProcess();
}

CustomDSLoadThread::~CustomDSLoadThread()
{
    shutDown();
}

void CustomDSLoadThread::enqueue(const SPCustomParam& param, std::function<void(bool)> callback)
{
    if (!param)
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.emplace(param.data(), Request{param, std::move(callback)});
}

int CustomDSLoadThread::pendingCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_pending.size());
}

void CustomDSLoadThread::clearData()
{
    dropAll(m_pending);
}

void CustomDSLoadThread::forgetFailures()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_pending)
        entry.second.failureTold = false;
}

void CustomDSLoadThread::reportFailure(const CustomParam& param, const QString& message)
{
    bool first = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_pending.find(&param);
        if (it != m_pending.end() && !it->second.failureTold) {
            it->second.failureTold = true;
            first = true;
        }
    }
    emit paramLoadingFail(message);
    if (first)
        emit firstLoadingFail(message);
}

void CustomDSLoadThread::noteRead(const CustomParam& param)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_pending.find(&param);
    if (it != m_pending.end())
        it->second.failureTold = false;
}

DataSourceWorker::RoundEnd CustomDSLoadThread::round(const WorkerSettings& s)
{
    std::vector<Request> snapshot;
    uint64_t generation = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        snapshot.reserve(m_pending.size());
        for (const auto& entry : m_pending)
            snapshot.push_back(entry.second);
        generation = m_generation;
    }

    for (const Request& request : snapshot) {
        if (stopRequested())
            return RoundEnd::Stopped;
        const CustomParam& param = *request.param;
        // An edit is never overwritten by the device's value.
        if (param.edited())
            continue;
        const auto callback = [&request](bool ok) {
            if (request.callback)
                request.callback(ok);
        };

        uint16_t index = 0;
        uint8_t subIndex = 0;
        if (!parseObjectAddress(param.index(), param.subindex(), &index, &subIndex)) {
            const QString message = QStringLiteral("Не удалось получить данные параметра ") + param.name()
                + QStringLiteral(". Ошибка: неверный индекс или субиндекс");
            deliver(generation, [&] {
                callback(false);
                reportFailure(param, message);
            });
            continue;
        }

        // One requester at a time on the SDO line, for all tries and the link test.
        std::unique_lock<std::mutex> exchange(m_channel->requestLock());
        SdoReply reply;
        for (int i = 0; i < SDO_REQUEST_TRIES && !reply.ok; ++i) {
            if (stopRequested())
                return RoundEnd::Stopped;
            reply = m_channel->read(s.nodeId, index, subIndex, canTypeOf(param), s.responseTimeoutMs);
        }
        if (reply.ok) {
            exchange.unlock();
            deliver(generation, [&] {
                noteRead(param);
                // Dropped when the user edited the parameter while the read was under way.
                if (request.param->storeReadValue(reply.data) == CustomParam::ReadResult::Changed) {
                    callback(true);
                    emit paramLoaded(param.name());
                }
            });
            continue;
        }

        bool stopped = false;
        const bool answered = linkAnswers(s, &stopped);
        exchange.unlock();
        if (stopped)
            return RoundEnd::Stopped;
        if (!answered) {
            deliver(generation, [&] { callback(false); });
            emit connectionError();
            return RoundEnd::Ended;
        }
        debugFailure(param, index, subIndex);
        const QString message = QStringLiteral("Не удалось получить данные параметра ") + param.name()
            + QStringLiteral(". Ошибка: ") + m_channel->abortCodeName(reply.abortCode);
        deliver(generation, [&] {
            callback(false);
            reportFailure(param, message);
        });
    }
    return RoundEnd::Continue;
}
