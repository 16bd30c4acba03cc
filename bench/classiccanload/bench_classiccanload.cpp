// One cycle of the classic CAN page's load worker over 300 UNSIGNED32 records,
// against the simulated adapter and device answering at once, pause 0: the
// first cycle finds every value new, the second finds them unchanged. Beside
// it, in the same process and over the same link, 300 back-to-back single
// reads of the same objects: the SDO path's own cost, the floor of a cycle.
// Target: a cycle within 1 s (its own pause) and within 10% of the pages'
// load round of 300 (bench_loadround), which runs the same SDO path.
//
//   bench_classiccanload [rounds]   cycles measured (default 5); medians printed
#include "classic/canvalues.h"
#include "classic/loadcandatathread.h"
#include "classic/paramentry.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr int kRecords = 300;
constexpr uint8_t kNode = 31;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    SimDeviceOnPty sim(kNode);
    sim.device.addObject(0x1000, 0, CO_UNSIGNED32, littleEndian(0x191, 4));
    for (int i = 0; i < kRecords; ++i)
        sim.device.addObject(uint16_t(0x3000 + i), 0, CO_UNSIGNED32, littleEndian(0x01020304, 4));
    if (openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) != CAN_LINK_OPEN) {
        std::fprintf(stderr, "no link to the simulated device\n");
        return 1;
    }
    pointSdoClientAt(kNode);
    ConnectionSettings& s = connectionSettings();
    s.nodeId = kNode;

    // The single reads first: the path each record of a cycle takes.
    std::vector<double> singles;
    for (int r = 0; r < rounds; ++r) {
        const Clock::time_point t = Clock::now();
        for (int i = 0; i < kRecords; ++i)
            if (!sdoRead(kNode, uint16_t(0x3000 + i), 0, CO_UNSIGNED32, s.responseTimeoutMs, 1).ok)
                std::fprintf(stderr, "single read of %x failed\n", 0x3000 + i);
        singles.push_back(msBetween(t, Clock::now()));
    }

    ParamEntryMap map;
    QVector<ParamEntry*> list;
    for (int i = 0; i < kRecords; ++i) {
        const QString name = QStringLiteral("p%1").arg(i);
        ParamEntry& e = map.insert(name);
        e.name = name;
        e.caption = name;
        e.canDataType = CanUnsigned32;
        e.byteSize = 4;
        e.objectIndex = QString::number(0x3000 + i, 16);
        e.objectSubIndex = QStringLiteral("0");
        list << &e;
    }

    std::vector<double> fresh, unchanged;
    int failures = 0;
    for (int r = 0; r < rounds; ++r) {
        for (ParamEntry* e : list)
            setCanValue(*e, CanValue());
        LoadCanDataThread worker;
        worker.setPauseMs(0);
        std::atomic<int> cycles{0};
        Clock::time_point ends[2];
        // Changed values reach this thread queued, as they reach the window.
        int changed = 0;
        QObject::connect(&worker, &LoadCanDataThread::paramLoaded, &app, [&changed] { ++changed; });
        QObject::connect(&worker, &LoadCanDataThread::paramLoadingFail, &app, [&failures] { ++failures; });
        QObject::connect(
            &worker, &LoadCanDataThread::paramsLoaded, &worker,
            [&] {
                const int n = cycles.load();
                if (n < 2)
                    ends[n] = Clock::now();
                cycles.store(n + 1);
            },
            Qt::DirectConnection);
        const Clock::time_point start = Clock::now();
        worker.startLoad(list);
        while (cycles.load() < 2)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        worker.stopProcess();
        worker.wait();
        QCoreApplication::processEvents();
        if (changed != kRecords)
            std::fprintf(stderr, "round %d: %d values reported changed, %d expected\n", r, changed, kRecords);
        fresh.push_back(msBetween(start, ends[0]));
        unchanged.push_back(msBetween(ends[0], ends[1]));
    }
    closeCanLink(nullptr);

    const double single = median(singles);
    std::printf("classic CAN load cycle, %d UNSIGNED32 records, pause 0, median of %d:\n", kRecords, rounds);
    std::printf("  cycle, all values new:         %8.1f ms, %6.3f ms per record\n", median(fresh),
                median(fresh) / kRecords);
    std::printf("  cycle, all values unchanged:   %8.1f ms, %6.3f ms per record\n", median(unchanged),
                median(unchanged) / kRecords);
    std::printf("  %d back-to-back single reads: %8.1f ms, %6.3f ms per read  [floor: the same SDO path]\n",
                kRecords, single, single / kRecords);
    std::printf("  target: a cycle <= 1000 ms, within 10%% of bench_loadround's round of %d\n", kRecords);
    if (failures)
        std::printf("  %d records failed\n", failures);
    return 0;
}
