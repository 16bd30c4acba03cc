#include "canopen/sync.h"

#include "canopen/od.h"
#include "canopen/pdo.h"
#include "canopen/port.h"
#include "canopen/timer.h"

namespace {
enum : uint32_t { SYNC_PRODUCER = 0x40000000u };

void syncAlarm(CanOpenNode* node, uint32_t)
{
    sendSync(node);
    processSync(node);
}

uint32_t syncParameterWritten(CanOpenNode* node, const ObjectEntry*, uint8_t)
{
    startSync(node);
    return 0;
}
}

void startSync(CanOpenNode* node)
{
    node->sync.timer = int16_t(cancelAlarm(node->sync.timer));
    registerObjectCallback(node, 0x1005, 0, syncParameterWritten);
    registerObjectCallback(node, 0x1006, 0, syncParameterWritten);
    const uint32_t* cob = static_cast<const uint32_t*>(objectValue(node, 0x1005, 0, 4));
    const uint32_t* period = static_cast<const uint32_t*>(objectValue(node, 0x1006, 0, 4));
    if (!cob || !period || !(*cob & SYNC_PRODUCER))
        return;
    // Periods below a whole millisecond cannot be kept by the alarm table.
    const uint32_t ms = *period / 1000;
    if (ms)
        node->sync.timer = int16_t(scheduleAlarm(node, 0, syncAlarm, ms, ms));
}

void stopSync(CanOpenNode* node)
{
    registerObjectCallback(node, 0x1005, 0, nullptr);
    registerObjectCallback(node, 0x1006, 0, nullptr);
    node->sync.timer = int16_t(cancelAlarm(node->sync.timer));
}

uint8_t sendSync(CanOpenNode* node)
{
    const uint32_t* cob = static_cast<const uint32_t*>(objectValue(node, 0x1005, 0, 4));
    if (!cob)
        return 1;
    CanFrame frame;
    frame.id = uint16_t(*cob & 0x7FF);
    frame.len = 0;
    return sendCanFrame(node->port, &frame);
}

void processSync(CanOpenNode* node)
{
    if (node->sync.onPostSync)
        node->sync.onPostSync(node);
    if (node->comm.pdo)
        transmitPdosOnSync(node);
    if (node->sync.onPostTpdo)
        node->sync.onPostTpdo(node);
}

void processSyncFrame(CanOpenNode* node, const CanFrame*)
{
    processSync(node);
}
