#include "canopen/tooldict.h"

#include "canopen/lifeguard.h"
#include "canopen/sdo.h"

namespace {
// Start values of every object of the tool's dictionary.
struct ToolValues {
    uint32_t deviceType = 0x00000191;
    uint8_t errorRegister = 0;
    uint32_t syncCobId = 0x40000080;   // bit 30: this node would produce SYNC on 0x80
    uint32_t cyclePeriod = 50000;      // µs
    uint8_t heartbeatCount = 1;
    uint32_t heartbeatConsumer = 0x004005DC; // node 0x40, 1500 ms
    uint8_t identityCount = 4;
    uint32_t identity[4] = {0, 0, 0, 0};
    uint8_t sdoClientCount = 3;
    uint32_t sdoClientToServer = 0;    // 0x600 + device id before use
    uint32_t sdoServerToClient = 0;    // 0x580 + device id
    uint8_t sdoServerNode = 0;
    uint8_t rpdoCommCount = 5;
    uint32_t rpdoCobId = 0x1C0;
    uint8_t rpdoType = 1;
    uint16_t rpdoInhibit = 0;
    uint8_t rpdoReserved = 0;
    uint16_t rpdoEventTimer = 0;
    uint8_t rpdoMapCount = 8;
    uint32_t rpdoMap[8] = {0x200F0001, 0x20100001, 0x20110001, 0x20120001,
                           0x20130001, 0x20140001, 0x20150001, 0x20160001};
    uint8_t tpdoCommCount = 5;
    uint32_t tpdoCobId = 0x223;
    uint8_t tpdoType = 1;
    uint16_t tpdoInhibit = 0;
    uint8_t tpdoReserved = 0;
    uint16_t tpdoEventTimer = 0;
    uint8_t tpdoMapCount = 1;
    uint32_t tpdoMap = 0x20000008;     // 0x2000 sub 0, 8 bits
    uint8_t applicationByte = 0;
    uint8_t flags[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

ToolValues v;

SubEntry obj1000[] = {{OD_RO, CO_UNSIGNED32, 4, &v.deviceType}};
SubEntry obj1001[] = {{OD_RO, CO_UNSIGNED8, 1, &v.errorRegister}};
SubEntry obj1005[] = {{OD_RW, CO_UNSIGNED32, 4, &v.syncCobId}};
SubEntry obj1006[] = {{OD_RW, CO_UNSIGNED32, 4, &v.cyclePeriod}};
SubEntry obj1016[] = {{OD_RO, CO_UNSIGNED8, 1, &v.heartbeatCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.heartbeatConsumer}};
SubEntry obj1018[] = {{OD_RO, CO_UNSIGNED8, 1, &v.identityCount},
                      {OD_RO, CO_UNSIGNED32, 4, &v.identity[0]},
                      {OD_RO, CO_UNSIGNED32, 4, &v.identity[1]},
                      {OD_RO, CO_UNSIGNED32, 4, &v.identity[2]},
                      {OD_RO, CO_UNSIGNED32, 4, &v.identity[3]}};
SubEntry obj1280[] = {{OD_RO, CO_UNSIGNED8, 1, &v.sdoClientCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.sdoClientToServer},
                      {OD_RW, CO_UNSIGNED32, 4, &v.sdoServerToClient},
                      {OD_RW, CO_UNSIGNED8, 1, &v.sdoServerNode}};
SubEntry obj1400[] = {{OD_RO, CO_UNSIGNED8, 1, &v.rpdoCommCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoCobId},
                      {OD_RW, CO_UNSIGNED8, 1, &v.rpdoType},
                      {OD_RW, CO_UNSIGNED16, 2, &v.rpdoInhibit},
                      {OD_RW, CO_UNSIGNED8, 1, &v.rpdoReserved},
                      {OD_RW, CO_UNSIGNED16, 2, &v.rpdoEventTimer}};
SubEntry obj1600[] = {{OD_RW, CO_UNSIGNED8, 1, &v.rpdoMapCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[0]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[1]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[2]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[3]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[4]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[5]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[6]},
                      {OD_RW, CO_UNSIGNED32, 4, &v.rpdoMap[7]}};
SubEntry obj1800[] = {{OD_RO, CO_UNSIGNED8, 1, &v.tpdoCommCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.tpdoCobId},
                      {OD_RW, CO_UNSIGNED8, 1, &v.tpdoType},
                      {OD_RW, CO_UNSIGNED16, 2, &v.tpdoInhibit},
                      {OD_RW, CO_UNSIGNED8, 1, &v.tpdoReserved},
                      {OD_RW, CO_UNSIGNED16, 2, &v.tpdoEventTimer}};
SubEntry obj1A00[] = {{OD_RW, CO_UNSIGNED8, 1, &v.tpdoMapCount},
                      {OD_RW, CO_UNSIGNED32, 4, &v.tpdoMap}};
SubEntry obj2000[] = {{OD_RW, CO_UNSIGNED8, 1, &v.applicationByte}};
SubEntry obj200F[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[0]}};
SubEntry obj2010[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[1]}};
SubEntry obj2011[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[2]}};
SubEntry obj2012[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[3]}};
SubEntry obj2013[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[4]}};
SubEntry obj2014[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[5]}};
SubEntry obj2015[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[6]}};
SubEntry obj2016[] = {{OD_RW, CO_BOOLEAN, 1, &v.flags[7]}};

// Filled at run time by the SYNC and PDO services that watch these entries.
ObjectCallback callbacks1005[1];
ObjectCallback callbacks1006[1];
ObjectCallback callbacks1800[6];

template <size_t N>
constexpr uint8_t count(const SubEntry (&)[N]) { return uint8_t(N); }

const ObjectEntry toolDictionary[TOOL_DICTIONARY_SIZE] = {
    {obj1000, count(obj1000), 0x1000, nullptr},
    {obj1001, count(obj1001), 0x1001, nullptr},
    {obj1005, count(obj1005), 0x1005, callbacks1005},
    {obj1006, count(obj1006), 0x1006, callbacks1006},
    {obj1016, count(obj1016), 0x1016, nullptr},
    {obj1018, count(obj1018), 0x1018, nullptr},
    {obj1280, count(obj1280), 0x1280, nullptr},
    {obj1400, count(obj1400), 0x1400, nullptr},
    {obj1600, count(obj1600), 0x1600, nullptr},
    {obj1800, count(obj1800), 0x1800, callbacks1800},
    {obj1A00, count(obj1A00), 0x1A00, nullptr},
    {obj2000, count(obj2000), 0x2000, nullptr},
    {obj200F, count(obj200F), 0x200F, nullptr},
    {obj2010, count(obj2010), 0x2010, nullptr},
    {obj2011, count(obj2011), 0x2011, nullptr},
    {obj2012, count(obj2012), 0x2012, nullptr},
    {obj2013, count(obj2013), 0x2013, nullptr},
    {obj2014, count(obj2014), 0x2014, nullptr},
    {obj2015, count(obj2015), 0x2015, nullptr},
    {obj2016, count(obj2016), 0x2016, nullptr},
};

CanOpenNode makeToolNode()
{
    CanOpenNode node;
    initCanOpenNode(&node, toolDictionary, TOOL_DICTIONARY_SIZE);
    return node;
}
}

CanOpenNode toolNode = makeToolNode();

void resetToolNode(void)
{
    resetSdoLines(&toolNode);
    stopHeartbeat(&toolNode);
    stopNodeGuarding(&toolNode);
    v = ToolValues{};
    for (ObjectCallback& c : callbacks1005)
        c = nullptr;
    for (ObjectCallback& c : callbacks1006)
        c = nullptr;
    for (ObjectCallback& c : callbacks1800)
        c = nullptr;
    initCanOpenNode(&toolNode, toolDictionary, TOOL_DICTIONARY_SIZE);
}
