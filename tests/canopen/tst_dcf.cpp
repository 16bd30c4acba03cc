// Concise-DCF start-up: a master node of the stack with an SDO client and a
// DCF for node 0x20 starts a slave node of the stack on the test bus.
#include "canopen/dcf.h"
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"
#include "sdoscript.h"

#include <QTest>

#include <cstring>
#include <memory>

namespace {
std::unique_ptr<TestBus> bus;
const uint8_t kSlave = 0x20;

// Master: SDO client (claimed on first use) and 0x1F22 up to sub 0x21.
uint32_t masterType = 0x191;
uint8_t clientCount = 3;
uint32_t clientTx = 0, clientRx = 0;
uint8_t clientNode = 0;
uint8_t dcfCount = 0x21;
SubEntry m1000[] = {{OD_RO, CO_UNSIGNED32, 4, &masterType}};
SubEntry m1280[] = {{OD_RO, CO_UNSIGNED8, 1, &clientCount},
                    {OD_RW, CO_UNSIGNED32, 4, &clientTx},
                    {OD_RW, CO_UNSIGNED32, 4, &clientRx},
                    {OD_RW, CO_UNSIGNED8, 1, &clientNode}};
SubEntry m1F22[0x22];
const ObjectEntry masterDictionary[] = {
    {m1000, 1, 0x1000, nullptr}, {m1280, 4, 0x1280, nullptr}, {m1F22, 0x22, 0x1F22, nullptr}};
CanOpenNode master;
QByteArray blob;

// Slave: SDO server and the objects the DCF sets.
struct SlaveValues {
    uint32_t deviceType = 0x191;
    uint8_t serverCount = 2;
    uint32_t serverRx = 0x600, serverTx = 0x580;
    uint8_t storeCount = 1;
    uint32_t store = 0;
    uint32_t word = 0x11223344;
    uint16_t half = 0x5566;
    char text[10] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'};
    uint8_t fixed = 1;
};
SlaveValues sv;
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &sv.deviceType}};
SubEntry s1010[] = {{OD_RO, CO_UNSIGNED8, 1, &sv.storeCount}, {OD_RW, CO_UNSIGNED32, 4, &sv.store}};
SubEntry s1200[] = {{OD_RO, CO_UNSIGNED8, 1, &sv.serverCount},
                    {OD_RO, CO_UNSIGNED32, 4, &sv.serverRx},
                    {OD_RO, CO_UNSIGNED32, 4, &sv.serverTx}};
SubEntry s2000[] = {{OD_RW, CO_UNSIGNED32, 4, &sv.word}};
SubEntry s2001[] = {{OD_RW, CO_UNSIGNED16, 2, &sv.half}};
SubEntry s2002[] = {{OD_RW, CO_DOMAIN, 10, sv.text}};
SubEntry s2003[] = {{OD_RO, CO_UNSIGNED8, 1, &sv.fixed}};
const ObjectEntry slaveDictionary[] = {{s1000, 1, 0x1000, nullptr}, {s1010, 2, 0x1010, nullptr},
                                       {s1200, 3, 0x1200, nullptr}, {s2000, 1, 0x2000, nullptr},
                                       {s2001, 1, 0x2001, nullptr}, {s2002, 1, 0x2002, nullptr},
                                       {s2003, 1, 0x2003, nullptr}};
CanOpenNode slave;

struct DcfEntry {
    uint16_t index;
    QByteArray value;
};

QByteArray le(uint32_t v, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += char(v >> (8 * i));
    return out;
}

QByteArray makeDcf(const QList<DcfEntry>& entries)
{
    QByteArray out = le(uint32_t(entries.size()), 4);
    for (const DcfEntry& e : entries)
        out += le(e.index, 2) + le(0, 1) + le(uint32_t(e.value.size()), 4) + e.value;
    return out;
}

void installDcf(const QByteArray& data)
{
    blob = data;
    m1F22[kSlave] = {OD_RW, CO_DOMAIN, uint32_t(blob.size()), blob.data()};
}

// What the master put on the bus, in short: "read 2000", "write 2001",
// "abort 2003", "start 20"; segments are left out.
QStringList pumpBus(bool slaveSilent = false)
{
    QStringList seen;
    bus->pump([&](const CanFrame& f) {
        const uint8_t* d = f.data;
        const QString object = QString::asprintf("%04X", d[1] | d[2] << 8);
        if (f.id == 0x000)
            seen << QString::asprintf("start %02X", d[1]);
        else if (f.id == 0x600 + kSlave && d[0] == 0x40)
            seen << "read " + object;
        else if (f.id == 0x600 + kSlave && (d[0] & 0xE0) == 0x20)
            seen << "write " + object;
        else if (f.id == 0x600 + kSlave && d[0] == 0x80)
            seen << "abort " + object;
        return !(slaveSilent && f.id == 0x600 + kSlave);
    });
    return seen;
}

bool linesFree(const CanOpenNode& node)
{
    for (const SdoLine& line : node.sdo) {
        if (line.state != SDO_FREE)
            return false;
    }
    return true;
}

const QByteArray kText("ABCDEFGHIJ");
}

class TstDcf : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        bus = std::make_unique<TestBus>();
        QVERIFY(bus->attach(&master));
        QVERIFY(bus->attach(&slave));
    }
    void cleanupTestCase()
    {
        bus.reset();
        resetSdoLines(&master);
        resetSdoLines(&slave);
    }
    void init()
    {
        CanOpenLock lock;
        initCanOpenTimer();
        resetSdoLines(&master);
        resetSdoLines(&slave);
        clientTx = clientRx = 0;
        clientNode = 0;
        m1F22[0] = {OD_RO, CO_UNSIGNED8, 1, &dcfCount};
        for (int i = 1; i < 0x22; ++i)
            m1F22[i] = {OD_RW, CO_DOMAIN, 0, nullptr};
        initCanOpenNode(&master, masterDictionary, 3);
        assignNodeId(&master, 1);
        setNodeState(&master, NMT_INITIALISATION);
        sv = SlaveValues{};
        initCanOpenNode(&slave, slaveDictionary, 7);
        slave.slave = 1;
        assignNodeId(&slave, kSlave);
        setNodeState(&slave, NMT_INITIALISATION);
        bus->takeSent(&master);
        bus->takeSent(&slave);
    }

    void equalValuesStartTheNodeAtOnce()
    {
        CanOpenLock lock;
        installDcf(makeDcf({{0x2000, le(0x11223344, 4)}, {0x2001, le(0x5566, 2)}, {0x2002, kText}}));
        // Node 0x21 has booted and has no DCF: it follows.
        master.remoteState[0x21] = NMT_BOOT_UP_SEEN;
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), 0);
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), int(DCF_REFUSED)); // one at a time
        QCOMPARE(pumpBus(), (QStringList{"read 2000", "read 2001", "read 2002", "start 20", "start 21"}));
        QCOMPARE(master.remoteState[kSlave], uint32_t(NMT_OPERATIONAL));
        QCOMPARE(master.remoteState[0x21], uint32_t(NMT_OPERATIONAL));
        QCOMPARE(slave.nmtState, uint32_t(NMT_OPERATIONAL));
        QCOMPARE(master.nmtState, uint32_t(NMT_OPERATIONAL));
        QVERIFY(linesFree(master));
    }

    void aDifferenceWritesEveryEntry()
    {
        CanOpenLock lock;
        installDcf(makeDcf({{0x2000, le(0x11223344, 4)}, {0x2001, le(0x7788, 2)}, {0x2002, "KLMNOPQRST"}}));
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), 0);
        QCOMPARE(pumpBus(), (QStringList{"read 2000", "read 2001", "write 2000", "write 2001", "write 2002",
                                         "start 20"}));
        QCOMPARE(sv.word, 0x11223344u);
        QCOMPARE(int(sv.half), 0x7788);
        QCOMPARE(QByteArray(sv.text, 10), QByteArray("KLMNOPQRST"));
        QCOMPARE(master.remoteState[kSlave], uint32_t(NMT_OPERATIONAL));
        QCOMPARE(master.nmtState, uint32_t(NMT_OPERATIONAL));
    }

    void aFailedTransferMarksTheNode_data()
    {
        QTest::addColumn<uint>("index");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("device aborts the read") << 0x2005u << false << QStringList{"read 2005"};
        QTest::newRow("device refuses the write") << 0x2003u << false << QStringList{"read 2003", "write 2003"};
        QTest::newRow("no answer") << 0x2000u << true << QStringList{"read 2000", "abort 2000"};
    }
    void aFailedTransferMarksTheNode()
    {
        QFETCH(uint, index);
        QFETCH(bool, silent);
        QFETCH(QStringList, seen);
        CanOpenLock lock;
        installDcf(makeDcf({{uint16_t(index), le(2, 1)}, {0x2001, le(0x7788, 2)}}));
        master.remoteState[kSlave] = NMT_BOOT_UP_SEEN;
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), 0);
        QStringList all = pumpBus(silent);
        bus->advance(SDO_TIMEOUT_MS);
        all << pumpBus(silent);
        QCOMPARE(all, seen);
        QCOMPARE(master.remoteState[kSlave], uint32_t(NMT_UNKNOWN));
        QCOMPARE(master.nmtState, uint32_t(NMT_PRE_OPERATIONAL));
        QCOMPARE(int(sv.half), 0x5566);
        QVERIFY(linesFree(master));
        // Nothing is left running: the next start works.
        installDcf(makeDcf({}));
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), 0);
        QCOMPARE(pumpBus(), QStringList{"start 20"});
    }

    void aTruncatedBlobIsRefused_data()
    {
        const QByteArray whole = makeDcf({{0x2000, le(0x11223344, 4)}, {0x2001, le(0x7788, 2)}});
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("last value a byte short") << whole.left(whole.size() - 1);
        QTest::newRow("cut inside an entry header") << whole.left(4 + 11 + 3);
        QTest::newRow("more entries announced") << le(3, 4) + whole.mid(4);
        QTest::newRow("size past the end") << le(1, 4) + le(0x2000, 2) + le(0, 1) + le(0xFFFFFFF0u, 4) + "abcd";
        QTest::newRow("shorter than the count") << QByteArray("\x01\x00", 2);
    }
    void aTruncatedBlobIsRefused()
    {
        QFETCH(QByteArray, data);
        CanOpenLock lock;
        installDcf(data);
        master.remoteState[kSlave] = NMT_BOOT_UP_SEEN;
        QCOMPARE(int(startNodeWithDcf(&master, kSlave)), int(DCF_REFUSED));
        QVERIFY(pumpBus().isEmpty());
        QCOMPARE(master.remoteState[kSlave], uint32_t(NMT_UNKNOWN));
        QCOMPARE(int(sv.half), 0x5566);
        QCOMPARE(int(master.dcf.step), int(DCF_IDLE));
    }

    void withoutDcfTheNodeStartsAtOnce()
    {
        CanOpenLock lock;
        QCOMPARE(int(startNodeWithDcf(&master, 0x21)), 0);
        QCOMPARE(bus->takeSent(&master).size(), size_t(1));
        QCOMPARE(master.remoteState[0x21], uint32_t(NMT_OPERATIONAL));
        QCOMPARE(int(startNodeWithDcf(&master, 0)), int(DCF_REFUSED));
        QCOMPARE(int(startNodeWithDcf(&master, 128)), int(DCF_REFUSED));
        QVERIFY(bus->takeSent(&master).empty());
    }

    void storeWritesTheSignature_data()
    {
        QTest::addColumn<uint>("node");
        QTest::addColumn<uint>("stateAfter");
        QTest::addColumn<uint>("stored");
        QTest::newRow("stored") << uint(kSlave) << uint(NMT_OPERATIONAL) << 0x65766173u;
        QTest::newRow("nobody there") << 0x22u << uint(NMT_UNKNOWN) << 0u;
    }
    void storeWritesTheSignature()
    {
        QFETCH(uint, node);
        QFETCH(uint, stateAfter);
        QFETCH(uint, stored);
        CanOpenLock lock;
        master.remoteState[node] = NMT_OPERATIONAL;
        QCOMPARE(int(storeRemoteConfiguration(&master, uint8_t(node))), 0);
        bus->pump();
        bus->advance(SDO_TIMEOUT_MS);
        bus->pump();
        QCOMPARE(sv.store, stored);
        QCOMPARE(master.remoteState[node], uint32_t(stateAfter));
        QVERIFY(linesFree(master));
    }
};

QTEST_GUILESS_MAIN(TstDcf)
#include "tst_dcf.moc"
