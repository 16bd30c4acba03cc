// LSS slave: answers a master's requests for a node whose slave flag is set.
#include "canopen/lss.h"

#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"

namespace {
enum : uint8_t { LSS_NO_ERROR = 0, LSS_OUT_OF_RANGE = 1, LSS_NOT_SUPPORTED = 1 };

void answer(CanOpenNode* node, uint8_t command, uint8_t byte1, uint8_t byte2)
{
    CanFrame frame;
    frame.id = LSS_SLAVE_ID;
    frame.len = 8;
    frame.data[0] = command;
    frame.data[1] = byte1;
    frame.data[2] = byte2;
    sendCanFrame(node->port, &frame);
}

void answerValue(CanOpenNode* node, uint8_t command, uint32_t value)
{
    CanFrame frame;
    frame.id = LSS_SLAVE_ID;
    frame.len = 8;
    frame.data[0] = command;
    canPutU32(frame.data + 1, value);
    sendCanFrame(node->port, &frame);
}

// Identity part (0x1018 sub 1 vendor, 2 product, 3 revision, 4 serial);
// false when the dictionary lacks it.
bool identity(CanOpenNode* node, uint8_t subIndex, uint32_t* value)
{
    uint32_t size = sizeof *value;
    *value = 0;
    return readObjectEntry(node, 0x1018, subIndex, value, &size, nullptr, false) == 0 && size == 4;
}

bool identityIs(CanOpenNode* node, uint8_t subIndex, uint32_t value)
{
    uint32_t own = 0;
    return identity(node, subIndex, &own) && own == value;
}

// One part of an identify request (0 vendor, 1 product, 2-3 revision low
// and high, 4-5 serial low and high): vendor and product must be the node's
// own, revision and serial within the bounds.
bool identifyPartMatches(CanOpenNode* node, uint8_t part, uint32_t value)
{
    if (part < 2)
        return identityIs(node, uint8_t(part + 1), value);
    uint32_t own = 0;
    const uint8_t subIndex = part < 4 ? 3 : 4; // revision, serial
    if (!identity(node, subIndex, &own))
        return false;
    const bool lowBound = part % 2 == 0;
    return lowBound ? own >= value : own <= value;
}

// Leaving configuration mode: a newly configured id takes effect through a
// reset of the node's communication, as an NMT reset communication would.
void leaveConfiguration(CanOpenNode* node)
{
    LssState& lss = node->lss;
    lss.mode = LSS_WAITING_MODE;
    const uint8_t id = lss.pendingNodeId;
    lss.pendingNodeId = 0;
    if (!id || id == node->nodeId)
        return;
    if (node->onResetCommunication)
        node->onResetCommunication(node);
    assignNodeId(node, 255);
    assignNodeId(node, id);
    setNodeState(node, NMT_INITIALISATION);
}

// Each part must follow the one before it; a mismatch starts over.
uint8_t nextStep(uint8_t step, uint8_t expected, bool matches)
{
    return step == expected && matches ? uint8_t(expected + 1) : 0;
}
}

void handleLssSlaveFrame(CanOpenNode* node, const CanFrame* frame)
{
    if (!node->slave || frame->rtr || frame->len != 8)
        return;
    LssState& lss = node->lss;
    const uint8_t* d = frame->data;
    const uint32_t value = canGetU32(d + 1);
    const bool configuring = lss.mode == LSS_CONFIGURATION_MODE;
    switch (d[0]) {
    case LSS_SWITCH_MODE_GLOBAL:
        if (d[1] == LSS_CONFIGURATION_MODE)
            lss.mode = LSS_CONFIGURATION_MODE;
        else if (d[1] == LSS_WAITING_MODE && configuring)
            leaveConfiguration(node);
        lss.selectStep = 0;
        break;
    case LSS_CONFIGURE_NODE_ID: {
        if (!configuring)
            break;
        const bool valid = (d[1] >= 1 && d[1] <= 127) || d[1] == 255;
        if (valid)
            lss.pendingNodeId = d[1];
        answer(node, LSS_CONFIGURE_NODE_ID, valid ? LSS_NO_ERROR : LSS_OUT_OF_RANGE, 0);
        break;
    }
    case LSS_CONFIGURE_BIT_TIMING: {
        if (!configuring)
            break;
        const char* rate = d[1] == 0 ? lssBitRateText(d[2]) : nullptr;
        if (rate)
            lss.bitRate = rate;
        answer(node, LSS_CONFIGURE_BIT_TIMING, rate ? LSS_NO_ERROR : LSS_OUT_OF_RANGE, 0);
        break;
    }
    case LSS_ACTIVATE_BIT_TIMING:
        if (configuring)
            startLssBitRateSwitch(node, uint16_t(d[1] | d[2] << 8));
        break;
    case LSS_STORE_CONFIGURATION: {
        if (!configuring)
            break;
        const uint8_t id = lss.pendingNodeId ? lss.pendingNodeId : node->nodeId;
        const uint8_t error = lss.onStore ? lss.onStore(node, id, lss.bitRate) : uint8_t(LSS_NOT_SUPPORTED);
        answer(node, LSS_STORE_CONFIGURATION, error, 0);
        break;
    }
    case LSS_SWITCH_SELECTIVE_VENDOR:
    case LSS_SWITCH_SELECTIVE_PRODUCT:
    case LSS_SWITCH_SELECTIVE_REVISION:
    case LSS_SWITCH_SELECTIVE_SERIAL: {
        const uint8_t part = uint8_t(d[0] - LSS_SWITCH_SELECTIVE_VENDOR);
        lss.selectStep = nextStep(lss.selectStep, part, identityIs(node, uint8_t(part + 1), value));
        if (lss.selectStep == 4) {
            lss.selectStep = 0;
            lss.mode = LSS_CONFIGURATION_MODE;
            answer(node, LSS_SWITCH_SELECTIVE_ANSWER, 0, 0);
        }
        break;
    }
    case LSS_IDENTIFY_VENDOR:
    case LSS_IDENTIFY_PRODUCT:
    case LSS_IDENTIFY_REVISION_LOW:
    case LSS_IDENTIFY_REVISION_HIGH:
    case LSS_IDENTIFY_SERIAL_LOW:
    case LSS_IDENTIFY_SERIAL_HIGH: {
        const uint8_t part = uint8_t(d[0] - LSS_IDENTIFY_VENDOR);
        lss.identifyStep = nextStep(lss.identifyStep, part, identifyPartMatches(node, part, value));
        // The serial's high bound ends the request: answered only when every part matched.
        if (d[0] == LSS_IDENTIFY_SERIAL_HIGH) {
            if (lss.identifyStep == 6)
                answer(node, LSS_IDENTIFY_ANSWER, 0, 0);
            lss.identifyStep = 0;
        }
        break;
    }
    case LSS_IDENTIFY_NON_CONFIGURED:
        if (node->nodeId == 255)
            answer(node, LSS_NON_CONFIGURED_ANSWER, 0, 0);
        break;
    case LSS_INQUIRE_VENDOR:
    case LSS_INQUIRE_PRODUCT:
    case LSS_INQUIRE_REVISION:
    case LSS_INQUIRE_SERIAL: {
        uint32_t own = 0;
        if (configuring && identity(node, uint8_t(d[0] - LSS_INQUIRE_VENDOR + 1), &own))
            answerValue(node, d[0], own);
        break;
    }
    case LSS_INQUIRE_NODE_ID:
        if (configuring)
            answer(node, LSS_INQUIRE_NODE_ID, node->nodeId, 0);
        break;
    default:
        break;
    }
}
