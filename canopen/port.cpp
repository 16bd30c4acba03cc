#include "canopen/port.h"

#include "canopen/node.h"
#include "platform/boundedthread.h"
#include "platform/stacklock.h"

#include <atomic>
#include <cstdio>

struct CanPort {
    std::atomic<uint8_t> used{0};
    CanHandle handle = 0;
    BoundedThread receiveThread;
    CanOpenNode* node = nullptr;
};

namespace {
std::atomic<const CanAdapterDriver*> boundDriver{nullptr};
CanPort portSlots[CAN_PORT_SLOTS];
std::atomic<uint32_t> framesDispatched{0};

void canPortReceiveLoop(CanPort* slot)
{
    const CanAdapterDriver* driver = boundDriver.load();
    CanFrame frames[CAN_RECEIVE_BATCH];
    while (slot->used.load() && driver) {
        const uint8_t n = driver->receive(slot->handle, frames);
        for (uint8_t i = 0; i < n && slot->used.load(); ++i) {
            CanOpenLock lock;
            dispatchCanFrame(slot->node, &frames[i]);
            framesDispatched.fetch_add(1);
        }
    }
}
}

int setCanAdapterDriver(const CanAdapterDriver* driver)
{
    boundDriver.store(driver);
    return 1;
}

int unbindCanAdapterDriver(void)
{
    return 0;
}

const CanAdapterDriver* canAdapterDriver(void)
{
    return boundDriver.load();
}

CanPort* openCanPort(const CanBoard* board, CanOpenNode* node)
{
    if (!board || !node)
        return nullptr;
    if (node->port)
        closeCanPort(node);
    const CanAdapterDriver* driver = boundDriver.load();
    CanPort* slot = nullptr;
    for (CanPort& p : portSlots) {
        if (!p.used.load()) {
            slot = &p;
            break;
        }
    }
    const CanHandle handle = (slot && driver) ? driver->open(board) : 0;
    if (!handle) {
        std::printf("CanOpen : Cannot open board {busname='%s',baudrate='%s'}\n",
                    board->busname.c_str(), board->baudrate.c_str());
        std::fflush(stdout);
        return nullptr;
    }
    slot->handle = handle;
    slot->node = node;
    slot->used.store(1);
    node->port = slot;
    slot->receiveThread.start([slot] { canPortReceiveLoop(slot); }, "can-receive");
    return slot;
}

uint8_t closeCanPort(CanOpenNode* node)
{
    if (!node || !node->port)
        return 0;
    CanPort* slot = node->port;
    const CanAdapterDriver* driver = boundDriver.load();
    slot->used.store(0);
    // The driver's close stops its writer, sends the close command and waits
    // until the receive call has returned; then the loop sees the cleared flag.
    const uint8_t result = driver ? driver->close(slot->handle) : 0;
    slot->receiveThread.join(1000);
    slot->handle = 0;
    slot->node = nullptr;
    node->port = nullptr;
    return result;
}

uint8_t sendCanFrame(CanPort* port, const CanFrame* frame)
{
    const CanAdapterDriver* driver = boundDriver.load();
    if (!port || !driver || !driver->send || !port->used.load())
        return 1;
    return driver->send(port->handle, frame);
}

uint8_t setCanBitRate(CanPort* port, const char* code)
{
    const CanAdapterDriver* driver = boundDriver.load();
    if (!port || !driver)
        return 1;
    return driver->setBitRate(port->handle, code);
}

uint32_t canFramesDispatched(void)
{
    return framesDispatched.load();
}

CanOpenNode* canPortNode(const CanPort* port)
{
    return port ? port->node : nullptr;
}

void lockCanOpen(void)
{
    stackMutex().lock();
}

void unlockCanOpen(void)
{
    stackMutex().unlock();
}
