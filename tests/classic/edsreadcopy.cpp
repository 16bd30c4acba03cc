// Stands in for a second copy of the application that reads its own device's
// EDS into the same device folder as the test: a simulated device of its own
// carries the packed stream from a file. It reads once another copy's work
// folder shows in the device folder (so that the two reads overlap), logs
// its red lines on standard error and then creates the done file.
//
//   edsreadcopy <helper> <application folder> <stream file> <checksum, hex> <done file>
#include "classic/edsdevice.h"
#include "hostfixture.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace {
const uint8_t kNode = 0x31;

bool workFolderShows(const QString& folder)
{
    return !QDir(folder).entryList({QStringLiteral(".eds-*")}, QDir::Dirs | QDir::Hidden).isEmpty();
}
}

int main(int argc, char** argv)
{
    // Goes with the test that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        return 2;
    QFile stream(args[3]);
    bool ok = false;
    const quint32 checksum = args[4].toUInt(&ok, 16);
    if (!ok || !stream.open(QIODevice::ReadOnly))
        return 2;

    SimDeviceOnPty sim(kNode);
    sim.device.addObject(0x2000, 6, CO_UNSIGNED32, littleEndian(checksum, 4));
    sim.device.addObject(0x1021, 0, CO_DOMAIN, stream.readAll());
    if (openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) != CAN_LINK_OPEN)
        return 2;
    pointSdoClientAt(kNode);
    connectionSettings().nodeId = kNode;
    HostFixture host(args[2]);
    host.host.edsUnpacker = args[1];

    const QDeadlineTimer bound(30000);
    while (!workFolderShows(host.host.deviceFolder()) && !bound.hasExpired())
        QThread::msleep(5);
    QString path;
    const bool read = workFolderShows(host.host.deviceFolder()) && readEdsFromDevice(host.host, path);
    for (const QString& line : host.errors())
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    closeCanLink(nullptr);
    QFile done(args[5]);
    done.open(QIODevice::WriteOnly);
    return read ? 0 : 1;
}
