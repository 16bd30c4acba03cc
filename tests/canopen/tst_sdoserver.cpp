// Our client against our server: block transfers (the running tool never uses
// them), plain transfers for comparison, and the server role's answers.
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"
#include "toolbus.h"

#include <QTest>

#include <cstring>
#include <memory>

namespace {
const uint8_t kServer = 0x10;
std::unique_ptr<TestBus> bus;

// The server node's dictionary: a default SDO server and objects of the
// lengths the block protocol finds hard (one byte, one segment, one segment
// and a byte, a full sub-block of 127 segments and 3 bytes).
uint32_t deviceType = 0x191;
uint8_t serverCount = 2;
uint32_t serverRx = 0x600, serverTx = 0x580;
uint8_t objectCount = 6;
uint8_t v1[1], v7[7], v8[8], v70[70], v892[127 * 7 + 3];
uint32_t readOnly = 0xCAFE;
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &deviceType}};
SubEntry s1200[] = {{OD_RO, CO_UNSIGNED8, 1, &serverCount},
                    {OD_RO, CO_UNSIGNED32, 4, &serverRx},
                    {OD_RO, CO_UNSIGNED32, 4, &serverTx}};
SubEntry s2200[] = {{OD_RO, CO_UNSIGNED8, 1, &objectCount},
                    {OD_RW, CO_DOMAIN, sizeof v1, v1},
                    {OD_RW, CO_DOMAIN, sizeof v7, v7},
                    {OD_RW, CO_DOMAIN, sizeof v8, v8},
                    {OD_RW, CO_DOMAIN, sizeof v70, v70},
                    {OD_RW, CO_DOMAIN, sizeof v892, v892},
                    {OD_RO, CO_UNSIGNED32, 4, &readOnly}};
const ObjectEntry serverDictionary[] = {
    {s1000, 1, 0x1000, nullptr}, {s1200, 3, 0x1200, nullptr}, {s2200, 7, 0x2200, nullptr}};
CanOpenNode server;

uint8_t* objectBytes(int sub)
{
    return static_cast<uint8_t*>(s2200[sub].value);
}

QByteArray objectValue(int sub)
{
    return QByteArray(reinterpret_cast<char*>(objectBytes(sub)), int(s2200[sub].size));
}

QByteArray pattern(int n, int seed)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 31 + seed) & 0xFF));
    return b;
}

int callbacks = 0;
void onDone(CanOpenNode*, uint8_t) { ++callbacks; }

void startNodes()
{
    CanOpenLock lock;
    serverRx = 0x600;
    serverTx = 0x580;
    startToolAndServer(&server, serverDictionary, 3, kServer);
    bus->pump();
    callbacks = 0;
}

QString hexBytes(const QByteArray& b)
{
    return QString::fromLatin1(b.toHex(' ').toUpper());
}
}

class TstSdoServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(openToolBus(&bus, &server)); }
    void cleanupTestCase()
    {
        closeToolBus(&bus);
        resetSdoLines(&server);
    }
    void init() { startNodes(); }

    void peersTransfer_data()
    {
        QTest::addColumn<int>("sub");
        QTest::addColumn<bool>("block");
        const int subs[] = {1, 2, 3, 4, 5};
        for (int sub : subs) {
            const int n = int(s2200[sub].size);
            QTest::addRow("%d bytes, block", n) << sub << true;
            QTest::addRow("%d bytes, plain", n) << sub << false;
        }
    }
    void peersTransfer()
    {
        QFETCH(int, sub);
        QFETCH(bool, block);
        const int n = int(s2200[sub].size);
        const QByteArray written = pattern(n, sub + (block ? 7 : 0));
        {
            CanOpenLock lock;
            QCOMPARE(sdoWriteRemote(&toolNode, kServer, 0x2200, uint8_t(sub), uint32_t(n), CO_DOMAIN,
                                    written.constData(), onDone, block), 0);
        }
        bus->pump();
        QCOMPARE(callbacks, 1);
        {
            CanOpenLock lock;
            uint32_t code = 0;
            QCOMPARE(int(sdoWriteResult(&toolNode, kServer, &code)), int(SDO_FINISHED));
            QCOMPARE(code, 0u);
        }
        QCOMPARE(objectValue(sub), written);

        const QByteArray stored = pattern(n, sub + 99);
        std::memcpy(objectBytes(sub), stored.constData(), size_t(n));
        {
            CanOpenLock lock;
            QCOMPARE(sdoReadRemote(&toolNode, kServer, 0x2200, uint8_t(sub), CO_DOMAIN, onDone, block), 0);
        }
        bus->pump();
        QCOMPARE(callbacks, 2);
        CanOpenLock lock;
        QByteArray out(1024, '\0');
        uint32_t size = uint32_t(out.size()), code = 0;
        QCOMPARE(int(sdoReadResult(&toolNode, kServer, out.data(), &size, &code)), int(SDO_FINISHED));
        QCOMPARE(out.left(int(size)), stored);
        // Both sides are idle again.
        for (const SdoLine& line : server.sdo)
            QCOMPARE(int(line.state), int(SDO_FREE));
        bus->advance(SDO_TIMEOUT_MS + 10);
        QCOMPARE(bus->pump(), 0);
    }

    void lostSegmentsAreRepeated_data()
    {
        QTest::addColumn<bool>("download");
        QTest::newRow("download") << true;
        QTest::newRow("upload") << false;
    }
    void lostSegmentsAreRepeated()
    {
        QFETCH(bool, download);
        const QByteArray value = pattern(int(sizeof v892), 5);
        if (!download)
            std::memcpy(v892, value.constData(), sizeof v892);
        {
            CanOpenLock lock;
            const int started = download
                ? sdoWriteRemote(&toolNode, kServer, 0x2200, 5, sizeof v892, CO_DOMAIN, value.constData(), onDone, 1)
                : sdoReadRemote(&toolNode, kServer, 0x2200, 5, CO_DOMAIN, onDone, 1);
            QCOMPARE(started, 0);
        }
        // The wire loses the first segment numbered 5 and, in the repeated
        // sub-block, the one numbered 2; the receiver acknowledges what came
        // in order and the sender goes on from there. (The frame before the
        // segments is the initiate or its answer.)
        const uint16_t dataId = download ? 0x610 : 0x590;
        int lost = 0, dataFrames = 0;
        bus->pump([&](const CanFrame& f) {
            if (f.id != dataId || dataFrames++ == 0)
                return true;
            if ((lost == 0 && f.data[0] == 5) || (lost == 1 && f.data[0] == 2)) {
                ++lost;
                return false;
            }
            return true;
        });
        QCOMPARE(lost, 2);
        QCOMPARE(callbacks, 1);
        CanOpenLock lock;
        if (download) {
            QCOMPARE(int(sdoWriteResult(&toolNode, kServer, nullptr)), int(SDO_FINISHED));
            QCOMPARE(objectValue(5), value);
        } else {
            QByteArray out(1024, '\0');
            uint32_t size = uint32_t(out.size()), code = 0;
            QCOMPARE(int(sdoReadResult(&toolNode, kServer, out.data(), &size, &code)), int(SDO_FINISHED));
            QCOMPARE(out.left(int(size)), value);
        }
    }

    // Both sides waiting for segments: each one's acknowledgement reads as a
    // last segment to the other. The exchange dies out at once.
    void receiversFacingEachOther()
    {
        {
            CanOpenLock lock;
            QCOMPARE(sdoReadRemote(&toolNode, kServer, 0x2200, 2, CO_DOMAIN, onDone, 1), 0);
        }
        bus->deliver(&server, parseFrame("610 C2 00 22 02 07 00 00 00"));
        bus->deliver(&toolNode, parseFrame("590 C2 00 22 02 07 00 00 00"));
        bus->takeSent(&toolNode);
        bus->takeSent(&server);
        bus->deliver(&toolNode, parseFrame("590 A2 00 7F 00 00 00 00 00"));
        QVERIFY(bus->pump(nullptr, 1000) < 10);
        bus->advance(SDO_TIMEOUT_MS);
        QCOMPARE(callbacks, 1);
        for (const SdoLine& line : server.sdo)
            QCOMPARE(int(line.state), int(SDO_FREE));
    }

    void crc()
    {
        QCOMPARE(sdoBlockCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), uint16_t(0x31C3));
        QCOMPARE(sdoBlockCrc(nullptr, 0), uint16_t(0));
        // Split computation continues where it stopped.
        const uint16_t head = sdoBlockCrc(reinterpret_cast<const uint8_t*>("1234"), 4);
        QCOMPARE(sdoBlockCrc(reinterpret_cast<const uint8_t*>("56789"), 5, head), uint16_t(0x31C3));
    }

    // The server role as a client that asks for a CRC sees it.
    void serverRole_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QByteArray>("value7"); // 0x2200 sub 2 afterwards
        const QByteArray seven = QByteArray::fromHex("01020304050607");
        const QString crc = [&] {
            const uint16_t c = sdoBlockCrc(reinterpret_cast<const uint8_t*>(seven.constData()), 7);
            return QString::asprintf("%02X %02X", c & 0xFF, c >> 8);
        }();
        const QByteArray initial = pattern(7, 1);
        QTest::newRow("block upload with CRC")
            << QStringList{"< 610 A4 00 22 02 10 00 00 00", "> 590 C6 00 22 02 07 00 00 00",
                           "< 610 A3 00 00 00 00 00 00 00", "> 590 81 " + hexBytes(initial),
                           "< 610 A2 01 10 00 00 00 00 00", "> 590 C1 " + [&] {
                               const uint16_t c = sdoBlockCrc(reinterpret_cast<const uint8_t*>(initial.constData()), 7);
                               return QString::asprintf("%02X %02X", c & 0xFF, c >> 8);
                           }() + " 00 00 00 00 00",
                           "< 610 A1 00 00 00 00 00 00 00"}
            << initial;
        QTest::newRow("block download with CRC")
            << QStringList{"< 610 C6 00 22 02 07 00 00 00", "> 590 A4 00 22 02 7F 00 00 00",
                           "< 610 81 01 02 03 04 05 06 07", "> 590 A2 01 7F 00 00 00 00 00",
                           "< 610 C1 " + crc + " 00 00 00 00 00", "> 590 A1 00 00 00 00 00 00 00"}
            << seven;
        QTest::newRow("block download with a wrong CRC")
            << QStringList{"< 610 C6 00 22 02 07 00 00 00", "> 590 A4 00 22 02 7F 00 00 00",
                           "< 610 81 01 02 03 04 05 06 07", "> 590 A2 01 7F 00 00 00 00 00",
                           "< 610 C1 00 00 00 00 00 00 00", "> 590 80 00 22 02 04 00 04 05"}
            << initial;
        QTest::newRow("block download, acknowledgements of nothing")
            << QStringList{"< 610 C2 00 22 02 07 00 00 00", "> 590 A4 00 22 02 7F 00 00 00",
                           "< 610 A2 00 10 00 00 00 00 00", "> 590 A2 00 7F 00 00 00 00 00",
                           "< 610 A2 00 10 00 00 00 00 00", "< 610 A2 00 10 00 00 00 00 00",
                           "+ 2999", "+ 1", "> 590 80 00 22 02 00 00 04 05"}
            << initial;
        QTest::newRow("block upload asking block size 0")
            << QStringList{"< 610 A0 00 22 02 00 00 00 00", "> 590 80 00 22 02 02 00 04 05"} << initial;
        QTest::newRow("block upload asking block size 128")
            << QStringList{"< 610 A0 00 22 02 80 00 00 00", "> 590 80 00 22 02 02 00 04 05"} << initial;
        QTest::newRow("expedited write")
            << QStringList{"< 610 23 00 10 00 01 00 00 00", "> 590 80 00 10 00 02 00 01 06"} << initial;
        QTest::newRow("segmented write of 7 bytes")
            << QStringList{"< 610 21 00 22 02 07 00 00 00", "> 590 60 00 22 02 00 00 00 00",
                           "< 610 01 01 02 03 04 05 06 07", "> 590 20 00 00 00 00 00 00 00"}
            << seven;
        QTest::newRow("segmented write refused at its end")
            << QStringList{"< 610 21 00 22 06 04 00 00 00", "> 590 60 00 22 06 00 00 00 00",
                           "< 610 07 01 02 03 04 00 00 00", "> 590 80 00 22 06 02 00 01 06"}
            << initial;
        QTest::newRow("segmented write with the wrong toggle")
            << QStringList{"< 610 21 00 22 02 07 00 00 00", "> 590 60 00 22 02 00 00 00 00",
                           "< 610 11 01 02 03 04 05 06 07", "> 590 80 00 22 02 00 00 03 05"}
            << initial;
        QTest::newRow("segmented read of 7 bytes")
            << QStringList{"< 610 40 00 22 02 00 00 00 00", "> 590 41 00 22 02 07 00 00 00",
                           "< 610 60 00 00 00 00 00 00 00", "> 590 01 " + hexBytes(initial)}
            << initial;
        QTest::newRow("second initiate while busy")
            << QStringList{"< 610 40 00 22 02 00 00 00 00", "> 590 41 00 22 02 07 00 00 00",
                           "< 610 40 00 10 00 00 00 00 00", "> 590 80 00 10 00 21 00 00 08",
                           "< 610 40 00 10 00 00 00 00 00", "> 590 43 00 10 00 91 01 00 00"}
            << initial;
        QTest::newRow("segment without a transfer")
            << QStringList{"< 610 60 00 00 00 00 00 00 00", "> 590 80 00 00 00 21 00 00 08"} << initial;
        QTest::newRow("unknown object")
            << QStringList{"< 610 40 34 12 00 00 00 00 00", "> 590 80 34 12 00 00 00 02 06"} << initial;
        QTest::newRow("client abort ends the transfer quietly")
            << QStringList{"< 610 40 00 22 05 00 00 00 00", "> 590 41 00 22 05 7C 03 00 00",
                           "< 610 80 00 22 05 00 00 04 05", "+ 4000"}
            << initial;
        QTest::newRow("server time-out")
            << QStringList{"< 610 40 00 22 05 00 00 00 00", "> 590 41 00 22 05 7C 03 00 00",
                           "+ 3000", "> 590 80 00 22 05 00 00 04 05"}
            << initial;
    }
    void serverRole()
    {
        QFETCH(QStringList, script);
        QFETCH(QByteArray, value7);
        std::memcpy(v7, pattern(7, 1).constData(), 7);
        QString why;
        QVERIFY2(runSdoScript(*bus, &server, script, &why), qPrintable(why));
        QCOMPARE(objectValue(2), value7);
        for (const SdoLine& line : server.sdo)
            QCOMPARE(int(line.state), int(SDO_FREE));
    }
};

QTEST_GUILESS_MAIN(TstSdoServer)
#include "tst_sdoserver.moc"
