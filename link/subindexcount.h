// How many sub-indices an object of the device has: its sub-index 0.
#pragma once

#include "link/linklog.h"

#include <QString>

#include <cstdint>

// Reads sub-index 0 of the object named by indexText (hex, "2001" or
// "0x2001") as UNSIGNED8 from the device, up to 3 tries each waiting for the
// stack's time-out; the first byte read. On failure, or for text that names
// no index, logs "Не удалось считать количество субиндексов для индекса: "
// and the text in red and gives 0. The first form asks the device whose node
// id stands in the connection settings.
int getAutoGenSubsCnt(const QString& indexText, const LinkLog& log);
int getAutoGenSubsCnt(const QString& indexText, uint8_t nodeId, const LinkLog& log);
