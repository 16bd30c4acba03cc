#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"

#include <QTest>

#include <cstdlib>
#include <memory>

namespace {
const uint8_t kDevice = 0x20;
std::unique_ptr<TestBus> bus;
int callbacks = 0;
uint8_t calledFor = 0;
void onDone(CanOpenNode*, uint8_t nodeId)
{
    ++callbacks;
    calledFor = nodeId;
}

void pointClientAt(uint8_t id)
{
    uint32_t toServer = 0x600u + id, toClient = 0x580u + id, n = 4;
    writeObjectEntry(&toolNode, 0x1280, 1, &toServer, &n, false);
    writeObjectEntry(&toolNode, 0x1280, 2, &toClient, &n, false);
    n = 1;
    writeObjectEntry(&toolNode, 0x1280, 3, &id, &n, false);
}

// The tool's start-up: id 1, initialisation, pre-operational; the client
// entry points at the device.
void startToolNode()
{
    CanOpenLock lock;
    initCanOpenTimer();
    resetToolNode();
    assignNodeId(&toolNode, 1);
    setNodeState(&toolNode, NMT_INITIALISATION);
    pointClientAt(kDevice);
    bus->takeSent(&toolNode);
    callbacks = 0;
    calledFor = 0;
}

QByteArray counting(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(i + 1));
    return b;
}

const QString kAbortFrame = "> 620 80 %1 %2 %3 %4 %5 %6 %7";
QString abortSent(uint16_t index, uint8_t sub, uint32_t code)
{
    return QString::asprintf("> 620 80 %02X %02X %02X %02X %02X %02X %02X", index & 0xFF, index >> 8, sub,
                             code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF, code >> 24);
}

bool allocFails = false;
void* maybeAllocate(size_t size)
{
    return allocFails ? nullptr : std::malloc(size);
}

// Reads the result inside the completion, as the synchronous access does,
// and starts the next transfer on the freed line at once.
uint8_t resultInCallback = 0;
int restartResult = 99;
void readAndRestart(CanOpenNode* node, uint8_t nodeId)
{
    uint8_t buf[8];
    uint32_t size = sizeof buf, code = 0;
    resultInCallback = sdoReadResult(node, nodeId, buf, &size, &code);
    closeSdoTransfer(node, nodeId, SDO_CLIENT);
    restartResult = sdoReadRemote(node, nodeId, 0x1000, 0, CO_UNSIGNED32, onDone, 0);
}
}

class TstSdoClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        bus = std::make_unique<TestBus>();
        QVERIFY(bus->attach(&toolNode));
    }
    void cleanupTestCase()
    {
        bus.reset();
        resetToolNode();
    }
    void init() { startToolNode(); }

    void transfers_data()
    {
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("block");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<uint>("abortCode");
        QTest::addColumn<int>("callbacks");
        const QByteArray none;
        const QByteArray ten = counting(10);

        QTest::newRow("expedited read")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 43 00 10 00 91 01 00 00"}
            << 1 << QByteArray::fromHex("91010000") << 0u << 1;
        QTest::newRow("expedited read of 2 bytes")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 4B 00 10 00 34 12 00 00"}
            << 1 << QByteArray::fromHex("3412") << 0u << 1;
        QTest::newRow("segmented read of 10 bytes")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 0A 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 00 01 02 03 04 05 06 07",
                           "> 620 70 00 00 00 00 00 00 00", "< 5A0 19 08 09 0A 00 00 00 00"}
            << 1 << ten << 0u << 1;
        QTest::newRow("segmented read without size")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 40 00 10 00 00 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 05 01 02 03 04 05 00 00"}
            << 1 << counting(5) << 0u << 1;
        QTest::newRow("write 2 bytes")
            << false << false << counting(2)
            << QStringList{"> 620 2B 00 10 00 01 02 00 00", "< 5A0 60 00 10 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("write 4 bytes")
            << false << false << counting(4)
            << QStringList{"> 620 23 00 10 00 01 02 03 04", "< 5A0 60 00 10 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("write 6 bytes")
            << false << false << counting(6)
            << QStringList{"> 620 21 00 10 00 06 00 00 00", "< 5A0 60 00 10 00 00 00 00 00",
                           "> 620 03 01 02 03 04 05 06 00", "< 5A0 20 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("write 10 bytes")
            << false << false << ten
            << QStringList{"> 620 21 00 10 00 0A 00 00 00", "< 5A0 60 00 10 00 00 00 00 00",
                           "> 620 00 01 02 03 04 05 06 07", "< 5A0 20 00 00 00 00 00 00 00",
                           "> 620 19 08 09 0A 00 00 00 00", "< 5A0 30 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("device aborts a read")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 80 00 10 00 11 00 09 06"}
            << 0x80 << none << 0x06090011u << 1;
        QTest::newRow("device aborts a write")
            << false << false << counting(4)
            << QStringList{"> 620 23 00 10 00 01 02 03 04", "< 5A0 80 00 10 00 02 00 01 06"}
            << 0x80 << none << 0x06010002u << 1;
        QTest::newRow("wrong toggle in a read")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 0A 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 10 01 02 03 04 05 06 07",
                           abortSent(0x1000, 0, 0x05030000)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("wrong toggle in a write")
            << false << false << ten
            << QStringList{"> 620 21 00 10 00 0A 00 00 00", "< 5A0 60 00 10 00 00 00 00 00",
                           "> 620 00 01 02 03 04 05 06 07", "< 5A0 30 00 00 00 00 00 00 00",
                           abortSent(0x1000, 0, 0x05030000)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("time-out")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "+ 2999", "+ 1", abortSent(0x1000, 0, 0x05040000)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("each answer restarts the time-out")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "+ 2000", "< 5A0 41 00 10 00 0A 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "+ 2999", "< 5A0 00 01 02 03 04 05 06 07",
                           "> 620 70 00 00 00 00 00 00 00", "+ 2999", "+ 1", abortSent(0x1000, 0, 0x05040000)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("last segment short of the size")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 0A 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 00 01 02 03 04 05 06 07",
                           "> 620 70 00 00 00 00 00 00 00", "< 5A0 1B 08 09 00 00 00 00 00",
                           abortSent(0x1000, 0, 0x06070010)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("segments beyond the size")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 08 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 00 01 02 03 04 05 06 07",
                           "> 620 70 00 00 00 00 00 00 00", "< 5A0 19 08 09 0A 00 00 00 00",
                           abortSent(0x1000, 0, 0x06070010)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("announced size beyond the bound")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 01 90 01 00",
                           abortSent(0x1000, 0, 0x05040005)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("answer naming another sub-index")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 43 00 10 01 EE EE EE EE",
                           "< 5A0 80 00 10 01 00 00 00 08", "< 5A0 43 00 10 00 91 01 00 00"}
            << 1 << QByteArray::fromHex("91010000") << 0u << 1;
        QTest::newRow("answer naming another index")
            << false << false << ten
            << QStringList{"> 620 21 00 10 00 0A 00 00 00", "< 5A0 60 00 20 00 00 00 00 00",
                           "< 5A0 60 00 10 00 00 00 00 00", "> 620 00 01 02 03 04 05 06 07",
                           "< 5A0 20 00 00 00 00 00 00 00", "> 620 19 08 09 0A 00 00 00 00",
                           "< 5A0 30 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("frame of 7 bytes")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 43 00 10 00 91 01 00",
                           abortSent(0, 0, 0x08000000)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("command specifier 7")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 E0 00 10 00 00 00 00 00",
                           abortSent(0x1000, 0, 0x05040001)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("leftover segment before the initiate answer")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 00 01 02 03 04 05 06 07",
                           "< 5A0 43 00 10 00 91 01 00 00"}
            << 1 << QByteArray::fromHex("91010000") << 0u << 1;
        QTest::newRow("leftover acknowledgement before the initiate answer")
            << false << false << counting(4)
            << QStringList{"> 620 23 00 10 00 01 02 03 04", "< 5A0 30 00 00 00 00 00 00 00",
                           "< 5A0 60 00 10 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("initiate answer again during the segments")
            << true << false << none
            << QStringList{"> 620 40 00 10 00 00 00 00 00", "< 5A0 41 00 10 00 0A 00 00 00",
                           "> 620 60 00 00 00 00 00 00 00", "< 5A0 41 00 10 00 0A 00 00 00",
                           abortSent(0x1000, 0, 0x05040001)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("block write of 10 bytes")
            << false << true << ten
            << QStringList{"> 620 C2 00 10 00 0A 00 00 00", "< 5A0 A4 00 10 00 7F 00 00 00",
                           "> 620 01 01 02 03 04 05 06 07", "> 620 82 08 09 0A 00 00 00 00",
                           "< 5A0 A2 02 7F 00 00 00 00 00", "> 620 D1 00 00 00 00 00 00 00",
                           "< 5A0 A1 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("block write of 14 bytes")
            << false << true << counting(14)
            << QStringList{"> 620 C2 00 10 00 0E 00 00 00", "< 5A0 A0 00 10 00 7F 00 00 00",
                           "> 620 01 01 02 03 04 05 06 07", "> 620 82 08 09 0A 0B 0C 0D 0E",
                           "< 5A0 A2 02 7F 00 00 00 00 00", "> 620 C1 00 00 00 00 00 00 00",
                           "< 5A0 A1 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("block write, one segment repeated")
            << false << true << counting(21)
            << QStringList{"> 620 C2 00 10 00 15 00 00 00", "< 5A0 A0 00 10 00 02 00 00 00",
                           "> 620 01 01 02 03 04 05 06 07", "> 620 02 08 09 0A 0B 0C 0D 0E",
                           "< 5A0 A2 01 02 00 00 00 00 00",
                           "> 620 01 08 09 0A 0B 0C 0D 0E", "> 620 82 0F 10 11 12 13 14 15",
                           "< 5A0 A2 02 02 00 00 00 00 00", "> 620 C1 00 00 00 00 00 00 00",
                           "< 5A0 A1 00 00 00 00 00 00 00"}
            << 1 << none << 0u << 1;
        QTest::newRow("block size 0 offered")
            << false << true << ten
            << QStringList{"> 620 C2 00 10 00 0A 00 00 00", "< 5A0 A0 00 10 00 00 00 00 00",
                           abortSent(0x1000, 0, 0x05040002)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("block size 0 asked next")
            << false << true << counting(21)
            << QStringList{"> 620 C2 00 10 00 15 00 00 00", "< 5A0 A0 00 10 00 02 00 00 00",
                           "> 620 01 01 02 03 04 05 06 07", "> 620 02 08 09 0A 0B 0C 0D 0E",
                           "< 5A0 A2 02 00 00 00 00 00 00", abortSent(0x1000, 0, 0x05040002)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("block acknowledgement beyond the sub-block")
            << false << true << ten
            << QStringList{"> 620 C2 00 10 00 0A 00 00 00", "< 5A0 A0 00 10 00 7F 00 00 00",
                           "> 620 01 01 02 03 04 05 06 07", "> 620 82 08 09 0A 00 00 00 00",
                           "< 5A0 A2 05 7F 00 00 00 00 00", abortSent(0x1000, 0, 0x08000021)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("block read of 10 bytes")
            << true << true << none
            << QStringList{"> 620 A0 00 10 00 10 00 00 00", "< 5A0 C6 00 10 00 0A 00 00 00",
                           "> 620 A3 00 00 00 00 00 00 00", "< 5A0 01 01 02 03 04 05 06 07",
                           "< 5A0 82 08 09 0A 00 00 00 00", "> 620 A2 02 10 00 00 00 00 00",
                           "< 5A0 D1 12 34 00 00 00 00 00", "> 620 A1 00 00 00 00 00 00 00"}
            << 1 << ten << 0u << 1;
        QTest::newRow("block read, a segment lost")
            << true << true << none
            << QStringList{"> 620 A0 00 10 00 10 00 00 00", "< 5A0 C2 00 10 00 0A 00 00 00",
                           "> 620 A3 00 00 00 00 00 00 00", "< 5A0 82 08 09 0A 00 00 00 00",
                           "> 620 A2 00 10 00 00 00 00 00", "< 5A0 01 01 02 03 04 05 06 07",
                           "< 5A0 82 08 09 0A 00 00 00 00", "> 620 A2 02 10 00 00 00 00 00",
                           "< 5A0 D1 00 00 00 00 00 00 00", "> 620 A1 00 00 00 00 00 00 00"}
            << 1 << ten << 0u << 1;
        QTest::newRow("block read short of the size")
            << true << true << none
            << QStringList{"> 620 A0 00 10 00 10 00 00 00", "< 5A0 C2 00 10 00 0C 00 00 00",
                           "> 620 A3 00 00 00 00 00 00 00", "< 5A0 01 01 02 03 04 05 06 07",
                           "< 5A0 82 08 09 0A 00 00 00 00", "> 620 A2 02 10 00 00 00 00 00",
                           "< 5A0 D1 00 00 00 00 00 00 00", abortSent(0x1000, 0, 0x08000021)}
            << 0x85 << none << 0u << 1;
        QTest::newRow("block read, end without its end bit")
            << true << true << none
            << QStringList{"> 620 A0 00 10 00 10 00 00 00", "< 5A0 C2 00 10 00 0A 00 00 00",
                           "> 620 A3 00 00 00 00 00 00 00", "< 5A0 01 01 02 03 04 05 06 07",
                           "< 5A0 82 08 09 0A 00 00 00 00", "> 620 A2 02 10 00 00 00 00 00",
                           "< 5A0 D0 00 00 00 00 00 00 00", abortSent(0x1000, 0, 0x05040001)}
            << 0x85 << none << 0u << 1;
    }
    void transfers()
    {
        QFETCH(bool, read);
        QFETCH(bool, block);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, script);
        QFETCH(int, state);
        QFETCH(QByteArray, value);
        QFETCH(uint, abortCode);
        QFETCH(int, callbacks);
        {
            CanOpenLock lock;
            const int started = read
                ? sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, onDone, block)
                : sdoWriteRemote(&toolNode, kDevice, 0x1000, 0, uint32_t(data.size()), CO_DOMAIN,
                                 data.constData(), onDone, block);
            QCOMPARE(started, 0);
        }
        QString why;
        QVERIFY2(runSdoScript(*bus, &toolNode, script, &why), qPrintable(why));
        QCOMPARE(::callbacks, callbacks);
        if (callbacks)
            QCOMPARE(calledFor, kDevice);
        CanOpenLock lock;
        uint32_t code = 0xDEAD;
        if (read) {
            uint8_t buf[64] = {};
            uint32_t size = sizeof buf;
            QCOMPARE(int(sdoReadResult(&toolNode, kDevice, buf, &size, &code)), state);
            QCOMPARE(QByteArray(reinterpret_cast<char*>(buf), int(size)), value);
        } else {
            QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, &code)), state);
        }
        QCOMPARE(code, abortCode);
        // Whatever happened, the line is free for the next request, and the
        // bus stays quiet afterwards.
        if (state == 0x80)
            QCOMPARE(int(closeSdoTransfer(&toolNode, kDevice, SDO_CLIENT)), 0);
        QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, &code)), int(SDO_ENDED_LOCALLY));
        bus->advance(SDO_TIMEOUT_MS + 10);
        QVERIFY(bus->takeSent(&toolNode).empty());
    }

    void unboundedUploadStopsAtTheBound()
    {
        {
            CanOpenLock lock;
            QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1021, 0, CO_DOMAIN, onDone, 0), 0);
        }
        bus->deliver(&toolNode, parseFrame("5A0 40 21 10 00 00 00 00 00"));
        int toggle = 0;
        for (int i = 0; i < SDO_MAX_RECEIVE / 7 + 1 && ::callbacks == 0; ++i) {
            CanFrame seg = parseFrame("5A0 00 55 55 55 55 55 55 55");
            seg.data[0] = uint8_t(toggle << 4);
            toggle ^= 1;
            bus->takeSent(&toolNode);
            bus->deliver(&toolNode, seg);
        }
        QCOMPARE(::callbacks, 1);
        const std::vector<CanFrame> sent = bus->takeSent(&toolNode);
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE("> " + frameText(sent[0]), abortSent(0x1021, 0, 0x05040005));
    }

    void secondRequestRefused()
    {
        CanOpenLock lock;
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, onDone, 0), 0);
        bus->takeSent(&toolNode);
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1018, 1, CO_UNSIGNED32, onDone, 0), int(SDO_REFUSED));
        const uint8_t b = 1;
        QCOMPARE(sdoWriteRemote(&toolNode, kDevice, 0x2000, 0, 1, CO_UNSIGNED8, &b, onDone, 0), int(SDO_REFUSED));
        // No client entry serves another node, and the only one is taken.
        QCOMPARE(sdoReadRemote(&toolNode, 0x21, 0x1000, 0, CO_UNSIGNED32, onDone, 0), int(SDO_NO_CLIENT_FOR_NODE));
        QCOMPARE(sdoReadRemoteClaiming(&toolNode, 0x21, 0x1000, 0, CO_UNSIGNED32, onDone, 0),
                 int(SDO_NO_CLIENT_FOR_NODE));
        QVERIFY(bus->takeSent(&toolNode).empty());
        // The first transfer is untouched.
        QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, nullptr)), int(SDO_UPLOAD_IN_PROGRESS));
    }

    void claimingTakesAFreeEntry()
    {
        CanOpenLock lock;
        pointClientAt(0);
        QCOMPARE(sdoReadRemoteClaiming(&toolNode, 0x33, 0x1000, 0, CO_UNSIGNED32, onDone, 0), 0);
        QCOMPARE(frameText(bus->takeSent(&toolNode).at(0)), QString("633 40 00 10 00 00 00 00 00"));
        QCOMPARE(*static_cast<uint32_t*>(objectValue(&toolNode, 0x1280, 2, 4)), 0x5B3u);
    }

    void refusedWhileTheNodeMayNotSend()
    {
        CanOpenLock lock;
        setNodeState(&toolNode, NMT_STOPPED);
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, onDone, 0), int(SDO_REFUSED));
        setNodeState(&toolNode, NMT_PRE_OPERATIONAL);
        bus->setRefuseSends(true);
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, onDone, 0), int(SDO_REFUSED));
        bus->setRefuseSends(false);
        // Nothing was left behind: no line, no time-out, no callback.
        QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, nullptr)), int(SDO_ENDED_LOCALLY));
        bus->advance(SDO_TIMEOUT_MS + 10);
        QCOMPARE(::callbacks, 0);
        QVERIFY(bus->takeSent(&toolNode).empty());
    }

    void bufferTooSmallKeepsTheLine()
    {
        {
            CanOpenLock lock;
            QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1021, 0, CO_DOMAIN, nullptr, 0), 0);
        }
        bus->deliver(&toolNode, parseFrame("5A0 41 21 10 00 64 00 00 00"));
        int toggle = 0;
        for (int sent = 0; sent < 100; sent += 7) {
            CanFrame seg = parseFrame("5A0 00 AA AA AA AA AA AA AA");
            const int n = qMin(7, 100 - sent);
            seg.data[0] = uint8_t(toggle << 4 | (7 - n) << 1 | (sent + n == 100 ? 1 : 0));
            toggle ^= 1;
            bus->deliver(&toolNode, seg);
        }
        CanOpenLock lock;
        uint8_t buf[100];
        uint32_t size = 70, code = 0;
        QCOMPARE(int(sdoReadResult(&toolNode, kDevice, buf, &size, &code)), int(SDO_BUFFER_TOO_SMALL));
        QCOMPARE(size, 0u);
        size = 100;
        QCOMPARE(int(sdoReadResult(&toolNode, kDevice, buf, &size, &code)), int(SDO_FINISHED));
        QCOMPARE(size, 100u);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buf), 100), QByteArray(100, char(0xAA)));
    }

    void failedAllocationLeavesNothingBehind()
    {
        const QByteArray big(100, 'x');
        CanOpenLock lock;
        sdoAllocate = maybeAllocate;
        allocFails = true;
        QCOMPARE(sdoWriteRemote(&toolNode, kDevice, 0x1021, 0, 100, CO_DOMAIN, big.constData(), onDone, 0),
                 int(SDO_NO_BUFFER));
        allocFails = false;
        QVERIFY(bus->takeSent(&toolNode).empty());
        // The line is free at once and no stale time-out or callback waits.
        QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, nullptr)), int(SDO_ENDED_LOCALLY));
        bus->advance(SDO_TIMEOUT_MS + 10);
        QCOMPARE(::callbacks, 0);
        QVERIFY(bus->takeSent(&toolNode).empty());
        QCOMPARE(sdoWriteRemote(&toolNode, kDevice, 0x1021, 0, 100, CO_DOMAIN, big.constData(), onDone, 0), 0);

        // A read whose buffer cannot grow ends with a general error.
        QCOMPARE(int(closeSdoTransfer(&toolNode, kDevice, SDO_CLIENT)), 0);
        bus->takeSent(&toolNode);
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1021, 0, CO_DOMAIN, onDone, 0), 0);
        bus->deliver(&toolNode, parseFrame("5A0 41 21 10 00 64 00 00 00"));
        allocFails = true;
        for (int i = 0; i < 6 && ::callbacks == 0; ++i) {
            CanFrame seg = parseFrame("5A0 00 01 02 03 04 05 06 07");
            seg.data[0] = uint8_t((i & 1) << 4);
            bus->deliver(&toolNode, seg);
        }
        allocFails = false;
        sdoAllocate = std::malloc;
        QCOMPARE(::callbacks, 1);
        const std::vector<CanFrame> sent = bus->takeSent(&toolNode);
        QCOMPARE("> " + frameText(sent.back()), abortSent(0x1021, 0, 0x08000000));
    }

    void lateAnswerNeverBecomesTheNextValue()
    {
        CanOpenLock lock;
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, onDone, 0), 0);
        // The requester gives up and frees the line; the next request starts.
        QCOMPARE(int(closeSdoTransfer(&toolNode, kDevice, SDO_CLIENT)), 0);
        QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x2000, 1, CO_UNSIGNED16, onDone, 0), 0);
        bus->takeSent(&toolNode);
        bus->deliver(&toolNode, parseFrame("5A0 43 00 10 00 91 01 00 00"));
        QCOMPARE(::callbacks, 0);
        bus->deliver(&toolNode, parseFrame("5A0 4B 00 20 01 07 00 00 00"));
        QCOMPARE(::callbacks, 1);
        uint8_t buf[8];
        uint32_t size = sizeof buf, code = 0;
        QCOMPARE(int(sdoReadResult(&toolNode, kDevice, buf, &size, &code)), int(SDO_FINISHED));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buf), int(size)), QByteArray::fromHex("0700"));
        QVERIFY(bus->takeSent(&toolNode).empty());
    }

    void callbackMayStartTheNextTransferOnTheTimedOutLine()
    {
        {
            CanOpenLock lock;
            QCOMPARE(sdoReadRemote(&toolNode, kDevice, 0x1000, 0, CO_UNSIGNED32, readAndRestart, 0), 0);
        }
        bus->takeSent(&toolNode);
        bus->advance(SDO_TIMEOUT_MS);
        QCOMPARE(int(resultInCallback), int(SDO_ENDED_LOCALLY));
        QCOMPARE(restartResult, 0);
        // The new transfer survived the end of the old one's time-out.
        CanOpenLock lock;
        QCOMPARE(int(sdoWriteResult(&toolNode, kDevice, nullptr)), int(SDO_UPLOAD_IN_PROGRESS));
        const std::vector<CanFrame> sent = bus->takeSent(&toolNode);
        QCOMPARE(sent.size(), size_t(2));
        QCOMPARE("> " + frameText(sent[0]), abortSent(0x1000, 0, 0x05040000));
        QCOMPARE(frameText(sent[1]), QString("620 40 00 10 00 00 00 00 00"));
    }

    void framesWithoutATransfer()
    {
        // An answer no transfer waits for is refused; an abort is not answered.
        bus->deliver(&toolNode, parseFrame("5A0 43 00 10 00 91 01 00 00"));
        bus->deliver(&toolNode, parseFrame("5A0 80 00 10 00 00 00 04 05"));
        const std::vector<CanFrame> sent = bus->takeSent(&toolNode);
        QCOMPARE(sent.size(), size_t(1));
        QCOMPARE("> " + frameText(sent[0]), abortSent(0x1000, 0, 0x08000021));
        // Frames for another node's SDO are none of ours.
        bus->deliver(&toolNode, parseFrame("5A1 43 00 10 00 91 01 00 00"));
        QVERIFY(bus->takeSent(&toolNode).empty());
    }
};

QTEST_GUILESS_MAIN(TstSdoClient)
#include "tst_sdoclient.moc"
