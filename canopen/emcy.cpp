#include "canopen/emcy.h"

#include "canopen/od.h"
#include "canopen/port.h"

#include <cstring>

namespace {
// The history entry: sub 0 the count, subs 1 up to its end the newest first.
const ObjectEntry* historyEntry(CanOpenNode* node)
{
    uint32_t code = 0;
    const ObjectEntry* entry = node->findObject ? node->findObject(node, 0x1003, &code) : nullptr;
    if (!entry || entry->subCount < 2 || entry->subs[0].size != 1)
        return nullptr;
    for (uint8_t i = 1; i < entry->subCount; ++i) {
        if (entry->subs[i].size != 4)
            return nullptr;
    }
    return entry;
}

void putHistoryCount(const ObjectEntry* entry, uint8_t count)
{
    *static_cast<uint8_t*>(entry->subs[0].value) = count;
}

uint32_t& historySlot(const ObjectEntry* entry, uint8_t sub)
{
    return *static_cast<uint32_t*>(entry->subs[sub].value);
}

void addToHistory(CanOpenNode* node, uint32_t value)
{
    const ObjectEntry* entry = historyEntry(node);
    if (!entry)
        return;
    const uint8_t size = uint8_t(entry->subCount - 1);
    for (uint8_t sub = size; sub > 1; --sub)
        historySlot(entry, sub) = historySlot(entry, uint8_t(sub - 1));
    historySlot(entry, 1) = value;
    if (node->emcy.errorCount < size)
        ++node->emcy.errorCount;
    putHistoryCount(entry, node->emcy.errorCount);
}

// Writing 0 to 0x1003 sub 0 empties the history; any other value is refused.
uint32_t historyWritten(CanOpenNode* node, const ObjectEntry*, uint8_t)
{
    const ObjectEntry* entry = historyEntry(node);
    if (!entry)
        return 0;
    if (*static_cast<const uint8_t*>(entry->subs[0].value) != 0) {
        putHistoryCount(entry, node->emcy.errorCount);
        return ABORT_VALUE_RANGE;
    }
    for (uint8_t sub = 1; sub < entry->subCount; ++sub)
        historySlot(entry, sub) = 0;
    node->emcy.errorCount = 0;
    return 0;
}

void storeErrorRegister(CanOpenNode* node)
{
    if (uint8_t* reg = static_cast<uint8_t*>(objectValue(node, 0x1001, 0, 1)))
        *reg = emcyErrorRegister(node);
}
}

uint8_t sendEmcy(CanOpenNode* node, uint16_t errorCode, uint8_t errorRegister, const uint8_t* specific,
                 uint8_t specificSize)
{
    const uint32_t* cob = static_cast<const uint32_t*>(objectValue(node, 0x1014, 0, 4));
    if (!cob || (*cob & 0x80000000u))
        return 1;
    CanFrame frame;
    frame.id = uint16_t(*cob & 0x7FF);
    frame.data[0] = uint8_t(errorCode);
    frame.data[1] = uint8_t(errorCode >> 8);
    frame.data[2] = errorRegister;
    if (specific && specificSize) {
        const uint8_t n = specificSize < 5 ? specificSize : 5;
        std::memcpy(frame.data + 3, specific, n);
        frame.len = uint8_t(3 + n);
    } else {
        frame.len = 8;
    }
    return sendCanFrame(node->port, &frame);
}

uint8_t setEmcyError(CanOpenNode* node, uint16_t errorCode, uint8_t registerMask, uint16_t additionalInfo)
{
    EmcyState& emcy = node->emcy;
    EmcyErrorSlot* slot = nullptr;
    for (EmcyErrorSlot& s : emcy.errors) {
        if (s.active && s.code == errorCode)
            return 0;
        if (!s.active && s.code == errorCode)
            slot = &s;
    }
    for (EmcyErrorSlot& s : emcy.errors) {
        if (!slot && !s.active)
            slot = &s;
    }
    if (!slot)
        return 1;
    *slot = EmcyErrorSlot{errorCode, registerMask, 1};
    emcy.errorState = 1;
    storeErrorRegister(node);
    addToHistory(node, uint32_t(additionalInfo) << 16 | errorCode);
    if (node->comm.emcy)
        sendEmcy(node, errorCode, emcyErrorRegister(node), nullptr, 0);
    return 0;
}

uint8_t recoverEmcyError(CanOpenNode* node, uint16_t errorCode)
{
    EmcyState& emcy = node->emcy;
    EmcyErrorSlot* slot = nullptr;
    bool othersActive = false;
    for (EmcyErrorSlot& s : emcy.errors) {
        if (s.active && s.code == errorCode)
            slot = &s;
        else if (s.active)
            othersActive = true;
    }
    if (!slot)
        return 1;
    slot->active = 0;
    storeErrorRegister(node);
    if (!othersActive) {
        emcy.errorState = 0;
        if (node->comm.emcy)
            sendEmcy(node, 0, 0, nullptr, 0);
    }
    return 0;
}

uint8_t emcyErrorRegister(const CanOpenNode* node)
{
    uint8_t reg = 0;
    for (const EmcyErrorSlot& s : node->emcy.errors) {
        if (s.active)
            reg |= s.registerBits;
    }
    return reg;
}

void startEmcy(CanOpenNode* node)
{
    registerObjectCallback(node, 0x1003, 0, historyWritten);
    node->emcy.errorCount = 0;
    if (const ObjectEntry* entry = historyEntry(node))
        putHistoryCount(entry, 0);
}

void handleEmcyFrame(CanOpenNode* node, const CanFrame* frame)
{
    if (frame->rtr || frame->len != 8 || !node->emcy.onEmcy)
        return;
    node->emcy.onEmcy(node, uint8_t(frame->id & 0x7F), uint16_t(frame->data[0] | frame->data[1] << 8),
                      frame->data[2]);
}
