#include "link/subindexcount.h"

#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

int getAutoGenSubsCnt(const QString& indexText, const LinkLog& log)
{
    return getAutoGenSubsCnt(indexText, connectionSettings().nodeId, log);
}

int getAutoGenSubsCnt(const QString& indexText, uint8_t nodeId, const LinkLog& log)
{
    bool ok = false;
    const uint index = indexText.trimmed().toUInt(&ok, 16);
    if (ok && index <= 0xFFFF) {
        std::lock_guard<std::mutex> request(sdoRequestLock());
        pointSdoClientAt(nodeId);
        SdoOutcome read;
        for (int i = 0; i < SDO_TRIES && !read.ok; ++i)
            read = sdoReadOnce(nodeId, uint16_t(index), 0, CO_UNSIGNED8, SDO_WAIT_STACK_TIMEOUT);
        if (read.ok && !read.data.isEmpty())
            return uint8_t(read.data.at(0));
    }
    toLinkLog(log, QStringLiteral("Не удалось считать количество субиндексов для индекса: ") + indexText, false);
    return 0;
}
