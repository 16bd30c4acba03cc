// The data source's write worker: once a round, writes every queued parameter
// to the device, reports each result and the end of the round. It also carries
// the reboot and restore-factory-settings commands: a device that restarts on
// them does not answer, and that silence is the expected end of the connection.
//
// Several page records may stand for one object, each with edits of its own
// fields. A write therefore carries the bits its record changed from the
// device value the record knew, put over the newest value known for the
// object: what the device last gave a record, or what this worker last wrote.
#pragma once

#include "pages/customparam.h"
#include "pages/datasourceworker.h"

#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

class CustomDSSaveThread : public DataSourceWorker {
    Q_OBJECT
public:
    // Starts the thread at once; it idles until something is queued.
    explicit CustomDSSaveThread(std::shared_ptr<SdoChannel> channel, QObject* parent = nullptr);
    ~CustomDSSaveThread() override;

    // Queues a write of param's value. A queued write of the same object (same
    // index and sub-index text, same value length) that has not begun yet takes
    // it in: one write then carries the changes of both, in queue order, and
    // both callbacks follow its end. On success each param learns the bytes
    // written (CustomParam::wroteValue). Callbacks run on the worker's thread
    // and must not call into the data source.
    void enqueue(const SPCustomParam& param, std::function<void(bool)> callback);
    int pendingCount() const;

signals:
    void paramSavingFail(QString message);
    void paramSaved(QString name);
    void paramsSaved();
    void afterRestoredDefault();
    void afterReboot();

public slots:
    // Drops every request, and what was written (the next link may lead to
    // another device); once it returns no callback of theirs runs any more.
    void clearData();

protected:
    RoundEnd round(const WorkerSettings& settings) override;

private:
    // One record's share of a write.
    struct Part {
        SPCustomParam param;
        std::function<void(bool)> callback;
        QByteArray value;   // the record's value when saved
        QByteArray changed; // the bits it changed from `known`
        QByteArray known;   // the device value the record knew, and its stamp
        uint64_t knownStamp = 0;
    };
    struct Request {
        uint64_t serial = 0;
        QString index;
        QString subindex;
        std::vector<Part> parts; // in queue order
    };
    struct Written {
        QByteArray bytes;
        uint64_t stamp = 0;
    };
    using ObjectKey = std::pair<QString, QString>;

    // The bytes a request puts into its object.
    QByteArray bytesToWrite(const Request& request) const;
    // Why the value cannot be written, or empty when it can.
    static QString refusal(const QByteArray& value, bool addressOk);
    static bool isCommand(const QString& index, const QString& subindex);
    void remove(uint64_t serial);
    // Every part's callback with ok (and paramSaved after a success).
    void complete(const Request& request, bool ok);
    // complete(false), then one failure message per parameter name.
    void fail(const Request& request, const QString& reason);

    std::deque<Request> m_pending;
    std::map<ObjectKey, Written> m_written; // under m_mutex
    uint64_t m_nextSerial = 1;
    uint64_t m_inFlight = 0; // serial of the request being written, 0 none
};
