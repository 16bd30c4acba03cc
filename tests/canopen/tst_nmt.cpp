#include "canopen/lifeguard.h"
#include "canopen/nmt.h"
#include "canopen/od.h"
#include "canopen/port.h"
#include "canopen/sdo.h"
#include "canopen/timer.h"
#include "canopen/tooldict.h"
#include "sdoscript.h"

#include <QTest>

#include <memory>

namespace {
std::unique_ptr<TestBus> bus;

// A slave node with a default SDO server, heartbeat producer and guarding.
uint32_t deviceType = 0x191;
uint8_t serverCount = 2;
uint32_t serverRx = 0x600, serverTx = 0x580;
uint16_t guardTime = 100;
uint8_t lifeTimeFactor = 3;
uint16_t producerTime = 0;
SubEntry s1000[] = {{OD_RO, CO_UNSIGNED32, 4, &deviceType}};
SubEntry s100C[] = {{OD_RW, CO_UNSIGNED16, 2, &guardTime}};
SubEntry s100D[] = {{OD_RW, CO_UNSIGNED8, 1, &lifeTimeFactor}};
SubEntry s1017[] = {{OD_RW, CO_UNSIGNED16, 2, &producerTime}};
SubEntry s1200[] = {{OD_RO, CO_UNSIGNED8, 1, &serverCount},
                    {OD_RO, CO_UNSIGNED32, 4, &serverRx},
                    {OD_RO, CO_UNSIGNED32, 4, &serverTx}};
ObjectCallback watch100C[1], watch100D[1], watch1017[1];
const ObjectEntry slaveDictionary[] = {{s1000, 1, 0x1000, nullptr},
                                       {s100C, 1, 0x100C, watch100C},
                                       {s100D, 1, 0x100D, watch100D},
                                       {s1017, 1, 0x1017, watch1017},
                                       {s1200, 3, 0x1200, nullptr}};
CanOpenNode slave;

std::vector<QString> events;
void noteReset(CanOpenNode*) { events.push_back("reset"); }
void noteHeartbeatError(CanOpenNode*, uint8_t id) { events.push_back(QString("heartbeat %1").arg(id)); }
void noteGuardError(CanOpenNode*, uint8_t id) { events.push_back(QString("guard %1").arg(id)); }
void noteBootUp(CanOpenNode*, uint8_t id) { events.push_back(QString("boot-up %1").arg(id)); }

QStringList sentBy(CanOpenNode* node)
{
    QStringList out;
    for (const CanFrame& f : bus->takeSent(node))
        out << (f.rtr ? "rtr " : "") + frameText(f);
    return out;
}

CommFlags flagsOf(const QString& bits)
{
    return CommFlags{uint8_t(bits[0] == '1'), uint8_t(bits[1] == '1'), uint8_t(bits[2] == '1'),
                     uint8_t(bits[3] == '1'), uint8_t(bits[4] == '1'), uint8_t(bits[5] == '1'),
                     uint8_t(bits[6] == '1')};
}

QString bitsOf(const CommFlags& f)
{
    QString s;
    for (uint8_t b : {f.bootUp, f.sdo, f.emcy, f.sync, f.lifeGuard, f.pdo, f.lss})
        s += b ? '1' : '0';
    return s;
}

void startTool()
{
    CanOpenLock lock;
    assignNodeId(&toolNode, 1);
    setNodeState(&toolNode, NMT_INITIALISATION);
}

void startSlave(uint8_t id)
{
    CanOpenLock lock;
    resetSdoLines(&slave);
    serverRx = 0x600;
    serverTx = 0x580;
    initCanOpenNode(&slave, slaveDictionary, 5);
    slave.slave = 1;
    slave.onResetNode = noteReset;
    slave.onResetCommunication = noteReset;
    slave.onHeartbeatError = noteHeartbeatError;
    slave.onNodeGuardError = noteGuardError;
    slave.onRemoteBootUp = noteBootUp;
    assignNodeId(&slave, id);
    setNodeState(&slave, NMT_INITIALISATION);
}
}

class TstNmt : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        bus = std::make_unique<TestBus>();
        QVERIFY(bus->attach(&toolNode));
        QVERIFY(bus->attach(&slave));
    }
    void cleanupTestCase()
    {
        bus.reset();
        resetToolNode();
        resetSdoLines(&slave);
    }
    void init()
    {
        CanOpenLock lock;
        initCanOpenTimer();
        resetToolNode();
        bus->takeSent(&toolNode);
        bus->takeSent(&slave);
        events.clear();
    }

    void startUpSendsBootUpOnce()
    {
        QCOMPARE(toolNode.nmtState, uint32_t(NMT_UNKNOWN));
        QCOMPARE(bitsOf(toolNode.comm), QString("0000000"));
        startTool();
        QCOMPARE(toolNode.nmtState, uint32_t(NMT_PRE_OPERATIONAL));
        QCOMPARE(sentBy(&toolNode), QStringList{"701 00"});
        // SYNC and life guard are wanted but never switched on.
        QCOMPARE(bitsOf(toolNode.comm), QString("0110001"));
        CanOpenLock lock;
        assignNodeId(&toolNode, 255);
        QCOMPARE(int(sendBootUp(&toolNode)), 1);
        QVERIFY(sentBy(&toolNode).isEmpty());
    }

    void stateTable_data()
    {
        QTest::addColumn<uint>("from");
        QTest::addColumn<uint>("to");
        QTest::addColumn<uint>("result");
        QTest::addColumn<uint>("after");
        QTest::addColumn<QString>("flags");
        QTest::newRow("pre-operational to operational") << 127u << 5u << 5u << 5u << "0110010";
        QTest::newRow("pre-operational to stopped") << 127u << 4u << 4u << 4u << "0000001";
        QTest::newRow("stopped to pre-operational") << 4u << 127u << 127u << 127u << "0110001";
        QTest::newRow("operational to stopped") << 5u << 4u << 4u << 4u << "0000001";
        QTest::newRow("stopped to operational") << 4u << 5u << 5u << 5u << "0110010";
        QTest::newRow("unchanged") << 127u << 127u << 127u << 127u << "0110001";
        QTest::newRow("initialisation to operational") << 0u << 5u << 0xFFFFFFFFu << 0u << "1000000";
        QTest::newRow("initialisation to stopped") << 0u << 4u << 0xFFFFFFFFu << 0u << "1000000";
        QTest::newRow("unknown state") << 127u << 3u << 0xFFFFFFFFu << 127u << "0110001";
    }
    void stateTable()
    {
        QFETCH(uint, from);
        QFETCH(uint, to);
        QFETCH(uint, result);
        QFETCH(uint, after);
        QFETCH(QString, flags);
        startTool();
        CanOpenLock lock;
        if (from == NMT_INITIALISATION) {
            // Initialisation only lasts inside a state change; hold it there.
            toolNode.nmtState = NMT_INITIALISATION;
            toolNode.comm = flagsOf("1000000");
        } else if (from != NMT_PRE_OPERATIONAL) {
            setNodeState(&toolNode, from);
        }
        bus->takeSent(&toolNode);
        QCOMPARE(setNodeState(&toolNode, to), uint32_t(result));
        QCOMPARE(toolNode.nmtState, uint32_t(after));
        QCOMPARE(bitsOf(toolNode.comm), flags);
        QVERIFY(sentBy(&toolNode).isEmpty());
    }

    void stoppingFreesEverySdoLine()
    {
        startTool();
        CanOpenLock lock;
        claimSdoClient(&toolNode, 0x20);
        QCOMPARE(sdoReadRemote(&toolNode, 0x20, 0x1000, 0, CO_UNSIGNED32, nullptr, 0), 0);
        // A server line too, on a node that serves.
        startSlave(0x21);
        bus->deliver(&slave, parseFrame("621 40 00 10 00 00 00 00 00"));
        bus->deliver(&slave, parseFrame("621 A0 00 10 00 10 00 00 00"));
        bus->takeSent(&toolNode);
        bus->takeSent(&slave);
        QCOMPARE(setNodeState(&toolNode, NMT_STOPPED), uint32_t(NMT_STOPPED));
        QCOMPARE(setNodeState(&slave, NMT_STOPPED), uint32_t(NMT_STOPPED));
        for (const CanOpenNode* node : {&toolNode, &slave}) {
            for (const SdoLine& line : node->sdo) {
                QCOMPARE(int(line.state), int(SDO_FREE));
                QCOMPARE(int(line.timer), -1);
                QVERIFY(!line.callback);
            }
        }
        uint8_t buf[8];
        uint32_t size = sizeof buf, code = 0;
        QCOMPARE(int(sdoReadResult(&toolNode, 0x20, buf, &size, &code)), int(SDO_ENDED_LOCALLY));
        // No time-out runs later, and a late answer finds the SDO service off.
        bus->advance(SDO_TIMEOUT_MS + 10);
        bus->deliver(&toolNode, parseFrame("5A0 43 00 10 00 91 01 00 00"));
        QVERIFY(sentBy(&toolNode).isEmpty());
        QVERIFY(sentBy(&slave).isEmpty());
    }

    void framesTheToolIgnores_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("remote");
        QTest::newRow("SYNC") << "080" << false;
        QTest::newRow("heartbeat of a device") << "720 05" << false;
        QTest::newRow("boot-up of a device") << "720 00" << false;
        QTest::newRow("guard request for the tool") << "701" << true;
        QTest::newRow("NMT stop all") << "000 02 00" << false;
        QTest::newRow("NMT reset the tool") << "000 81 01" << false;
        QTest::newRow("time stamp") << "100 01 02 03 04 05 06" << false;
        QTest::newRow("function code 13") << "6A0 40 00 10 00 00 00 00 00" << false;
        QTest::newRow("PDO while PDOs are off") << "1C0 FF" << false;
        QTest::newRow("identifier of 12 bits") << "8A0 43 00 10 00 91 01 00 00" << false;
    }
    void framesTheToolIgnores()
    {
        QFETCH(QString, frame);
        QFETCH(bool, remote);
        startTool();
        bus->takeSent(&toolNode);
        CanFrame f = parseFrame(frame);
        f.rtr = remote;
        bus->deliver(&toolNode, f);
        QVERIFY(sentBy(&toolNode).isEmpty());
        QCOMPARE(toolNode.nmtState, uint32_t(NMT_PRE_OPERATIONAL));
        QCOMPARE(int(toolNode.nodeId), 1);
        for (int id = 0; id < NMT_NODES; ++id)
            QCOMPARE(toolNode.remoteState[id], uint32_t(NMT_UNKNOWN));
    }

    void masterCommands()
    {
        startTool();
        bus->takeSent(&toolNode);
        CanOpenLock lock;
        QCOMPARE(int(sendNmtCommand(&toolNode, 0x20, NMT_START)), 0);
        QCOMPARE(int(sendNodeGuardRequest(&toolNode, 0x20)), 0);
        toolNode.remoteState[0x20] = NMT_OPERATIONAL;
        toolNode.remoteState[0x21] = NMT_STOPPED;
        QCOMPARE(int(requestNodeState(&toolNode, 0x21)), 0);
        QCOMPARE(getRemoteNodeState(&toolNode, 0x20), uint32_t(NMT_OPERATIONAL));
        QCOMPARE(getRemoteNodeState(&toolNode, 0x21), uint32_t(NMT_UNKNOWN));
        QCOMPARE(int(requestNodeState(&toolNode, 0)), 0);
        QCOMPARE(getRemoteNodeState(&toolNode, 0x20), uint32_t(NMT_UNKNOWN));
        QCOMPARE(getRemoteNodeState(&toolNode, 0xA0), uint32_t(NMT_UNKNOWN));
        QCOMPARE(sentBy(&toolNode), (QStringList{"000 01 20", "rtr 720", "rtr 721", "rtr 700"}));
    }

    void slaveFollowsNmtCommands_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<uint>("state");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("start") << QStringList{"000 01 21"} << 5u << QStringList();
        QTest::newRow("start all") << QStringList{"000 01 00"} << 5u << QStringList();
        QTest::newRow("start another node") << QStringList{"000 01 22"} << 127u << QStringList();
        QTest::newRow("stop") << QStringList{"000 02 21"} << 4u << QStringList();
        QTest::newRow("stop, then pre-operational") << QStringList{"000 02 21", "000 80 21"} << 127u << QStringList();
        QTest::newRow("pre-operational while pre-operational") << QStringList{"000 80 21"} << 127u << QStringList();
        QTest::newRow("reset node") << QStringList{"000 81 21"} << 127u << QStringList{"721 00"};
        QTest::newRow("reset communication") << QStringList{"000 82 00"} << 127u << QStringList{"721 00"};
        QTest::newRow("short frame") << QStringList{"000 01"} << 127u << QStringList();
    }
    void slaveFollowsNmtCommands()
    {
        QFETCH(QStringList, commands);
        QFETCH(uint, state);
        QFETCH(QStringList, sent);
        startSlave(0x21);
        bus->takeSent(&slave);
        serverRx = 0x655; // moved by hand; a reset of communication restores it
        for (const QString& c : commands)
            bus->deliver(&slave, parseFrame(c));
        QCOMPARE(slave.nmtState, uint32_t(state));
        QCOMPARE(sentBy(&slave), sent);
        if (commands.first().startsWith("000 82"))
            QCOMPARE(serverRx, 0x621u);
        else
            QCOMPARE(serverRx, 0x655u);
    }

    void heartbeatConsumer()
    {
        startTool();
        toolNode.onHeartbeatError = noteHeartbeatError;
        // Life guard is never switched on by a state; switched on here by hand.
        toolNode.comm.lifeGuard = 1;
        {
            CanOpenLock lock;
            startHeartbeat(&toolNode);
        }
        bus->advance(1000);
        bus->deliver(&toolNode, parseFrame("740 05"));
        QCOMPARE(getRemoteNodeState(&toolNode, 0x40), uint32_t(NMT_OPERATIONAL));
        bus->advance(1499);
        QVERIFY(events.empty());
        bus->advance(1);
        QCOMPARE(getRemoteNodeState(&toolNode, 0x40), uint32_t(NMT_DISCONNECTED));
        QCOMPARE(events, std::vector<QString>{"heartbeat 64"});
        // Guard requests for the own id are answered with a toggling bit 7.
        CanFrame request = parseFrame("701");
        request.rtr = 1;
        bus->deliver(&toolNode, request);
        bus->deliver(&toolNode, request);
        QCOMPARE(sentBy(&toolNode), (QStringList{"701 00", "701 7F", "701 FF"}));
        CanOpenLock lock;
        stopHeartbeat(&toolNode);
    }

    void heartbeatProducerAndGuarding()
    {
        startSlave(0x21);
        bus->takeSent(&slave);
        producerTime = 200;
        {
            CanOpenLock lock;
            uint32_t n = 2;
            // Writing 0x1017 restarts the producer through the registered callback.
            startHeartbeat(&slave);
            QCOMPARE(writeObjectEntry(&slave, 0x1017, 0, &producerTime, &n, true), 0u);
            slave.remoteState[5] = NMT_OPERATIONAL;
            startNodeGuarding(&slave);
        }
        bus->advance(200);
        QCOMPARE(sentBy(&slave), (QStringList{"rtr 705", "721 7F", "rtr 705"}));
        slave.comm.lifeGuard = 1;
        bus->deliver(&slave, parseFrame("705 05"));
        // Three more periods use up the life-time factor; the fourth finds it gone.
        bus->advance(399);
        QVERIFY(events.empty());
        bus->advance(1);
        QCOMPARE(events, std::vector<QString>{"guard 5"});
        QCOMPARE(getRemoteNodeState(&slave, 5), uint32_t(NMT_DISCONNECTED));
        bus->deliver(&slave, parseFrame("705 00"));
        QCOMPARE(events.back(), QString("boot-up 5"));
        producerTime = 0;
        bus->advance(200);
        CanOpenLock lock;
        QCOMPARE(int(slave.producerTimer), -1);
        stopNodeGuarding(&slave);
        stopHeartbeat(&slave);
        slave.comm.lifeGuard = 0;
        sentBy(&slave);
        bus->advance(1000);
        QVERIFY(sentBy(&slave).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstNmt)
#include "tst_nmt.moc"
