#include "pages/canlinkchannel.h"

#include "link/canlink.h"
#include "link/sdoaccess.h"

namespace {
SdoReply toReply(const SdoOutcome& outcome)
{
    SdoReply reply;
    reply.ok = outcome.ok;
    reply.abortCode = outcome.abortCode;
    reply.silent = outcome.silent;
    reply.data = outcome.data;
    return reply;
}

int stackWait(int waitMs)
{
    return waitMs == SdoChannel::kWaitStackTimeout ? int(SDO_WAIT_STACK_TIMEOUT) : waitMs;
}
}

SdoChannel::LinkOpen CanLinkChannel::openLink(const QString& portName, int canBusAccess, const QString& bitRate,
                                              QString* portFailure)
{
    // The data source words its own failure lines.
    switch (openCanLink(portName, canBusAccess, bitRate, LinkLog(), portFailure)) {
    case CAN_LINK_OPEN:
        return LinkOpen::Open;
    case CAN_LINK_NO_BIT_RATE:
        return LinkOpen::NoBitRate;
    case CAN_LINK_NO_PORT:
        break;
    }
    return LinkOpen::NoPort;
}

bool CanLinkChannel::closeLink()
{
    return closeCanLink(LinkLog());
}

void CanLinkChannel::pointClientAt(uint8_t nodeId)
{
    pointSdoClientAt(nodeId);
}

SdoReply CanLinkChannel::read(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs)
{
    return toReply(sdoReadOnce(nodeId, index, subIndex, dataType, stackWait(waitMs)));
}

SdoReply CanLinkChannel::write(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                               const QByteArray& data, int waitMs)
{
    return toReply(sdoWriteOnce(nodeId, index, subIndex, dataType, data, stackWait(waitMs)));
}

std::mutex& CanLinkChannel::requestLock()
{
    return sdoRequestLock();
}

QString CanLinkChannel::abortCodeName(uint32_t abortCode) const
{
    return sdoAbortCodeName(abortCode);
}
