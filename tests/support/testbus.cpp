#include "testbus.h"

#include "canopen/node.h"
#include "canopen/port.h"
#include "canopen/timer.h"
#include "platform/tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
TestBus* activeBus = nullptr;
std::atomic<uint32_t> fakeNow{100000};
uint32_t fakeTick() { return fakeNow.load(); }
}

// The driver's operations; a handle is the port's position + 1.
struct TestBusDriver {
    static uint8_t receive(CanHandle, CanFrame*)
    {
        // Frames reach the nodes through deliver() and pump(); keep the
        // receive thread idle without spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    }
    static uint8_t send(CanHandle h, const CanFrame* frame)
    {
        TestBus* bus = activeBus;
        if (!bus)
            return 1;
        std::lock_guard<std::mutex> lock(bus->m_mutex);
        if (bus->m_refuse || h == 0 || h > bus->m_ports.size())
            return 1;
        bus->m_ports[h - 1].sent.push_back(*frame);
        return 0;
    }
    static CanHandle open(const CanBoard* board)
    {
        return CanHandle(std::stoul(board->busname));
    }
    static uint8_t close(CanHandle) { return 1; }
    static uint8_t setBitRate(CanHandle, const char*) { return 0; }
};

namespace {
const CanAdapterDriver testBusDriver = {TestBusDriver::receive, TestBusDriver::send, TestBusDriver::open,
                                        TestBusDriver::close, TestBusDriver::setBitRate};
}

TestBus::TestBus()
{
    activeBus = this;
    setCanAdapterDriver(&testBusDriver);
    setPlatformTickSource(fakeTick);
    initCanOpenTimer();
}

TestBus::~TestBus()
{
    detachAll();
    setPlatformTickSource(nullptr);
    setCanAdapterDriver(nullptr);
    activeBus = nullptr;
}

bool TestBus::attach(CanOpenNode* node)
{
    size_t handle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ports.push_back(Port{node, {}});
        handle = m_ports.size();
    }
    CanBoard board{std::to_string(handle), "4800"};
    return openCanPort(&board, node) != nullptr;
}

void TestBus::detachAll()
{
    std::vector<CanOpenNode*> nodes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Port& p : m_ports)
            nodes.push_back(p.node);
    }
    for (CanOpenNode* node : nodes)
        closeCanPort(node);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ports.clear();
}

std::vector<CanFrame> TestBus::takeSent(CanOpenNode* node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Port& p : m_ports) {
        if (p.node == node) {
            std::vector<CanFrame> out;
            out.swap(p.sent);
            return out;
        }
    }
    return {};
}

void TestBus::deliver(CanOpenNode* node, const CanFrame& frame)
{
    CanOpenLock lock;
    dispatchCanFrame(node, &frame);
}

int TestBus::pump(const std::function<bool(const CanFrame&)>& keep, int limit)
{
    int moved = 0;
    while (moved < limit) {
        CanOpenNode* from = nullptr;
        std::vector<CanFrame> frames;
        std::vector<CanOpenNode*> others;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (Port& p : m_ports) {
                if (!from && !p.sent.empty()) {
                    from = p.node;
                    frames.swap(p.sent);
                }
            }
            for (const Port& p : m_ports) {
                if (p.node != from)
                    others.push_back(p.node);
            }
        }
        if (!from)
            return moved;
        for (const CanFrame& f : frames) {
            ++moved;
            if (keep && !keep(f))
                continue;
            for (CanOpenNode* to : others)
                deliver(to, f);
        }
    }
    return moved;
}

void TestBus::advance(uint32_t ms)
{
    for (;;) {
        uint32_t step;
        {
            CanOpenLock lock;
            const uint32_t wake = nextAlarmWake();
            const uint32_t elapsed = elapsedSinceLastAlarm();
            if (wake == ALARM_NEVER || wake > elapsed + uint64_t(ms)) {
                fakeNow += ms;
                return;
            }
            step = wake > elapsed ? wake - elapsed : 0;
            fakeNow += step;
            ms -= step;
            noteAlarmWake();
            dispatchAlarms();
        }
    }
}

uint32_t TestBus::now() const
{
    return fakeNow.load();
}

void TestBus::setRefuseSends(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuse = refuse;
}

CanFrame TestBus::frame(uint16_t id, std::initializer_list<uint8_t> bytes)
{
    CanFrame f;
    f.id = id;
    f.len = uint8_t(bytes.size() > 8 ? 8 : bytes.size());
    int i = 0;
    for (uint8_t b : bytes) {
        if (i < 8)
            f.data[i++] = b;
    }
    return f;
}
