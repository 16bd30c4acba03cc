#pragma once

#include <QString>
#include <array>
#include <cstdint>

// A device as the device list names it: element 0 the name, element 1 the type id.
using DeviceEntry = std::array<QString, 2>;

// CANopen node ids run from 1 to 127; this marks "none chosen".
constexpr std::uint8_t kNodeIdUnset = 0xFF;

inline bool isValidNodeId(int id) { return id >= 1 && id <= 127; }

// The node id a typed device id stands for. Ids outside 1..127 (the default 245, a Modbus
// slave id, a typo) are no node id: probing them would address the wrong node or none,
// so the node id stays unset and the caller falls back to its well-known ids.
inline std::uint8_t nodeIdForDeviceId(int deviceId)
{
    return isValidNodeId(deviceId) ? static_cast<std::uint8_t>(deviceId) : kNodeIdUnset;
}

// The user's connection choices. Written in the GUI thread (settings, connection dialog,
// device probe) and read by the link code.
struct ConnectionSettings {
    DeviceEntry deviceType{QString(""), QString("")};
    int modbusLink = 0;      // 0 Modbus TCP, other values Modbus RTU
    int connectionKind = 0;  // 0 a Modbus link, other values a CAN link
    int deviceId = 245;
    QString ipAddress;
    int tcpPort = 502;
    QString portName = QStringLiteral("245");
    QString baudRate = QStringLiteral("250000");
    int canBusAccess = 1;    // 1: no bus access (adapter at 2400), 0: access granted (4800)
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;
    int retries = 10;
    int responseTimeoutMs = 800;
    std::uint8_t nodeId = kNodeIdUnset;
};

// The one process-wide record.
ConnectionSettings& connectionSettings();
