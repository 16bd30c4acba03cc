// A CAN bus for frame-level stack tests: a fake adapter driver whose send
// records the frames of each node, a fake millisecond clock that drives the
// alarm table without waiting, and a pump that hands the recorded frames of
// each node to every other node on the bus, as one wire would.
//
// One TestBus at a time: it installs its driver and its clock process-wide.
#pragma once

#include "canopen/canframe.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct CanOpenNode;

class TestBus {
public:
    TestBus();
    ~TestBus();
    TestBus(const TestBus&) = delete;
    TestBus& operator=(const TestBus&) = delete;

    // Opens a port for the node through the fake driver.
    bool attach(CanOpenNode* node);
    // Closes every port the bus opened.
    void detachAll();

    // Frames the node sent since the last take, oldest first.
    std::vector<CanFrame> takeSent(CanOpenNode* node);
    // Hands one frame to the node as its receive thread would.
    void deliver(CanOpenNode* node, const CanFrame& frame);
    // Moves sent frames to the other nodes until the bus is quiet or limit
    // frames have moved; a filter returning false drops a frame on the wire.
    // Frames moved.
    int pump(const std::function<bool(const CanFrame&)>& keep = nullptr, int limit = 1000000);

    // Lets ms pass on the fake clock, running every alarm that falls due.
    void advance(uint32_t ms);
    uint32_t now() const;
    // The driver refuses every send while set.
    void setRefuseSends(bool refuse);

    static CanFrame frame(uint16_t id, std::initializer_list<uint8_t> bytes);

private:
    friend struct TestBusDriver;
    struct Port {
        CanOpenNode* node;
        std::vector<CanFrame> sent;
    };
    std::mutex m_mutex;
    std::vector<Port> m_ports;
    bool m_refuse = false;
};
