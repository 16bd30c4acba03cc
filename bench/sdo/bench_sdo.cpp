// Reads N objects (default 1000) through the synchronous SDO access over a
// pty from the simulated device, which answers at once, and prints the time
// per read beside the CAN wire time of one expedited read.
//
//   bench_sdo [N]
#include "link/canlink.h"
#include "link/sdoaccess.h"
#include "simdevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
const uint8_t kDevice = 0x22;

// One CAN 2.0A data frame with 8 data bytes: 108 bits of frame and 3 of
// interframe space; up to 24 stuff bits in the 98 bits from SOF to CRC.
const int kFrameBits = 111;
const int kStuffBitsMax = 24;

void printWireTime(int bitsPerSecond)
{
    // An expedited read is one request and one answer.
    const double least = 2.0 * kFrameBits / bitsPerSecond * 1e3;
    const double most = 2.0 * (kFrameBits + kStuffBitsMax) / bitsPerSecond * 1e3;
    std::printf("  CAN wire time of one expedited read at %7d bit/s: %.3f ms (%.3f ms with worst-case stuffing)\n",
                bitsPerSecond, least, most);
}
}

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    SimDeviceOnPty sim(kDevice);
    for (int i = 0; i < n; ++i) {
        const uint32_t v = 0xA5000000u + uint32_t(i);
        sim.device.addObject(uint16_t(0x4000 + i / 256), uint8_t(i % 256), CO_UNSIGNED32,
                             QByteArray(reinterpret_cast<const char*>(&v), 4));
    }
    if (openCanLink(sim.adapter.slavePath(), 0, "250000", nullptr) != CAN_LINK_OPEN) {
        std::fprintf(stderr, "cannot open the link to %s\n", qPrintable(sim.adapter.slavePath()));
        return 1;
    }
    pointSdoClientAt(kDevice);

    using Clock = std::chrono::steady_clock;
    std::vector<double> us;
    us.reserve(size_t(n));
    int failed = 0;
    const auto begin = Clock::now();
    for (int i = 0; i < n; ++i) {
        const auto t = Clock::now();
        const SdoOutcome out = sdoReadOnce(kDevice, uint16_t(0x4000 + i / 256), uint8_t(i % 256), CO_UNSIGNED32, 800);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
        if (!out.ok || out.data.size() != 4)
            ++failed;
    }
    const double totalS = std::chrono::duration<double>(Clock::now() - begin).count();
    closeCanLink(nullptr);

    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p95 = us[std::min(us.size() - 1, us.size() * 95 / 100)];
    std::printf("%d synchronous SDO reads over the pty (%d failed)\n", n, failed);
    std::printf("  per read: median %.3f ms, 95th percentile %.3f ms, max %.3f ms\n", median / 1e3, p95 / 1e3,
                us.back() / 1e3);
    std::printf("  reads per second: %.0f\n", n / totalS);
    printWireTime(250000);
    printWireTime(1000000);
    return failed ? 1 : 0;
}
