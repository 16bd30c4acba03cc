// The main window's side of the classic pages: the hooks it fills and its
// Modbus link, against a real Modbus server on loopback.
#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "classic/classichost.h"
#include "classic/modbuslink.h"
#include "link/connectionsettings.h"
#include "modbustestserver.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>

namespace {
class AnsweringChooser : public FileChooser {
public:
    QString saveFileName(const QString& caption, const QString& proposed, const QString& suffix) override
    {
        return QStringLiteral("save|%1|%2|%3").arg(caption, proposed, suffix);
    }
    QString openFileName(const QString& caption, const QString& folder) override
    {
        return QStringLiteral("open|%1|%2").arg(caption, folder);
    }
};
}

class TstWindowClassic : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }
    void init() { connectionSettings() = ConnectionSettings(); }

    void hooksReachTheWindow()
    {
        MainWindow w;
        w.setFileChooser(std::make_unique<AnsweringChooser>());
        const ClassicHost& host = w.classicHost();
        host.toLog(QStringLiteral("строка"), true);
        QVERIFY(w.findChild<QTextEdit*>("teLog")->toPlainText().endsWith(QStringLiteral("строка")));
        QCOMPARE(host.saveFileName("c", "p"), QStringLiteral("save|c|p|"));
        QCOMPARE(host.openFileName("c", "f"), QStringLiteral("open|c|f"));

        w.findChild<QAction*>("m_backupBeforeImport")->setChecked(true);
        QVERIFY(host.importOptions().backupBeforeImport);
        QVERIFY(!host.importOptions().alwaysImportLastFile);
        host.setLastImportFile(QStringLiteral("/tmp/x.bin"));
        QCOMPARE(w.lastImportFile(), QStringLiteral("/tmp/x.bin"));
        // The device is the one the classic pages loaded: none yet.
        connectionSettings().deviceType = {QStringLiteral("Dev"), QStringLiteral("7")};
        QCOMPARE(host.device(), DeviceEntry{});
    }

    // The Modbus link sets and clears the window's one link flag, and the
    // window closes it when it goes.
    void modbusLinkUsesTheWindowsFlag()
    {
        ModbusTestServer server;
        QVERIFY(server.startTcp());
        connectionSettings().ipAddress = QStringLiteral("127.0.0.1");
        connectionSettings().tcpPort = server.tcpPort();
        {
            MainWindow w;
            QVERIFY(w.modbusLink()->connectModbus());
            QVERIFY(w.linkOpen());
            w.modbusLink()->closeModbus();
            QVERIFY(!w.linkOpen());
            QVERIFY(w.modbusLink()->connectModbus());
            QCOMPARE(ModbusTestServer::openClientSockets(server.tcpPort()), 1);
        }
        QCOMPARE(ModbusTestServer::openClientSockets(server.tcpPort()), 0);
    }
};

QTEST_MAIN(TstWindowClassic)
#include "tst_windowclassic.moc"
