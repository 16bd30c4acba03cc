// A data source over the real link to a simulated adapter's pty, as the end
// to end page tests set it up: link settings as at start but for the port and
// the node id, waits of 300 ms so a missing answer fails fast, and a round
// every roundMs.
#pragma once

#include "link/connectionsettings.h"
#include "pages/qcustomds.h"

#include <QString>

#include <cstdint>
#include <memory>

inline std::unique_ptr<QCustomDS> dataSourceOnPty(const QString& portName, uint8_t nodeId, int roundMs)
{
    ConnectionSettings& s = connectionSettings();
    s = ConnectionSettings();
    s.portName = portName;
    s.nodeId = nodeId;
    s.responseTimeoutMs = 300;
    auto ds = std::make_unique<QCustomDS>();
    DataSourceTiming t;
    t.roundIntervalMs = roundMs;
    t.probeWaitMs = 300;
    t.writeWaitMs = 300;
    ds->setTiming(t);
    return ds;
}
