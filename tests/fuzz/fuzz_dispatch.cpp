// Feeds arbitrary frames into the dispatch of two nodes of the stack, a
// client (the tool's node) and a server, while transfers of every kind are
// open, with time passing and state changes in between. Both nodes talk to
// each other through the test bus, so fuzzed frames land inside real
// exchanges. ASan/UBSan watch memory; the checks below watch the line table.
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/tooldict.h"
#include "testbus.h"
#include "toolbus.h"

#include <cstdlib>
#include <cstring>

namespace {
const uint8_t kServer = 0x20;
TestBus* bus = nullptr;

uint32_t deviceType = 0x191;
uint8_t serverCount = 2;
uint32_t serverRx = 0x600, serverTx = 0x580;
uint8_t objectCount = 4;
uint8_t small[3];
uint8_t medium[40];
uint8_t large[900];
char text[20];
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &deviceType}};
SubEntry s1200[] = {{OD_RO, CO_UNSIGNED8, 1, &serverCount},
                    {OD_RO, CO_UNSIGNED32, 4, &serverRx},
                    {OD_RO, CO_UNSIGNED32, 4, &serverTx}};
SubEntry s2000[] = {{OD_RO, CO_UNSIGNED8, 1, &objectCount},
                    {OD_RW, CO_DOMAIN, sizeof small, small},
                    {OD_RW, CO_DOMAIN, sizeof medium, medium},
                    {OD_RW, CO_DOMAIN, sizeof large, large},
                    {OD_RW, CO_VISIBLE_STRING, sizeof text, text}};
const ObjectEntry serverDictionary[] = {
    {s1000, 1, 0x1000, nullptr}, {s1200, 3, 0x1200, nullptr}, {s2000, 5, 0x2000, nullptr}};
CanOpenNode server;

uint8_t payload[1000];
int completions = 0;
void onDone(CanOpenNode* node, uint8_t nodeId)
{
    ++completions;
    uint8_t buf[1000];
    uint32_t size = sizeof buf, code = 0;
    sdoReadResult(node, nodeId, buf, &size, &code);
    if (size > sizeof buf)
        std::abort();
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
}

void startNodes()
{
    CanOpenLock lock;
    serverRx = 0x600;
    serverTx = 0x580;
    startToolAndServer(&server, serverDictionary, 3, kServer);
}

void startTransfer(uint8_t how)
{
    static const uint16_t subs[] = {1, 2, 3, 4};
    const uint8_t sub = uint8_t(subs[how & 3]);
    const uint8_t block = (how >> 2) & 1;
    const uint32_t count = (how & 0x80) ? (how & 0x70) * 8u + 1 : (how & 0x70) >> 4;
    CanOpenLock lock;
    if (how & 8)
        sdoWriteRemote(&toolNode, kServer, 0x2000, sub, count, CO_DOMAIN, payload, onDone, block);
    else
        sdoReadRemote(&toolNode, kServer, 0x2000, sub, CO_DOMAIN, onDone, block);
}

// Two nodes exchanging frames without end (the clock stands still meanwhile)
// is a storm on the bus: a finding.
void pumpBounded()
{
    if (bus->pump(nullptr, 100000) >= 100000)
        std::abort();
}

void checkLines(const CanOpenNode& node)
{
    for (const SdoLine& line : node.sdo) {
        if (line.state == SDO_FREE && (line.buffer || line.callback || line.timer != -1))
            std::abort();
        if (line.buffer && line.offset > line.bufferSize)
            std::abort();
        if (!line.buffer && line.offset > SDO_INLINE_BYTES && line.state != SDO_DOWNLOAD_IN_PROGRESS
            && line.state != SDO_BLOCK_DOWNLOAD_IN_PROGRESS)
            std::abort();
    }
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static TestBus theBus;
    bus = &theBus;
    bus->attach(&toolNode);
    bus->attach(&server);
    for (size_t i = 0; i < sizeof payload; ++i)
        payload[i] = uint8_t(i * 13);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startNodes();
    size_t pos = 0;
    if (size)
        startTransfer(data[pos++]);
    while (pos < size) {
        const uint8_t op = data[pos++];
        switch (op & 7) {
        case 0:
            bus->advance(pos < size ? data[pos++] * 20u : 3000u);
            break;
        case 1:
            if (pos < size)
                startTransfer(data[pos++]);
            break;
        case 2:
            pumpBounded();
            break;
        case 3: {
            static const uint32_t states[] = {NMT_PRE_OPERATIONAL, NMT_OPERATIONAL, NMT_STOPPED,
                                              NMT_INITIALISATION};
            CanOpenLock lock;
            setNodeState((op & 8) ? &server : &toolNode, states[(op >> 4) & 3]);
            break;
        }
        default: {
            // A frame: identifier picked near the SDO channels most of the time.
            if (size - pos < 3)
                return 0;
            CanFrame f;
            const uint16_t raw = uint16_t(data[pos] | data[pos + 1] << 8);
            static const uint16_t near[] = {0x5A0, 0x620, 0x000, 0x080, 0x0A0, 0x701, 0x720, 0x7E4};
            f.id = (op & 0x80) ? uint16_t(raw & 0xFFF) : near[(raw >> 8) & 7];
            f.rtr = (op >> 6) & 1;
            f.len = uint8_t(data[pos + 2] % 10);
            pos += 3;
            for (int i = 0; i < 8 && pos < size; ++i)
                f.data[i] = data[pos++];
            bus->deliver((op & 8) ? &server : &toolNode, f);
            break;
        }
        }
        checkLines(toolNode);
        checkLines(server);
    }
    pumpBounded();
    bus->advance(SDO_TIMEOUT_MS + 1);
    bus->takeSent(&toolNode);
    bus->takeSent(&server);
    CanOpenLock lock;
    resetSdoLines(&toolNode);
    resetSdoLines(&server);
    return 0;
}
