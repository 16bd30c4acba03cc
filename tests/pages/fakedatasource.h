// Stands in for the data source: keeps every load and save request with its
// completion, so a test decides when and on which thread each one completes.
#pragma once

#include "pages/customparam.h"

#include <QList>
#include <QObject>
#include <functional>
#include <thread>

class FakeDataSource : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        SPCustomParam param;
        std::function<void(bool)> callback;
    };
    QList<Request> loads;
    QList<Request> saves;
    int teardowns = 0;

    // Completes a request from another thread, as the workers do.
    static void completeOnWorker(const Request &r, bool ok)
    {
        std::thread([r, ok] { r.callback(ok); }).join();
    }

    // Stores `bytes` as read from the device and completes the load like the load worker.
    static void deliver(const Request &r, const QByteArray &bytes)
    {
        std::thread([r, bytes] {
            if (r.param->storeReadValue(bytes) == CustomParam::ReadResult::Changed)
                r.callback(true);
        }).join();
    }

public slots:
    void slotLoad(SPCustomParam param, std::function<void(bool)> callback)
    {
        loads.append({param, callback});
    }
    void slotSave(SPCustomParam param, std::function<void(bool)> callback)
    {
        saves.append({param, callback});
    }
};
