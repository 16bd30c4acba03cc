// The classic pages in the real main window: a tab builds its page on first
// show, the tools around the check against defaults, export and import, the
// mapping dialog from the pages' hook, and closing the window while the
// classic workers run.
#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "classic/classicpages.h"
#include "classic/loadcandatathread.h"
#include "classic/mappingentry.h"
#include "classic/savecandatathread.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "modaldriver.h"
#include "pages/qcustomds.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "sim/simdevice.h"
#include "taskstats.h"
#include "windowlog.h"

#include <QAction>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kData = QStringLiteral(QUILL_CLASSIC_DATA_DIR);
const uint8_t kNode = 0x25;

int threadCount()
{
    return processTasks().size();
}

// Answers every file dialog with one file.
class OneFileChooser : public FileChooser {
public:
    explicit OneFileChooser(const QString& file) : m_file(file) {}
    QString saveFileName(const QString&, const QString&, const QString&) override { return m_file; }
    QString openFileName(const QString&, const QString&) override { return m_file; }

private:
    QString m_file;
};
}

class TstWindowClassicPages : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        setSdoStackWaitMs(0);
    }
    void init() { connectionSettings() = ConnectionSettings(); }

    void tabBuildsItsPageOnFirstShow()
    {
        MainWindow w;
        ClassicData& data = w.classicPages()->data();
        for (ClassicPage page : {ClassicPage::Main, ClassicPage::Calibration, ClassicPage::Extra, ClassicPage::Info})
            data.page(page).path = kData + "/xmldevice/" + ClassicData::fileName(page);
        data.listsPath = kData + "/xmldevice/lists.xml";
        data.scriptsPath = kData + "/xmldevice/scripts.xml";
        QVERIFY(w.classicPages()->loadXmlFile());
        QVERIFY(!w.classicPages()->extraBrowser());
        auto* tabs = w.findChild<QTabWidget*>("tabConfig");
        tabs->setCurrentIndex(2);
        QVERIFY(w.classicPages()->extraBrowser());
        QVERIFY(w.findChild<QWidget*>("ExtraParamsWgt")->findChild<QScrollArea*>());
        QVERIFY(!w.findChild<QWidget*>("MainParamsWgt")->isEnabled());
        QVERIFY(!w.classicPages()->mainBrowser());
    }

    // The defaults check, export and import give the tools back as they found
    // them: switched on by the run-time pages' connection (which the classic
    // link flag knows nothing of), or off with no device.
    void classicFlowsGiveTheToolsBack_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("last"); // the flow's last log line
        for (bool connected : {true, false}) {
            const char* state = connected ? "connected" : "no device";
            QTest::addRow("check, %s", state) << "check" << connected << "Параметры для проверки не выбраны";
            QTest::addRow("export, %s", state) << "export" << connected << "Экспорт завершен!";
            QTest::addRow("import, %s", state) << "import" << connected << "Импорт завершен!";
        }
    }
    void classicFlowsGiveTheToolsBack()
    {
        QFETCH(QString, flow);
        QFETCH(bool, connected);
        QFETCH(QString, last);
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/classic.bin");
        MainWindow w;
        w.setFileChooser(std::make_unique<OneFileChooser>(file));
        emit w.dataSource()->setToolsEnabled(connected);
        if (flow == "check")
            w.findChild<QAction*>("m_check_default")->trigger();
        else if (flow == "export")
            w.classicPages()->onExport();
        else {
            QVERIFY(QFile(file).open(QIODevice::WriteOnly)); // an empty file fits empty pages
            w.classicPages()->onImport();
        }
        QCOMPARE(logOf(w).last().text, last);
        QCOMPARE(w.findChild<QAction*>("m_disconnect")->isEnabled(), connected);
        QCOMPARE(w.findChild<QAction*>("m_connect")->isEnabled(), !connected);
        for (const char* tool : {"btnSaveAll", "btnCancelAll", "btnReboot", "btnRestoreDefault", "tabConfig"})
            QVERIFY2(w.findChild<QWidget*>(tool)->isEnabled() == connected, tool);
        QVERIFY(w.classicMode().isEmpty());
    }

    // The pages' mapping hook runs the window's dialog.
    void mappingDialogFromThePages()
    {
        MainWindow w;
        MappingEntry entry = MappingEntry::fromText(QStringLiteral("2010010200100000"));
        QVERIFY(ModalDriver::drive([&] { QVERIFY(w.classicHost().editMappingEntry(entry)); },
                                   [](QWidget* dialog) {
                                       dialog->findChild<QSpinBox*>("spinSubindex")->setValue(3);
                                       QMetaObject::invokeMethod(dialog, "accept");
                                   }));
        QCOMPARE(entry.toText(), QStringLiteral("2010030200100000"));
        QVERIFY(ModalDriver::drive([&] { QVERIFY(!w.classicHost().editMappingEntry(entry)); },
                                   [](QWidget* dialog) { ModalDriver::cancel(dialog); }));
    }

    // The window goes while the load worker reads and a save is in flight:
    // every classic thread ends, and the link stays usable.
    void closingMidCycleIsClean()
    {
        SimDeviceOnPty sim(kNode);
        sim.device.addObject(0x1000, 0, CO_UNSIGNED32, littleEndian(0x191, 4));
        sim.device.addObject(0xA000, 0, CO_UNSIGNED8, littleEndian(1, 1));
        sim.device.addObject(0x2010, 1, 0x03 /* INTEGER16 */, littleEndian(5, 2));
        sim.device.setDelay(0x2010, 1, 100);
        QVERIFY(openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) == CAN_LINK_OPEN);
        pointSdoClientAt(kNode);
        connectionSettings().nodeId = kNode;
        connectionSettings().responseTimeoutMs = 300;
        // The adapter's writer starts with the link's first line (the node's
        // boot-up goes out from the timer thread): one read has it running
        // before the threads are counted.
        QVERIFY(sdoRead(kNode, 0x1000, 0, CO_UNSIGNED32, 300).ok);
        { MainWindow warmUp; }
        const int before = threadCount();
        {
            MainWindow w;
            ClassicPages& pages = *w.classicPages();
            w.canLoadThread()->setPauseMs(0);
            pages.setEdsPath(kData + "/device.eds");
            pages.loadCanParamsAndData({"Dev", "9"}, 0);
            QVERIFY(w.canLoadThread()->isRunning());
            QTRY_VERIFY(sim.device.uploadsOf(0x2010, 1) > 0);
            const ParamEntry* lower = pages.data().main.map.find("001 2010sub1 Lower");
            QtProperty* property = pages.propertyOf(*lower);
            pages.stringManager()->setValue(property, "7");
            emit pages.stringManager()->valueUpdated(property, "7");
            QVERIFY(w.canSaveThread()->isRunning());
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 2000);
        QVERIFY(sdoRead(kNode, 0x1000, 0, CO_UNSIGNED32, 300).ok);
        closeCanLink(nullptr);
    }
};

QTEST_MAIN(TstWindowClassicPages)
#include "tst_windowclassicpages.moc"
