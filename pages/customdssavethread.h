// The data source's write worker: once a round, writes every queued parameter
// to the device, reports each result and the end of the round. It also carries
// the reboot and restore-factory-settings commands, whose failed write is the
// expected end of the connection.
#pragma once

#include "pages/customparam.h"
#include "pages/datasourceworker.h"

#include <deque>
#include <functional>

class CustomDSSaveThread : public DataSourceWorker {
    Q_OBJECT
public:
    // Starts the thread at once; it idles until something is queued.
    explicit CustomDSSaveThread(std::shared_ptr<SdoChannel> channel, QObject* parent = nullptr);
    ~CustomDSSaveThread() override;

    // Queues a write of param's value. A queued write of the same object (same
    // index and sub-index text) that has not begun yet takes the new parameter
    // and callback in its place, so the newest value is the one written.
    // Callbacks run on the worker's thread and must not call into the data source.
    void enqueue(const SPCustomParam& param, std::function<void(bool)> callback);
    int pendingCount() const;

signals:
    void paramSavingFail(QString message);
    void paramSaved(QString name);
    void paramsSaved();
    void afterRestoredDefault();
    void afterReboot();

public slots:
    // Drops every request; once it returns no callback of theirs runs any more.
    void clearData();

protected:
    RoundEnd round(const WorkerSettings& settings) override;

private:
    struct Request {
        uint64_t serial = 0;
        SPCustomParam param;
        std::function<void(bool)> callback;
    };
    // Why the value cannot be written, or empty when it can.
    static QString refusal(const QByteArray& value, bool addressOk);
    void remove(uint64_t serial);

    std::deque<Request> m_pending;
    uint64_t m_nextSerial = 1;
    uint64_t m_inFlight = 0; // serial of the request being written, 0 none
};
