// The whole tool against the simulated device over a pty: the connect flow and
// its failures, the device commands, the lost link, and export and import, all
// driven through the main window with every dialog answered by the test.
#include "app/devicecommands.h"
#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "inboxdrained.h"
#include "lineholder.h"
#include "quitrequest.h"
#include "windowlog.h"
#include "app/userprompt.h"
#include "configfixture.h"
#include "dialogscript.h"
#include "link/connectionsettings.h"
#include "pages/customdsloadthread.h"
#include "pages/pagebuilder.h"
#include "pages/pagecontainers.h"
#include "pages/qcombowgt.h"
#include "pages/qcustomds.h"
#include "pages/qdatatypewgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"
#include "sim/simdevicejson.h"
#include "windowinput.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

const QString kLinkLost = QStringLiteral("Не удалось получить данные. Соединение разорвано.");
const QString kRebooted = QStringLiteral("Произведена перезагрузка. Соединение разорвано. Переподключите устройство.");
const QString kRestored =
    QStringLiteral("Произведен возврат к заводским настройкам. Соединение разорвано. Переподключите устройство.");
// Bounds on what a test waits for; a loaded machine may take long, a passing
// test never waits them out.
const int kWait = 20000;
// Each probe try waits this long for an answer: far more than a device on a
// busy machine takes, and short enough that an id nobody answers at (three
// tries) costs a few seconds, not the stack's time-out.
const int kProbeWait = 1000;
// Where no device answers at all, how long a try waits changes nothing.
const int kSilentProbeWait = 200;

bool logged(const MainWindow& w, const Line& line) { return logOf(w).contains(line); }

struct ChooserScript {
    QString savePath;
    QString openPath;
    QStringList asked;
};

class ScriptedChooser : public FileChooser {
public:
    explicit ScriptedChooser(ChooserScript* script) : m_script(script) {}
    QString saveFileName(const QString& caption, const QString&, const QString&) override
    {
        m_script->asked << caption;
        return m_script->savePath;
    }
    QString openFileName(const QString& caption, const QString&) override
    {
        m_script->asked << caption;
        return m_script->openPath;
    }

private:
    ChooserScript* m_script;
};

// The sample device on a pty and the tool's window, with waits a test can afford.
struct Rig {
    Rig()
    {
        QString error;
        nodeId = loadSimDeviceJson(QStringLiteral(QUILL_SOURCE_CONFIG_DIR) + "/UiData/DemoDrive/simdevice.json",
                                   &sim.device, &error);
        if (nodeId < 0)
            qFatal("%s", qPrintable(error));
        // Reads wait as long as in the tool (the settings' defaults).
        connectionSettings() = ConnectionSettings();
        window = std::make_unique<MainWindow>();
        setProbeWait(kProbeWait);
        window->setFileChooser(std::make_unique<ScriptedChooser>(&files));
        window->show();
    }
    ~Rig() { window.reset(); } // the link closes before the device goes

    void setProbeWait(int ms)
    {
        DataSourceTiming t;
        t.roundIntervalMs = 50;
        t.probeWaitMs = ms;
        // Writes wait for the stack's own time-out, as in the tool: a device
        // restarting on a command is told by that silence.
        window->dataSource()->setTiming(t);
    }
    QString port() const { return sim.adapter.slavePath(); }
    MainWindow& w() { return *window; }
    QAction* action(const char* name) { return window->findChild<QAction*>(name); }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
    template <class W> W* field(const char* param, const char* name)
    {
        auto* p = window->findChild<QDataTypeWgt*>(param);
        return p ? p->findChild<W*>(name) : nullptr;
    }
    QLineEditWgt* speed() { return field<QLineEditWgt>("speed", "uint16lineValue"); }
    bool connected() { return window->dataSource()->isConnected(); }
    static bool waitCursorShows()
    {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor && cursor->shape() == Qt::WaitCursor;
    }
    bool anyDeviceToolOn()
    {
        for (const char* name : {"btnSaveAll", "btnReboot", "btnCancelAll", "btnRestoreDefault"})
            if (button(name)->isEnabled())
                return true;
        return action("m_disconnect")->isEnabled();
    }
    // SDO requests the tool put on the bus, to any node.
    int sdoRequestsSent() const
    {
        int n = 0;
        for (const QString& line : sim.adapter.lines())
            n += line.startsWith("t6");
        return n;
    }
    // Every SDO request the tool sent was the probe's read of 2000:01.
    bool onlyProbesSent() const
    {
        for (const QString& line : sim.adapter.lines())
            if (line.startsWith("t6") && line.mid(7, 6) != "002001")
                return false;
        return true;
    }
    bool toolsOn() { return button("btnSaveAll")->isEnabled() && action("m_disconnect")->isEnabled(); }
    // Every parameter the export writes has its value from the device.
    bool allRead()
    {
        for (const SPCustomParam& p : qAsConst(paramCtlMap))
            if (p->exportEnabled() && p->value().isEmpty())
                return false;
        return !paramCtlMap.isEmpty();
    }
    // Waits until the device has been asked at least once per parameter more,
    // so a full round of the load worker has passed: whatever was due before it
    // (a write queued at once stops the polling) has happened by then.
    bool aRoundPasses()
    {
        const int target = sim.device.requestsSeen() + paramCtlMap.size();
        return QTest::qWaitFor([&] { return sim.device.requestsSeen() >= target; }, kWait);
    }
    bool connectA(DialogScript& dialogs)
    {
        dialogs.answers.push_back(choose(configfixture::kDeviceA, port()));
        window->connectWithDialog();
        return connected() && QTest::qWaitFor([this] { return allRead(); }, kWait);
    }

    SimDeviceOnPty sim{31};
    int nodeId = -1;
    ChooserScript files;
    std::unique_ptr<MainWindow> window;
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Line)

class TstWindowFlows : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("XDG_CONFIG_HOME", m_tmp.filePath("xdg").toLocal8Bit());
        // The window reads its configuration data beside the executable, which
        // is this test's own folder.
        QVERIFY(configfixture::make(QStringLiteral(QUILL_SOURCE_CONFIG_DIR),
                                    QCoreApplication::applicationDirPath() + "/ConfigurationData"));
    }

    void init() { QFile::remove(m_tmp.filePath("xdg/Quillbex/settings.ini")); }

    void scenario();
    void silentDeviceKeepsTheWindowAlive();
    void portHeldElsewhere_data();
    void portHeldElsewhere();
    void inputDuringTheProbeTakesNoEffect();
    void closeDuringTheProbe_data();
    void closeDuringTheProbe();
    void exitDuringTheProbe_data();
    void exitDuringTheProbe();
    void exportImportRoundTrip();
    void importThroughTheWindow_data();
    void importThroughTheWindow();
    void failedBackupStopsImport();
};

void TstWindowFlows::scenario()
{
    Rig rig;
    MainWindow& w = rig.w();
    QCOMPARE(rig.nodeId, 31);
    rig.sim.device.setRebootOnWrite(0x2001, 0x0A, 1000);
    rig.sim.device.setRebootOnWrite(0x1011, 1, 1000);
    DialogScript dialogs;

    // Connect: nobody answers at id 5, the probe falls back to 31.
    dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port(), [](ConnectionDialog& d) { d.setDeviceId(5); }));
    rig.action("m_connect")->trigger();
    QCOMPARE(dialogs.opened, 1);
    QVERIFY(rig.connected());
    QCOMPARE(connectionSettings().nodeId, uint8_t(31));
    QCOMPARE(w.windowTitle(), QString("Orvel Device Tool DemoDrive"));
    QCOMPARE(logOf(w).mid(0, 2), (QList<Line>{{"Подключение...", true}, {"Подключено", true}}));
    QVERIFY(rig.toolsOn());
    QCOMPARE(w.findChild<QTreeWidget*>("wgtCustomUiTree")->topLevelItemCount(), 2);
    QCOMPARE(w.findChild<QStackedWidget*>("wgtCustomUiPages")->count(), 3);

    // Values shown.
    QLineEditWgt* speed = rig.speed();
    QVERIFY(speed);
    QTRY_COMPARE_WITH_TIMEOUT(speed->text(), QString("1500"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(rig.field<QComboWgt>("control", "modeCombo")->currentText(), QString("Скорость"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(rig.field<QLabelWgt>("hours", "uint32viewValue")->text(), QString("4321"), kWait);

    // An edit plus "Сохранить" reaches the device.
    speed->setFocus();
    speed->selectAll();
    QTest::keyClicks(speed, "3000");
    QTest::keyClick(speed, Qt::Key_Return);
    QCOMPARE(speed->styleSheet(), QString("color:red;"));
    rig.button("btnSaveAll")->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2101, 0), QByteArray::fromHex("b80b"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(speed->styleSheet(), QString(), kWait);

    // Reboot: the device goes silent, the link is dropped and the dialog opens
    // until the device is back.
    const int logBefore = logOf(w).size();
    for (int i = 0; i < 5; ++i)
        dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    int opened = dialogs.opened;
    rig.button("btnReboot")->click();
    QCOMPARE(logOf(w).value(logBefore), (Line{"Перезагрузка...", true}));
    QTRY_VERIFY_WITH_TIMEOUT(logged(w, {kRebooted, false}), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(rig.connected(), kWait);
    QVERIFY(dialogs.opened > opened);
    QCOMPARE(rig.sim.device.value(0x2001, 0x0A), QByteArray("boot"));
    dialogs.answers.clear();
    QVERIFY(rig.speed() == speed); // same device: the pages stay
    QTRY_VERIFY_WITH_TIMEOUT(rig.toolsOn(), kWait);

    // Restore, cancelled: no line, no write.
    QList<PromptRequest> asked;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    ScopedPromptHandler prompt([&](const PromptRequest& r) {
        asked << r;
        return answer;
    });
    int lines = logOf(w).size();
    rig.button("btnRestoreDefault")->click();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].text, QString("Сброс к заводским настройкам"));
    QCOMPARE(asked[0].informativeText, QString("Откатить устройство к заводским настройкам?"));
    QCOMPARE(asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(asked[0].defaultButton, QMessageBox::Cancel);
    QCOMPARE(logOf(w).size(), lines);
    QCOMPARE(rig.sim.device.writesTo(0x1011, 1), 0);
    QVERIFY(rig.toolsOn());

    // Restore with a device that restarts: the link is dropped, the dialog opens.
    answer = QMessageBox::Ok;
    for (int i = 0; i < 5; ++i)
        dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    opened = dialogs.opened;
    // No new connection while the old link still waits for the device's restart.
    bool connectOnOverOldLink = false;
    const QMetaObject::Connection watchConnect = QObject::connect(rig.action("m_connect"), &QAction::changed, [&] {
        connectOnOverOldLink = connectOnOverOldLink || (rig.action("m_connect")->isEnabled() && rig.connected());
    });
    rig.button("btnRestoreDefault")->click();
    QCOMPARE(logOf(w).value(lines), (Line{"Производится возврат к заводским настройкам...", true}));
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());
    QVERIFY(!rig.action("m_connect")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(logged(w, {kRestored, false}), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(rig.connected(), kWait);
    QObject::disconnect(watchConnect);
    QVERIFY(!connectOnOverOldLink);
    QVERIFY(dialogs.opened > opened);
    QCOMPARE(rig.sim.device.value(0x1011, 1), QByteArray("load"));
    dialogs.answers.clear();

    // Restore with a device that answers (it applies the defaults at its next
    // reset): the link stays and the tools come back on.
    rig.sim.device.clearFaults();
    rig.sim.device.setValue(0x1011, 1, QByteArray::fromHex("01000000"));
    opened = dialogs.opened;
    lines = logOf(w).size();
    rig.button("btnRestoreDefault")->click();
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(rig.toolsOn(), kWait);
    QCOMPARE(logOf(w).mid(lines), (QList<Line>{{"Производится возврат к заводским настройкам...", true},
                                               {DeviceCommands::restoreDoneText(), true}}));
    QCOMPARE(rig.sim.device.value(0x1011, 1), QByteArray("load"));
    QVERIFY(rig.connected());
    QCOMPARE(dialogs.opened, opened);

    // Disconnect: a red line and the dialog at once, with the last port.
    rig.action("m_disconnect")->trigger();
    QCOMPARE(dialogs.opened, opened + 1);
    QCOMPARE(dialogs.preselected.last(), rig.port());
    QCOMPARE(logOf(w).last(), (Line{"Отключено", false}));
    QVERIFY(!rig.connected());
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());
    QVERIFY(rig.action("m_connect")->isEnabled());

    // A lost link: the red line, the tools off, no dialog.
    dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    rig.action("m_connect")->trigger();
    QVERIFY(rig.connected());
    opened = dialogs.opened;
    rig.sim.device.setSilent(true);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.connected(), kWait);
    QCOMPARE(logOf(w).last(), (Line{kLinkLost, false}));
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());
    QCOMPARE(dialogs.opened, opened);
    rig.sim.device.setSilent(false);

    // A port that cannot be opened: the red line, the dialog again, Cancel.
    dialogs.answers.push_back(choose(configfixture::kDeviceA, "/nonexistent/ttyQ"));
    rig.action("m_connect")->trigger();
    QCOMPARE(dialogs.opened, opened + 2);
    QCOMPARE(dialogs.preselected.last(), QString("/nonexistent/ttyQ"));
    QCOMPARE(logOf(w).last(), (Line{"Не удалось установить usb-can соединение. /nonexistent/ttyQ: "
                                    + QString::fromLocal8Bit(std::strerror(ENOENT)),
                                    false}));
    QVERIFY(!rig.connected());
    QVERIFY(rig.action("m_connect")->isEnabled());
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());

    // Device A's pages are shown; an attempt with B fails, the retry with B
    // works: B's pages are built and polled, A's are gone.
    dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    rig.action("m_connect")->trigger();
    QVERIFY(rig.connected());
    dialogs.answers.push_back(choose(configfixture::kDeviceB, rig.port(), [&](ConnectionDialog&) {
        rig.sim.device.setSilent(true);
        rig.setProbeWait(kSilentProbeWait);
    }));
    dialogs.answers.push_back(choose(configfixture::kDeviceB, rig.port(), [&](ConnectionDialog&) {
        rig.sim.device.setSilent(false);
        rig.setProbeWait(kProbeWait);
    }));
    rig.action("m_disconnect")->trigger();
    QVERIFY(rig.connected());
    QCOMPARE(w.windowTitle(), QString("Orvel Device Tool DemoDriveB"));
    auto* tree = w.findChild<QTreeWidget*>("wgtCustomUiTree");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), configfixture::kCaptionB);
    QVERIFY(!rig.speed());
    QVERIFY(!paramCtlMap.contains("2101-0-speed"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.field<QLabelWgt>("hours", "uint32viewValue")->text(), QString("4321"), kWait);
}

// Nobody answers the probe: the window's timers keep running while it waits,
// one red line names the ids asked, and the dialog opens again.
void TstWindowFlows::silentDeviceKeepsTheWindowAlive()
{
    Rig rig;
    MainWindow& w = rig.w();
    rig.sim.device.setSilent(true);
    rig.setProbeWait(kSilentProbeWait);
    // Ids 31 and 127, three tries each. A timer of the window that fires
    // between the first and the last request shows the loop turning while
    // the probe waits, however long each try takes on a busy machine.
    const int probeRequests = 2 * 3;
    bool tickedWhileProbing = false;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const int asked = rig.sdoRequestsSent();
        tickedWhileProbing = tickedWhileProbing || (asked > 0 && asked < probeRequests);
    });
    timer.start();
    DialogScript dialogs;
    dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    dialogs.answers.push_back([&](ConnectionDialog&) { return false; });
    rig.action("m_connect")->trigger();
    // The log first: when the flow went another way, it says which.
    QCOMPARE(logOf(w), (QList<Line>{{"Подключение...", true}, {"Устройство не отвечает (id: 31, 127).", false}}));
    QCOMPARE(dialogs.opened, 2);
    QVERIFY(!rig.connected());
    QCOMPARE(rig.sdoRequestsSent(), probeRequests);
    QVERIFY(tickedWhileProbing);
    QVERIFY(rig.action("m_connect")->isEnabled());
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TstWindowFlows::portHeldElsewhere_data()
{
    QTest::addColumn<int>("hold");
    QTest::newRow("another program (exclusive mark)") << int(LineHolder::Mark);
    QTest::newRow("a second copy of the tool") << int(LineHolder::Mark | LineHolder::Lock);
}

// An adapter another process holds is not the tool's, root or not: the red
// line says it is busy, the dialog opens again, and the holder's adapter hears
// nothing from the tool (no "O", no "C") and keeps working. Once the holder
// lets go, the tool connects.
void TstWindowFlows::portHeldElsewhere()
{
    QFETCH(int, hold);
    Rig rig;
    MainWindow& w = rig.w();
    LineHolder holder(rig.port().toStdString(), hold);
    QVERIFY(holder.holding());
    DialogScript dialogs;
    dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port()));
    rig.action("m_connect")->trigger();

    QCOMPARE(logOf(w), (QList<Line>{{"Подключение...", true},
                                    {"Не удалось установить usb-can соединение. " + rig.port() + ": "
                                         + QString::fromLocal8Bit(std::strerror(EBUSY)),
                                     false}}));
    QCOMPARE(dialogs.opened, 2);
    QVERIFY(!rig.connected());
    QVERIFY(rig.action("m_connect")->isEnabled());
    QVERIFY(!rig.button("btnSaveAll")->isEnabled());

    QCOMPARE(holder.markSet(), bool(hold & LineHolder::Mark));
    QVERIFY(holder.writeLine());
    QVERIFY(rig.sim.adapter.waitForLine("H", kWait));
    QCOMPARE(rig.sim.adapter.lines(), QStringList{"H"});

    QVERIFY(holder.release());
    QVERIFY(rig.connectA(dialogs));
    QCOMPARE(rig.sim.adapter.lines().mid(0, 2), (QStringList{"H", "O"}));
}

// Clicks and keys given while the device is probed are dropped, not held back
// until the probe ends: after it the device has seen no command and no second
// connect, nothing was typed, and the device tools were off all along.
void TstWindowFlows::inputDuringTheProbeTakesNoEffect()
{
    Rig rig;
    MainWindow& w = rig.w();
    auto* log = w.findChild<QTextEdit*>("teLog");
    log->setFocus();
    QWidget* connectButton = w.findChild<QToolBar*>("toolBar")->widgetForAction(rig.action("m_connect"));
    QVERIFY(connectButton);
    bool toolOnWhileProbing = false;
    bool waitCursorShown = false;
    // The timer runs only while the trigger below waits in the probe's loop.
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        toolOnWhileProbing = toolOnWhileProbing || rig.anyDeviceToolOn();
        waitCursorShown = waitCursorShown || Rig::waitCursorShows();
    });
    watch.start();
    // Nobody answers at id 5: the probe waits there, then finds the device at 31.
    DialogScript dialogs;
    dialogs.answers.push_back(
        choose(configfixture::kDeviceA, rig.port(), [](ConnectionDialog& d) { d.setDeviceId(5); }));
    // The application takes this input from the window system when its event
    // loop next turns: in the probe's wait.
    windowinput::click(rig.button("btnReboot"));
    windowinput::click(connectButton);
    windowinput::type(w.windowHandle(), "zq");
    rig.action("m_connect")->trigger();
    watch.stop();

    QVERIFY(rig.connected());
    QCOMPARE(connectionSettings().nodeId, uint8_t(31));
    QVERIFY(!toolOnWhileProbing);
    QVERIFY(waitCursorShown);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(rig.toolsOn());
    // Input still waiting somewhere would have arrived within a round.
    const bool polling = rig.aRoundPasses();
    QVERIFY(!logged(w, {"Перезагрузка...", true}));
    QCOMPARE(rig.sim.device.writesTo(0x2001, 0x0A), 0);
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(rig.sim.adapter.lines().count("O"), 1);
    QVERIFY(!log->toPlainText().contains("zq", Qt::CaseInsensitive));
    QVERIFY(polling);
}

void TstWindowFlows::closeDuringTheProbe_data()
{
    QTest::addColumn<bool>("answers"); // the device answers at id 31 after nobody did at 5
    QTest::newRow("device silent") << false;
    QTest::newRow("device found") << true;
}

// The window's close button during the probe is carried out once the probe
// has returned: the link is closed again, nothing but the probe went to the
// device, and no dialog opens again.
void TstWindowFlows::closeDuringTheProbe()
{
    QFETCH(bool, answers);
    Rig rig;
    MainWindow& w = rig.w();
    rig.sim.device.setSilent(!answers);
    if (!answers)
        rig.setProbeWait(kSilentProbeWait);
    bool closedWhileProbing = false;
    // The timer runs only while the trigger below waits in the probe's loop.
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] { closedWhileProbing = closedWhileProbing || !w.isVisible(); });
    watch.start();
    DialogScript dialogs;
    for (int i = 0; i < 2; ++i)
        dialogs.answers.push_back(
            choose(configfixture::kDeviceA, rig.port(), [](ConnectionDialog& d) { d.setDeviceId(5); }));
    // Taken from the window system in the probe's wait, as the title bar's
    // button pressed meanwhile.
    windowinput::close(w.windowHandle());
    rig.action("m_connect")->trigger();
    watch.stop();

    QVERIFY(!closedWhileProbing);
    QVERIFY(!w.isVisible());
    QVERIFY(!rig.connected());
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(dialogs.opened, 1);
    QVERIFY(!logged(w, {"Подключено", true}));
    QVERIFY(inboxDrained());
    // The adapter reads on a thread of its own: every line up to the close.
    QVERIFY2(rig.sim.adapter.waitForLine("C", kWait), qPrintable(rig.sim.adapter.lines().join(' ')));
    const QStringList lines = rig.sim.adapter.lines();
    QCOMPARE(lines.count("O"), 1);
    QCOMPARE(lines.last(), QString("C"));
    // The device was found (or not) by the probe alone.
    QCOMPARE(rig.sim.device.uploadsOf(0x2000, 1) > 0, answers);
    QVERIFY(rig.onlyProbesSent());
    QCOMPARE(rig.sim.device.writesTo(0x2001, 0x0A), 0);
}

void TstWindowFlows::exitDuringTheProbe_data()
{
    QTest::addColumn<bool>("answers"); // the device answers the probe, late
    QTest::newRow("device silent") << false;
    QTest::newRow("device found") << true;
}

// "Выход" (as an exit signal triggers it) during the probe: the flow returns
// once the probe has, tries no further id, closes the link again, builds no
// page and opens no dialog, and the wait does not spin meanwhile.
void TstWindowFlows::exitDuringTheProbe()
{
    QFETCH(bool, answers);
    Rig rig;
    MainWindow& w = rig.w();
    rig.sim.device.setSilent(!answers);
    rig.sim.device.setDelay(0x2000, 1, 300);
    // Silent, nobody at 5, then 31 and 127: the whole probe is nine tries.
    QTimer exitOnTheFirstProbe;
    exitOnTheFirstProbe.setInterval(5);
    QObject::connect(&exitOnTheFirstProbe, &QTimer::timeout, [&] {
        if (rig.sdoRequestsSent() > 0) {
            exitOnTheFirstProbe.stop();
            rig.action("m_exit")->trigger();
        }
    });
    exitOnTheFirstProbe.start();
    DialogScript dialogs;
    for (int i = 0; i < 2; ++i)
        dialogs.answers.push_back(choose(configfixture::kDeviceA, rig.port(),
                                         [answers](ConnectionDialog& d) { d.setDeviceId(answers ? 31 : 5); }));
    rig.action("m_connect")->trigger();
    clearQuitRequest();

    QVERIFY(!exitOnTheFirstProbe.isActive());
    QVERIFY(!rig.connected());
    QCOMPARE(dialogs.opened, 1);
    QVERIFY(!logged(w, {"Подключено", true}));
    QVERIFY(!rig.speed());
    QVERIFY(!rig.anyDeviceToolOn());
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY2(rig.sim.adapter.waitForLine("C", kWait), qPrintable(rig.sim.adapter.lines().join(' ')));
    const QStringList lines = rig.sim.adapter.lines();
    QCOMPARE(lines.count("O"), 1);
    QCOMPARE(lines.last(), QString("C"));
    // The try under way when the exit came was the last.
    QCOMPARE(rig.sdoRequestsSent(), 1);
    QCOMPARE(rig.sim.device.uploadsOf(0x2000, 1) > 0, answers);
}

void TstWindowFlows::exportImportRoundTrip()
{
    Rig rig;
    MainWindow& w = rig.w();
    DialogScript dialogs;
    QVERIFY(rig.connectA(dialogs));

    // Export writes what the device holds, as the sample file shows it.
    rig.files.savePath = m_tmp.filePath("round");
    w.onCanExport();
    const QString exported = m_tmp.filePath("round.json");
    QCOMPARE(readFile(exported), readFile(QStringLiteral(QUILL_TEST_DATA_DIR) + "/demodrive_export.json"));
    QCOMPARE(logOf(w).mid(logOf(w).size() - 2), (QList<Line>{{"Экспорт...", true}, {"Экспорт завершен.", true}}));
    QVERIFY(rig.toolsOn());

    // The device changes; importing the file brings the exported value back as an edit.
    rig.sim.device.setValue(0x2101, 0, QByteArray::fromHex("d007"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.speed()->text(), QString("2000"), kWait);
    rig.files.openPath = exported;
    w.onCanImport();
    QCOMPARE(rig.speed()->text(), QString("1500"));
    QCOMPARE(rig.speed()->styleSheet(), QString("color:red;"));
    QCOMPARE(w.lastImportFile(), exported);
    QVERIFY(rig.toolsOn());
    QVERIFY(w.dataSource()->loadWorker()->isRunning());

    // Nothing reaches the device before "Сохранить"; then the file's values do.
    QVERIFY(rig.aRoundPasses());
    QCOMPARE(rig.sim.device.writesTo(0x2101, 0), 0);
    QCOMPARE(rig.speed()->text(), QString("1500"));
    rig.button("btnSaveAll")->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2101, 0), QByteArray::fromHex("dc05"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(rig.speed()->styleSheet(), QString(), kWait);
}

void TstWindowFlows::importThroughTheWindow_data()
{
    QTest::addColumn<QByteArray>("entry"); // one entry of "params", or a whole file
    QTest::addColumn<QString>("shown");    // speed afterwards
    QTest::addColumn<QString>("refusal");  // part of the red line, empty for none
    const QByteArray speedAt = R"({"params":[{"name":"speed","index":"%1","subindex":"0","type":%2,"value":"%3"}]})";
    auto file = [&](const char* index, int type, const char* value) {
        return QByteArray(speedAt).replace("%1", index).replace("%2", QByteArray::number(type)).replace("%3", value);
    };
    QTest::newRow("applied") << file("2101", 6, "d007") << "2000" << "";
    QTest::newRow("upper-case value") << file("2101", 6, "D007") << "2000" << "";
    QTest::newRow("index with 0x") << file("0x2101", 6, "d007") << "1500" << "нет на страницах";
    QTest::newRow("export flag off") << QByteArray(R"({"params":[{"index":"2113","subindex":"0","type":7,"value":"00000000"}]})")
                                     << "1500" << "";
    QTest::newRow("type mismatch") << file("2101", 7, "d007") << "1500" << "тип 7";
    QTest::newRow("odd digits") << file("2101", 6, "d07") << "1500" << "шестнадцатеричн";
    QTest::newRow("wrong length") << file("2101", 6, "d00700") << "1500" << "длина";
    QTest::newRow("invalid JSON") << QByteArray(R"({"params":[{"index":"2101")") << "1500" << "JSON";
}

// What the window makes of an import file: the page shows it as an edit or
// stays as it was, the device sees nothing until "Сохранить", and the tools and
// the load worker come back either way.
void TstWindowFlows::importThroughTheWindow()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    Rig rig;
    MainWindow& w = rig.w();
    DialogScript dialogs;
    QVERIFY(rig.connectA(dialogs));
    QTRY_COMPARE_WITH_TIMEOUT(rig.speed()->text(), QString("1500"), kWait);
    const QByteArray hoursBefore = rig.sim.device.value(0x2113, 0);

    rig.files.openPath = m_tmp.filePath(QString("import-%1.json").arg(QTest::currentDataTag()));
    QVERIFY(configfixture::writeFile(rig.files.openPath, entry));
    const int lines = logOf(w).size();
    w.onCanImport();
    QCOMPARE(rig.speed()->text(), shown);
    QCOMPARE(rig.speed()->styleSheet(), QString(shown == "1500" ? "" : "color:red;"));
    const QList<Line> log = logOf(w).mid(lines);
    QCOMPARE(log.value(0), (Line{"Загрузка импортируемых параметров из файла...", true}));
    if (refusal.isEmpty()) {
        QCOMPARE(log.size(), 1);
    } else {
        QCOMPARE(log.size(), 2);
        QVERIFY2(!log[1].blue && log[1].text.contains(refusal), qPrintable(log[1].text));
    }
    QVERIFY(rig.toolsOn());
    QVERIFY(w.dataSource()->loadWorker()->isRunning());

    QVERIFY(rig.aRoundPasses());
    QCOMPARE(rig.sim.device.writesTo(0x2101, 0), 0);
    rig.button("btnSaveAll")->click();
    if (shown != "1500")
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim.device.value(0x2101, 0), QByteArray::fromHex("d007"), kWait);
    QVERIFY(rig.aRoundPasses()); // polling again: every write of the save is done
    QCOMPARE(rig.sim.device.writesTo(0x2101, 0), shown == "1500" ? 0 : 1);
    QCOMPARE(rig.sim.device.writesTo(0x2113, 0), 0);
    QCOMPARE(rig.sim.device.value(0x2113, 0), hoursBefore);
}

void TstWindowFlows::failedBackupStopsImport()
{
    Rig rig;
    MainWindow& w = rig.w();
    DialogScript dialogs;
    QVERIFY(rig.connectA(dialogs));
    QTRY_COMPARE_WITH_TIMEOUT(rig.speed()->text(), QString("1500"), kWait);
    w.findChild<QAction*>("m_backupBeforeImport")->setChecked(true);
    rig.files.savePath = m_tmp.filePath("no-such-folder/backup");
    rig.files.openPath = m_tmp.filePath("never-read.json");
    QVERIFY(configfixture::writeFile(rig.files.openPath,
                                     R"({"params":[{"index":"2101","subindex":"0","type":6,"value":"d007"}]})"));
    const int lines = logOf(w).size();
    w.onCanImport();
    QCOMPARE(rig.files.asked, QStringList{"Укажите папку для бэкапа"});
    QCOMPARE(logOf(w).mid(lines), (QList<Line>{{"Бэкап...", true}, {"Ошибка создания файла бэкапа.", false}}));
    QCOMPARE(rig.speed()->text(), QString("1500"));
    QVERIFY(w.lastImportFile().isEmpty());
    QVERIFY(rig.toolsOn());
    QVERIFY(w.dataSource()->loadWorker()->isRunning());
}

QTEST_MAIN(TstWindowFlows)
#include "tst_windowflows.moc"
