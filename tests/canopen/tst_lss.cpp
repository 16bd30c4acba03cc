// LSS: the tool's node as master against a slave node of the stack on the
// test bus. The bus driver is wrapped so the bit-rate codes handed to each
// adapter are seen.
#include "canopen/lss.h"
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"

#include <QTest>

#include <memory>

namespace {
std::unique_ptr<TestBus> bus;
CanAdapterDriver recordingDriver;
QStringList bitRates; // "handle:code"; the tool is handle 1, the slave 2

uint8_t recordBitRate(CanHandle handle, const char* code)
{
    bitRates << QString("%1:%2").arg(handle).arg(code);
    return 0;
}

uint32_t deviceType = 0x191;
uint8_t identityCount = 4;
uint32_t identity[4] = {0x0000ABCD, 0x12345678, 0x00010002, 0x0000CAFE};
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &deviceType}};
SubEntry s1018[] = {{OD_RO, CO_UNSIGNED8, 1, &identityCount},
                    {OD_RO, CO_UNSIGNED32, 4, &identity[0]},
                    {OD_RO, CO_UNSIGNED32, 4, &identity[1]},
                    {OD_RO, CO_UNSIGNED32, 4, &identity[2]},
                    {OD_RO, CO_UNSIGNED32, 4, &identity[3]}};
const ObjectEntry slaveDictionary[] = {{s1000, 1, 0x1000, nullptr}, {s1018, 5, 0x1018, nullptr}};
CanOpenNode slave;

QList<int> results; // commands the master's callback was called with
void noteResult(CanOpenNode*, uint8_t command) { results << command; }

QString stored;
uint8_t storeConfiguration(CanOpenNode*, uint8_t nodeId, const char* bitRate)
{
    stored = QString::asprintf("%02X %s", nodeId, bitRate ? bitRate : "none");
    return 0;
}

QStringList sentBy(CanOpenNode* node)
{
    QStringList out;
    for (const CanFrame& f : bus->takeSent(node))
        out << frameText(f);
    return out;
}

QStringList pumpBus()
{
    QStringList moved;
    bus->pump([&](const CanFrame& f) {
        moved << frameText(f);
        return true;
    });
    return moved;
}

// Sends one request and lets the slave answer; the frames on the bus.
QStringList request(uint8_t command, uint32_t value = 0, const char* rate = nullptr)
{
    if (sendLssMasterCommand(&toolNode, command, value, rate, noteResult) != 0)
        return {"refused"};
    return pumpBus();
}

uint8_t masterState(uint32_t* value = nullptr)
{
    return getLssResult(&toolNode, value, nullptr);
}

// A case that failed inside a bit-rate switch leaves the port aside; take it
// back so the bus can close it.
void recoverPorts()
{
    for (CanOpenNode* node : {&toolNode, &slave}) {
        if (node->lss.savedPort) {
            node->port = node->lss.savedPort;
            node->lss.savedPort = nullptr;
        }
    }
}

void startSlave(uint8_t id)
{
    initCanOpenNode(&slave, slaveDictionary, 2);
    slave.slave = 1;
    assignNodeId(&slave, id);
    setNodeState(&slave, NMT_INITIALISATION);
    bus->takeSent(&slave);
}
}

class TstLss : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        bus = std::make_unique<TestBus>();
        recordingDriver = *canAdapterDriver();
        recordingDriver.setBitRate = recordBitRate;
        setCanAdapterDriver(&recordingDriver);
        QVERIFY(bus->attach(&toolNode));
        QVERIFY(bus->attach(&slave));
    }
    void cleanupTestCase()
    {
        recoverPorts();
        bus.reset();
        resetToolNode();
    }
    void init()
    {
        CanOpenLock lock;
        recoverPorts();
        initCanOpenTimer();
        resetToolNode();
        assignNodeId(&toolNode, 1);
        setNodeState(&toolNode, NMT_INITIALISATION);
        bus->takeSent(&toolNode);
        startSlave(0x30);
        results.clear();
        bitRates.clear();
        stored.clear();
    }

    void configureNodeId_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<uint>("idAfter");
        QTest::addColumn<QStringList>("onLeaving");
        QTest::newRow("0x25") << 0x25u << "7E4 11 00 00 00 00 00 00 00" << 0x25u
                              << QStringList{"7E5 04 00 00 00 00 00 00 00", "725 00"};
        QTest::newRow("0 is refused") << 0u << "7E4 11 01 00 00 00 00 00 00" << 0x30u
                                      << QStringList{"7E5 04 00 00 00 00 00 00 00"};
        QTest::newRow("128 is refused") << 128u << "7E4 11 01 00 00 00 00 00 00" << 0x30u
                                        << QStringList{"7E5 04 00 00 00 00 00 00 00"};
    }
    void configureNodeId()
    {
        QFETCH(uint, id);
        QFETCH(QString, answer);
        QFETCH(uint, idAfter);
        QFETCH(QStringList, onLeaving);
        CanOpenLock lock;
        QCOMPARE(request(LSS_SWITCH_MODE_GLOBAL, LSS_CONFIGURATION_MODE),
                 QStringList{"7E5 04 01 00 00 00 00 00 00"});
        QCOMPARE(request(LSS_CONFIGURE_NODE_ID, id),
                 (QStringList{QString::asprintf("7E5 11 %02X 00 00 00 00 00 00", id), answer}));
        uint32_t error = 0xFF;
        QCOMPARE(int(masterState(&error)), int(LSS_DONE));
        QCOMPARE(error, answer == "7E4 11 00 00 00 00 00 00 00" ? 0u : 1u);
        QCOMPARE(results, QList<int>{LSS_CONFIGURE_NODE_ID});
        // The new id takes effect when the slave leaves configuration.
        QCOMPARE(int(slave.nodeId), 0x30);
        QCOMPARE(request(LSS_SWITCH_MODE_GLOBAL, LSS_WAITING_MODE), onLeaving);
        QCOMPARE(uint(slave.nodeId), idAfter);
        QCOMPARE(slave.nmtState, uint32_t(NMT_PRE_OPERATIONAL));
    }

    void bitTiming_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("code");
        QTest::newRow("1M") << "1M" << "7E5 13 00 00 00 00 00 00 00" << "8";
        QTest::newRow("500K") << "500K" << "7E5 13 00 02 00 00 00 00 00" << "6";
        QTest::newRow("125K") << "125K" << "7E5 13 00 04 00 00 00 00 00" << "4";
        QTest::newRow("10K") << "10K" << "7E5 13 00 08 00 00 00 00 00" << "0";
    }
    void bitTiming()
    {
        QFETCH(QString, rate);
        QFETCH(QString, frame);
        QFETCH(QString, code);
        CanOpenLock lock;
        request(LSS_SWITCH_MODE_GLOBAL, LSS_CONFIGURATION_MODE);
        const QByteArray text = rate.toLatin1();
        QCOMPARE(request(LSS_CONFIGURE_BIT_TIMING, 0, text.constData()),
                 (QStringList{frame, "7E4 13 00 00 00 00 00 00 00"}));
        QCOMPARE(int(masterState()), int(LSS_DONE));
        // Activate with 10 ms: both sides switch after 10 ms and talk again
        // after another 10 ms; nothing goes out in between.
        QCOMPARE(request(LSS_ACTIVATE_BIT_TIMING, 10), QStringList{"7E5 15 0A 00 00 00 00 00 00"});
        QVERIFY(!toolNode.port);
        QVERIFY(!slave.port);
        bus->advance(9);
        QVERIFY(bitRates.isEmpty());
        bus->advance(1);
        QCOMPARE(bitRates, (QStringList{"1:" + code, "2:" + code}));
        QCOMPARE(int(masterState()), int(LSS_WAITING));
        bus->advance(10);
        QVERIFY(toolNode.port);
        QVERIFY(slave.port);
        uint32_t value = 0xFF;
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, 0u);
        QCOMPARE(results, (QList<int>{LSS_CONFIGURE_BIT_TIMING, LSS_ACTIVATE_BIT_TIMING}));
        // Both talk again.
        QCOMPARE(request(LSS_INQUIRE_NODE_ID), (QStringList{"7E5 5E 00 00 00 00 00 00 00",
                                                            "7E4 5E 30 00 00 00 00 00 00"}));
    }

    void bitTimingRefusals()
    {
        CanOpenLock lock;
        request(LSS_SWITCH_MODE_GLOBAL, LSS_CONFIGURATION_MODE);
        uint32_t value = 0;
        // Nothing configured yet: activating has nothing to switch to.
        QCOMPARE(int(sendLssMasterCommand(&toolNode, LSS_ACTIVATE_BIT_TIMING, 10, nullptr, noteResult)), 1);
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, 1u);
        // A rate outside the table is refused without a frame.
        QCOMPARE(int(sendLssMasterCommand(&toolNode, LSS_CONFIGURE_BIT_TIMING, 0, "2M", noteResult)),
                 int(LSS_REFUSED));
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, 0xFFu);
        QCOMPARE(results, (QList<int>{LSS_ACTIVATE_BIT_TIMING, LSS_CONFIGURE_BIT_TIMING}));
        QVERIFY(sentBy(&toolNode).isEmpty());
        bus->advance(100);
        QVERIFY(bitRates.isEmpty());
        QVERIFY(toolNode.port);
        // The slave refuses a table index or table it does not know.
        bus->deliver(&slave, parseFrame("7E5 13 00 09 00 00 00 00 00"));
        bus->deliver(&slave, parseFrame("7E5 13 01 02 00 00 00 00 00"));
        QCOMPARE(sentBy(&slave), (QStringList{"7E4 13 01 00 00 00 00 00 00", "7E4 13 01 00 00 00 00 00 00"}));
        QVERIFY(!slave.lss.bitRate);
    }

    void store_data()
    {
        QTest::addColumn<bool>("hook");
        QTest::addColumn<uint>("error");
        QTest::addColumn<QString>("kept");
        QTest::newRow("stored") << true << 0u << "25 250K";
        QTest::newRow("not supported") << false << 1u << "";
    }
    void store()
    {
        QFETCH(bool, hook);
        QFETCH(uint, error);
        QFETCH(QString, kept);
        CanOpenLock lock;
        slave.lss.onStore = hook ? storeConfiguration : nullptr;
        request(LSS_SWITCH_MODE_GLOBAL, LSS_CONFIGURATION_MODE);
        request(LSS_CONFIGURE_NODE_ID, 0x25);
        request(LSS_CONFIGURE_BIT_TIMING, 0, "250K");
        QCOMPARE(request(LSS_STORE_CONFIGURATION),
                 (QStringList{"7E5 17 00 00 00 00 00 00 00", QString::asprintf("7E4 17 %02X 00 00 00 00 00 00", error)}));
        uint32_t value = 0xFF;
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, error);
        QCOMPARE(stored, kept);
    }

    void inquire_data()
    {
        QTest::addColumn<uint>("command");
        QTest::addColumn<uint>("value");
        QTest::newRow("vendor") << uint(LSS_INQUIRE_VENDOR) << 0x0000ABCDu;
        QTest::newRow("product") << uint(LSS_INQUIRE_PRODUCT) << 0x12345678u;
        QTest::newRow("revision") << uint(LSS_INQUIRE_REVISION) << 0x00010002u;
        QTest::newRow("serial") << uint(LSS_INQUIRE_SERIAL) << 0x0000CAFEu;
        QTest::newRow("node id") << uint(LSS_INQUIRE_NODE_ID) << 0x30u;
    }
    void inquire()
    {
        QFETCH(uint, command);
        QFETCH(uint, value);
        CanOpenLock lock;
        request(LSS_SWITCH_MODE_GLOBAL, LSS_CONFIGURATION_MODE);
        QCOMPARE(request(uint8_t(command)).size(), 2);
        uint32_t got = 0;
        QCOMPARE(int(masterState(&got)), int(LSS_DONE));
        QCOMPARE(got, value);
        QCOMPARE(results, QList<int>{int(command)});
    }

    void unansweredRequestTimesOut()
    {
        CanOpenLock lock;
        // Waiting mode: the slave does not answer inquiries.
        QCOMPARE(request(LSS_INQUIRE_VENDOR), QStringList{"7E5 5A 00 00 00 00 00 00 00"});
        bus->advance(999);
        QCOMPARE(int(masterState()), int(LSS_WAITING));
        QVERIFY(results.isEmpty());
        bus->advance(1);
        QCOMPARE(int(masterState()), int(LSS_TIMED_OUT));
        QCOMPARE(results, QList<int>{LSS_INQUIRE_VENDOR});
        // A late answer, or one nobody asked for, changes nothing.
        bus->deliver(&toolNode, parseFrame("7E4 5A CD AB 00 00 00 00 00"));
        QCOMPARE(int(masterState()), int(LSS_TIMED_OUT));
        QCOMPARE(results.size(), 1);
    }

    void answerOfAnotherCommandIsIgnored()
    {
        CanOpenLock lock;
        QCOMPARE(int(sendLssMasterCommand(&toolNode, LSS_INQUIRE_SERIAL, 0, nullptr, noteResult)), 0);
        bus->deliver(&toolNode, parseFrame("7E4 5A CD AB 00 00 00 00 00"));
        bus->deliver(&toolNode, parseFrame("7E4 5B FE CA"));
        QCOMPARE(int(masterState()), int(LSS_WAITING));
        bus->deliver(&toolNode, parseFrame("7E4 5D FE CA 00 00 00 00 00"));
        uint32_t value = 0;
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, 0xCAFEu);
    }

    // Each step is "command value" in hexadecimal.
    void selectiveSwitch_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("selected");
        QTest::newRow("all four match") << QStringList{"40 ABCD", "41 12345678", "42 10002", "43 CAFE"} << true;
        QTest::newRow("wrong serial") << QStringList{"40 ABCD", "41 12345678", "42 10002", "43 CAFF"} << false;
        QTest::newRow("product first") << QStringList{"41 12345678", "40 ABCD", "42 10002", "43 CAFE"} << false;
        QTest::newRow("identify: inside the ranges")
            << QStringList{"46 ABCD", "47 12345678", "48 10000", "49 1FFFF", "4A 0", "4B FFFF"} << true;
        QTest::newRow("identify: revision below the range")
            << QStringList{"46 ABCD", "47 12345678", "48 10003", "49 1FFFF", "4A 0", "4B FFFF"} << false;
        QTest::newRow("identify: serial above the range")
            << QStringList{"46 ABCD", "47 12345678", "48 10000", "49 1FFFF", "4A 0", "4B CAFD"} << false;
        QTest::newRow("identify: bounds equal to its own")
            << QStringList{"46 ABCD", "47 12345678", "48 10002", "49 10002", "4A CAFE", "4B CAFE"} << true;
        QTest::newRow("identify: wrong product")
            << QStringList{"46 ABCD", "47 12345679", "48 10000", "49 1FFFF", "4A 0", "4B FFFF"} << false;
        QTest::newRow("identify: revision above the range")
            << QStringList{"46 ABCD", "47 12345678", "48 10000", "49 10001", "4A 0", "4B FFFF"} << false;
        QTest::newRow("identify: serial below the range")
            << QStringList{"46 ABCD", "47 12345678", "48 10000", "49 1FFFF", "4A CAFF", "4B FFFF"} << false;
    }
    void selectiveSwitch()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, selected);
        CanOpenLock lock;
        QStringList answers;
        for (const QString& step : steps) {
            const QStringList parts = step.split(' ');
            for (const QString& f : request(uint8_t(parts[0].toUInt(nullptr, 16)), parts[1].toUInt(nullptr, 16))) {
                if (f.startsWith("7E4"))
                    answers << f;
            }
        }
        const bool selective = steps[0].left(2).toUInt(nullptr, 16) < LSS_IDENTIFY_VENDOR;
        if (!selected) {
            QVERIFY(answers.isEmpty());
            bus->advance(LSS_ANSWER_TIMEOUT_MS);
            QCOMPARE(int(masterState()), int(LSS_TIMED_OUT));
            QCOMPARE(int(slave.lss.mode), int(LSS_WAITING_MODE));
            return;
        }
        QCOMPARE(answers, QStringList{selective ? "7E4 44 00 00 00 00 00 00 00" : "7E4 4F 00 00 00 00 00 00 00"});
        QCOMPARE(int(masterState()), int(LSS_DONE));
        // Only the selective switch puts the slave into configuration.
        QCOMPARE(int(slave.lss.mode), selective ? int(LSS_CONFIGURATION_MODE) : int(LSS_WAITING_MODE));
    }

    void identifyNonConfigured_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<uint>("result");
        QTest::newRow("non-configured slave answers")
            << 255u << QStringList{"7E5 4C 00 00 00 00 00 00 00", "7E4 50 00 00 00 00 00 00 00"} << 0u;
        QTest::newRow("silence: none there") << 0x30u << QStringList{"7E5 4C 00 00 00 00 00 00 00"} << 1u;
    }
    void identifyNonConfigured()
    {
        QFETCH(uint, id);
        QFETCH(QStringList, frames);
        QFETCH(uint, result);
        CanOpenLock lock;
        startSlave(uint8_t(id));
        QCOMPARE(request(LSS_IDENTIFY_NON_CONFIGURED), frames);
        bus->advance(LSS_ANSWER_TIMEOUT_MS);
        uint32_t value = 0xFF;
        QCOMPARE(int(masterState(&value)), int(LSS_DONE));
        QCOMPARE(value, result);
        QCOMPARE(results, QList<int>{LSS_IDENTIFY_NON_CONFIGURED});
    }

    void unknownCommandIsRefused()
    {
        CanOpenLock lock;
        QCOMPARE(int(sendLssMasterCommand(&toolNode, 5, 0, nullptr, noteResult)), int(LSS_REFUSED));
        QVERIFY(sentBy(&toolNode).isEmpty());
        QVERIFY(results.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstLss)
#include "tst_lss.moc"
