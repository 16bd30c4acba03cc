// Uploads and downloads 1 MB through the DFU engine and the simulated USB bus
// (a DfuSe device with "@Flash /0x08000000/512*2Kg", transfer size 2048, poll
// time-out 0) and prints the engine's own cost per 2 KB block beside the time
// the same block takes on a full-speed USB bus.
//
//   bench_dfu
#include "firmware/dfuengine.h"

#include "dfufilebuilder.h"
#include "simusb.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t kBase = 0x08000000;
const uint32_t kPages = 512;
const uint32_t kPage = 2048;
const uint32_t kSize = kPages * kPage;

// A 2 KB control transfer on a full-speed bus: 32 data packets of 64 bytes,
// at most 19 such transactions fit in a 1 ms frame, plus setup and status
// stages and the status poll of each block: at least 2 ms per block.
const double kBusFloorUs = 2000.0;
const double kTargetUs = 50.0;

int g_failures = 0;
std::vector<Clock::time_point> g_blocks;

void countFailures(const char*, int kind)
{
    g_failures += kind == DFU_LOG_FAILURE;
}

void quiet(int, const char*)
{
}

double medianGapUs(const std::vector<Clock::time_point>& stamps)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::micro>(stamps[i] - stamps[i - 1]).count());
    if (gaps.empty())
        return 0;
    std::sort(gaps.begin(), gaps.end());
    return gaps[gaps.size() / 2];
}

void report(const char* what, double seconds, const std::vector<Clock::time_point>& stamps)
{
    const double median = medianGapUs(stamps);
    std::printf("%s of %u bytes: %.3f s in total, %zu blocks of 2 KB\n", what, kSize, seconds, stamps.size());
    std::printf("  median per block: %.1f us (target <= %.0f us, %.2f%% of the >= %.0f us a block takes on a "
                "full-speed bus)\n",
                median, kTargetUs, 100.0 * median / kBusFloorUs, kBusFloorUs);
}

} // namespace

int main()
{
    dfu_set_trace(quiet);
    char folder[] = "/tmp/bench_dfu_XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string uploadPath = std::string(folder) + "/upload.bin";
    const std::string downloadPath = std::string(folder) + "/download.dfu";

    SimUsbBus bus;
    SimDfuConfig config;
    config.altNames = {"@Flash /0x08000000/512*2Kg"};
    config.memory = {SimSegment{kBase, kPage, kPages}};
    config.transferSize = 2048;
    config.pollTimeout = 0;
    SimDfuDevice& device = bus.plug(config);
    device.setMemory(kBase, dfutest::pattern(kSize, 1));
    // Data blocks are numbered from 2; block 0 carries the commands.
    bus.setRequestObserver([](uint8_t request, uint16_t block) {
        if ((request == 1 || request == 2) && block >= 2)
            g_blocks.push_back(Clock::now());
    });
    g_blocks.reserve(2 * kPages + 16);

    auto begin = Clock::now();
    const int up = dfu_upload_entry(uploadPath.c_str(), countFailures, nullptr);
    const double upSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    const std::vector<Clock::time_point> upBlocks = g_blocks;
    const bool upOk = up == 0 && dfutest::readFile(uploadPath) == device.memory(kBase, kSize);

    const dfutest::Bytes image = dfutest::pattern(kSize, 2);
    dfutest::writeFile(downloadPath, dfutest::dfuseFile({dfutest::Target{0, "Flash", {{kBase, image}}}}));
    g_blocks.clear();
    begin = Clock::now();
    const int down = dfu_download_entry(downloadPath.c_str(), countFailures, nullptr);
    const double downSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    const bool downOk = down == 0 && device.memory(kBase, kSize) == image;

    report("Upload", upSeconds, upBlocks);
    report("Download", downSeconds, g_blocks);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak memory (resident): %ld KB\n", usage.ru_maxrss);
    std::printf("Results: upload %s, download %s, %d red lines\n", upOk ? "equal to the flash" : "WRONG",
                downOk ? "equal to the image" : "WRONG", g_failures);
    unlink(uploadPath.c_str());
    unlink(downloadPath.c_str());
    rmdir(folder);
    return upOk && downOk && g_failures == 0 ? 0 : 1;
}
