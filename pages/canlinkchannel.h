// The data source's channel over the process's USB-CAN link and its
// synchronous SDO access.
#pragma once

#include "pages/sdochannel.h"

class CanLinkChannel : public SdoChannel {
public:
    LinkOpen openLink(const QString& portName, int canBusAccess, const QString& bitRate,
                      QString* portFailure) override;
    bool closeLink() override;
    void pointClientAt(uint8_t nodeId) override;
    SdoReply read(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs) override;
    SdoReply write(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, const QByteArray& data,
                   int waitMs) override;
    std::mutex& requestLock() override;
    QString abortCodeName(uint32_t abortCode) const override;
};
