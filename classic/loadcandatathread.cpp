#include "classic/loadcandatathread.h"

#include "classic/canvalues.h"
#include "classic/paramentry.h"
#include "classic/sdoaddress.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

#include <QDebug>

LoadCanDataThread::LoadCanDataThread(QObject* parent) : ClassicWorker(parent) {}

LoadCanDataThread::~LoadCanDataThread()
{
    stopAndJoin();
}

void LoadCanDataThread::startLoad(const QVector<ParamEntry*>& list)
{
    prepareStart();
    m_params = list;
    const ConnectionSettings& settings = connectionSettings();
    m_nodeId = settings.nodeId;
    m_timeoutMs = settings.responseTimeoutMs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_runPauseMs = m_pauseMs;
    }
    start();
}

void LoadCanDataThread::setPauseMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pauseMs = ms;
}

LoadCanDataThread::Read LoadCanDataThread::readRecord(ParamEntry& record, const SdoAddress& at,
                                                      uint32_t* abortCode)
{
    for (int i = 0; i < SDO_TRIES; ++i) {
        if (i > 0 && stopRequested())
            return Read::Stopped;
        const SdoOutcome out = sdoRead(m_nodeId, at.index, at.subIndex, at.dataType, m_timeoutMs, 1);
        *abortCode = out.abortCode;
        bool changed = false;
        // A number longer than 8 bytes is no value of the record: a failed try.
        if (out.ok && setValueFromRaw(record, out.data.size(), out.data.constData(), &changed)) {
            if (changed)
                emit paramLoaded(record.name);
            return Read::Done;
        }
    }
    return Read::Failed;
}

LoadCanDataThread::Read LoadCanDataThread::probeDevice()
{
    for (int i = 0; i < SDO_TRIES; ++i) {
        if (stopRequested())
            return Read::Stopped;
        if (sdoRead(m_nodeId, 0x1000, 0, CanUnsigned32, m_timeoutMs, 1).ok)
            return Read::Done;
    }
    return Read::Failed;
}

void LoadCanDataThread::work()
{
    while (!pauseUnlessStopped(m_runPauseMs)) {
        for (ParamEntry* record : qAsConst(m_params)) {
            if (stopRequested())
                return;
            const auto failed = [record](const QString& why) {
                return QStringLiteral("Не удалось получить данные параметра ") + record->caption
                    + QStringLiteral(". Ошибка: ") + why;
            };
            SdoAddress at;
            if (!sdoAddressOf(*record, &at)) {
                emit paramLoadingFail(failed(noSdoAddressText(*record)));
                continue;
            }
            uint32_t abortCode = 0;
            const Read read = readRecord(*record, at, &abortCode);
            if (read == Read::Stopped)
                return;
            if (read == Read::Done)
                continue;
            const Read probe = probeDevice();
            if (probe == Read::Stopped)
                return;
            if (probe == Read::Failed) {
                emit paramsLoadingFail();
                return;
            }
            qDebug() << "Не удалось получить данные параметра" << record->caption << "index" << at.index << "subindex"
                     << at.subIndex;
            emit paramLoadingFail(failed(sdoAbortCodeName(abortCode)));
        }
        emit paramsLoaded();
    }
}
