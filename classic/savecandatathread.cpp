#include "classic/savecandatathread.h"

#include "classic/canvalues.h"
#include "classic/paramentry.h"
#include "classic/sdoaddress.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

#include <QDebug>

SaveCanDataThread::SaveCanDataThread(QObject* parent) : ClassicWorker(parent) {}

SaveCanDataThread::~SaveCanDataThread()
{
    stopAndJoin();
}

void SaveCanDataThread::startSave(const QVector<ParamEntry*>* list)
{
    prepareStart();
    m_params = list ? *list : QVector<ParamEntry*>();
    m_nodeId = connectionSettings().nodeId;
    start();
}

QString SaveCanDataThread::save(const ParamEntry& record)
{
    const QString failed = QStringLiteral("Ошиба записи параметра ") + record.caption + QStringLiteral(": ");
    SdoAddress at;
    if (!sdoAddressOf(record, &at))
        return failed + noSdoAddressText(record);
    char bytes[CAN_STRING_MAX_BYTES];
    int length = 0;
    QString refusal;
    if (!rawFromValue(record, &length, bytes, &refusal))
        return failed + refusal;
    if (isTracedCanRecord(record))
        qDebug() << "Перед сохранением:" << canValueOf(record).text;
    const SdoOutcome out = sdoWrite(m_nodeId, at.index, at.subIndex, at.dataType, QByteArray(bytes, length),
                                    SDO_WAIT_STACK_TIMEOUT);
    return out.ok ? QString() : failed + sdoAbortCodeName(out.abortCode);
}

void SaveCanDataThread::work()
{
    for (const ParamEntry* record : qAsConst(m_params)) {
        const QString failure = save(*record);
        if (failure.isEmpty())
            emit paramSavingSuccess(record->name);
        else
            emit paramSavingFail(record->name, failure);
        if (stopRequested())
            return;
    }
}
