// A program that returns from main with the link open ends promptly, and the
// link is closed on the way out (the adapter sees its close command).
#include "boundprocess.h"
#include "canopen/node.h"
#include "sim/simdevice.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
const uint8_t kDevice = 0x22;
}

class TstLinkExit : public QObject {
    Q_OBJECT
private slots:
    void returnFromMainWithTheLinkOpen()
    {
        SimDeviceOnPty sim(kDevice);
        sim.device.addObject(0x2001, 0, CO_UNSIGNED8, QByteArray(1, char(7)));
        BoundProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer clock;
        clock.start();
        program.start(QStringLiteral(LINKEXIT_PROGRAM), {sim.adapter.slavePath(), QString::number(kDevice)});
        QVERIFY(program.waitForStarted(5000));
        // Without a close before the static threads are joined it never ends.
        const bool ended = program.waitForFinished(10000);
        QVERIFY2(ended, "the program did not end within 10 s");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        qInfo("ended %lld ms after the start", static_cast<long long>(clock.elapsed()));
        // The program has ended, but the adapter may still be reading its
        // last lines off the pty: wait for the close command itself.
        QVERIFY2(sim.adapter.waitForLine("C", 5000), qPrintable(sim.adapter.lines().join(' ')));
        const QStringList lines = sim.adapter.lines();
        QCOMPARE(lines.mid(0, 3), (QStringList{"O", "S5", "t7011" "00"}));
        QCOMPARE(lines.last(), QString("C"));
        QCOMPARE(lines.count("C"), 1);
    }
};

QTEST_GUILESS_MAIN(TstLinkExit)
#include "tst_linkexit.moc"
