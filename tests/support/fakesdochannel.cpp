#include "fakesdochannel.h"

#include <chrono>
#include <thread>

void FakeSdoChannel::setObject(uint8_t nodeId, uint16_t index, uint8_t subIndex, const QByteArray& value)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_objects[Key(nodeId, index, subIndex)] = value;
}

QByteArray FakeSdoChannel::object(uint8_t nodeId, uint16_t index, uint8_t subIndex) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_objects.find(Key(nodeId, index, subIndex));
    return it == m_objects.end() ? QByteArray() : it->second;
}

void FakeSdoChannel::failNext(uint16_t index, uint8_t subIndex, int times, uint32_t abortCode, bool silent)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_failures[{index, subIndex}] = Failure{times, silent ? 0 : abortCode, silent};
}

void FakeSdoChannel::setSilent(bool silent)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void FakeSdoChannel::setLatencyMs(int ms)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_latencyMs = ms;
}

void FakeSdoChannel::setOnExchange(std::function<void(const Call&)> hook)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

void FakeSdoChannel::setOpenResult(LinkOpen result, const QString& portFailure)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_open = result;
    m_portFailure = portFailure;
}

void FakeSdoChannel::setCloseResult(bool ok)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_closeOk = ok;
}

std::vector<FakeSdoChannel::Call> FakeSdoChannel::calls() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

QStringList FakeSdoChannel::linkCalls() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_linkCalls;
}

void FakeSdoChannel::clearCalls()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
    m_linkCalls.clear();
}

bool FakeSdoChannel::waitForCalls(size_t n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_calls.size() >= n; });
}

SdoChannel::LinkOpen FakeSdoChannel::openLink(const QString& portName, int canBusAccess, const QString& bitRate,
                                              QString* portFailure)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_linkCalls << QStringLiteral("open %1 %2 %3").arg(portName).arg(canBusAccess).arg(bitRate);
    if (m_open == LinkOpen::NoPort && portFailure)
        *portFailure = m_portFailure;
    return m_open;
}

bool FakeSdoChannel::closeLink()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_linkCalls << QStringLiteral("close");
    return m_closeOk;
}

void FakeSdoChannel::pointClientAt(uint8_t nodeId)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_linkCalls << QStringLiteral("point %1").arg(nodeId);
}

SdoReply FakeSdoChannel::read(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs)
{
    return exchange(false, nodeId, index, subIndex, dataType, QByteArray(), waitMs);
}

SdoReply FakeSdoChannel::write(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                               const QByteArray& data, int waitMs)
{
    return exchange(true, nodeId, index, subIndex, dataType, data, waitMs);
}

SdoReply FakeSdoChannel::exchange(bool write, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                                  const QByteArray& data, int waitMs)
{
    Call call;
    call.write = write;
    call.nodeId = nodeId;
    call.index = index;
    call.subIndex = subIndex;
    call.dataType = dataType;
    call.data = data;
    call.waitMs = waitMs;
    if (m_inFlight.fetch_add(1) > 0)
        ++m_overlaps;
    std::function<void(const Call&)> hook;
    int latency = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_hook;
        latency = m_latencyMs;
    }
    if (latency > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(latency));
    if (hook)
        hook(call);

    SdoReply reply;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Key key(call.nodeId, call.index, call.subIndex);
        auto object = m_objects.find(key);
        auto failure = m_failures.find({call.index, call.subIndex});
        if (m_silent || object == m_objects.end()) {
            reply.abortCode = m_silent ? 0 : 0x06020000;
            reply.silent = m_silent;
        } else if (failure != m_failures.end() && failure->second.times != 0) {
            reply.abortCode = failure->second.abortCode;
            reply.silent = failure->second.silent;
            if (failure->second.times > 0)
                --failure->second.times;
        } else {
            reply.ok = true;
            // Deep copies: the device's bytes are never shared with the requester's.
            if (call.write)
                object->second = QByteArray(call.data.constData(), call.data.size());
            else
                reply.data = QByteArray(object->second.constData(), object->second.size());
        }
        call.ok = reply.ok;
        m_calls.push_back(call);
    }
    m_cond.notify_all();
    m_inFlight.fetch_sub(1);
    return reply;
}

QString FakeSdoChannel::abortCodeName(uint32_t abortCode) const
{
    if (abortCode == 0)
        return QString();
    return QStringLiteral("ABORT_%1").arg(abortCode, 8, 16, QLatin1Char('0'));
}
