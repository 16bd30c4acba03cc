// What the data source needs of the CANopen link: open and close it, and one
// SDO try at a time. The running tool uses the real link (CanLinkChannel);
// tests put a scripted device behind this interface.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>

struct SdoReply {
    bool ok = false;
    uint32_t abortCode = 0; // 0 when the transfer ended locally
    // The request went out and the stack's time-out ended it unanswered; a
    // refused start or a device's abort is not silence.
    bool silent = false;
    QByteArray data;        // bytes read (uploads)
};

class SdoChannel {
public:
    // A wait bounded by the stack's own SDO time-out (plus a margin).
    static constexpr int kWaitStackTimeout = -1;
    // Largest value one request carries (the exchange's data buffer).
    static constexpr int kMaxValueBytes = 70;

    virtual ~SdoChannel() = default;

    enum class LinkOpen { Open, NoPort, NoBitRate };
    // Opens the adapter's port (by the name the user gave), sets the CAN bit
    // rate and starts the tool's node; a failure leaves nothing open. Logs
    // nothing; on NoPort, *portFailure says why the port did not open, as the
    // system words it (empty when unknown).
    virtual LinkOpen openLink(const QString& portName, int canBusAccess, const QString& bitRate,
                              QString* portFailure) = 0;
    // Stops the node and closes the port; false when the adapter's close
    // command could not be sent. Logs nothing.
    virtual bool closeLink() = 0;

    // Points the tool's SDO client at nodeId.
    virtual void pointClientAt(uint8_t nodeId) = 0;
    // One try each; waitMs bounds the wait (kWaitStackTimeout: the stack's).
    virtual SdoReply read(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType, int waitMs) = 0;
    virtual SdoReply write(uint8_t nodeId, uint16_t index, uint8_t subIndex, uint8_t dataType,
                           const QByteArray& data, int waitMs) = 0;
    // Held by a requester for a whole request (all its tries), so that no two
    // requesters' exchanges interleave.
    virtual std::mutex& requestLock() = 0;
    // Name of an abort code for user messages; empty when it has none.
    virtual QString abortCodeName(uint32_t abortCode) const = 0;
};
