// Emergency messages: a device with error register, a history of three and
// an EMCY COB-ID sends them; the tool's node, whose dictionary has neither
// history nor COB-ID, must still keep its error table and register.
#include "canopen/emcy.h"
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"
#include "toolbus.h"

#include <QTest>

#include <memory>

namespace {
std::unique_ptr<TestBus> bus;

uint32_t deviceType = 0x191;
uint8_t errorRegister = 0;
uint8_t historyCount = 0;
uint32_t history[3] = {};
uint32_t emcyCobId = 0x80; // the default for an unset id; moves with the id
SubEntry d1000[] = {{OD_RO, CO_UNSIGNED32, 4, &deviceType}};
SubEntry d1001[] = {{OD_RO, CO_UNSIGNED8, 1, &errorRegister}};
SubEntry d1003[] = {{OD_RW, CO_UNSIGNED8, 1, &historyCount},
                    {OD_RO, CO_UNSIGNED32, 4, &history[0]},
                    {OD_RO, CO_UNSIGNED32, 4, &history[1]},
                    {OD_RO, CO_UNSIGNED32, 4, &history[2]}};
SubEntry d1014[] = {{OD_RW, CO_UNSIGNED32, 4, &emcyCobId}};
ObjectCallback watch1003[4];
const ObjectEntry deviceDictionary[] = {{d1000, 1, 0x1000, nullptr},
                                        {d1001, 1, 0x1001, nullptr},
                                        {d1003, 4, 0x1003, watch1003},
                                        {d1014, 1, 0x1014, nullptr}};
CanOpenNode device;

QStringList received;
void noteEmcy(CanOpenNode*, uint8_t nodeId, uint16_t code, uint8_t reg)
{
    received << QString::asprintf("%02X %04X %02X", nodeId, code, reg);
}

QStringList sentBy(CanOpenNode* node)
{
    QStringList out;
    for (const CanFrame& f : bus->takeSent(node))
        out << frameText(f);
    return out;
}

QList<uint> historyNow()
{
    QList<uint> out;
    for (int i = 0; i < historyCount; ++i)
        out << history[i];
    return out;
}

void bringUp(CanOpenNode* node, uint8_t id)
{
    assignNodeId(node, id);
    setNodeState(node, NMT_INITIALISATION);
    bus->takeSent(node);
}
}

class TstEmcy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(openToolBus(&bus, &device)); }
    void cleanupTestCase() { closeToolBus(&bus); }
    void init()
    {
        CanOpenLock lock;
        initCanOpenTimer();
        resetToolNode();
        errorRegister = 0;
        historyCount = 0;
        std::fill(std::begin(history), std::end(history), 0u);
        emcyCobId = 0x80;
        std::fill(std::begin(watch1003), std::end(watch1003), nullptr);
        initCanOpenNode(&device, deviceDictionary, 4);
        device.slave = 1;
        bringUp(&device, 0x20);
        received.clear();
    }

    void setAndRecover()
    {
        CanOpenLock lock;
        QCOMPARE(emcyCobId, 0xA0u);
        QCOMPARE(int(setEmcyError(&device, 0x1000, 0x01, 0x0022)), 0);
        QCOMPARE(sentBy(&device), QStringList{"0A0 00 10 01 00 00 00 00 00"});
        // Raising an active error again changes nothing.
        QCOMPARE(int(setEmcyError(&device, 0x1000, 0x80, 0x0033)), 0);
        QVERIFY(sentBy(&device).isEmpty());
        QCOMPARE(int(setEmcyError(&device, 0x2310, 0x02, 0)), 0);
        QCOMPARE(sentBy(&device), QStringList{"0A0 10 23 03 00 00 00 00 00"});
        QCOMPARE(int(errorRegister), 3);
        QCOMPARE(historyNow(), (QList<uint>{0x00002310, 0x00221000}));
        QCOMPARE(int(device.emcy.errorState), 1);
        // Recovering one of two only lowers the register.
        QCOMPARE(int(recoverEmcyError(&device, 0x1000)), 0);
        QVERIFY(sentBy(&device).isEmpty());
        QCOMPARE(int(errorRegister), 2);
        QCOMPARE(int(recoverEmcyError(&device, 0x1000)), 1);
        // The last one sends the all-clear.
        QCOMPARE(int(recoverEmcyError(&device, 0x2310)), 0);
        QCOMPARE(sentBy(&device), QStringList{"0A0 00 00 00 00 00 00 00 00"});
        QCOMPARE(int(errorRegister), 0);
        QCOMPARE(int(device.emcy.errorState), 0);
        // The history keeps what happened.
        QCOMPARE(int(historyCount), 2);
    }

    void ninthErrorIsRefused()
    {
        CanOpenLock lock;
        for (uint16_t i = 0; i < 8; ++i)
            QCOMPARE(int(setEmcyError(&device, uint16_t(0x5000 + i), uint8_t(1 << i), i)), 0);
        QCOMPARE(sentBy(&device).size(), 8);
        QCOMPARE(int(errorRegister), 0xFF);
        const QList<uint> before = historyNow();
        QCOMPARE(int(setEmcyError(&device, 0x6000, 0x01, 0)), 1);
        QVERIFY(sentBy(&device).isEmpty());
        QCOMPARE(historyNow(), before);
        // A freed slot takes the next error.
        QCOMPARE(int(recoverEmcyError(&device, 0x5003)), 0);
        QCOMPARE(int(setEmcyError(&device, 0x6000, 0x01, 0)), 0);
        QCOMPARE(sentBy(&device), QStringList{"0A0 00 60 F7 00 00 00 00 00"});
    }

    void historyKeepsTheNewestAndClearsOnZero()
    {
        CanOpenLock lock;
        for (uint16_t code : {0x1000, 0x2000, 0x3000, 0x4000})
            setEmcyError(&device, code, 1, 0x0001);
        QCOMPARE(historyNow(), (QList<uint>{0x00014000, 0x00013000, 0x00012000}));
        uint8_t value = 2;
        uint32_t size = 1;
        QCOMPARE(writeObjectEntry(&device, 0x1003, 0, &value, &size, true), uint32_t(ABORT_VALUE_RANGE));
        QCOMPARE(int(historyCount), 3);
        value = 0;
        QCOMPARE(writeObjectEntry(&device, 0x1003, 0, &value, &size, true), 0u);
        QVERIFY(historyNow().isEmpty());
        QCOMPARE(history[0], 0u);
        setEmcyError(&device, 0x5000, 1, 0);
        QCOMPARE(historyNow(), QList<uint>{0x5000});
    }

    void specificData_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("frame");
        QTest::newRow("none: zeros up to 8") << 0 << "0A0 30 82 04 00 00 00 00 00";
        QTest::newRow("two bytes") << 2 << "0A0 30 82 04 C1 C2";
        QTest::newRow("more than five are cut") << 7 << "0A0 30 82 04 C1 C2 C3 C4 C5";
    }
    void specificData()
    {
        QFETCH(int, count);
        QFETCH(QString, frame);
        const uint8_t data[7] = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7};
        CanOpenLock lock;
        QCOMPARE(int(sendEmcy(&device, 0x8230, 0x04, count ? data : nullptr, uint8_t(count))), 0);
        QCOMPARE(sentBy(&device), QStringList{frame});
        // An invalid COB-ID sends nothing.
        emcyCobId |= 0x80000000u;
        QCOMPARE(int(sendEmcy(&device, 0x8230, 0x04, data, uint8_t(count))), 1);
        QVERIFY(sentBy(&device).isEmpty());
    }

    void onlyWhileTheServiceIsOn()
    {
        CanOpenLock lock;
        setNodeState(&device, NMT_STOPPED);
        QCOMPARE(int(setEmcyError(&device, 0x1000, 0x01, 0)), 0);
        QCOMPARE(int(errorRegister), 1);
        QCOMPARE(int(recoverEmcyError(&device, 0x1000)), 0);
        QVERIFY(sentBy(&device).isEmpty());
    }

    void dictionaryWithoutHistoryOrCobId()
    {
        CanOpenLock lock;
        bringUp(&toolNode, 1);
        QCOMPARE(int(setEmcyError(&toolNode, 0x1000, 0x01, 0x0022)), 0);
        QCOMPARE(int(setEmcyError(&toolNode, 0x2000, 0x04, 0)), 0);
        uint8_t reg = 0;
        uint32_t size = 1;
        QCOMPARE(readObjectEntry(&toolNode, 0x1001, 0, &reg, &size, nullptr, true), 0u);
        QCOMPARE(int(reg), 5);
        QCOMPARE(int(recoverEmcyError(&toolNode, 0x1000)), 0);
        QCOMPARE(int(recoverEmcyError(&toolNode, 0x2000)), 0);
        QCOMPARE(int(toolNode.emcy.errorState), 0);
        QCOMPARE(int(sendEmcy(&toolNode, 0x1000, 1, nullptr, 0)), 1);
        QVERIFY(sentBy(&toolNode).isEmpty());
    }

    void receptionReachesTheHook()
    {
        CanOpenLock lock;
        bringUp(&toolNode, 1);
        toolNode.emcy.onEmcy = noteEmcy;
        setEmcyError(&device, 0x3210, 0x04, 0);
        bus->pump();
        QCOMPARE(received, QStringList{"20 3210 04"});
        // Only full 8-byte frames, and only while EMCY is on.
        bus->deliver(&toolNode, parseFrame("085 00 10 01"));
        setNodeState(&toolNode, NMT_STOPPED);
        bus->deliver(&toolNode, parseFrame("085 00 10 01 00 00 00 00 00"));
        QCOMPARE(received.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstEmcy)
#include "tst_emcy.moc"
