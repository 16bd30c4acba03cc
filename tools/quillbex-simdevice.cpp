// Serves a simulated SLCAN adapter with a CANopen device behind it on a
// pseudo-terminal until SIGINT or SIGTERM; the tool opens the printed path as
// its port.
//
//   quillbex-simdevice [--table FILE | --bare] [--node ID] [--type N] [--object INDEX:SUB:TYPE:HEX]...
#include "canopen/node.h"
#include "sim/simdevice.h"
#include "sim/simdevicejson.h"
#include "sim/stalemark.h"

#include <QFileInfo>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>

namespace {
void usage()
{
    std::fprintf(stderr,
                 "usage: quillbex-simdevice [--table FILE | --bare] [--node ID] [--type N] "
                 "[--object INDEX:SUB:TYPE:HEX]...\n"
                 "  --table FILE an object table (simdevice.json); by default the sample device's\n"
                 "               table beside this program, so the tool's sample pages fill\n"
                 "  --bare       no table: only the standard objects\n"
                 "  --node ID    the device's node id, 1 to 127 (default: the table's, else 31)\n"
                 "  --type N     device type number the device reports in 0x2000 sub 1 (default 1;\n"
                 "               a table that holds 0x2000 sub 1 decides instead)\n"
                 "  --object     one more object, all fields hex: 2100:1:7:78563412 is an\n"
                 "               UNSIGNED32 at 0x2100 sub 1 holding 0x12345678 (bytes as on the bus)\n");
}

bool addObject(SimCanDevice& device, const QString& objectText)
{
    const QStringList f = objectText.split(':');
    if (f.size() != 4)
        return false;
    bool okIndex = false, okSub = false, okType = false;
    const uint index = f[0].toUInt(&okIndex, 16);
    const uint sub = f[1].toUInt(&okSub, 16);
    const uint type = f[2].toUInt(&okType, 16);
    const QByteArray hex = f[3].toLatin1();
    const QByteArray value = QByteArray::fromHex(hex);
    if (!okIndex || !okSub || !okType || index > 0xFFFF || sub > 0xFF || type > 0xFF || value.isEmpty()
        || value.toHex() != hex.toLower())
        return false;
    device.addObject(uint16_t(index), uint8_t(sub), uint8_t(type), value);
    return true;
}

QByteArray le(uint32_t v, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

void addStandardObjects(SimCanDevice& device, uint16_t type)
{
    device.addObject(0x1000, 0, CO_UNSIGNED32, le(0x00000191, 4), SimCanDevice::ReadOnly);
    device.addObject(0x1008, 0, CO_VISIBLE_STRING, "Quillbex simulated device", SimCanDevice::ReadOnly);
    device.addObject(0x1011, 0, CO_UNSIGNED8, le(1, 1), SimCanDevice::ReadOnly);
    device.addObject(0x1011, 1, CO_UNSIGNED32, le(1, 4)); // "load" restores the defaults
    device.addObject(0x1018, 0, CO_UNSIGNED8, le(4, 1), SimCanDevice::ReadOnly);
    for (uint8_t sub = 1; sub <= 4; ++sub)
        device.addObject(0x1018, sub, CO_UNSIGNED32, le(sub, 4), SimCanDevice::ReadOnly);
    device.addObject(0x2000, 0, CO_UNSIGNED8, le(1, 1), SimCanDevice::ReadOnly);
    device.addObject(0x2000, 1, CO_UNSIGNED16, le(type, 2), SimCanDevice::ReadOnly);
    // "boot" written here restarts the device: silent, then its boot-up frame.
    device.addObject(0x2001, 0x0A, CO_UNSIGNED32, le(0, 4));
    device.setRebootOnWrite(0x2001, 0x0A, 2000);
}

QString sampleTable()
{
    const QString dir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
    return dir + QStringLiteral("/ConfigurationData/UiData/DemoDrive/simdevice.json");
}
}

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so every thread inherits the mask and
    // the signals wait for sigwait below. A shell starts background jobs with
    // SIGINT ignored, and an ignored signal never reaches sigwait.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    int nodeId = -1;
    uint type = 1;
    QStringList objects;
    QString table = sampleTable();
    bool bare = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        bool ok = hasValue;
        if (arg == "--node" && hasValue) {
            nodeId = QString::fromLocal8Bit(argv[++i]).toInt(&ok, 0);
            ok = ok && nodeId >= 1 && nodeId <= 127;
        } else if (arg == "--type" && hasValue) {
            type = QString::fromLocal8Bit(argv[++i]).toUInt(&ok, 0);
            ok = ok && type <= 0xFFFF;
        } else if (arg == "--table" && hasValue) {
            table = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--bare") {
            bare = true;
            ok = true;
        } else if (arg == "--object" && hasValue) {
            objects << QString::fromLocal8Bit(argv[++i]);
        } else {
            ok = false;
        }
        if (!ok) {
            usage();
            return 2;
        }
    }

    // The table is read twice: first for its node id, which the device needs
    // before anything else.
    if (!bare) {
        SimCanDevice probe(1);
        QString error;
        const int tableNode = loadSimDeviceJson(table, &probe, &error);
        if (tableNode < 0) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        if (nodeId < 0 && tableNode >= 1 && tableNode <= 127)
            nodeId = tableNode;
    }
    if (nodeId < 0)
        nodeId = 31;

    auto sim = std::make_unique<SimDeviceOnPty>(uint8_t(nodeId));
    if (!sim->adapter.ok()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal pair\n");
        return 1;
    }
    // It may serve for days: no history of the line.
    sim->adapter.setHistoryLimit(0);
    addStandardObjects(sim->device, uint16_t(type));
    // The table's objects take the place of standard ones of the same address.
    if (!bare) {
        QString error;
        if (loadSimDeviceJson(table, &sim->device, &error) < 0) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
    }
    for (const QString& objectText : objects) {
        if (!addObject(sim->device, objectText)) {
            std::fprintf(stderr, "bad object '%s'\n", qPrintable(objectText));
            usage();
            return 2;
        }
    }

    // A host that ends without letting go of the line leaves its exclusive
    // mark behind, and the next connect is refused. The sweeper, made before
    // the path is out, clears such a mark once nobody stands behind it.
    const QByteArray slavePath = sim->adapter.slavePath().toLocal8Bit();
    StaleMarkSweeper sweeper(slavePath.toStdString());

    std::printf("%s\n", slavePath.constData());
    std::fflush(stdout);
    std::fprintf(stderr, "Simulated adapter ready; CANopen device at node id %d, objects %s. "
                         "Open the path above as the port. Stop with Ctrl+C.\n",
                 nodeId, bare ? "standard only" : qPrintable(table));

    // Ten looks a second at the line, whatever goes over it: the look may
    // walk /proc. The lines themselves are nobody's business here.
    const timespec sweepEvery = {0, 100 * 1000 * 1000};
    for (;;) {
        const int received = sigtimedwait(&stopSignals, nullptr, &sweepEvery);
        if (received == SIGINT || received == SIGTERM)
            break;
        sweeper.sweep();
    }
    sim.reset();
    return 0;
}
