// A scripted device behind the data source's SdoChannel: objects per node id,
// failures on demand, a latency per exchange, a hook that runs while an
// exchange is under way, and a record of every call. It also counts exchanges
// that overlap, which the data source must never cause.
#pragma once

#include "pages/sdochannel.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

class FakeSdoChannel : public SdoChannel {
public:
    struct Call {
        bool write = false;
        uint8_t nodeId = 0;
        uint16_t index = 0;
        uint8_t subIndex = 0;
        uint8_t dataType = 0;
        QByteArray data; // written bytes
        int waitMs = 0;
        bool ok = false;
    };

    void setObject(uint8_t nodeId, uint16_t index, uint8_t subIndex, const QByteArray& value);
    QByteArray object(uint8_t nodeId, uint16_t index, uint8_t subIndex) const;
    // The next `times` exchanges with the object fail with abortCode (-1: always);
    // `silent`: unanswered, ended by the stack's time-out (abort code 0 then),
    // else an abort code 0 stands for a start the stack refused.
    void failNext(uint16_t index, uint8_t subIndex, int times, uint32_t abortCode, bool silent = false);
    // Every exchange goes unanswered, as with nobody on the bus.
    void setSilent(bool silent);
    void setLatencyMs(int ms);
    // Runs on the requester's thread in the middle of each exchange.
    void setOnExchange(std::function<void(const Call&)> hook);

    // NoPort comes with `portFailure` as the reason.
    void setOpenResult(LinkOpen result, const QString& portFailure = QString());
    void setCloseResult(bool ok);

    std::vector<Call> calls() const;
    // Link operations in order: "open <port> <access> <bit rate>", "close",
    // "point <id>".
    QStringList linkCalls() const;
    void clearCalls();
    bool waitForCalls(size_t n, int timeoutMs) const;
    int overlaps() const { return m_overlaps.load(); }

    LinkOpen openLink(const QString& portName, int canBusAccess, const QString& bitRate,
                      QString* portFailure) override;
    bool closeLink() override;
    void pointClientAt(uint8_t nodeId) override;
    SdoReply read(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs) override;
    SdoReply write(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& data,
                   int waitMs) override;
    std::mutex& requestLock() override { return m_requestLock; }
    QString abortCodeName(uint32_t abortCode) const override;

private:
    using Key = std::tuple<uint8_t, uint16_t, uint8_t>;
    struct Failure {
        int times = 0;
        uint32_t abortCode = 0;
        bool silent = false;
    };
    SdoReply exchange(bool write, uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                      const QByteArray& data, int waitMs);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    std::map<Key, QByteArray> m_objects;
    std::map<std::pair<uint16_t, uint8_t>, Failure> m_failures;
    bool m_silent = false;
    int m_latencyMs = 0;
    std::function<void(const Call&)> m_hook;
    LinkOpen m_open = LinkOpen::Open;
    QString m_portFailure;
    bool m_closeOk = true;
    std::vector<Call> m_calls;
    QStringList m_linkCalls;
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_overlaps{0};
    std::mutex m_requestLock;
};
