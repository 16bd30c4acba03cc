// A simulated SLCAN USB-CAN adapter on the master side of a pseudo-terminal
// pair. The host (the tool, or a test of it) opens slavePath() as its serial port.
//
// It speaks the adapter's line protocol on its own: O/C open and close the
// channel, S<digit> sets the bit rate, t-lines carry frames both ways. Good
// commands are acknowledged with CR, transmitted frames with "z"CR, bad lines
// with BEL. A CAN device plugs in through setFrameHandler: it sees every frame
// the host sends while the channel is open and answers with sendFrame.
#pragma once

#include "canopen/canframe.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class SimAdapter {
public:
    SimAdapter();
    ~SimAdapter();
    SimAdapter(const SimAdapter&) = delete;
    SimAdapter& operator=(const SimAdapter&) = delete;

    bool ok() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Every line the host sent, without its CR, in arrival order.
    QStringList lines() const;
    // Waits until at least n lines arrived; false after timeoutMs.
    bool waitForLines(int n, int timeoutMs);
    // Waits until this very line arrived; false after timeoutMs.
    bool waitForLine(const QString& line, int timeoutMs);
    // Monotonic arrival time of each line, in microseconds.
    std::vector<int64_t> lineTimesUs() const;
    bool channelOpen() const { return m_open; }
    char bitRateCode() const { return m_bitRate; }

    // The device behind the adapter. Called on the adapter's thread.
    void setFrameHandler(std::function<void(const CanFrame&)> handler);
    // Puts a frame on the line to the host as one t-line.
    void sendFrame(const CanFrame& frame);
    // Raw bytes to the host: noise, split or glued lines.
    void sendRaw(const QByteArray& bytes);
    // Splits every frame line to the host in two writes this far apart.
    void setSplitDelayMs(int ms) { m_splitDelayMs = ms; }
    // Closes the master side: the host sees the line drop.
    void closeLine();

    // Encodes a frame as the adapter would (lower-case hex when asked).
    static QByteArray frameLine(const CanFrame& frame, bool lowerCase = false);

private:
    void run();
    void handleLine(const QByteArray& line);
    void writeAll(const QByteArray& bytes);
    void writeLocked(const QByteArray& bytes);

    int m_master = -1;
    int m_slave = -1;     // kept open so the master never sees a hang-up between opens
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_open{false};
    std::atomic<char> m_bitRate{0};
    std::atomic<int> m_splitDelayMs{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    QStringList m_lines;
    std::vector<int64_t> m_times;
    std::function<void(const CanFrame&)> m_handler;
    std::mutex m_writeMutex;
};
