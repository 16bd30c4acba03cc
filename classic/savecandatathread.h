// The classic CAN page's save worker: writes the records on its list to the
// device by SDO download, one pass, three tries each, and reports each one.
//
// A try waits as long as the transfer goes on (the link's own time-out ends a
// silent one). A record whose index or sub-index names no object
// (sdoaddress.h), and a value that cannot be sent (text outside Latin-1, a
// string empty or over 70 bytes, a type without a size), are reported as
// failed and nothing goes to the device. A stop is looked at after each record.
//
// The list is copied at the start; the records are not owned and must
// outlive the thread. Their value fields are read under canValueMutex().
#pragma once

#include "classic/classicworker.h"

#include <QString>
#include <QVector>

#include <cstdint>

struct ParamEntry;

class SaveCanDataThread : public ClassicWorker {
    Q_OBJECT
public:
    explicit SaveCanDataThread(QObject* parent = nullptr);
    ~SaveCanDataThread() override;

    // Copies the list (none: the pass writes nothing; a thread still running
    // is stopped and joined first), takes the node id from the connection
    // settings and starts one pass.
    void startSave(const QVector<ParamEntry*>* list);

signals:
    void paramSavingFail(QString paramName, QString reason);
    void paramSavingSuccess(QString paramName);

private:
    void work() override;
    // Empty when written, else the user message.
    QString save(const ParamEntry& record);

    QVector<ParamEntry*> m_params;
    uint8_t m_nodeId = 0xFF;
};
