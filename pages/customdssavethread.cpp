#include "pages/customdssavethread.h"

#include <QDebug>
#include <QSet>

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
    Part part;
    part.param = param;
    part.callback = std::move(callback);
    CustomParam::WriteShare share = param->writeShare();
    part.value = std::move(share.value);
    part.known = std::move(share.known);
    part.knownStamp = share.knownStamp;
    part.changed = std::move(share.changed);

    const std::lock_guard<std::mutex> lock(m_mutex);
    for (Request& queued : m_pending) {
        if (queued.serial != m_inFlight && queued.index == param->index() && queued.subindex == param->subindex()
            && queued.parts.front().value.size() == part.value.size()) {
            queued.parts.push_back(std::move(part));
            return;
        }
    }
    Request request;
    request.serial = m_nextSerial++;
    request.index = param->index();
    request.subindex = param->subindex();
    request.parts.push_back(std::move(part));
    m_pending.push_back(std::move(request));
}

int CustomDSSaveThread::pendingCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_pending.size());
}

void CustomDSSaveThread::clearData()
{
    dropAll(m_pending);
    // After the drop: no delivery of a round taken before can note a write now.
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_written.clear();
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

QByteArray CustomDSSaveThread::bytesToWrite(const Request& request) const
{
    const int length = request.parts.front().value.size();
    // The newest value known for the object is the ground; each part's changes go
    // over it in queue order. A part that knew no device value changes every bit.
    QByteArray ground = request.parts.front().value;
    uint64_t groundStamp = 0;
    for (const Part& part : request.parts) {
        if (part.known.size() == length && part.knownStamp > groundStamp) {
            ground = part.known;
            groundStamp = part.knownStamp;
        }
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto written = m_written.find(ObjectKey(request.index, request.subindex));
        if (written != m_written.end() && written->second.bytes.size() == length
            && written->second.stamp > groundStamp)
            ground = written->second.bytes;
    }
    QByteArray bytes(ground.constData(), ground.size());
    for (const Part& part : request.parts)
        applyBits(bytes, part.value, part.changed);
    return bytes;
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

bool CustomDSSaveThread::isCommand(const QString& index, const QString& subindex)
{
    return (index == QLatin1String("1011") && subindex == QLatin1String("1"))
        || (index == QLatin1String("2001") && subindex == QLatin1String("a"));
}

void CustomDSSaveThread::complete(const Request& request, bool ok)
{
    for (const Part& part : request.parts) {
        if (part.callback)
            part.callback(ok);
        if (ok)
            emit paramSaved(part.param->name());
    }
}

void CustomDSSaveThread::fail(const Request& request, const QString& reason)
{
    complete(request, false);
    QSet<QString> told;
    for (const Part& part : request.parts) {
        const QString name = part.param->name();
        if (!told.contains(name)) {
            told.insert(name);
            emit paramSavingFail(failMessage(name, reason));
        }
    }
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
        const CustomParam& param = *request.parts.front().param;
        const auto leave = [this](RoundEnd end) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_inFlight = 0;
            return end;
        };

        uint16_t index = 0;
        uint8_t subIndex = 0;
        const bool addressOk = parseObjectAddress(request.index, request.subindex, &index, &subIndex);
        const QByteArray value = bytesToWrite(request);
        const QString refused = refusal(value, addressOk);
        if (!refused.isEmpty()) {
            remove(request.serial);
            deliver(generation, [&] { fail(request, refused); });
            continue;
        }

        // A command the device restarts on is sent once: a try that went out and
        // met only the stack's time-out is that restart. A refused start or an
        // abort is no restart, and is tried again.
        const bool command = isCommand(request.index, request.subindex);
        // One requester at a time on the SDO line, for all tries and the link test.
        std::unique_lock<std::mutex> exchange(m_channel->requestLock());
        SdoReply reply;
        for (int i = 0; i < SDO_REQUEST_TRIES && !reply.ok; ++i) {
            if (stopRequested())
                return leave(RoundEnd::Stopped);
            reply = m_channel->write(s.nodeId, index, subIndex, canTypeOf(param), value, s.writeWaitMs);
            if (command && reply.silent)
                break;
        }
        if (reply.ok) {
            exchange.unlock();
            const uint64_t stamp = nextDeviceValueStamp();
            remove(request.serial);
            // Not kept when the queue was cleared meanwhile: the next link may
            // lead to another device.
            deliver(generation, [&] {
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    m_written[ObjectKey(request.index, request.subindex)] = Written{value, stamp};
                }
                for (const Part& part : request.parts)
                    part.param->wroteValue(part.value, value, stamp);
                complete(request, true);
            });
            continue;
        }

        // The request stays queued: the next connection attempt clears it.
        if (command && reply.silent) {
            exchange.unlock();
            if (request.index == QLatin1String("1011"))
                emit afterRestoredDefault();
            else
                emit afterReboot();
            return leave(RoundEnd::Ended);
        }

        bool stopped = false;
        const bool answered = linkAnswers(s, &stopped);
        exchange.unlock();
        if (stopped)
            return leave(RoundEnd::Stopped);
        if (!answered) {
            deliver(generation, [&] { complete(request, false); });
            emit connectionError();
            return leave(RoundEnd::Ended);
        }
        debugFailure(param, index, subIndex);
        remove(request.serial);
        const QString reason = m_channel->abortCodeName(reply.abortCode);
        deliver(generation, [&] { fail(request, reason); });
    }
    emit paramsSaved();
    return RoundEnd::Continue;
}
