// The tool ended from outside while it is connected. The signals that end a
// session or come from Ctrl+C close its link as "Выход" does; after the tool
// is killed outright, the simulator takes the next connect; and a program
// that holds the simulator's line meanwhile keeps its exclusive mark.
#include "boundprocess.h"
#include "configfixture.h"
#include "lineholder.h"
#include "platform/serialport.h"
#include "sim/simdevice.h"
#include "sim/simdevicejson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
const int kConnectWaitMs = 30000;

// A descriptor of the line opened before the tool marks it, to read the mark by.
struct MarkReader {
    explicit MarkReader(const QString& path)
        : fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
    }
    ~MarkReader()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int mark() const
    {
        int marked = -1;
        return ioctl(fd, TIOCGEXCL, &marked) == 0 ? marked : -1;
    }
    const int fd;
};

bool hasLine(QProcess& process, QByteArray* output, const QByteArray& line)
{
    *output += process.readAllStandardOutput();
    return output->split('\n').contains(line);
}

// Whether process `pid` still runs: a child whose parent is gone may wait
// as a zombie for whoever took it over.
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) != "Z";
}

// The tool (signalledtool) connected to the port, with its settings under
// configHome. Killed when the test leaves it running.
struct Tool {
    // A hang-up the tool is started with ignored (as by nohup) stays
    // ignored; otherwise it starts as a desktop session starts it, whatever
    // the test runner ignores.
    Tool(const QString& port, const QString& configHome, bool hangUpIgnored = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The child takes the disposition over at its start.
        struct sigaction hangUp = {};
        struct sigaction before = {};
        hangUp.sa_handler = hangUpIgnored ? SIG_IGN : SIG_DFL;
        sigaction(SIGHUP, &hangUp, &before);
        process.start(QStringLiteral(SIGNALLED_TOOL), {port});
        sigaction(SIGHUP, &before, nullptr);
    }
    ~Tool()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool connected() { return hasLine(process, &output, "connected"); }
    bool failed() { return hasLine(process, &output, "not connected"); }
    BoundProcess process;
    QByteArray output;
};

// The simulator program serving the sample device; path() is its line.
struct Simulator {
    Simulator()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(SIMDEVICE_PROGRAM), QStringList());
    }
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool ready()
    {
        output += process.readAllStandardOutput();
        return output.startsWith("/dev/") && output.contains('\n');
    }
    QString path() const { return QString::fromLocal8Bit(output.left(output.indexOf('\n'))); }
    // Stops as Ctrl+C stops it.
    bool stop()
    {
        process.terminate();
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    BoundProcess process;
    QByteArray output;
};
}

class TstToolExit : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // The tool reads its configuration data beside its executable.
        QVERIFY(configfixture::make(QStringLiteral(QUILL_SOURCE_CONFIG_DIR),
                                    QFileInfo(QStringLiteral(SIGNALLED_TOOL)).absolutePath() + "/ConfigurationData"));
    }

    // Each of them ends the tool as "Выход" does, connected or while it
    // probes a device that never answers: it exits normally, the adapter's
    // last line is its close command, the port's mark is off and the
    // settings are written.
    void signalEndsTheToolAsExitDoes_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("probing");
        const struct {
            const char* name;
            int number;
        } endings[] = {{"SIGTERM (the session ends)", SIGTERM},
                        {"SIGINT (Ctrl+C)", SIGINT},
                        {"SIGHUP (the terminal goes)", SIGHUP}};
        for (const auto& sig : endings) {
            QTest::addRow("%s, connected", sig.name) << sig.number << false;
            QTest::addRow("%s, probing", sig.name) << sig.number << true;
        }
    }
    void signalEndsTheToolAsExitDoes()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, probing);
        // The tool asks for node 31, then 127: a device at 9 is never found.
        SimDeviceOnPty sim(probing ? 9 : 31);
        QString error;
        QVERIFY2(loadSimDeviceJson(QStringLiteral(QUILL_SOURCE_CONFIG_DIR) + "/UiData/DemoDrive/simdevice.json",
                                   &sim.device, &error) >= 0,
                 qPrintable(error));
        const QString port = sim.adapter.slavePath();
        MarkReader line(port);
        QVERIFY(line.fd >= 0);
        const QString configHome = m_tmp.filePath(QString::number(signalNumber) + (probing ? "p" : "c"));
        Tool tool(port, configHome);
        if (probing) {
            const auto probed = [&] {
                for (const QString& l : sim.adapter.lines())
                    if (l.startsWith("t6"))
                        return true;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(probed(), kConnectWaitMs);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(tool.connected() || tool.failed(), kConnectWaitMs);
            QVERIFY(tool.connected());
        }
        QCOMPARE(line.mark(), 1);

        QCOMPARE(::kill(pid_t(tool.process.processId()), signalNumber), 0);
        // A probe try waits for the stack's SDO time-out at most.
        QVERIFY2(tool.process.waitForFinished(10000), "the tool did not end within 10 s");
        QCOMPARE(tool.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.process.exitCode(), 0);
        // The adapter may still be reading the tool's last lines off the pty.
        QVERIFY2(sim.adapter.waitForLine("C", 5000), qPrintable(sim.adapter.lines().join(' ')));
        QCOMPARE(sim.adapter.lines().last(), QString("C"));
        QCOMPARE(sim.adapter.lines().count("C"), 1);
        QCOMPARE(line.mark(), 0);
        QSettings settings(configHome + "/Quillbex/settings.ini", QSettings::IniFormat);
        QCOMPARE(settings.value("settings/connection/rtuPort").toString(), port);
    }

    // Started with the hang-up ignored (nohup), the tool outlives it and goes
    // on polling the device; it still ends on SIGTERM as "Выход" does.
    void ignoredHangUpStaysIgnored()
    {
        SimDeviceOnPty sim(31);
        QString error;
        QVERIFY2(loadSimDeviceJson(QStringLiteral(QUILL_SOURCE_CONFIG_DIR) + "/UiData/DemoDrive/simdevice.json",
                                   &sim.device, &error) >= 0,
                 qPrintable(error));
        Tool tool(sim.adapter.slavePath(), m_tmp.filePath("nohup"), true);
        QTRY_VERIFY_WITH_TIMEOUT(tool.connected() || tool.failed(), kConnectWaitMs);
        QVERIFY(tool.connected());

        QCOMPARE(::kill(pid_t(tool.process.processId()), SIGHUP), 0);
        // Two requests more than a whole round of the pages' parameters.
        const int target = sim.device.requestsSeen() + 2 * 13;
        QTRY_VERIFY_WITH_TIMEOUT(sim.device.requestsSeen() >= target, kConnectWaitMs);
        QCOMPARE(tool.process.state(), QProcess::Running);
        QVERIFY(!sim.adapter.lines().contains("C"));

        QCOMPARE(::kill(pid_t(tool.process.processId()), SIGTERM), 0);
        QVERIFY(tool.process.waitForFinished(10000));
        QCOMPARE(tool.process.exitCode(), 0);
        QVERIFY2(sim.adapter.waitForLine("C", 5000), qPrintable(sim.adapter.lines().join(' ')));
    }

    // A tool killed outright (or ended by SIGTERM) while connected to the
    // simulator: the next connect is taken within a second or so, not
    // refused as busy until the simulator is restarted.
    void killedToolLeavesTheSimulatorFree_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void killedToolLeavesTheSimulatorFree()
    {
        QFETCH(int, signalNumber);
        Simulator simulator;
        QTRY_VERIFY_WITH_TIMEOUT(simulator.ready(), 10000);
        {
            Tool tool(simulator.path(), m_tmp.filePath("killed"));
            QTRY_VERIFY_WITH_TIMEOUT(tool.connected() || tool.failed(), kConnectWaitMs);
            QVERIFY(tool.connected());
            QCOMPARE(::kill(pid_t(tool.process.processId()), signalNumber), 0);
            QVERIFY(tool.process.waitForFinished(10000));
        }
        SerialPort port;
        QElapsedTimer clock;
        clock.start();
        const auto opens = [&] { return port.isOpen() || port.open(simulator.path().toStdString(), 4800); };
        QTRY_VERIFY2_WITH_TIMEOUT(opens(), port.error().c_str(), 2000);
        qInfo("the line was taken again %lld ms after the tool ended", static_cast<long long>(clock.elapsed()));
        port.close();
        QVERIFY(simulator.stop());
    }

    // A test killed outright (a CTest time-out, a stopped CI job) takes its
    // children with it: the simulator program and a busy loop.
    void killedTestLeavesNoChild()
    {
        BoundProcess test;
        test.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        test.start(QStringLiteral(CHILDREN_PARENT), {QStringLiteral(SIMDEVICE_PROGRAM)});
        QVERIFY(test.waitForStarted(5000));
        QList<QByteArray> pids;
        const auto started = [&] {
            if (test.canReadLine())
                pids = test.readLine().trimmed().split(' ');
            return pids.size() == 3 && pids[0] == "children";
        };
        QTRY_VERIFY_WITH_TIMEOUT(started(), 10000);
        const qint64 simulator = pids[1].toLongLong();
        const qint64 spinner = pids[2].toLongLong();
        QVERIFY(simulator > 0 && spinner > 0);
        // Should the test fail, nothing it started outlives it.
        const auto reap = qScopeGuard([&] {
            for (qint64 pid : {simulator, spinner})
                if (running(pid))
                    ::kill(pid_t(pid), SIGKILL);
        });
        QVERIFY(running(simulator) && running(spinner));
        QCOMPARE(::kill(pid_t(test.processId()), SIGKILL), 0);
        QVERIFY(test.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(simulator), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!running(spinner), 5000);
    }

    // A program that holds the simulator's line, with the exclusive mark and
    // with or without the lock, keeps its mark for as long as it holds the
    // line: the simulator looks at the line ten times a second, and the mark
    // outlasts a second of that. The tool meanwhile is refused as busy.
    void liveHolderKeepsItsMark_data()
    {
        QTest::addColumn<int>("hold");
        QTest::newRow("exclusive mark") << int(LineHolder::Mark);
        QTest::newRow("mark and lock") << int(LineHolder::Mark | LineHolder::Lock);
    }
    void liveHolderKeepsItsMark()
    {
        QFETCH(int, hold);
        Simulator simulator;
        QTRY_VERIFY_WITH_TIMEOUT(simulator.ready(), 10000);
        LineHolder holder(simulator.path().toStdString(), hold);
        QVERIFY(holder.holding());
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1000) {
            QVERIFY(holder.markSet());
            QTest::qWait(50);
        }
        SerialPort port;
        QVERIFY(!port.open(simulator.path().toStdString(), 4800));
        QCOMPARE(QString::fromStdString(port.error()), simulator.path() + ": " + std::strerror(EBUSY));
        QVERIFY(holder.markSet());
        QVERIFY(holder.release());
        QVERIFY2(port.open(simulator.path().toStdString(), 4800), port.error().c_str());
        port.close();
        QVERIFY(simulator.stop());
    }
};

QTEST_MAIN(TstToolExit)
#include "tst_toolexit.moc"
