#include "canopen/nmt.h"

#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/services.h"

CommFlags commFlagsForState(uint32_t state)
{
    //                  boot-up SDO EMCY SYNC guard PDO LSS
    switch (state) {
    case NMT_INITIALISATION:
        return CommFlags{1, 0, 0, 0, 0, 0, 0};
    case NMT_PRE_OPERATIONAL:
        return CommFlags{0, 1, 1, 1, 1, 0, 1};
    case NMT_OPERATIONAL:
        return CommFlags{0, 1, 1, 1, 1, 1, 0};
    case NMT_STOPPED:
        return CommFlags{0, 0, 0, 0, 1, 0, 1};
    default:
        return CommFlags{0, 0, 0, 0, 0, 0, 0};
    }
}

void switchCommunicationState(CanOpenNode* node, const CommFlags* wanted)
{
    CommFlags& now = node->comm;
    if (now.lss != wanted->lss)
        now.lss = wanted->lss;
    if (now.sdo != wanted->sdo) {
        now.sdo = wanted->sdo;
        if (!now.sdo)
            resetSdoLines(node);
    }
    if (now.emcy != wanted->emcy) {
        now.emcy = wanted->emcy;
        if (now.emcy)
            startEmcy(node);
    }
    if (now.pdo != wanted->pdo) {
        now.pdo = wanted->pdo;
        if (now.pdo)
            startPdo(node);
        else
            stopPdo(node);
    }
    if (now.bootUp != wanted->bootUp) {
        now.bootUp = wanted->bootUp;
        if (!now.bootUp)
            sendBootUp(node);
    }
}

namespace {
void enterState(CanOpenNode* node, uint32_t state, NodeHook hook)
{
    node->nmtState = state;
    const CommFlags wanted = commFlagsForState(state);
    switchCommunicationState(node, &wanted);
    if (hook)
        hook(node);
}
}

uint32_t setNodeState(CanOpenNode* node, uint32_t state)
{
    if (node->nmtState == state)
        return state;
    switch (state) {
    case NMT_INITIALISATION:
        enterState(node, NMT_INITIALISATION, node->onInitialisation);
        enterState(node, NMT_PRE_OPERATIONAL, node->onPreOperational);
        return node->nmtState;
    case NMT_PRE_OPERATIONAL:
        enterState(node, NMT_PRE_OPERATIONAL, node->onPreOperational);
        return node->nmtState;
    case NMT_OPERATIONAL:
    case NMT_STOPPED:
        if (node->nmtState == NMT_INITIALISATION)
            return NMT_REFUSED;
        enterState(node, state, state == NMT_OPERATIONAL ? node->onOperational : node->onStopped);
        return node->nmtState;
    default:
        return NMT_REFUSED;
    }
}

uint8_t sendNmtCommand(CanOpenNode* node, uint8_t nodeId, uint8_t command)
{
    CanFrame frame;
    frame.id = 0x000;
    frame.len = 2;
    frame.data[0] = command;
    frame.data[1] = nodeId;
    return sendCanFrame(node->port, &frame);
}

uint8_t sendNodeGuardRequest(CanOpenNode* node, uint8_t nodeId)
{
    CanFrame frame;
    frame.id = uint16_t(0x700 + (nodeId & 0x7F));
    frame.rtr = 1;
    frame.len = 0;
    return sendCanFrame(node->port, &frame);
}

uint8_t requestNodeState(CanOpenNode* node, uint8_t nodeId)
{
    if (nodeId == 0) {
        for (uint32_t& state : node->remoteState)
            state = NMT_UNKNOWN;
    } else {
        node->remoteState[nodeId & 0x7F] = NMT_UNKNOWN;
    }
    return sendNodeGuardRequest(node, nodeId);
}

uint8_t sendBootUp(CanOpenNode* node)
{
    if (node->nodeId == 255)
        return 1;
    CanFrame frame;
    frame.id = uint16_t(0x700 + node->nodeId);
    frame.len = 1;
    frame.data[0] = 0;
    return sendCanFrame(node->port, &frame);
}

uint32_t getRemoteNodeState(CanOpenNode* node, uint8_t nodeId)
{
    if (nodeId & 0x80)
        return NMT_UNKNOWN;
    return node->remoteState[nodeId];
}

void handleNmtCommand(CanOpenNode* node, const CanFrame* frame)
{
    if (!node->slave || frame->len < 2)
        return;
    const uint32_t state = node->nmtState;
    if (state != NMT_PRE_OPERATIONAL && state != NMT_OPERATIONAL && state != NMT_STOPPED)
        return;
    const uint8_t target = frame->data[1];
    if (target != 0 && target != node->nodeId)
        return;
    switch (frame->data[0]) {
    case NMT_START:
        if (state == NMT_PRE_OPERATIONAL || state == NMT_STOPPED)
            setNodeState(node, NMT_OPERATIONAL);
        break;
    case NMT_STOP:
        if (state == NMT_PRE_OPERATIONAL || state == NMT_OPERATIONAL)
            setNodeState(node, NMT_STOPPED);
        break;
    case NMT_ENTER_PRE_OPERATIONAL:
        if (state == NMT_STOPPED || state == NMT_OPERATIONAL)
            setNodeState(node, NMT_PRE_OPERATIONAL);
        break;
    case NMT_RESET_NODE:
        if (node->onResetNode)
            node->onResetNode(node);
        setNodeState(node, NMT_INITIALISATION);
        break;
    case NMT_RESET_COMMUNICATION: {
        if (node->onResetCommunication)
            node->onResetCommunication(node);
        // Unset first, so every COB-ID goes back to its default for the id.
        const uint8_t id = node->nodeId;
        assignNodeId(node, 255);
        assignNodeId(node, id);
        setNodeState(node, NMT_INITIALISATION);
        break;
    }
    default:
        break;
    }
}
