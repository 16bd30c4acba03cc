#include "canopen/od.h"
#include "canopen/tooldict.h"

#include <QTest>

#include <cstring>

namespace {
// A small dictionary beside the tool's: a string, a value-range object, a
// write-only and a stored object, one watched entry.
char text[8] = "abc";
uint8_t rangeValue = 0;
uint32_t secret = 0x11223344;
uint16_t stored = 0;
uint32_t watched = 0;
uint8_t serverCount = 2;
uint32_t serverRx = 0x600, serverTx = 0x580;
uint32_t rpdo1 = 0x200, rpdo2 = 0x300 + 5, tpdo1 = 0x80000180; // rpdo2 not a default for id 0
uint8_t commCount = 1;
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &secret}};
SubEntry s1200[] = {{OD_RO, CO_UNSIGNED8, 1, &serverCount},
                    {OD_RO, CO_UNSIGNED32, 4, &serverRx},
                    {OD_RO, CO_UNSIGNED32, 4, &serverTx}};
SubEntry s1400[] = {{OD_RO, CO_UNSIGNED8, 1, &commCount}, {OD_RW, CO_UNSIGNED32, 4, &rpdo1}};
SubEntry s1401[] = {{OD_RO, CO_UNSIGNED8, 1, &commCount}, {OD_RW, CO_UNSIGNED32, 4, &rpdo2}};
SubEntry s1800[] = {{OD_RO, CO_UNSIGNED8, 1, &commCount}, {OD_RW, CO_UNSIGNED32, 4, &tpdo1}};
SubEntry s2100[] = {{OD_RW, CO_VISIBLE_STRING, 8, text}};
SubEntry s2101[] = {{OD_RW, CO_VALUE_RANGE, 1, &rangeValue}};
SubEntry s2102[] = {{OD_WO, CO_UNSIGNED32, 4, &secret}};
SubEntry s2103[] = {{OD_RW | OD_STORE, CO_UNSIGNED16, 2, &stored}};
SubEntry s2104[] = {{OD_RW, CO_UNSIGNED32, 4, &watched}};
ObjectCallback watchers[1];
const ObjectEntry testDictionary[] = {
    {s1000, 1, 0x1000, nullptr}, {s1200, 3, 0x1200, nullptr}, {s1400, 2, 0x1400, nullptr},
    {s1401, 2, 0x1401, nullptr}, {s1800, 2, 0x1800, nullptr}, {s2100, 1, 0x2100, nullptr},
    {s2101, 1, 0x2101, nullptr}, {s2102, 1, 0x2102, nullptr}, {s2103, 1, 0x2103, nullptr},
    {s2104, 1, 0x2104, watchers},
};
CanOpenNode testNode;

std::vector<std::pair<uint16_t, uint8_t>> storedWrites;
void noteStore(CanOpenNode*, uint16_t index, uint8_t subIndex) { storedWrites.push_back({index, subIndex}); }
uint32_t refuseOdd(CanOpenNode*, const ObjectEntry* entry, uint8_t subIndex)
{
    return (*static_cast<uint32_t*>(entry->subs[subIndex].value) & 1) ? 0x06090030 : 0;
}

QByteArray bytes(std::initializer_list<uint8_t> b)
{
    return QByteArray(reinterpret_cast<const char*>(b.begin()), int(b.size()));
}
}

class TstObjectDictionary : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        resetToolNode();
        std::strcpy(text, "abc");
        initCanOpenNode(&testNode, testDictionary, sizeof testDictionary / sizeof testDictionary[0]);
        testNode.storeHook = noteStore;
        storedWrites.clear();
    }

    void toolDictionaryLayout()
    {
        QCOMPARE(int(toolNode.dictionarySize), 20);
        QCOMPARE(int(toolNode.sdoServer.first), 0);
        QCOMPARE(int(toolNode.sdoClient.first), 6);
        QCOMPARE(int(toolNode.sdoClient.last), 6);
        QCOMPARE(int(toolNode.rpdoComm.first), 7);
        QCOMPARE(int(toolNode.rpdoMap.first), 8);
        QCOMPARE(int(toolNode.tpdoComm.first), 9);
        QCOMPARE(int(toolNode.tpdoMap.first), 10);
        QCOMPARE(toolNode.nmtState, uint32_t(NMT_UNKNOWN));
        QCOMPARE(int(toolNode.slave), 0);
    }

    void read_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("subIndex");
        QTest::addColumn<uint>("room");
        QTest::addColumn<bool>("check");
        QTest::addColumn<uint>("code");
        QTest::addColumn<uint>("size");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("device type") << 0x1000 << 0 << 8u << true << 0u << 4u << 7 << bytes({0x91, 0x01, 0, 0});
        QTest::newRow("no sub-index") << 0x1000 << 1 << 8u << true << 0x06090011u << 8u << 0 << QByteArray();
        QTest::newRow("no object") << 0x1234 << 0 << 8u << true << 0x06020000u << 8u << 0 << QByteArray();
        QTest::newRow("room too small") << 0x1000 << 0 << 2u << true << 0x05040005u << 4u << 0 << QByteArray();
        QTest::newRow("sync cob-id") << 0x1005 << 0 << 4u << true << 0u << 4u << 7 << bytes({0x80, 0, 0, 0x40});
        QTest::newRow("heartbeat consumer") << 0x1016 << 1 << 4u << false << 0u << 4u << 7 << bytes({0xDC, 0x05, 0x40, 0});
        QTest::newRow("client entries") << 0x1280 << 0 << 1u << true << 0u << 1u << 5 << bytes({3});
        QTest::newRow("rpdo map 8") << 0x1600 << 8 << 4u << true << 0u << 4u << 7 << bytes({0x01, 0, 0x16, 0x20});
        QTest::newRow("tpdo map") << 0x1A00 << 1 << 4u << true << 0u << 4u << 7 << bytes({0x08, 0, 0, 0x20});
        QTest::newRow("flag") << 0x2016 << 0 << 1u << true << 0u << 1u << 1 << bytes({0});
    }
    void read()
    {
        QFETCH(int, index);
        QFETCH(int, subIndex);
        QFETCH(uint, room);
        QFETCH(bool, check);
        QFETCH(uint, code);
        QFETCH(uint, size);
        QFETCH(int, type);
        QFETCH(QByteArray, value);
        uint8_t buf[8] = {};
        uint32_t n = room;
        uint8_t dataType = 0;
        QCOMPARE(readObjectEntry(&toolNode, uint16_t(index), uint8_t(subIndex), buf, &n, &dataType, check), code);
        QCOMPARE(n, size);
        QCOMPARE(int(dataType), type);
        if (!value.isEmpty())
            QCOMPARE(QByteArray(reinterpret_cast<char*>(buf), int(n)), value);
    }

    void accessChecks()
    {
        uint8_t buf[4] = {};
        uint32_t n = 4;
        QCOMPARE(readObjectEntry(&testNode, 0x2102, 0, buf, &n, nullptr, true), 0x06010001u);
        QCOMPARE(readObjectEntry(&testNode, 0x2102, 0, buf, &n, nullptr, false), 0u);
        const uint32_t type = 0x12345678;
        n = 4;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1000, 0, &type, &n, true), 0x06010002u);
        QCOMPARE(writeObjectEntry(&toolNode, 0x1000, 0, &type, &n, false), 0u);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1000, 0, 4)), type);
        QCOMPARE(readObjectEntry(&toolNode, 0x1000, 0, nullptr, &n, nullptr, true), 0x08000000u);
    }

    void writeSizes()
    {
        const uint8_t two[2] = {1, 2};
        uint32_t n = 2;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1006, 0, two, &n, true), 0x06070010u);
        QCOMPARE(n, 4u);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1006, 0, 4)), 50000u);
        n = 0;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1006, 0, nullptr, &n, true), 0u);
        QCOMPARE(n, 4u);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1006, 0, 4)), 50000u);
        const uint32_t period = 10000;
        n = 4;
        QCOMPARE(writeObjectEntry(&toolNode, 0x1006, 0, &period, &n, true), 0u);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1006, 0, 4)), period);
    }

    void strings()
    {
        // A shorter string is zero-terminated; a read stops at the zero.
        uint32_t n = 2;
        QCOMPARE(writeObjectEntry(&testNode, 0x2100, 0, "xy", &n, true), 0u);
        QCOMPARE(n, 8u);
        char out[16];
        std::memset(out, 'Z', sizeof out);
        n = sizeof out;
        uint8_t type = 0;
        QCOMPARE(readObjectEntry(&testNode, 0x2100, 0, out, &n, &type, true), 0u);
        QCOMPARE(n, 2u);
        QCOMPARE(int(type), int(CO_VISIBLE_STRING));
        QCOMPARE(QByteArray(out, 3), QByteArray("xy\0", 3));
        n = 9;
        QCOMPARE(writeObjectEntry(&testNode, 0x2100, 0, "123456789", &n, true), 0x06070010u);
        // A string that fills its object has no zero: the read ends at the
        // object, not somewhere behind it.
        n = 8;
        QCOMPARE(writeObjectEntry(&testNode, 0x2100, 0, "ABCDEFGH", &n, true), 0u);
        std::memset(out, 'Z', sizeof out);
        n = sizeof out;
        QCOMPARE(readObjectEntry(&testNode, 0x2100, 0, out, &n, &type, true), 0u);
        QCOMPARE(n, 8u);
        QCOMPARE(QByteArray(out, 9), QByteArray("ABCDEFGHZ"));
    }

    void valueRange()
    {
        const uint8_t bad = 1, good = 0;
        uint32_t n = 1;
        QCOMPARE(writeObjectEntry(&testNode, 0x2101, 0, &bad, &n, true), 0x06090030u);
        n = 1;
        QCOMPARE(writeObjectEntry(&testNode, 0x2101, 0, &good, &n, true), 0u);
        QCOMPARE(checkValueRange(CO_UNSIGNED8, &bad), 0u);
    }

    void callbacksAndStoreHook()
    {
        QCOMPARE(registerObjectCallback(&testNode, 0x2104, 0, refuseOdd), 0u);
        QCOMPARE(registerObjectCallback(&testNode, 0x7777, 0, refuseOdd), 0x06020000u);
        // An entry without a callback table is left alone.
        QCOMPARE(registerObjectCallback(&testNode, 0x2103, 0, refuseOdd), 0u);
        uint32_t v = 3, n = 4;
        QCOMPARE(writeObjectEntry(&testNode, 0x2104, 0, &v, &n, true), 0x06090030u);
        QCOMPARE(watched, 3u); // the value stays written
        v = 4;
        QCOMPARE(writeObjectEntry(&testNode, 0x2104, 0, &v, &n, true), 0u);
        const uint16_t s = 7;
        n = 2;
        QCOMPARE(writeObjectEntry(&testNode, 0x2103, 0, &s, &n, true), 0u);
        QCOMPARE(storedWrites.size(), size_t(1));
        QCOMPARE(storedWrites[0].first, uint16_t(0x2103));
        watchers[0] = nullptr;
    }

    void nodeIdMovesDefaultCobIds()
    {
        assignNodeId(&toolNode, 1);
        QCOMPARE(int(toolNode.nodeId), 1);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1400, 1, 4)), 0x1C0u);
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1800, 1, 4)), 0x223u);

        assignNodeId(&testNode, 5);
        QCOMPARE(serverRx, 0x605u);
        QCOMPARE(serverTx, 0x585u);
        QCOMPARE(rpdo1, 0x205u);
        QCOMPARE(rpdo2, 0x305u);          // not a default for id 0: it stays
        QCOMPARE(tpdo1, 0x80000185u);     // flag bits kept
        assignNodeId(&testNode, 0);       // ignored
        assignNodeId(&testNode, 128);     // ignored
        QCOMPARE(int(testNode.nodeId), 5);
        assignNodeId(&testNode, 255);
        QCOMPARE(int(testNode.nodeId), 255);
        QCOMPARE(serverRx, 0x605u);
        rpdo2 = 0x333;
        assignNodeId(&testNode, 9);       // from unset: every one moves
        QCOMPARE(serverRx, 0x609u);
        QCOMPARE(rpdo2, 0x309u);
        serverRx = 0x600, serverTx = 0x580, rpdo1 = 0x200, rpdo2 = 0x305, tpdo1 = 0x80000180;
    }
};

QTEST_GUILESS_MAIN(TstObjectDictionary)
#include "tst_objectdictionary.moc"
