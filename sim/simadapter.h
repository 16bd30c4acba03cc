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
#include <cstdint>
#include <deque>
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

    // The lines the host sent are kept, with their arrival times, for those
    // who look at them; the oldest go once more than the limit are kept, so
    // that an adapter serving a host for days costs the same per line and
    // holds the same memory throughout. A limit of 0 keeps none.
    enum : size_t { kDefaultHistory = 65536 };
    void setHistoryLimit(size_t lines);
    // The lines kept, without their CR, in arrival order.
    QStringList lines() const;
    // Every line received since the start, kept or not.
    int64_t lineCount() const;
    // Waits until at least n lines arrived since the start; false after timeoutMs.
    bool waitForLines(int64_t n, int timeoutMs);
    // Waits until this very line is among those kept; false after timeoutMs.
    bool waitForLine(const QString& line, int timeoutMs);
    // Monotonic arrival time of each line kept, in microseconds.
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
    void trimHistory(); // under m_mutex

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
    size_t m_historyLimit = kDefaultHistory;
    int64_t m_lineCount = 0;
    std::deque<QString> m_lines;
    std::deque<int64_t> m_times;
    std::function<void(const CanFrame&)> m_handler;
    std::mutex m_writeMutex;
};
