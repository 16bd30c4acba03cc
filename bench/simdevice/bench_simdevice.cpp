// The simulator program over a long session: SDO reads paced at one a
// millisecond, as the tool sends them, through the real link. It prints the
// simulator's CPU time per read over the first reads and over the last ones,
// and how much its resident memory grew after the first quarter, beside
// what a flat cost allows.
//
//   bench_simdevice [N]     N reads (default 20000)
#include "boundprocess.h"
#include "link/canlink.h"
#include "link/sdoaccess.h"
#include "taskstats.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
const uint8_t kDevice = 31;  // the simulator's node id with no table
const int kWindow = 2000;    // reads per CPU figure
// A flat cost: the last reads at most twice the first ones' CPU time, and
// the memory after the first quarter within 1 MB.
const double kRatioBound = 2.0;
const long kGrowthBoundKb = 1024;

int64_t cpuNs(qint64 pid)
{
    int64_t ns = 0;
    for (const TaskStats& t : processTasks(pid))
        ns += t.cpuNs;
    return ns;
}

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(4 * kWindow, std::atoi(argv[1])) : 20000;
    BoundProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QStringLiteral(SIMDEVICE_PROGRAM), {QStringLiteral("--bare")});
    if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QString path = QString::fromLocal8Bit(simulator.readLine().trimmed());
    const qint64 pid = simulator.processId();
    if (openCanLink(path, 0, "250000", nullptr) != CAN_LINK_OPEN) {
        std::fprintf(stderr, "cannot open the link to %s\n", qPrintable(path));
        return 1;
    }
    pointSdoClientAt(kDevice);

    int failed = 0;
    int64_t firstNs = 0, lastNs = 0, windowStart = cpuNs(pid);
    long quarterKb = -1;
    auto next = Clock::now();
    for (int i = 0; i < n; ++i) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(1);
        if (!sdoReadOnce(kDevice, 0x1000, 0, CO_UNSIGNED32, 800).ok)
            ++failed;
        if (i + 1 == kWindow)
            firstNs = cpuNs(pid) - windowStart;
        if (i + 1 == n / 4)
            quarterKb = residentKb(pid);
        if (i + 1 == n - kWindow)
            windowStart = cpuNs(pid);
    }
    lastNs = cpuNs(pid) - windowStart;
    const long endKb = residentKb(pid);
    closeCanLink(nullptr);
    simulator.terminate();
    simulator.waitForFinished(5000);

    const double firstUs = double(firstNs) / kWindow / 1e3;
    const double lastUs = double(lastNs) / kWindow / 1e3;
    std::printf("The simulator program serving %d SDO reads paced at one a millisecond (%d failed)\n", n, failed);
    std::printf("  CPU per read, reads 1-%d: %.1f us; reads %d-%d: %.1f us; ratio %.2f  [target: <= %.1f]\n", kWindow,
                firstUs, n - kWindow + 1, n, lastUs, lastUs / firstUs, kRatioBound);
    std::printf("  resident memory after %d reads: %ld kB; after %d: %ld kB; grew %ld kB  [target: <= %ld kB]\n",
                n / 4, quarterKb, n, endKb, endKb - quarterKb, kGrowthBoundKb);
    std::printf("  pacing floor: one read per millisecond, so %.1f s in all\n", n / 1000.0);
    return failed ? 1 : 0;
}
