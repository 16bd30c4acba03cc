// Common ground of the data source's load and save workers: a thread working
// in rounds, stopped cooperatively and joined with a bound, and the link test.
//
// The stop flag is looked at in the round's sleep, between requests and between
// tries, so a stop waits for one SDO exchange at most. A thread decides to end
// under the worker's mutex, so a start that comes while it is still in its loop
// simply keeps it going. A joinable std::thread and std primitives throughout,
// so that every hand-over is one the thread checker can see.
#pragma once

#include "link/objectaddress.h"
#include "pages/sdochannel.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

struct WorkerSettings {
    uint8_t nodeId = 0xFF;
    int responseTimeoutMs = 800;                       // reads and link tests, per try
    int writeWaitMs = SdoChannel::kWaitStackTimeout;   // writes, per try
    int roundIntervalMs = 1000;
};

class DataSourceWorker : public QObject {
    Q_OBJECT
public:
    ~DataSourceWorker() override;

    void setSettings(const WorkerSettings& settings);
    WorkerSettings settings() const;

    // Clears the stop flag and starts the thread unless it is still in its loop.
    void startProcess();
    // Stops, then waits up to boundMs for the thread to leave its loop; true
    // when it has (the thread then is joined). A late thread still ends by
    // itself: every exchange it may be in is bounded.
    bool stopAndJoin(int boundMs);
    // The thread is in its loop and has not decided to end.
    bool isActive() const;
    bool isRunning() const { return isActive(); }
    // Longest a stop may have to wait: one exchange plus a margin.
    int joinBoundMs() const;

signals:
    // The link test after a failed exchange found no answer.
    void connectionError();

public slots:
    void stopProcess();

protected:
    enum class RoundEnd { Continue, Stopped, Ended };

    explicit DataSourceWorker(std::shared_ptr<SdoChannel> channel, QObject* parent = nullptr);
    // Derived destructors call this first: the thread uses their members.
    void shutDown();

    virtual RoundEnd round(const WorkerSettings& settings) = 0;

    bool stopRequested() const;
    // A link test: up to three reads of object 0x1000 (device type).
    // Stopped is reported as "answered": the caller leaves without a verdict.
    bool linkAnswers(const WorkerSettings& settings, bool* stopped);

    // Results of a round are handed over through deliver(): f runs unless the
    // queue was cleared after the round's `generation` was taken (under m_mutex).
    template <class F> bool deliver(uint64_t generation, F&& f)
    {
        const std::lock_guard<std::mutex> hold(m_deliverMutex);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (generation != m_generation)
                return false;
        }
        f();
        return true;
    }
    // For a derived clearData: empties `queue` so that, once this returns, no
    // delivery of a round taken before runs any more. The dropped requests
    // are destroyed here, on the caller's thread, outside every lock.
    template <class Queue> void dropAll(Queue& queue)
    {
        Queue dropped;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            dropped.swap(queue);
            ++m_generation;
        }
        // Returns once a delivery under way has ended.
        const std::lock_guard<std::mutex> hold(m_deliverMutex);
    }

    std::shared_ptr<SdoChannel> m_channel;
    mutable std::mutex m_mutex; // stop flag, activity, settings, and the derived queues
    uint64_t m_generation = 0;  // under m_mutex

private:
    std::mutex m_deliverMutex;
    void run();
    bool sleepRound(int ms);

    std::thread m_thread; // started and joined on the owner's thread only
    std::condition_variable m_cond;
    bool m_stop = false;
    bool m_active = false;
    WorkerSettings m_settings;
};

class CustomParam;
// The CANopen data-type code sent with a parameter's requests (DOMAIN without a type).
uint8_t canTypeOf(const CustomParam& param);
// Debug output for an exchange of param that failed while the link still answers.
void debugFailure(const CustomParam& param, uint16_t index, uint8_t subIndex);

enum { SDO_REQUEST_TRIES = 3 };
