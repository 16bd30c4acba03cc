// The classic Modbus link and the register transfers over it, against a real
// libmodbus server on loopback TCP and on a pseudo-terminal (RTU).
#include "classic/modbuslink.h"
#include "classic/registervalues.h"
#include "hostfixture.h"
#include "heldline.h"
#include "modbustestserver.h"
#include "records.h"

#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using Request = ModbusTestServer::Request;
Q_DECLARE_METATYPE(QList<Request>)

namespace {
const int kRead = 3;
const int kWrite = 16;

// A server of the given transport ("tcp" or "rtu"), the connection settings
// pointing at it and a link on a recording host.
struct LinkFixture {
    ModbusTestServer server;
    HostFixture host;
    ModbusLink link{host.host};
    bool started = false;

    explicit LinkFixture(const QString& transport, int registers = 1002) : server(registers)
    {
        ConnectionSettings& s = connectionSettings();
        s = ConnectionSettings();
        if (transport == QLatin1String("tcp")) {
            started = server.startTcp();
            s.modbusLink = 0;
            s.ipAddress = QStringLiteral("127.0.0.1");
            s.tcpPort = server.tcpPort();
        } else {
            started = server.startRtu();
            s.modbusLink = 1;
            s.portName = server.clientTtyPath();
            s.baudRate = QStringLiteral("115200");
        }
    }

    bool connect()
    {
        const bool ok = link.connectModbus();
        server.clearRequests();
        return ok;
    }
};

void addTransports()
{
    QTest::addColumn<QString>("transport");
    QTest::newRow("tcp") << "tcp";
    QTest::newRow("rtu") << "rtu";
}
}

class TstModbusLink : public QObject {
    Q_OBJECT
private slots:
    void init() { connectionSettings() = ConnectionSettings(); }
    void cleanupTestCase() { connectionSettings() = ConnectionSettings(); }

    void connectsAndCloses_data() { addTransports(); }
    void connectsAndCloses()
    {
        QFETCH(QString, transport);
        LinkFixture f(transport);
        QVERIFY(f.started);
        QVERIFY(f.link.connectModbusChecked());
        QVERIFY(f.host.link);
        QVERIFY(f.link.context());
        QVERIFY(f.host.lines.isEmpty());
        f.link.closeModbus();
        QVERIFY(!f.host.link);
        QVERIFY(!f.link.context());
    }

    // A serial line another program holds (a terminal program's mark, a
    // second copy of the tool's lock and mark, or only a lock) is refused as
    // busy, for root too, before libmodbus opens it: no request goes out, the
    // holder keeps its settings, its mark and the input queued for it. Once
    // the holder lets go, the link holds the line's lock and mark while
    // connected and clears its own mark when it closes.
    void rtuRefusesALineHeldElsewhere_data() { addHeldLineRows(); }
    void rtuRefusesALineHeldElsewhere()
    {
        QFETCH(int, hold);
        RawPty pty;
        QVERIFY(pty.ok);
        LineHolder holder(pty.name, hold);
        QVERIFY(holder.holding());
        termios before, after;
        QCOMPARE(tcgetattr(pty.slave, &before), 0);
        QCOMPARE(::write(pty.master, "x", 1), ssize_t(1));
        ConnectionSettings& s = connectionSettings();
        s.modbusLink = 1;
        s.portName = QString::fromLocal8Bit(pty.name);
        s.baudRate = QStringLiteral("115200");
        s.retries = 1;
        HostFixture host;
        ModbusLink link(host.host);

        QVERIFY(!link.connectModbusChecked());
        QVERIFY(!pty.masterHasInput());
        QCOMPARE(tcgetattr(pty.slave, &after), 0);
        QCOMPARE(int(cfgetospeed(&after)), int(B9600));
        QCOMPARE(after.c_cflag, before.c_cflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(holder.markSet(), bool(hold & LineHolder::Mark));
        QCOMPARE(holder.readByte(), int('x'));
        QCOMPARE(host.errors(), QStringList{"Подключение не удалось. " + s.portName + ": "
                                            + QString::fromLocal8Bit(std::strerror(EBUSY))});
        QCOMPARE(host.tools, QList<bool>{false});
        QVERIFY(!host.link);

        QVERIFY(holder.release());
        QVERIFY(link.connectModbus());
        QCOMPARE(pty.mark(), 1);
        QVERIFY(!LineHolder(pty.name, LineHolder::Lock).holding());
        link.closeModbus();
        QCOMPARE(pty.mark(), 0);
        QVERIFY(LineHolder(pty.name, LineHolder::Lock).holding());
    }

    // A device that answers but has no register 1000: the RTU connect itself
    // succeeds (it only opens the line), its check does not; the TCP connect
    // reads 1000 on every try.
    void noRegister1000_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<bool>("connects");
        QTest::addColumn<QString>("line");
        QTest::newRow("tcp") << "tcp" << false << "Подключение не удалось";
        QTest::newRow("rtu") << "rtu" << true << "Не удалось подключиться.";
    }
    void noRegister1000()
    {
        QFETCH(QString, transport);
        QFETCH(bool, connects);
        QFETCH(QString, line);
        LinkFixture f(transport);
        f.server.setExceptionRange(1000, 1001);
        QCOMPARE(f.link.connectModbus(), connects);
        f.host.lines.clear();
        f.host.tools.clear();
        if (connects)
            QVERIFY(!f.link.connectModbusChecked());
        else
            QVERIFY(!f.link.connectModbus());
        QCOMPARE(f.host.errors(), QStringList{line});
        QCOMPARE(f.host.tools, QList<bool>{false});
        QVERIFY(!f.host.link);
    }

    void connectionSettingsThatNameNoLink_data()
    {
        QTest::addColumn<int>("modbusLink");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<char>("parity");
        QTest::newRow("ip of three parts") << 0 << "127.0.0" << "" << "" << 'N';
        QTest::newRow("ip part over 255") << 0 << "127.0.0.300" << "" << "" << 'N';
        QTest::newRow("over-long ip part") << 0 << "127.0.0.99999999999" << "" << "" << 'N';
        QTest::newRow("ip part not a number") << 0 << "127.0.x.1" << "" << "" << 'N';
        QTest::newRow("baud 0") << 1 << "" << "ttyS0" << "0" << 'N';
        QTest::newRow("baud not a number") << 1 << "" << "ttyS0" << "fast" << 'N';
        QTest::newRow("bad parity") << 1 << "" << "ttyS0" << "9600" << 'X';
        QTest::newRow("port number only") << 1 << "" << "3" << "9600" << 'N';
    }
    void connectionSettingsThatNameNoLink()
    {
        QFETCH(int, modbusLink);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QString, baud);
        QFETCH(char, parity);
        ConnectionSettings& s = connectionSettings();
        s.modbusLink = modbusLink;
        s.ipAddress = ip;
        s.portName = port;
        s.baudRate = baud;
        s.parity = parity;
        HostFixture host;
        ModbusLink link(host.host);
        QVERIFY(!link.connectModbus());
        QVERIFY(!link.context());
        QCOMPARE(host.errors(), QStringList{"Подключение не удалось"});
        QCOMPARE(host.tools, QList<bool>{false});
    }

    void emptyIpGivesFalseAtOnce()
    {
        HostFixture host;
        ModbusLink link(host.host);
        QVERIFY(!link.connectModbus());
        QVERIFY(host.lines.isEmpty());
        QVERIFY(host.tools.isEmpty());
    }

    void leadingZerosOfTheIpAreDropped()
    {
        LinkFixture f(QStringLiteral("tcp"));
        connectionSettings().ipAddress = QStringLiteral("127.000.000.001");
        QVERIFY(f.connect());
        QVERIFY(f.server.connections() >= 1);
    }

    // Each failed try closes its socket before the next: a device accepts few.
    void failedTcpTriesLeaveNoSocketBehind()
    {
        LinkFixture f(QStringLiteral("tcp"));
        ConnectionSettings& s = connectionSettings();
        s.retries = 3;
        s.responseTimeoutMs = 50;
        f.server.setSilent(true);
        QVERIFY(!f.link.connectModbus());
        QVERIFY(ModbusTestServer::openClientSockets(f.server.tcpPort()) <= 1);
        QCOMPARE(f.server.requests().size(), 3);
    }

    void runsAsTheServerSawThem_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<bool>("block");
        QTest::addColumn<QList<Request>>("requests");
        for (const char* t : {"tcp", "rtu"}) {
            QTest::addRow("%s plain", t) << t << false << QList<Request>{{kRead, 10, 30}, {kRead, 40, 6}};
            QTest::addRow("%s block", t) << t << true << QList<Request>{{kRead, 10, 28}, {kRead, 38, 8}};
        }
    }
    void runsAsTheServerSawThem()
    {
        QFETCH(QString, transport);
        QFETCH(bool, block);
        QFETCH(QList<Request>, requests);
        LinkFixture f(transport);
        QVERIFY(f.connect());
        ParamEntryMap map;
        for (int a = 10; a <= 45; ++a) {
            if (!block || a < 38 || a > 41)
                addRecord(map, QStringLiteral("R%1").arg(a), ParamEntry::UInt, a);
        }
        if (block) {
            ParamEntry& b = addRecord(map, QStringLiteral("Blk"), 0, 38, 41);
            b.blockMembers << QStringLiteral("M");
            addRecord(map, QStringLiteral("M"), ParamEntry::UInt, 38, 41).blockName = QStringLiteral("Blk");
        }
        for (int a = 10; a <= 45; ++a)
            f.server.setRegister(a, quint16(a * 3));
        RegisterList list = sortedRegisters(map);
        QVERIFY(f.link.readRegisterParams(map, list, 30));
        QCOMPARE(f.server.requests(), requests);
        QCOMPARE(map.find("R45")->currentText, QStringLiteral("135"));
        QCOMPARE(list.last().value, quint16(135));
        if (block)
            QCOMPARE(map.find("M")->currentRaw, qint64(0x007B007800750072));
    }

    void writeThenReadBack_data() { addTransports(); }
    void writeThenReadBack()
    {
        QFETCH(QString, transport);
        LinkFixture f(transport);
        QVERIFY(f.connect());
        ParamEntryMap map;
        addRecord(map, QStringLiteral("hex"), ParamEntry::Hex, 100, 101).currentText = QStringLiteral("1234abcd");
        addRecord(map, QStringLiteral("int"), ParamEntry::Int, 102, 103).currentRaw = -2;
        addRecord(map, QStringLiteral("sf"), ParamEntry::SimpleFloat, 104).currentRaw = 123;
        ParamEntry& ro = addRecord(map, QStringLiteral("ro"), ParamEntry::UInt, 105);
        ro.readOnly = true;
        ro.currentRaw = 9;
        ParamEntry& block = addRecord(map, QStringLiteral("Blk"), 0, 110, 112);
        block.blockMembers << QStringLiteral("m1") << QStringLiteral("m2");
        addRecord(map, QStringLiteral("m1"), ParamEntry::UInt, 110).currentRaw = 7;
        addRecord(map, QStringLiteral("m2"), ParamEntry::UInt, 111, 112).currentRaw = 0x00080009;
        map.find("m1")->blockName = map.find("m2")->blockName = QStringLiteral("Blk");

        RegisterList writable;
        writableRegisterList(map, writable);
        sortRegisterList(writable);
        QVERIFY(f.link.writeRegisterParams(map, writable, 30));
        QCOMPARE(f.server.requests(), (QList<Request>{{kWrite, 100, 5}, {kWrite, 110, 3}}));
        const QList<int> expected{0x1234, 0xABCD, 0xFFFE, 0xFFFF, 123, 0, 0, 0, 0, 0, 7, 9, 8};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(int(f.server.registerValue(100 + i)), expected[i]);

        for (auto& [key, e] : map) {
            e.currentRaw = 0;
            e.currentText.clear();
        }
        RegisterList all = sortedRegisters(map);
        QVERIFY(f.link.readRegisterParams(map, all, 30));
        QCOMPARE(map.find("hex")->currentText, QStringLiteral("1234abcd"));
        QCOMPARE(map.find("int")->currentText, QStringLiteral("-2"));
        QCOMPARE(map.find("sf")->currentText, QStringLiteral("12.3"));
        QCOMPARE(map.find("m2")->currentRaw, qint64(0x00080009));
    }

    void blockWrite_data() { addTransports(); }
    void blockWrite()
    {
        QFETCH(QString, transport);
        LinkFixture f(transport);
        ParamEntryMap map;
        ParamEntry& block = addRecord(map, QStringLiteral("Blk"), 0, 20, 21);
        block.caption = QStringLiteral("Уставки");
        block.blockMembers << QStringLiteral("m");
        addRecord(map, QStringLiteral("m"), ParamEntry::UInt, 20, 21).currentRaw = 0x00030004;

        QVERIFY(!f.link.writeRegisterBlock(block)); // no link yet
        QCOMPARE(f.host.errors(), QStringList{"Не удалось обновить параметр \"Уставки\""});
        QVERIFY(f.connect());
        QVERIFY(f.link.writeRegisterBlock(block));
        QCOMPARE(f.host.texts(true), QStringList{"Блок параметров \"Уставки\" успешно обновлен."});
        QCOMPARE(f.server.registerValue(20), quint16(4));
        QCOMPARE(f.server.registerValue(21), quint16(3));
    }

    void noLinkStopsTheWalk()
    {
        HostFixture host;
        ModbusLink link(host.host);
        ParamEntryMap map;
        addRecord(map, QStringLiteral("A"), ParamEntry::UInt, 1);
        RegisterList list = sortedRegisters(map);
        QVERIFY(!link.readRegisterParams(map, list, 30));
        QVERIFY(!link.writeRegisterParams(map, list, 30));
        QVERIFY(host.lines.isEmpty());
    }

    // The CAN link sets the same flag; closing a Modbus link that was never
    // opened leaves it.
    void closeLeavesAnotherLinksFlag()
    {
        HostFixture host;
        host.link = true;
        ModbusLink link(host.host);
        link.closeModbus();
        QVERIFY(host.link);
    }

    // 20 failed runs in a row are skipped; the 21st drops the link and ends the walk.
    void silentDeviceDropsTheLinkAfter21Runs()
    {
        LinkFixture f(QStringLiteral("tcp"));
        connectionSettings().responseTimeoutMs = 15;
        QVERIFY(f.connect());
        ParamEntryMap map;
        for (int i = 0; i < 25; ++i)
            addRecord(map, QStringLiteral("R%1").arg(i, 2, 10, QLatin1Char('0')), ParamEntry::UInt, 10 * i);
        RegisterList list = sortedRegisters(map);
        f.server.setSilent(true);
        QVERIFY(!f.link.readRegisterParams(map, list, 30));
        QCOMPARE(f.server.requests().size(), 21 * 4);
        QCOMPARE(f.server.requests().last(), (Request{kRead, 200, 1}));
        QVERIFY(!f.host.link);
        QVERIFY(!f.link.context());
        QCOMPARE(f.host.tools, QList<bool>{false});
        QCOMPARE(f.link.registerFailures(), 0);
        QCOMPARE(f.host.errors(), QStringList{"Не удалось получить данные. Соединение разорвано."});
    }

    void failuresCountOnlyInARow()
    {
        LinkFixture f(QStringLiteral("tcp"));
        QVERIFY(f.connect());
        ParamEntryMap map;
        addRecord(map, QStringLiteral("A"), ParamEntry::UInt, 10);
        addRecord(map, QStringLiteral("B"), ParamEntry::UInt, 20);
        RegisterList list = sortedRegisters(map);
        f.server.setExceptionRange(10, 10);
        QVERIFY(!f.link.readRegisterParams(map, list, 30));
        QCOMPARE(f.link.registerFailures(), 0); // B succeeded after A failed
        QCOMPARE(f.server.requests().size(), 5);
        QVERIFY(f.host.link);
    }

    // A record longer than one request carries is named and skipped; the
    // walk goes on.
    void overlongRecordIsSkipped()
    {
        LinkFixture f(QStringLiteral("tcp"));
        QVERIFY(f.connect());
        ParamEntryMap map;
        addRecord(map, QStringLiteral("Long"), ParamEntry::Hex, 100, 225);
        addRecord(map, QStringLiteral("Next"), ParamEntry::UInt, 300).currentRaw = 1;
        f.server.setRegister(300, 8);
        RegisterList list = sortedRegisters(map);
        QVERIFY(!f.link.readRegisterParams(map, list, 30));
        QCOMPARE(f.host.errors(),
                 QStringList{"Параметр Long пропущен: его 126 регистров не передать одним запросом (не больше 125)."});
        QCOMPARE(f.server.requests(), QList<Request>{(Request{kRead, 300, 1})});
        QCOMPARE(map.find("Next")->currentText, QStringLiteral("8"));
        QVERIFY(f.host.link);
    }

    // An answer that comes after the client gave up is dropped, never taken
    // for the answer to the next request.
    void lateAnswerNeverLandsInTheNextRecord_data() { addTransports(); }
    void lateAnswerNeverLandsInTheNextRecord()
    {
        QFETCH(QString, transport);
        LinkFixture f(transport);
        connectionSettings().responseTimeoutMs = 100; // libmodbus's 500 ms over RTU
        QVERIFY(f.connect());
        const int timeoutMs = transport == QLatin1String("tcp") ? 100 : 500;
        ParamEntryMap map;
        addRecord(map, QStringLiteral("A"), ParamEntry::UInt, 10);
        addRecord(map, QStringLiteral("B"), ParamEntry::UInt, 20);
        addRecord(map, QStringLiteral("C"), ParamEntry::UInt, 30);
        f.server.setRegister(10, 111);
        f.server.setRegister(20, 222);
        f.server.setRegister(30, 333);
        RegisterList list = sortedRegisters(map);
        f.server.setReplyDelayMs(5);
        f.server.delayNextReply(timeoutMs + timeoutMs / 2);
        QVERIFY(f.link.readRegisterParams(map, list, 1));
        QCOMPARE(map.find("A")->currentText, QStringLiteral("111"));
        QCOMPARE(map.find("B")->currentText, QStringLiteral("222"));
        QCOMPARE(map.find("C")->currentText, QStringLiteral("333"));
    }

    void corruptedAnswerIsRetried()
    {
        LinkFixture f(QStringLiteral("rtu"));
        QVERIFY(f.connect());
        ParamEntryMap map;
        addRecord(map, QStringLiteral("A"), ParamEntry::UInt, 10);
        f.server.setRegister(10, 4321);
        RegisterList list = sortedRegisters(map);
        f.server.corruptNextReply();
        QVERIFY(f.link.readRegisterParams(map, list, 30));
        QCOMPARE(map.find("A")->currentText, QStringLiteral("4321"));
        QCOMPARE(f.server.requests().size(), 2);
    }

    // A device that goes away: every call fails at once (libmodbus would
    // retry a failed send for ever), and the walk ends within its bound.
    void vanishedDeviceEndsTheWalk_data() { addTransports(); }
    void vanishedDeviceEndsTheWalk()
    {
        QFETCH(QString, transport);
        auto f = std::make_unique<LinkFixture>(transport);
        connectionSettings().responseTimeoutMs = 50;
        QVERIFY(f->connect());
        ParamEntryMap map;
        for (int i = 0; i < 25; ++i)
            addRecord(map, QStringLiteral("R%1").arg(i, 2, 10, QLatin1Char('0')), ParamEntry::UInt, 10 * i);
        RegisterList list = sortedRegisters(map);
        f->server.stop();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!f->link.readRegisterParams(map, list, 30));
        QVERIFY(!f->host.link);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TstModbusLink)
#include "tst_modbuslink.moc"
