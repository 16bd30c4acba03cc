// The data source's read worker: keeps the watched parameters of the pages and,
// once a round, reads each unedited one from the device, stores the bytes and
// tells its controller when the value is new or has changed. When a read fails
// three times it tests the link and declares it lost when that fails too. A
// parameter that fails while the link answers is reported every round by
// paramLoadingFail, and once by firstLoadingFail: again only after it has been
// read, or after forgetFailures.
#pragma once

#include "pages/customparam.h"
#include "pages/datasourceworker.h"

#include <functional>
#include <map>

class CustomDSLoadThread : public DataSourceWorker {
    Q_OBJECT
public:
    // Starts the thread at once; it idles until something is queued.
    explicit CustomDSLoadThread(std::shared_ptr<SdoChannel> channel, QObject* parent = nullptr);
    ~CustomDSLoadThread() override;

    // Watches param. A parameter already watched keeps its first callback.
    // Callbacks run on the worker's thread and must not call into the data source.
    void enqueue(const SPCustomParam& param, std::function<void(bool)> callback);
    int pendingCount() const;
    // Every watched parameter's next failure counts as its first (a new link).
    void forgetFailures();

signals:
    void paramLoadingFail(QString message);
    void firstLoadingFail(QString message);
    void paramLoaded(QString name);

public slots:
    // Drops every request; once it returns no callback of theirs runs any more.
    void clearData();

protected:
    RoundEnd round(const WorkerSettings& settings) override;

private:
    struct Request {
        SPCustomParam param;
        std::function<void(bool)> callback;
        bool failureTold = false; // under m_mutex, in m_pending
    };
    // Called in a delivery: reports the failure, and the first one once more.
    void reportFailure(const CustomParam& param, const QString& message);
    void noteRead(const CustomParam& param);
    std::map<const CustomParam*, Request> m_pending; // key order: the parameters' addresses
};
