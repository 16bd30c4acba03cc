#include "canopen/lifeguard.h"

#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"

namespace {
// Consumer entries of 0x1016 (sub 1 up to its count), or none.
uint8_t consumerCount(CanOpenNode* node, const ObjectEntry** entry)
{
    uint32_t code = 0;
    *entry = node->findObject ? node->findObject(node, 0x1016, &code) : nullptr;
    if (!*entry || (*entry)->subCount < 2 || (*entry)->subs[0].size != 1)
        return 0;
    uint8_t count = *static_cast<const uint8_t*>((*entry)->subs[0].value);
    if (count > (*entry)->subCount - 1)
        count = uint8_t((*entry)->subCount - 1);
    if (count > HEARTBEAT_CONSUMERS_MAX)
        count = HEARTBEAT_CONSUMERS_MAX;
    return count;
}

uint32_t consumerValue(const ObjectEntry* entry, uint8_t i)
{
    const SubEntry& sub = entry->subs[i + 1];
    return sub.size == 4 ? *static_cast<const uint32_t*>(sub.value) : 0;
}

void consumerTimeout(CanOpenNode* node, uint32_t id)
{
    const ObjectEntry* entry = nullptr;
    if (id >= consumerCount(node, &entry))
        return;
    node->heartbeatTimers[id] = -1;
    const uint8_t nodeId = uint8_t(consumerValue(entry, uint8_t(id)) >> 16);
    node->remoteState[nodeId & 0x7F] = NMT_DISCONNECTED;
    if (node->onHeartbeatError)
        node->onHeartbeatError(node, nodeId);
}

void producerAlarm(CanOpenNode* node, uint32_t)
{
    if (!node->producerTime || *node->producerTime == 0) {
        node->producerTimer = int16_t(cancelAlarm(node->producerTimer));
        return;
    }
    CanFrame frame;
    frame.id = uint16_t(0x700 + (node->nodeId & 0x7F));
    frame.len = 1;
    frame.data[0] = uint8_t(node->nmtState);
    sendCanFrame(node->port, &frame);
}

uint32_t restartHeartbeat(CanOpenNode* node, const ObjectEntry*, uint8_t)
{
    stopHeartbeat(node);
    startHeartbeat(node);
    return 0;
}

bool guardedNode(CanOpenNode* node, int id)
{
    return node->remoteState[id] != NMT_UNKNOWN && id != node->nodeId;
}

void guardAlarm(CanOpenNode* node, uint32_t)
{
    for (int id = 0; id < NMT_NODES; ++id) {
        if (!guardedNode(node, id))
            continue;
        if (node->guardCounter[id] == 0) {
            if (node->onNodeGuardError)
                node->onNodeGuardError(node, uint8_t(id));
            node->remoteState[id] = NMT_DISCONNECTED;
        } else {
            --node->guardCounter[id]; // stays at 0 instead of wrapping to a long life
        }
        sendNodeGuardRequest(node, uint8_t(id));
    }
}

uint32_t restartNodeGuarding(CanOpenNode* node, const ObjectEntry*, uint8_t)
{
    stopNodeGuarding(node);
    startNodeGuarding(node);
    return 0;
}
}

void startHeartbeat(CanOpenNode* node)
{
    registerObjectCallback(node, 0x1017, 0, restartHeartbeat);
    const ObjectEntry* entry = nullptr;
    const uint8_t count = consumerCount(node, &entry);
    for (uint8_t i = 0; i < count; ++i) {
        const uint32_t time = consumerValue(entry, i) & 0xFFFF;
        if (time)
            node->heartbeatTimers[i] = int16_t(scheduleAlarm(node, i, consumerTimeout, time, 0));
    }
    if (node->producerTime && *node->producerTime)
        node->producerTimer = int16_t(scheduleAlarm(node, 0, producerAlarm, *node->producerTime, *node->producerTime));
}

void stopHeartbeat(CanOpenNode* node)
{
    for (int16_t& timer : node->heartbeatTimers)
        timer = int16_t(cancelAlarm(timer));
    node->producerTimer = int16_t(cancelAlarm(node->producerTimer));
}

void startNodeGuarding(CanOpenNode* node)
{
    registerObjectCallback(node, 0x100C, 0, restartNodeGuarding);
    registerObjectCallback(node, 0x100D, 0, restartNodeGuarding);
    if (!node->guardTime || !node->lifeTimeFactor || !*node->guardTime || !*node->lifeTimeFactor)
        return;
    node->guardTimer = int16_t(scheduleAlarm(node, 0, guardAlarm, *node->guardTime, *node->guardTime));
    for (int id = 0; id < NMT_NODES; ++id) {
        if (guardedNode(node, id))
            node->guardCounter[id] = *node->lifeTimeFactor;
    }
}

void stopNodeGuarding(CanOpenNode* node)
{
    node->guardTimer = int16_t(cancelAlarm(node->guardTimer));
}

void handleNodeGuardFrame(CanOpenNode* node, const CanFrame* frame)
{
    const uint8_t id = uint8_t(frame->id & 0x7F);
    if (frame->rtr) {
        if (id != node->nodeId)
            return;
        CanFrame answer;
        answer.id = uint16_t(0x700 + id);
        answer.len = 1;
        answer.data[0] = uint8_t(node->nmtState | (node->guardToggle ? 0x80 : 0));
        node->guardToggle ^= 1;
        sendCanFrame(node->port, &answer);
        return;
    }
    if (frame->len < 1)
        return;
    node->guardCounter[id] = node->lifeTimeFactor ? *node->lifeTimeFactor : 0;
    const uint32_t state = frame->data[0] & 0x7F;
    if (node->remoteState[id] != state) {
        node->remoteState[id] = state;
        if (node->onRemoteStateChange)
            node->onRemoteStateChange(node, id, state);
    }
    if (state == NMT_BOOT_UP_SEEN && node->onRemoteBootUp)
        node->onRemoteBootUp(node, id);
    if (state == NMT_UNKNOWN)
        return;
    const ObjectEntry* entry = nullptr;
    const uint8_t count = consumerCount(node, &entry);
    for (uint8_t i = 0; i < count; ++i) {
        const uint32_t value = consumerValue(entry, i);
        if (((value >> 16) & 0xFF) != id || !(value & 0xFFFF))
            continue;
        node->heartbeatTimers[i] = int16_t(cancelAlarm(node->heartbeatTimers[i]));
        node->heartbeatTimers[i] = int16_t(scheduleAlarm(node, i, consumerTimeout, value & 0xFFFF, 0));
    }
}
