// PDOs and SYNC between two nodes of the stack on the test bus: the tool's
// node (transmit PDO 0x223 of 0x2000, receive PDO 0x1C0 into eight one-bit
// flags) and a device whose receive PDO takes 0x223 and whose transmit PDOs
// feed the tool.
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/pdo.h"
#include "canopen/port.h"
#include "canopen/sync.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"
#include "toolbus.h"

#include <QTest>

#include <memory>

namespace {
std::unique_ptr<TestBus> bus;

// The device: receive PDO 0x223 into 0x6000; transmit PDO 1 (0x1C0) sends
// 0x6001; transmit PDO 2 (0x2A0) maps 88 bits of 0x6002 to 0x6005.
struct DeviceValues {
    uint32_t deviceType = 0x191;
    uint8_t rpdoCommCount = 2;
    uint32_t rpdoCob = 0x223;
    uint8_t rpdoType = 254;
    uint8_t rpdoMapCount = 1;
    uint32_t rpdoMap = 0x60000008;
    uint8_t tpdoCommCount = 5;
    uint32_t tpdo1Cob = 0x1C0;
    uint8_t tpdo1Type = 254;
    uint16_t tpdo1Inhibit = 0;
    uint8_t tpdo1Reserved = 0;
    uint16_t tpdo1Event = 0;
    uint32_t tpdo2Cob = 0x2A0;
    uint8_t tpdo2Type = 253;
    uint16_t tpdo2Inhibit = 0;
    uint8_t tpdo2Reserved = 0;
    uint16_t tpdo2Event = 0;
    uint8_t tpdo1MapCount = 1;
    uint32_t tpdo1Map = 0x60010008;
    uint8_t tpdo2MapCount = 4;
    uint32_t tpdo2Map[4] = {0x60020008, 0x60030020, 0x60040010, 0x60050020};
    uint8_t received = 0;
    uint8_t sent = 0xA5;
    uint8_t a = 0x11;
    uint32_t b = 0x11223344;
    uint16_t c = 0x5566;
    uint32_t d = 0x778899AA;
};
DeviceValues dv;

SubEntry d1000[] = {{OD_RO, CO_UNSIGNED32, 4, &dv.deviceType}};
SubEntry d1400[] = {{OD_RO, CO_UNSIGNED8, 1, &dv.rpdoCommCount},
                    {OD_RW, CO_UNSIGNED32, 4, &dv.rpdoCob},
                    {OD_RW, CO_UNSIGNED8, 1, &dv.rpdoType}};
SubEntry d1600[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.rpdoMapCount}, {OD_RW, CO_UNSIGNED32, 4, &dv.rpdoMap}};
SubEntry d1800[] = {{OD_RO, CO_UNSIGNED8, 1, &dv.tpdoCommCount}, {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo1Cob},
                    {OD_RW, CO_UNSIGNED8, 1, &dv.tpdo1Type},      {OD_RW, CO_UNSIGNED16, 2, &dv.tpdo1Inhibit},
                    {OD_RW, CO_UNSIGNED8, 1, &dv.tpdo1Reserved},  {OD_RW, CO_UNSIGNED16, 2, &dv.tpdo1Event}};
SubEntry d1801[] = {{OD_RO, CO_UNSIGNED8, 1, &dv.tpdoCommCount}, {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo2Cob},
                    {OD_RW, CO_UNSIGNED8, 1, &dv.tpdo2Type},      {OD_RW, CO_UNSIGNED16, 2, &dv.tpdo2Inhibit},
                    {OD_RW, CO_UNSIGNED8, 1, &dv.tpdo2Reserved},  {OD_RW, CO_UNSIGNED16, 2, &dv.tpdo2Event}};
SubEntry d1A00[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.tpdo1MapCount}, {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo1Map}};
SubEntry d1A01[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.tpdo2MapCount},
                    {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo2Map[0]},
                    {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo2Map[1]},
                    {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo2Map[2]},
                    {OD_RW, CO_UNSIGNED32, 4, &dv.tpdo2Map[3]}};
SubEntry d6000[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.received}};
SubEntry d6001[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.sent}};
SubEntry d6002[] = {{OD_RW, CO_UNSIGNED8, 1, &dv.a}};
SubEntry d6003[] = {{OD_RW, CO_UNSIGNED32, 4, &dv.b}};
SubEntry d6004[] = {{OD_RW, CO_UNSIGNED16, 2, &dv.c}};
SubEntry d6005[] = {{OD_RW, CO_UNSIGNED32, 4, &dv.d}};
ObjectCallback watch1800[6], watch1801[6];
const ObjectEntry deviceDictionary[] = {
    {d1000, 1, 0x1000, nullptr},   {d1400, 3, 0x1400, nullptr},   {d1600, 2, 0x1600, nullptr},
    {d1800, 6, 0x1800, watch1800}, {d1801, 6, 0x1801, watch1801}, {d1A00, 2, 0x1A00, nullptr},
    {d1A01, 5, 0x1A01, nullptr},   {d6000, 1, 0x6000, nullptr},   {d6001, 1, 0x6001, nullptr},
    {d6002, 1, 0x6002, nullptr},   {d6003, 1, 0x6003, nullptr},   {d6004, 1, 0x6004, nullptr},
    {d6005, 1, 0x6005, nullptr}};
CanOpenNode device;

QStringList hooks;
void notePostSync(CanOpenNode*) { hooks << "post-SYNC"; }
void notePostTpdo(CanOpenNode*) { hooks << "post-TPDO"; }

QStringList sentBy(CanOpenNode* node)
{
    QStringList out;
    for (const CanFrame& f : bus->takeSent(node))
        out << (f.rtr ? "rtr " : "") + frameText(f);
    return out;
}

// Moves every frame on the bus to the other node; the frames moved, SYNCs
// left out.
QStringList pumpBus()
{
    QStringList moved;
    bus->pump([&](const CanFrame& f) {
        if (f.id != 0x080)
            moved << (f.rtr ? "rtr " : "") + frameText(f);
        return true;
    });
    return moved;
}

void write8(CanOpenNode* node, uint16_t index, uint8_t subIndex, uint8_t value)
{
    uint32_t size = 1;
    QCOMPARE(writeObjectEntry(node, index, subIndex, &value, &size, false), 0u);
}

uint8_t read8(CanOpenNode* node, uint16_t index)
{
    uint8_t value = 0xEE;
    uint32_t size = 1;
    readObjectEntry(node, index, 0, &value, &size, nullptr, false);
    return value;
}

void bringUp(CanOpenNode* node, uint8_t id)
{
    assignNodeId(node, id);
    setNodeState(node, NMT_INITIALISATION);
    setNodeState(node, NMT_OPERATIONAL);
}
}

class TstPdoSync : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(openToolBus(&bus, &device)); }
    void cleanupTestCase() { closeToolBus(&bus); }
    void init()
    {
        CanOpenLock lock;
        initCanOpenTimer();
        resetToolNode();
        dv = DeviceValues{};
        for (ObjectCallback* table : {watch1800, watch1801}) {
            for (int i = 0; i < 6; ++i)
                table[i] = nullptr;
        }
        initCanOpenNode(&device, deviceDictionary, sizeof deviceDictionary / sizeof deviceDictionary[0]);
        device.slave = 1;
        hooks.clear();
    }

    void bitCopy_data()
    {
        QTest::addColumn<uint>("source");
        QTest::addColumn<uint>("from");
        QTest::addColumn<uint>("to");
        QTest::addColumn<uint>("bits");
        QTest::addColumn<uint>("expected");
        // Destination starts as 0xFFFFFFFF: bits outside the copy stay set.
        QTest::newRow("whole byte") << 0xA5u << 0u << 0u << 8u << 0xFFFFFFA5u;
        QTest::newRow("one bit into bit 3") << 0x01u << 0u << 3u << 1u << 0xFFFFFFFFu;
        QTest::newRow("zero bit into bit 3") << 0x00u << 0u << 3u << 1u << 0xFFFFFFF7u;
        QTest::newRow("12 bits across bytes") << 0x00000ABCu << 0u << 6u << 12u << 0xFFFEAF3Fu;
        QTest::newRow("from an odd offset") << 0x000F0000u << 14u << 0u << 8u << 0xFFFFFF3Cu;
    }
    void bitCopy()
    {
        QFETCH(uint, source);
        QFETCH(uint, from);
        QFETCH(uint, to);
        QFETCH(uint, bits);
        QFETCH(uint, expected);
        uint8_t src[4] = {uint8_t(source), uint8_t(source >> 8), uint8_t(source >> 16), uint8_t(source >> 24)};
        uint8_t dst[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        copyBits(src, from, dst, to, bits);
        QCOMPARE(uint(dst[0] | dst[1] << 8 | dst[2] << 16 | uint(dst[3]) << 24), expected);
    }

    // Value A is in 0x2000 when SYNC comes, B when the device asks for the PDO.
    void transmissionTypes_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QStringList>("onSync");
        QTest::addColumn<QStringList>("onRequest");
        QTest::addColumn<uint>("landed");
        QTest::newRow("1: every SYNC") << 1u << QStringList{"223 5A"} << QStringList{"rtr 223"} << 0x5Au;
        QTest::newRow("252: built on SYNC, sent on request")
            << 252u << QStringList() << QStringList{"rtr 223", "223 5A"} << 0x5Au;
        QTest::newRow("253: built on request") << 253u << QStringList() << QStringList{"rtr 223", "223 6B"} << 0x6Bu;
        QTest::newRow("254: request restarts the event") << 254u << QStringList()
                                                          << QStringList{"rtr 223", "223 6B"} << 0x6Bu;
    }
    void transmissionTypes()
    {
        QFETCH(uint, type);
        QFETCH(QStringList, onSync);
        QFETCH(QStringList, onRequest);
        QFETCH(uint, landed);
        CanOpenLock lock;
        write8(&toolNode, 0x1800, 2, uint8_t(type));
        bringUp(&toolNode, 1);
        bringUp(&device, 0x20);
        pumpBus();
        write8(&toolNode, 0x2000, 0, 0x5A);
        startSync(&toolNode);
        bus->advance(50);
        stopSync(&toolNode);
        QCOMPARE(pumpBus(), onSync);
        write8(&toolNode, 0x2000, 0, 0x6B);
        QCOMPARE(int(requestReceivePdo(&device, 0)), 0);
        QCOMPARE(pumpBus(), onRequest);
        QCOMPARE(uint(dv.received), landed);
    }

    void cyclicTypeCountsSyncs()
    {
        CanOpenLock lock;
        dv.tpdo1Type = 3;
        device.sync.onPostSync = notePostSync;
        device.sync.onPostTpdo = notePostTpdo;
        bringUp(&device, 0x20);
        // The state table never switches SYNC reception on; a node that wants
        // it sets the flag itself.
        device.comm.sync = 1;
        sentBy(&device);
        QStringList sent;
        for (int i = 0; i < 7; ++i) {
            bus->deliver(&device, parseFrame("080"));
            sent << sentBy(&device);
        }
        QCOMPARE(sent, (QStringList{"1C0 A5", "1C0 A5"}));
        QCOMPARE(hooks.size(), 14);
        QCOMPARE(hooks.mid(0, 2), (QStringList{"post-SYNC", "post-TPDO"}));
    }

    void receivedBitsLandInFlags()
    {
        CanOpenLock lock;
        bringUp(&toolNode, 1);
        sentBy(&toolNode);
        bringUp(&device, 0x20);
        QCOMPARE(pumpBus(), (QStringList{"720 00", "1C0 A5"}));
        const uint8_t expected[8] = {1, 0, 1, 0, 0, 1, 0, 1};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(int(read8(&toolNode, uint16_t(0x200F + i))), int(expected[i]));
        // A frame too short for the mapping leaves the objects alone.
        bus->deliver(&toolNode, parseFrame("1C0"));
        QCOMPARE(int(read8(&toolNode, 0x200F)), 1);
        // Not while PDOs are off.
        setNodeState(&toolNode, NMT_PRE_OPERATIONAL);
        bus->deliver(&toolNode, parseFrame("1C0 00"));
        QCOMPARE(int(read8(&toolNode, 0x200F)), 1);
        QCOMPARE(int(sendPdoEvent(&toolNode, 0)), int(PDO_REFUSED));
        QVERIFY(sentBy(&toolNode).isEmpty());
    }

    void mappingIsCutAt64Bits()
    {
        CanOpenLock lock;
        bringUp(&device, 0x20);
        sentBy(&device);
        CanFrame request = parseFrame("2A0");
        request.rtr = 1;
        bus->deliver(&device, request);
        // 8 + 32 + 16 bits; the last 32 would pass 64.
        QCOMPARE(sentBy(&device), QStringList{"2A0 11 44 33 22 11 66 55"});
    }

    void inhibitAndEventTimers()
    {
        CanOpenLock lock;
        dv.tpdo1Inhibit = 100; // 10 ms
        dv.tpdo1Event = 50;
        bringUp(&device, 0x20);
        QCOMPARE(sentBy(&device), (QStringList{"720 00", "1C0 A5"}));
        // A change inside the inhibit time waits for its end.
        dv.sent = 0xA6;
        QCOMPARE(int(sendPdoEvent(&device, 0)), 0);
        bus->advance(9);
        QVERIFY(sentBy(&device).isEmpty());
        bus->advance(1);
        QCOMPARE(sentBy(&device), QStringList{"1C0 A6"});
        // An unchanged value is not sent again by an event ...
        bus->advance(10);
        QCOMPARE(int(sendPdoEvent(&device, 0)), 0);
        QVERIFY(sentBy(&device).isEmpty());
        // ... but the event timer, 50 ms after the last send, sends it.
        bus->advance(39);
        QVERIFY(sentBy(&device).isEmpty());
        bus->advance(1);
        QCOMPARE(sentBy(&device), QStringList{"1C0 A6"});
        // Writing the event timer restarts the PDO: with 0 nothing repeats.
        uint16_t off = 0;
        uint32_t size = 2;
        QCOMPARE(writeObjectEntry(&device, 0x1800, 5, &off, &size, true), 0u);
        bus->advance(200);
        QVERIFY(sentBy(&device).isEmpty());
    }

    void syncPeriod_data()
    {
        QTest::addColumn<uint>("cobId");
        QTest::addColumn<uint>("period");
        QTest::addColumn<QList<int>>("times");
        QTest::newRow("50 ms") << 0x40000080u << 50000u << QList<int>{50, 100, 150, 200};
        QTest::newRow("999 µs is under a millisecond") << 0x40000080u << 999u << QList<int>();
        QTest::newRow("not the producer") << 0x00000080u << 50000u << QList<int>();
    }
    void syncPeriod()
    {
        QFETCH(uint, cobId);
        QFETCH(uint, period);
        QFETCH(QList<int>, times);
        CanOpenLock lock;
        uint32_t size = 4;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1005, 0, &cobId, &size, true), 0u);
        QCOMPARE(writeObjectEntry(&toolNode, 0x1006, 0, &period, &size, true), 0u);
        startSync(&toolNode);
        QList<int> seen;
        for (int ms = 1; ms <= 210; ++ms) {
            bus->advance(1);
            for (const QString& f : sentBy(&toolNode)) {
                QCOMPARE(f, QString("080"));
                seen << ms;
            }
        }
        stopSync(&toolNode);
        QCOMPARE(seen, times);
    }

    void syncRestartsWhenItsObjectsChange()
    {
        CanOpenLock lock;
        startSync(&toolNode);
        bus->advance(30);
        uint32_t period = 20000;
        uint32_t size = 4;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1006, 0, &period, &size, true), 0u);
        bus->advance(40);
        QCOMPARE(sentBy(&toolNode), (QStringList{"080", "080"}));
        uint32_t consumer = 0x80;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1005, 0, &consumer, &size, true), 0u);
        bus->advance(100);
        QVERIFY(sentBy(&toolNode).isEmpty());
        // Stopped, the objects are no longer watched.
        stopSync(&toolNode);
        consumer = 0x40000080;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1005, 0, &consumer, &size, true), 0u);
        bus->advance(100);
        QVERIFY(sentBy(&toolNode).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstPdoSync)
#include "tst_pdosync.moc"
