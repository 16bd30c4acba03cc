// A real Modbus server (libmodbus) on its own thread, for the classic pages'
// Modbus link: holding registers 0..count-1 (1002 by default, so registers
// 1000 and 1001 exist) of slave 245.
//
// startTcp() listens on 127.0.0.1 at a free port and serves one client at a
// time, accepting the next when a client leaves (a client may connect and go
// without a request). startRtu() joins two pseudo-terminal pairs by a relay
// thread: the server speaks on one, the client opens clientTtyPath() of the
// other. Every request is logged (function, address, count) before any knob
// acts on it. stop() ends the threads promptly, even while they wait for a
// request or hold back an answer.
#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

class ModbusTestServer {
public:
    struct Request {
        int function = 0;
        int address = 0;
        int count = 0;
        bool operator==(const Request& o) const
        {
            return function == o.function && address == o.address && count == o.count;
        }
    };

    explicit ModbusTestServer(int registerCount = 1002, int slave = 245);
    ~ModbusTestServer();
    ModbusTestServer(const ModbusTestServer&) = delete;
    ModbusTestServer& operator=(const ModbusTestServer&) = delete;

    bool startTcp();
    bool startRtu();
    void stop();

    quint16 tcpPort() const { return m_port; }
    QString clientTtyPath() const { return m_clientTty; }

    void setRegister(int address, quint16 value);
    quint16 registerValue(int address) const;

    QList<Request> requests() const;
    void clearRequests();
    bool waitForRequests(int n, int timeoutMs) const;
    // TCP clients accepted so far.
    int connections() const { return m_connections; }

    // Reads requests and answers none.
    void setSilent(bool silent) { m_silent = silent; }
    // Holds back every answer this long.
    void setReplyDelayMs(int ms) { m_replyDelayMs = ms; }
    // Holds back only the next answer this long.
    void delayNextReply(int ms) { m_nextDelayMs = ms; }
    // Requests touching these registers get the exception "illegal data address".
    void setExceptionRange(int first, int last);
    // RTU: flips one byte of the next answer on its way to the client.
    void corruptNextReply() { m_corruptNext = true; }

    // Client sockets of this machine connected to `port` and not closed by
    // their owner (ESTABLISHED or CLOSE_WAIT), from /proc/net/tcp.
    static int openClientSockets(quint16 port);

private:
    void serveTcp();
    void serveRtu();
    // Receives and answers requests on the context's line until it fails or a stop.
    void serveLine(int fd, bool tcp);
    void answer(const uint8_t* request, int length);
    // Waits for `fd` to be readable; false on a stop.
    bool waitReadable(int fd);
    bool sleepUnlessStopped(int ms);
    void relay();
    void wake();

    const int m_registerCount;
    const int m_slave;
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_mapping = nullptr;
    int m_listen = -1;
    quint16 m_port = 0;
    QString m_clientTty;
    int m_ptyMaster[2] = {-1, -1}; // 0: server side, 1: client side
    int m_ptySlave[2] = {-1, -1};
    int m_wake[2] = {-1, -1};

    std::thread m_thread;
    std::thread m_relay;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::atomic<int> m_replyDelayMs{0};
    std::atomic<int> m_nextDelayMs{0};
    std::atomic<bool> m_corruptNext{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_exceptionFirst{-1};
    std::atomic<int> m_exceptionLast{-1};

    mutable std::mutex m_mutex; // the log, the registers and the stop wake-up
    mutable std::condition_variable m_cond;
    std::vector<Request> m_requests;
};
