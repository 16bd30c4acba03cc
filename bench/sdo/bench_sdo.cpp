// Synchronous SDO reads of one UNSIGNED32 over a pty from the simulated
// device, which answers at once: isolated reads (one every 5 ms) and
// back-to-back reads, beside the CAN wire time of one expedited read and the
// adapter's pacing floor of one line per millisecond; then what an open, idle
// link costs in CPU time and wake-ups.
//
//   bench_sdo [N]     N back-to-back reads (default 1000), N/2 isolated ones
#include "link/canlink.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"
#include "taskstats.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {
const uint8_t kDevice = 0x22;
using Clock = std::chrono::steady_clock;

// One CAN 2.0A data frame with 8 data bytes: 108 bits of frame and 3 of
// interframe space; up to 24 stuff bits in the 98 bits from SOF to CRC.
const int kFrameBits = 111;
const int kStuffBitsMax = 24;
// The adapter takes one line per millisecond; a read puts one line on it.
const double kPacingFloorMs = 1.0;

const char* const kLinkThreads[] = {"can-receive", "can-timer", "slcan-writer"};

uint16_t objectIndex(int i)
{
    return uint16_t(0x4000 + i / 256);
}

struct Spread {
    double medianMs = 0;
    double p95Ms = 0;
    double maxMs = 0;
    int failed = 0;
};

// n reads of the objects in turn, each started at least gap after the last
// one began (zero: back to back).
Spread timeReads(int n, int objects, std::chrono::microseconds gap)
{
    std::vector<double> us;
    us.reserve(size_t(n));
    Spread s;
    auto next = Clock::now();
    for (int i = 0; i < n; ++i) {
        std::this_thread::sleep_until(next);
        const int o = i % objects;
        const auto t = Clock::now();
        next = t + gap;
        const SdoOutcome out = sdoReadOnce(kDevice, objectIndex(o), uint8_t(o % 256), CO_UNSIGNED32, 800);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
        if (!out.ok || out.data.size() != 4)
            ++s.failed;
    }
    std::sort(us.begin(), us.end());
    s.medianMs = us[us.size() / 2] / 1e3;
    s.p95Ms = us[std::min(us.size() - 1, us.size() * 95 / 100)] / 1e3;
    s.maxMs = us.back() / 1e3;
    return s;
}

void printSpread(const char* what, int n, const Spread& s, const char* target)
{
    std::printf("  %-34s %5d reads: median %.3f ms, 95th percentile %.3f ms, max %.3f ms (%d failed)  [%s]\n", what,
                n, s.medianMs, s.p95Ms, s.maxMs, s.failed, target);
}

void printWireTime(int bitsPerSecond)
{
    // An expedited read is one request and one answer.
    const double least = 2.0 * kFrameBits / bitsPerSecond * 1e3;
    const double most = 2.0 * (kFrameBits + kStuffBitsMax) / bitsPerSecond * 1e3;
    std::printf("  CAN wire time of one expedited read at %7d bit/s: %.3f ms (%.3f ms with worst-case stuffing)\n",
                bitsPerSecond, least, most);
}

struct Usage {
    int64_t cpuNs = 0;
    long wakeUps = 0;
};

Usage usageOf(const QList<TaskStats>& tasks, bool linkOnly)
{
    Usage u;
    for (const TaskStats& t : tasks) {
        const bool link = std::find(std::begin(kLinkThreads), std::end(kLinkThreads), t.name.toStdString()) !=
                          std::end(kLinkThreads);
        if (linkOnly && !link)
            continue;
        u.cpuNs += t.cpuNs;
        u.wakeUps += t.voluntarySwitches;
    }
    return u;
}

int64_t processCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void printIdle(const char* what, const Usage& before, const Usage& after, int64_t cpuNs, double seconds)
{
    const double cpuMs = double(cpuNs) / 1e6;
    std::printf("  %-58s CPU %.3f ms (%.4f %% of a core), %.1f wake-ups per second\n", what, cpuMs,
                cpuMs / (seconds * 1e3) * 100.0, double(after.wakeUps - before.wakeUps) / seconds);
}
}

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;
    const int objects = std::min(n, 1000);
    SimDeviceOnPty sim(kDevice);
    for (int i = 0; i < objects; ++i) {
        const uint32_t v = 0xA5000000u + uint32_t(i);
        sim.device.addObject(objectIndex(i), uint8_t(i % 256), CO_UNSIGNED32,
                             QByteArray(reinterpret_cast<const char*>(&v), 4));
    }
    if (openCanLink(sim.adapter.slavePath(), 0, "250000", nullptr) != CAN_LINK_OPEN) {
        std::fprintf(stderr, "cannot open the link to %s\n", qPrintable(sim.adapter.slavePath()));
        return 1;
    }
    pointSdoClientAt(kDevice);

    const Spread isolated = timeReads(n / 2, objects, std::chrono::milliseconds(5));
    const auto begin = Clock::now();
    const Spread burst = timeReads(n, objects, std::chrono::microseconds(0));
    const double burstS = std::chrono::duration<double>(Clock::now() - begin).count();

    // The link stays open with nothing to do.
    const double idleS = 5.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const QList<TaskStats> idleStart = processTasks();
    const int64_t processStart = processCpuNs();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleS));
    const int64_t processCpu = processCpuNs() - processStart;
    const QList<TaskStats> idleEnd = processTasks();
    closeCanLink(nullptr);

    std::printf("Synchronous SDO reads of one UNSIGNED32 over the pty from the simulated device\n");
    printSpread("isolated (one every 5 ms)", n / 2, isolated, "target: median <= 0.35 ms");
    printSpread("back to back", n, burst, "target: <= 1.15 ms, the pacing floor plus 15 %");
    std::printf("  back to back: %.0f reads per second\n", n / burstS);
    std::printf("  pacing floor: one line per %.3f ms, so %.3f ms per read back to back\n", kPacingFloorMs,
                kPacingFloorMs);
    printWireTime(250000);
    printWireTime(1000000);

    std::printf("Open link, idle for %.0f s  [target: <= 0.1 %% of a core, <= 10 wake-ups per second]\n", idleS);
    const Usage linkBefore = usageOf(idleStart, true), linkAfter = usageOf(idleEnd, true);
    printIdle("link threads (can-receive, can-timer, slcan-writer):", linkBefore, linkAfter,
              linkAfter.cpuNs - linkBefore.cpuNs, idleS);
    printIdle("whole process (simulated adapter and device included):", usageOf(idleStart, false),
              usageOf(idleEnd, false), processCpu, idleS);
    return isolated.failed + burst.failed ? 1 : 0;
}
