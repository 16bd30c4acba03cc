#include "canopen/od.h"

#include <cstring>

const ObjectEntry* findObjectByIndex(CanOpenNode* node, uint16_t index, uint32_t* abortCode)
{
    for (uint16_t i = 0; node && i < node->dictionarySize; ++i) {
        if (node->dictionary[i].index == index)
            return &node->dictionary[i];
    }
    if (abortCode)
        *abortCode = ABORT_NO_OBJECT;
    return nullptr;
}

namespace {
const SubEntry* findSubEntry(CanOpenNode* node, uint16_t index, uint8_t subIndex,
                             const ObjectEntry** entryOut, uint32_t* abortCode)
{
    uint32_t code = ABORT_NO_OBJECT;
    const ObjectEntry* entry = node->findObject ? node->findObject(node, index, &code) : nullptr;
    if (!entry) {
        *abortCode = code ? code : ABORT_NO_OBJECT;
        return nullptr;
    }
    if (subIndex >= entry->subCount) {
        *abortCode = ABORT_NO_SUBINDEX;
        return nullptr;
    }
    if (entryOut)
        *entryOut = entry;
    return &entry->subs[subIndex];
}
}

uint32_t readObjectEntry(CanOpenNode* node, uint16_t index, uint8_t subIndex, void* dest,
                         uint32_t* size, uint8_t* dataType, bool checkAccess)
{
    uint32_t code = 0;
    const SubEntry* sub = findSubEntry(node, index, subIndex, nullptr, &code);
    if (!sub)
        return code;
    if (checkAccess && (sub->access & OD_WO))
        return ABORT_READ_WRITE_ONLY;
    if (!dest || !size)
        return ABORT_GENERAL;
    if (*size < sub->size) {
        *size = sub->size;
        return ABORT_OUT_OF_MEMORY;
    }
    if (dataType)
        *dataType = sub->dataType;
    const uint8_t* value = static_cast<const uint8_t*>(sub->value);
    uint8_t* out = static_cast<uint8_t*>(dest);
    if (sub->dataType == CO_VISIBLE_STRING) {
        // Never past the object: a string that fills its size has no zero.
        const uint32_t limit = sub->size;
        uint32_t n = 0;
        while (n < limit && value[n] != 0) {
            out[n] = value[n];
            ++n;
        }
        if (n < sub->size)
            out[n] = 0;
        *size = n;
        return 0;
    }
    if (sub->size)
        std::memcpy(out, value, sub->size);
    *size = sub->size;
    return 0;
}

uint32_t writeObjectEntry(CanOpenNode* node, uint16_t index, uint8_t subIndex, const void* source,
                          uint32_t* size, bool checkAccess)
{
    uint32_t code = 0;
    const ObjectEntry* entry = nullptr;
    const SubEntry* sub = findSubEntry(node, index, subIndex, &entry, &code);
    if (!sub)
        return code;
    if (checkAccess && (sub->access & OD_RO))
        return ABORT_WRITE_READ_ONLY;
    if (!size)
        return ABORT_GENERAL;
    const uint32_t n = *size;
    const bool isString = sub->dataType == CO_VISIBLE_STRING;
    if (!(n == 0 || n == sub->size || (isString && n < sub->size))) {
        *size = sub->size;
        return ABORT_LENGTH;
    }
    if (n && !source)
        return ABORT_GENERAL;
    if (n && node->checkValueRange) {
        code = node->checkValueRange(sub->dataType, source);
        if (code)
            return code;
    }
    uint8_t* value = static_cast<uint8_t*>(sub->value);
    if (n)
        std::memcpy(value, source, n);
    if (isString && n && n < sub->size)
        value[n] = 0;
    *size = sub->size;
    if (entry->callbacks && entry->callbacks[subIndex]) {
        code = entry->callbacks[subIndex](node, entry, subIndex);
        if (code)
            return code;
    }
    if ((sub->access & OD_STORE) && node->storeHook)
        node->storeHook(node, index, subIndex);
    return 0;
}

uint32_t registerObjectCallback(CanOpenNode* node, uint16_t index, uint8_t subIndex, ObjectCallback callback)
{
    uint32_t code = ABORT_NO_OBJECT;
    const ObjectEntry* entry = node->findObject ? node->findObject(node, index, &code) : nullptr;
    if (!entry)
        return code ? code : ABORT_NO_OBJECT;
    if (entry->callbacks && subIndex < entry->subCount)
        entry->callbacks[subIndex] = callback;
    return 0;
}

uint32_t checkValueRange(uint8_t dataType, const void* value)
{
    if (dataType == CO_VALUE_RANGE && value && *static_cast<const uint8_t*>(value) != 0)
        return ABORT_VALUE_RANGE;
    return 0;
}

void* objectValue(CanOpenNode* node, uint16_t index, uint8_t subIndex, uint32_t size)
{
    uint32_t code = 0;
    const SubEntry* sub = findSubEntry(node, index, subIndex, nullptr, &code);
    return (sub && sub->size == size) ? sub->value : nullptr;
}

namespace {
// Moves a COB-ID that still holds base + old id (or any, when the old id was
// unset) to base + new id, keeping its flag bits.
void moveCobId(CanOpenNode* node, uint16_t index, uint8_t subIndex, uint32_t base, uint8_t oldId, uint8_t newId)
{
    uint32_t* cob = static_cast<uint32_t*>(objectValue(node, index, subIndex, 4));
    if (!cob)
        return;
    if (oldId == 255 || (*cob & 0x7FF) == base + oldId)
        *cob = (*cob & ~uint32_t(0x7FF)) | (base + newId);
}

void movePdoCobIds(CanOpenNode* node, ServiceRange range, const uint32_t (&bases)[4], uint8_t oldId, uint8_t newId)
{
    if (!range.first)
        return;
    for (uint16_t pos = range.first, n = 0; pos <= range.last && n < 4; ++pos, ++n)
        moveCobId(node, node->dictionary[pos].index, 1, bases[n], oldId, newId);
}
}

void assignNodeId(CanOpenNode* node, uint8_t id)
{
    if (id == 255) {
        node->nodeId = 255;
        return;
    }
    if (id == 0 || id > 127)
        return;
    const uint8_t oldId = node->nodeId;
    if (node->sdoServer.first) {
        const uint16_t index = node->dictionary[node->sdoServer.first].index;
        moveCobId(node, index, 1, 0x600, oldId, id);
        moveCobId(node, index, 2, 0x580, oldId, id);
    }
    static const uint32_t rpdoBases[4] = {0x200, 0x300, 0x400, 0x500};
    static const uint32_t tpdoBases[4] = {0x180, 0x280, 0x380, 0x480};
    movePdoCobIds(node, node->rpdoComm, rpdoBases, oldId, id);
    movePdoCobIds(node, node->tpdoComm, tpdoBases, oldId, id);
    moveCobId(node, 0x1014, 0, 0x80, oldId, id);
    node->nodeId = id;
}

namespace {
void noteService(ServiceRange& range, uint16_t position)
{
    if (!range.first)
        range.first = position;
    range.last = position;
}
}

void initCanOpenNode(CanOpenNode* node, const ObjectEntry* dictionary, uint16_t size)
{
    CanPort* port = node->port;
    *node = CanOpenNode{};
    node->port = port;
    node->dictionary = dictionary;
    node->dictionarySize = size;
    node->findObject = findObjectByIndex;
    node->checkValueRange = checkValueRange;
    for (uint16_t i = 1; i < size; ++i) {
        const uint16_t index = dictionary[i].index;
        if (index >= 0x1200 && index <= 0x127F)
            noteService(node->sdoServer, i);
        else if (index >= 0x1280 && index <= 0x12FF)
            noteService(node->sdoClient, i);
        else if (index >= 0x1400 && index <= 0x15FF)
            noteService(node->rpdoComm, i);
        else if (index >= 0x1600 && index <= 0x17FF)
            noteService(node->rpdoMap, i);
        else if (index >= 0x1800 && index <= 0x19FF)
            noteService(node->tpdoComm, i);
        else if (index >= 0x1A00 && index <= 0x1BFF)
            noteService(node->tpdoMap, i);
    }
    for (SdoLine& line : node->sdo)
        line.timer = -1;
    for (int16_t& t : node->heartbeatTimers)
        t = -1;
    for (uint32_t& s : node->remoteState)
        s = NMT_UNKNOWN;
    node->producerTime = static_cast<uint16_t*>(objectValue(node, 0x1017, 0, 2));
    node->guardTime = static_cast<uint16_t*>(objectValue(node, 0x100C, 0, 2));
    node->lifeTimeFactor = static_cast<uint8_t*>(objectValue(node, 0x100D, 0, 1));
}
