#include "pages/customdssavethread.h"

#include <QDebug>

#include <algorithm>

namespace {
QString failMessage(const QString& name, const QString& reason)
{
    return QStringLiteral("Ошибка записи параметра ") + name + QStringLiteral(": ") + reason;
}
}

CustomDSSaveThread::CustomDSSaveThread(std::shared_ptr<SdoChannel> channel, QObject* parent)
    : DataSourceWorker(std::move(channel), parent)
{
    startProcess();
}

CustomDSSaveThread::~CustomDSSaveThread()
{
    shutDown();
}

void CustomDSSaveThread::enqueue(const SPCustomParam& param, std::function<void(bool)> callback)
{
    if (!param)
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (Request& queued : m_pending) {
        if (queued.serial != m_inFlight && queued.param->index() == param->index()
            && queued.param->subindex() == param->subindex()) {
            queued.param = param;
            queued.callback = std::move(callback);
            return;
        }
    }
    m_pending.push_back(Request{m_nextSerial++, param, std::move(callback)});
}

int CustomDSSaveThread::pendingCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_pending.size());
}

void CustomDSSaveThread::clearData()
{
    dropAll(m_pending);
}

void CustomDSSaveThread::remove(uint64_t serial)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [serial](const Request& r) { return r.serial == serial; }),
                    m_pending.end());
    if (m_inFlight == serial)
        m_inFlight = 0;
}

QString CustomDSSaveThread::refusal(const QByteArray& value, bool addressOk)
{
    if (!addressOk)
        return QStringLiteral("неверный индекс или субиндекс");
    // An empty value was never read from the device: a zero-length write would
    // only put garbage into the object.
    if (value.isEmpty())
        return QStringLiteral("значение не прочитано с устройства");
    if (value.size() > SdoChannel::kMaxValueBytes)
        return QStringLiteral("значение длиннее %1 байт").arg(SdoChannel::kMaxValueBytes);
    return QString();
}

DataSourceWorker::RoundEnd CustomDSSaveThread::round(const WorkerSettings& s)
{
    uint64_t generation = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pending.empty())
            return RoundEnd::Continue;
        generation = m_generation;
    }

    for (;;) {
        if (stopRequested())
            return RoundEnd::Stopped;
        Request request;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty())
                break;
            request = m_pending.front();
            m_inFlight = request.serial;
        }
        const CustomParam& param = *request.param;
        const auto callback = [&request](bool ok) {
            if (request.callback)
                request.callback(ok);
        };
        const auto leave = [this](RoundEnd end) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_inFlight = 0;
            return end;
        };

        uint16_t index = 0;
        uint8_t subIndex = 0;
        const bool addressOk = parseObjectAddress(param.index(), param.subindex(), &index, &subIndex);
        const QByteArray value = param.value();
        const QString refused = refusal(value, addressOk);
        if (!refused.isEmpty()) {
            remove(request.serial);
            const QString message = failMessage(param.name(), refused);
            deliver(generation, [&] {
                callback(false);
                emit paramSavingFail(message);
            });
            continue;
        }

        // One requester at a time on the SDO line, for all tries and the link test.
        std::unique_lock<std::mutex> exchange(m_channel->requestLock());
        SdoReply reply;
        for (int i = 0; i < SDO_REQUEST_TRIES && !reply.ok; ++i) {
            if (stopRequested())
                return leave(RoundEnd::Stopped);
            reply = m_channel->write(s.nodeId, index, subIndex, canTypeOf(param), value, s.writeWaitMs);
        }
        if (reply.ok) {
            exchange.unlock();
            remove(request.serial);
            // An edit made while the write was under way keeps its mark.
            request.param->clearEditedIfValue(value);
            deliver(generation, [&] {
                callback(true);
                emit paramSaved(param.name());
            });
            continue;
        }

        // These two commands end the connection when they work: the device
        // restarts before it can answer. The request stays queued. A device
        // that answers with an abort has refused the command instead; that is
        // an ordinary failed write, never a restart.
        const bool silent = reply.abortCode == 0;
        if (silent && param.index() == QLatin1String("1011") && param.subindex() == QLatin1String("1")) {
            exchange.unlock();
            emit afterRestoredDefault();
            return leave(RoundEnd::Ended);
        }
        if (silent && param.index() == QLatin1String("2001") && param.subindex() == QLatin1String("a")) {
            exchange.unlock();
            emit afterReboot();
            return leave(RoundEnd::Ended);
        }

        bool stopped = false;
        const bool answered = linkAnswers(s, &stopped);
        exchange.unlock();
        if (stopped)
            return leave(RoundEnd::Stopped);
        if (!answered) {
            deliver(generation, [&] { callback(false); });
            emit connectionError();
            return leave(RoundEnd::Ended);
        }
        debugFailure(param, index, subIndex);
        remove(request.serial);
        const QString message = failMessage(param.name(), m_channel->abortCodeName(reply.abortCode));
        deliver(generation, [&] {
            callback(false);
            emit paramSavingFail(message);
        });
    }
    emit paramsSaved();
    return RoundEnd::Continue;
}
