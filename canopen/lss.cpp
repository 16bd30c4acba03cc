// LSS master and the bit-rate switch.
#include "canopen/lss.h"

#include "canopen/port.h"
#include "canopen/timer.h"

#include <cstring>

namespace {
struct BitRate {
    const char* text;
    const char* adapterCode; // first character: the adapter's S code
};
// In LSS table order: the index is what goes on the bus.
const BitRate bitRates[] = {{"1M", "8"},   {"800K", "7"}, {"500K", "6"}, {"250K", "5"}, {"125K", "4"},
                            {"100K", "3"}, {"50K", "2"},  {"20K", "1"},  {"10K", "0"}};
const int bitRateCount = int(sizeof bitRates / sizeof bitRates[0]);

// Switch results reported to the master's callback.
enum : uint32_t { LSS_SWITCHED = 0, LSS_NO_BIT_RATE = 1, LSS_ADAPTER_REFUSED = 2 };

void finishRequest(CanOpenNode* node, uint8_t state, uint32_t value, uint8_t byte)
{
    LssState& lss = node->lss;
    lss.answerTimer = int16_t(cancelAlarm(lss.answerTimer));
    lss.state = state;
    lss.resultValue = value;
    lss.resultByte = byte;
    if (lss.callback)
        lss.callback(node, lss.command);
}

void answerTimeout(CanOpenNode* node, uint32_t)
{
    node->lss.answerTimer = -1;
    // Silence is the answer to "is there a non-configured slave?".
    if (node->lss.command == LSS_IDENTIFY_NON_CONFIGURED)
        finishRequest(node, LSS_DONE, 1, 0);
    else
        finishRequest(node, LSS_TIMED_OUT, 0, 0);
}

void switchAlarm(CanOpenNode* node, uint32_t)
{
    LssState& lss = node->lss;
    if (lss.switchStep == 0) {
        lss.switchStep = 1;
        const char* code = adapterBitRateCode(lss.bitRate);
        if (!code || setCanBitRate(lss.savedPort, code) != 0)
            lss.switchStep = 2; // remembered for the master's result
        return;
    }
    const bool refused = lss.switchStep == 2;
    lss.switchTimer = int16_t(cancelAlarm(lss.switchTimer));
    lss.switchStep = 0;
    node->port = lss.savedPort;
    lss.savedPort = nullptr;
    if (!node->slave)
        finishRequest(node, LSS_DONE, refused ? LSS_ADAPTER_REFUSED : LSS_SWITCHED, 0);
}

// Requests a slave answers with a frame of the same command code.
bool answeredInKind(uint8_t command)
{
    switch (command) {
    case LSS_CONFIGURE_NODE_ID:
    case LSS_CONFIGURE_BIT_TIMING:
    case LSS_STORE_CONFIGURATION:
    case LSS_INQUIRE_VENDOR:
    case LSS_INQUIRE_PRODUCT:
    case LSS_INQUIRE_REVISION:
    case LSS_INQUIRE_SERIAL:
    case LSS_INQUIRE_NODE_ID:
        return true;
    default:
        return false;
    }
}

bool expectsAnswer(uint8_t command)
{
    switch (command) {
    // Answered with a code of their own: the last request of a switch
    // selective or an identify sequence, and the non-configured query.
    case LSS_SWITCH_SELECTIVE_SERIAL:
    case LSS_IDENTIFY_SERIAL_HIGH:
    case LSS_IDENTIFY_NON_CONFIGURED:
        return true;
    default:
        return answeredInKind(command);
    }
}

// Does a slave's answer close the pending request?
bool answers(uint8_t answer, uint8_t pending)
{
    switch (answer) {
    case LSS_SWITCH_SELECTIVE_ANSWER:
        return pending >= LSS_SWITCH_SELECTIVE_VENDOR && pending <= LSS_SWITCH_SELECTIVE_SERIAL;
    case LSS_IDENTIFY_ANSWER:
        return pending >= LSS_IDENTIFY_VENDOR && pending <= LSS_IDENTIFY_SERIAL_HIGH;
    case LSS_NON_CONFIGURED_ANSWER:
        return pending == LSS_IDENTIFY_NON_CONFIGURED;
    default:
        return answer == pending && answeredInKind(answer);
    }
}
}

int lssBitRateIndex(const char* bitRate)
{
    for (int i = 0; bitRate && i < bitRateCount; ++i) {
        if (std::strcmp(bitRates[i].text, bitRate) == 0)
            return i;
    }
    return -1;
}

const char* lssBitRateText(uint8_t index)
{
    return index < bitRateCount ? bitRates[index].text : nullptr;
}

const char* adapterBitRateCode(const char* bitRate)
{
    const int i = lssBitRateIndex(bitRate);
    return i < 0 ? nullptr : bitRates[i].adapterCode;
}

uint8_t startLssBitRateSwitch(CanOpenNode* node, uint16_t delayMs)
{
    LssState& lss = node->lss;
    if (!lss.bitRate || !node->port || lss.savedPort)
        return LSS_REFUSED;
    lss.switchDelay = delayMs;
    lss.switchStep = 0;
    lss.savedPort = node->port;
    node->port = nullptr;
    // A zero delay still needs two runs: one to switch, one to end.
    const uint32_t period = delayMs ? delayMs : 1;
    lss.switchTimer = int16_t(scheduleAlarm(node, 0, switchAlarm, delayMs, period));
    if (lss.switchTimer < 0) {
        node->port = lss.savedPort;
        lss.savedPort = nullptr;
        return LSS_REFUSED;
    }
    return 0;
}

uint8_t sendLssMasterCommand(CanOpenNode* node, uint8_t command, uint32_t value, const char* bitRate,
                             LssCallback callback)
{
    LssState& lss = node->lss;
    CanFrame frame;
    frame.id = LSS_MASTER_ID;
    frame.len = 8;
    frame.data[0] = command;
    switch (command) {
    case LSS_SWITCH_MODE_GLOBAL:
    case LSS_CONFIGURE_NODE_ID:
        frame.data[1] = uint8_t(value);
        break;
    case LSS_CONFIGURE_BIT_TIMING: {
        const int index = lssBitRateIndex(bitRate);
        lss.callback = callback;
        lss.command = command;
        if (index < 0) {
            finishRequest(node, LSS_DONE, LSS_REFUSED, 0);
            return LSS_REFUSED;
        }
        lss.bitRate = bitRates[index].text;
        frame.data[1] = uint8_t(value);
        frame.data[2] = uint8_t(index);
        break;
    }
    case LSS_ACTIVATE_BIT_TIMING: {
        if (lss.savedPort)
            return LSS_REFUSED;
        lss.callback = callback;
        lss.command = command;
        if (!lss.bitRate) {
            finishRequest(node, LSS_DONE, LSS_NO_BIT_RATE, 0);
            return 1;
        }
        frame.data[1] = uint8_t(value);
        frame.data[2] = uint8_t(value >> 8);
        if (sendCanFrame(node->port, &frame))
            return 1;
        lss.state = LSS_WAITING;
        lss.answerTimer = int16_t(cancelAlarm(lss.answerTimer));
        if (startLssBitRateSwitch(node, uint16_t(value))) {
            finishRequest(node, LSS_DONE, LSS_ADAPTER_REFUSED, 0);
            return LSS_REFUSED;
        }
        return 0;
    }
    case LSS_STORE_CONFIGURATION:
    case LSS_IDENTIFY_NON_CONFIGURED:
    case LSS_INQUIRE_VENDOR:
    case LSS_INQUIRE_PRODUCT:
    case LSS_INQUIRE_REVISION:
    case LSS_INQUIRE_SERIAL:
    case LSS_INQUIRE_NODE_ID:
        break;
    case LSS_SWITCH_SELECTIVE_VENDOR:
    case LSS_SWITCH_SELECTIVE_PRODUCT:
    case LSS_SWITCH_SELECTIVE_REVISION:
    case LSS_SWITCH_SELECTIVE_SERIAL:
    case LSS_IDENTIFY_VENDOR:
    case LSS_IDENTIFY_PRODUCT:
    case LSS_IDENTIFY_REVISION_LOW:
    case LSS_IDENTIFY_REVISION_HIGH:
    case LSS_IDENTIFY_SERIAL_LOW:
    case LSS_IDENTIFY_SERIAL_HIGH:
        canPutU32(frame.data + 1, value);
        break;
    default:
        return LSS_REFUSED;
    }
    if (!expectsAnswer(command))
        return sendCanFrame(node->port, &frame) ? 1 : 0;
    lss.callback = callback;
    lss.command = command;
    if (sendCanFrame(node->port, &frame))
        return 1;
    lss.state = LSS_WAITING;
    lss.answerTimer = int16_t(cancelAlarm(lss.answerTimer));
    lss.answerTimer = int16_t(scheduleAlarm(node, 0, answerTimeout, LSS_ANSWER_TIMEOUT_MS, 0));
    return 0;
}

uint8_t getLssResult(const CanOpenNode* node, uint32_t* value, uint8_t* byte)
{
    if (value)
        *value = node->lss.resultValue;
    if (byte)
        *byte = node->lss.resultByte;
    return node->lss.state;
}

void handleLssMasterFrame(CanOpenNode* node, const CanFrame* frame)
{
    LssState& lss = node->lss;
    if (lss.state != LSS_WAITING || frame->rtr || frame->len != 8)
        return;
    const uint8_t* d = frame->data;
    if (!answers(d[0], lss.command))
        return;
    if (d[0] >= LSS_INQUIRE_VENDOR && d[0] <= LSS_INQUIRE_SERIAL) {
        finishRequest(node, LSS_DONE, canGetU32(d + 1), 0);
        return;
    }
    finishRequest(node, LSS_DONE, d[1], d[2]);
}
