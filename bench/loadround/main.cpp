// One load round of 300 watched parameters over the real link, against the
// simulated adapter and device answering at once. Prints the round's time and
// the time per parameter; the second round reads the same values again, so
// it reports nothing to the pages.
#include "canopen/node.h"
#include "link/connectionsettings.h"
#include "pages/customdsloadthread.h"
#include "pages/qcustomds.h"
#include "sim/simdevice.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {
constexpr int kParams = 300;
constexpr uint8_t kNode = 31;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    registerCustomParamMetaType();

    SimDeviceOnPty sim(kNode);
    sim.device.addObject(0x2000, 1, CO_UNSIGNED16, QByteArray::fromHex("0701"));
    sim.device.addObject(0x1000, 0, CO_UNSIGNED32, QByteArray::fromHex("91010000"));
    for (int i = 0; i < kParams; ++i)
        sim.device.addObject(uint16_t(0x3000 + i), 0, CO_UNSIGNED32, QByteArray::fromHex("01020304"));

    ConnectionSettings& s = connectionSettings();
    s.portName = sim.adapter.slavePath();
    s.nodeId = kNode;
    auto ds = std::make_unique<QCustomDS>();
    if (!ds->connectDevice()) {
        std::fprintf(stderr, "no connection to the simulated device\n");
        return 1;
    }

    CustomDSLoadThread* load = ds->loadWorker();
    load->stopAndJoin(load->joinBoundMs());
    WorkerSettings ws = load->settings();
    ws.roundIntervalMs = 0;
    load->setSettings(ws);
    std::atomic<int> loaded{0};
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("U32"), 4, CO_UNSIGNED32);
    for (int i = 0; i < kParams; ++i) {
        auto p = SPCustomParam::create(QString::number(0x3000 + i, 16), QStringLiteral("0"),
                                       QStringLiteral("p%1").arg(i), type, false, true);
        ds->slotLoad(p, [&loaded](bool ok) { loaded += ok; });
    }

    const int before = sim.device.requestsSeen();
    const Clock::time_point start = Clock::now();
    load->startProcess();
    while (loaded.load() < kParams)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const Clock::time_point first = Clock::now();
    while (sim.device.requestsSeen() < before + 2 * kParams)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const Clock::time_point second = Clock::now();
    load->stopAndJoin(load->joinBoundMs());

    const double round1 = msBetween(start, first);
    const double round2 = msBetween(first, second);
    std::printf("load round, %d parameters, all new:       %8.1f ms, %6.3f ms per parameter\n", kParams, round1,
                round1 / kParams);
    std::printf("load round, %d parameters, all unchanged: %8.1f ms, %6.3f ms per parameter\n", kParams, round2,
                round2 / kParams);
    ds.reset();
    return 0;
}
