#include "toolbus.h"

#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"

bool openToolBus(std::unique_ptr<TestBus>* bus, CanOpenNode* other)
{
    *bus = std::make_unique<TestBus>();
    return (*bus)->attach(&toolNode) && (*bus)->attach(other);
}

void closeToolBus(std::unique_ptr<TestBus>* bus)
{
    bus->reset();
    resetToolNode();
}

void startToolAndServer(CanOpenNode* server, const ObjectEntry* dictionary, uint16_t size, uint8_t serverId)
{
    initCanOpenTimer();
    resetToolNode();
    assignNodeId(&toolNode, 1);
    setNodeState(&toolNode, NMT_INITIALISATION);
    claimSdoClient(&toolNode, serverId);
    resetSdoLines(server);
    initCanOpenNode(server, dictionary, size);
    assignNodeId(server, serverId);
    setNodeState(server, NMT_INITIALISATION);
}
