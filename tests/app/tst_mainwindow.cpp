// The main window: its form, the switching of the tools, log lines, the wiring
// of the workers, the lost-link handling and a clean exit with a live link.
#include "app/mainwindow.h"
#include "app/screenplacement.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "pages/qcustomds.h"
#include "sim/simdevice.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTest>

#include <memory>
#include <thread>

namespace {
const uint8_t kDevice = 0x21;
const QString kLinkLost = QStringLiteral("Не удалось получить данные. Соединение разорвано.");

int threadCount()
{
    return QDir("/proc/self/task").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

template <typename T> T* child(const QObject& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

QAction* action(const QObject& w, const char* name) { return child<QAction>(w, name); }

struct LogLine {
    QString text;
    QColor colour;
    int weight = 0;
    bool uniform = true; // one colour and weight over the whole line
};

LogLine lastLine(const MainWindow& w)
{
    const QTextBlock block = child<QTextEdit>(w, "teLog")->document()->lastBlock();
    LogLine line;
    line.text = block.text();
    bool first = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        if (first) {
            line.colour = f.foreground().color();
            line.weight = f.fontWeight();
            first = false;
        } else if (f.foreground().color() != line.colour || f.fontWeight() != line.weight) {
            line.uniform = false;
        }
    }
    return line;
}

int logLines(const MainWindow& w)
{
    const QTextDocument* doc = child<QTextEdit>(w, "teLog")->document();
    return doc->isEmpty() ? 0 : doc->blockCount();
}

// A device on a pty and the connection settings pointing at it.
struct DeviceOnPty {
    DeviceOnPty()
    {
        sim.device.addObject(0x2000, 1, CO_UNSIGNED16, QByteArray::fromHex("0701"));
        ConnectionSettings& s = connectionSettings();
        s.portName = sim.adapter.slavePath();
        s.baudRate = QStringLiteral("250000");
        s.canBusAccess = 0;
        s.deviceId = kDevice;
        s.nodeId = kDevice;
    }
    SimDeviceOnPty sim{kDevice};
};

// Emits a log line per round from a thread, reusing one buffer as a C logger does.
class LineEmitter : public QObject {
    Q_OBJECT
signals:
    void logSignal(QString msg, int kind);
};
}

class TstMainWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        setSdoDelayBeforeWaitMs(0);
        setSdoStackWaitMs(0);
    }

    void init() { connectionSettings() = ConnectionSettings(); }

    void formAsBuilt()
    {
        MainWindow w;
        QCOMPARE(w.objectName(), QString("MainWindow"));
        QCOMPARE(w.windowTitle(), QString("Orvel Device Tool Nadir"));
        QCOMPARE(w.size(), QSize(1021, 766));

        const QList<QAction*> menus = w.menuBar()->actions();
        const QStringList titles{"Файл", "Подключение", "Настройки", "Справка"};
        const QList<QStringList> contents{
            {"m_export", "m_import", "m_exit", "m_check_default"},
            {"m_connect", "m_disconnect"},
            {"m_backupBeforeImport", "m_alwaysImportLastFile", "m_getEdsFromDevice"},
            {"m_about"}};
        QCOMPARE(menus.size(), 4);
        for (int i = 0; i < menus.size(); ++i) {
            QCOMPARE(menus[i]->text(), titles[i]);
            QStringList names;
            for (QAction* a : menus[i]->menu()->actions())
                names << a->objectName();
            QCOMPARE(names, contents[i]);
        }
        QStringList toolBar;
        for (QAction* a : child<QToolBar>(w, "toolBar")->actions())
            toolBar << a->objectName();
        QCOMPARE(toolBar, (QStringList{"m_connect", "m_disconnect", "m_export", "m_import", "m_calibrate",
                                       "m_check_default"}));

        for (const char* name : {"m_connect", "m_disconnect", "m_export", "m_import", "m_check_default",
                                 "m_calibrate"})
            QVERIFY2(!action(w, name)->icon().isNull(), name);
        QVERIFY(!QPixmap(":/images/about.png").isNull());
        for (QAction* a : w.findChildren<QAction*>())
            QVERIFY(a->shortcut().isEmpty());
        QVERIFY(action(w, "m_getEdsFromDevice")->isChecked());
        QVERIFY(!action(w, "m_backupBeforeImport")->isChecked());

        QVERIFY(child<QPushButton>(w, "btnRestoreDefault")->isHidden());
        QVERIFY(child<QWidget>(w, "wgtBtnImport")->isHidden());
        for (const char* name : {"btnRestoreDefault", "btnSaveAll", "btnReboot", "btnCancelAll"})
            QVERIFY2(!child<QPushButton>(w, name)->isEnabled(), name);
        auto* progress = child<QProgressBar>(w, "progressBar");
        QVERIFY(progress->isHidden());
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 25);
        QCOMPARE(child<QTabWidget>(w, "tabConfig")->count(), 4);
    }

    void visibleActions()
    {
        MainWindow w;
        QSet<QString> shown;
        for (QAction* m : w.menuBar()->actions())
            for (QAction* a : m->menu()->actions())
                if (a->isVisible())
                    shown << a->text();
        for (QAction* a : child<QToolBar>(w, "toolBar")->actions())
            if (a->isVisible())
                shown << a->text();
        QCOMPARE(shown, (QSet<QString>{"Подключиться", "Отключиться", "Выход", "Брать EDS из устройства",
                                      "О программе"}));
        // The window's own context menu names the tool bar in the window's language.
        const std::unique_ptr<QMenu> popup(w.createPopupMenu());
        QStringList offered;
        for (QAction* a : popup->actions())
            offered << a->text();
        QCOMPARE(offered, QStringList{"Панель инструментов"});
    }

    void toolsFollowTheLink_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("tab");
        QTest::newRow("connected, tab 0") << true << 0;
        QTest::newRow("connected, tab 1") << true << 1;
        QTest::newRow("disconnected, tab 1") << false << 1;
    }
    void toolsFollowTheLink()
    {
        QFETCH(bool, connected);
        QFETCH(int, tab);
        MainWindow w;
        child<QTabWidget>(w, "tabConfig")->setCurrentIndex(tab);
        QList<QObject*> all;
        for (QAction* a : w.findChildren<QAction*>())
            all << a;
        for (QWidget* x : w.findChildren<QWidget*>())
            all << x;
        QHash<QObject*, bool> hidden;
        for (QObject* o : all)
            hidden[o] = qobject_cast<QAction*>(o) ? !static_cast<QAction*>(o)->isVisible()
                                                  : static_cast<QWidget*>(o)->isHidden();

        w.setToolsEnabled(!connected);
        w.setToolsEnabled(connected);

        QCOMPARE(action(w, "m_connect")->isEnabled(), !connected);
        QCOMPARE(action(w, "m_disconnect")->isEnabled(), connected);
        // A hidden action stays disabled whatever it is told (Qt's rule).
        for (const char* name : {"m_export", "m_import", "m_check_default", "m_calibrate"})
            QVERIFY2(!action(w, name)->isEnabled(), name);
        for (const char* name : {"tabConfig", "wgtCustomUiTree", "wgtCustomUiPages", "btnSaveAll", "btnReboot",
                                 "btnCancelAll", "btnRestoreDefault"})
            QVERIFY2(child<QWidget>(w, name)->isEnabled() == connected, name);
        for (const char* name : {"m_exit", "m_about", "m_getEdsFromDevice"})
            QVERIFY2(action(w, name)->isEnabled(), name);
        QVERIFY(!action(w, "m_backupBeforeImport")->isEnabled());

        for (QObject* o : all) {
            const bool nowHidden = qobject_cast<QAction*>(o) ? !static_cast<QAction*>(o)->isVisible()
                                                             : static_cast<QWidget*>(o)->isHidden();
            QVERIFY2(nowHidden == hidden[o], qPrintable(o->objectName()));
        }

        // Shown, the hidden tools follow the same rule.
        for (const char* name : {"m_export", "m_import", "m_check_default", "m_calibrate"})
            action(w, name)->setVisible(true);
        w.setToolsEnabled(!connected);
        w.setToolsEnabled(connected);
        for (const char* name : {"m_export", "m_import", "m_check_default"})
            QVERIFY2(action(w, name)->isEnabled() == connected, name);
        QCOMPARE(action(w, "m_calibrate")->isEnabled(), connected && tab == 1);
    }

    void logLine_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<bool>("blue");
        QTest::newRow("toLog success") << 0 << true;
        QTest::newRow("toLog failure") << 1 << false;
        QTest::newRow("toLog one argument") << 2 << false;
        QTest::newRow("text copy, kind 1") << 3 << true;
        QTest::newRow("text copy, kind 0") << 4 << false;
        QTest::newRow("C string, kind 1") << 5 << true;
    }
    void logLine()
    {
        QFETCH(int, form);
        QFETCH(bool, blue);
        MainWindow w;
        const QString msg = QStringLiteral("Порт <b>ttyUSB0</b> & занят");
        w.toLog("earlier line", !blue);
        switch (form) {
        case 0: w.toLog(msg, true); break;
        case 1: w.toLog(msg, false); break;
        case 2: w.toLog(msg); break;
        case 3: w.toLogStrSlot(msg, 1); break;
        case 4: w.toLogStrSlot(msg, 0); break;
        case 5: w.toLogStrSlot(msg.toUtf8().constData(), 1); break;
        }
        QCOMPARE(logLines(w), 2);
        const LogLine line = lastLine(w);
        const QRegularExpression format(QStringLiteral("^\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d\\]: (.*)$"));
        const QRegularExpressionMatch m = format.match(line.text);
        QVERIFY2(m.hasMatch(), qPrintable(line.text));
        QCOMPARE(m.captured(1), msg);
        QVERIFY(line.uniform);
        QCOMPARE(line.colour, QColor(blue ? "blue" : "red"));
        QCOMPARE(line.weight, int(QFont::Bold));
        QVERIFY(!child<QTextEdit>(w, "teLog")->isReadOnly());
    }

    // A logger on a worker thread that reuses its buffer at once: every queued
    // line still arrives as logged, in order and in its own colour.
    void queuedLinesKeepTheirText()
    {
        MainWindow w;
        LineEmitter emitter;
        connect(&emitter, &LineEmitter::logSignal, &w, qOverload<QString, int>(&MainWindow::toLogStrSlot),
                Qt::QueuedConnection);
        std::thread worker([&emitter] {
            char buffer[32];
            for (int i = 0; i < 5; ++i) {
                std::snprintf(buffer, sizeof buffer, "строка %d", i);
                emit emitter.logSignal(QString::fromUtf8(buffer), i % 2);
                std::snprintf(buffer, sizeof buffer, "overwritten");
            }
        });
        worker.join();
        QTRY_COMPARE(logLines(w), 5);
        const QTextDocument* doc = child<QTextEdit>(w, "teLog")->document();
        int i = 0;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++i) {
            QVERIFY2(b.text().endsWith(QString("]: строка %1").arg(i)), qPrintable(b.text()));
            QCOMPARE(b.begin().fragment().charFormat().foreground().color(), QColor(i % 2 ? "blue" : "red"));
        }
        QCOMPARE(i, 5);
    }

    void progressBar()
    {
        MainWindow w;
        auto* bar = child<QProgressBar>(w, "progressBar");
        w.progressBarChangeStepSlot(7);
        w.setProgressBarVisibleSlot(true);
        QVERIFY(!bar->isHidden());
        QCOMPARE(bar->value(), 0);
        w.progressBarChangeStepSlot(25);
        QCOMPARE(bar->value(), 25);
        w.setProgressBarVisibleSlot(false);
        QVERIFY(bar->isHidden());
        QCOMPARE(bar->value(), 0);
    }

    // Signals of the data source and the classic workers reach the window.
    void workerSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("line"); // empty: no line
        QTest::addColumn<bool>("blue");
        QTest::newRow("data source line") << 0 << "" << "ошибка" << true;
        QTest::newRow("data source red line") << 1 << "" << "ошибка" << false;
        QTest::newRow("classic test") << 2 << "" << "42" << false;
        QTest::newRow("classic read failure") << 3 << "" << "нет ответа" << false;
        QTest::newRow("classic saved") << 4 << "" << "Параметр 'P1' сохранен." << true;
        QTest::newRow("classic save failed") << 5 << "" << "Не удалось сохранить параметр P1: таймаут" << false;
        QTest::newRow("classic saved during export") << 4 << "export" << "" << true;
        QTest::newRow("classic save failed during import") << 5 << "import" << "" << false;
        QTest::newRow("classic link lost") << 6 << "checkDefault" << kLinkLost << false;
        QTest::newRow("classic link lost during export") << 6 << "export" << "" << false;
    }
    void workerSignals()
    {
        QFETCH(int, signal);
        QFETCH(QString, mode);
        QFETCH(QString, line);
        QFETCH(bool, blue);
        MainWindow w;
        w.setClassicMode(mode);
        switch (signal) {
        case 0: emit w.dataSource()->toLog(QStringLiteral("ошибка"), true); break;
        case 1: emit w.dataSource()->toLog(QStringLiteral("ошибка")); break;
        case 2: emit w.canLoadThread()->test(42); break;
        case 3: emit w.canLoadThread()->paramLoadingFail(QStringLiteral("нет ответа")); break;
        case 4: emit w.canSaveThread()->paramSavingSuccess(QStringLiteral("P1")); break;
        case 5: emit w.canSaveThread()->paramSavingFail(QStringLiteral("P1"), QStringLiteral("таймаут")); break;
        case 6: emit w.canLoadThread()->paramsLoadingFail(); break;
        }
        if (line.isEmpty()) {
            QCOMPARE(logLines(w), 0);
            QCOMPARE(w.classicMode(), mode);
            return;
        }
        const LogLine last = lastLine(w);
        QVERIFY2(last.text.endsWith("]: " + line), qPrintable(last.text));
        QCOMPARE(last.colour, QColor(blue ? "blue" : "red"));
        if (signal == 6)
            QVERIFY(w.classicMode().isEmpty());
    }

    void dataSourceSwitchesTools()
    {
        MainWindow w;
        emit w.dataSource()->setToolsEnabled(true);
        QVERIFY(action(w, "m_disconnect")->isEnabled());
        emit w.dataSource()->setToolsEnabled(false);
        QVERIFY(!action(w, "m_disconnect")->isEnabled());
        QVERIFY(action(w, "m_connect")->isEnabled());
    }

    void connectionErrorClosesTheLink()
    {
        DeviceOnPty device;
        MainWindow w;
        QVERIFY(w.dataSource()->connectDevice());
        QVERIFY(isCanLinkOpen());
        w.setToolsEnabled(true);
        {
            std::lock_guard<std::mutex> lock(sdoExchange().mutex);
            sdoExchange().failureCounter = 9;
        }
        emit w.dataSource()->signalConnectionError();
        QVERIFY(!w.dataSource()->isConnected());
        QVERIFY(!isCanLinkOpen());
        QVERIFY(action(w, "m_connect")->isEnabled());
        QVERIFY(!action(w, "m_disconnect")->isEnabled());
        QVERIFY(!child<QWidget>(w, "btnSaveAll")->isEnabled());
        {
            std::lock_guard<std::mutex> lock(sdoExchange().mutex);
            QCOMPARE(sdoExchange().failureCounter, 0);
        }
        const LogLine last = lastLine(w);
        QVERIFY(last.text.endsWith("]: " + kLinkLost));
        QCOMPARE(last.colour, QColor("red"));
    }

    // Leaving with a connected data source and running workers: the link is
    // closed and every thread the window started has ended.
    void exitWithLiveLink()
    {
        DeviceOnPty device;
        { MainWindow warmUp; } // Qt's own helper threads, started once
        const int before = threadCount();
        {
            MainWindow w;
            QVERIFY(w.dataSource()->connectDevice());
            w.canLoadThread()->startLoad({});
            w.canSaveThread()->startSave(nullptr);
            QVERIFY(threadCount() > before);
        }
        QVERIFY(!isCanLinkOpen());
        // A joined thread leaves the task list a moment after the join.
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 2000);
        QTRY_VERIFY(device.sim.adapter.lines().contains("C"));
    }

    void aboutDialogOpensModally()
    {
        MainWindow w;
        QString opened;
        QTimer::singleShot(0, [&opened] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal) {
                opened = modal->objectName();
                modal->close();
            }
        });
        w.onAboutClicked();
        QCOMPARE(opened, QString("about"));
    }

    void exitEndsTheEventLoop()
    {
        MainWindow w;
        QTimer::singleShot(0, &w, [&w] { emit w.exitApp(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void centredOnScreen()
    {
        MainWindow w;
        centreOnPrimaryScreen(w);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w.pos(), QPoint(screen.x() + (screen.width() - w.width()) / 2,
                                 screen.y() + (screen.height() - w.height()) / 2));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
