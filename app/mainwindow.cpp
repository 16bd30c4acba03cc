#include "app/mainwindow.h"

#include "app/about.h"
#include "app/appresources.h"
#include "app/connectflow.h"
#include "app/connectionadapter.h"
#include "app/devicecommands.h"
#include "app/logpane.h"
#include "app/paramfileservice.h"
#include "app/usersettings.h"
#include "classic/classichost.h"
#include "classic/classicpages.h"
#include "classic/loadcandatathread.h"
#include "classic/modbuslink.h"
#include "classic/savecandatathread.h"
#include "firmware/dfuthread.h"
#include "link/sdoaccess.h"
#include "pages/customparam.h"
#include "pages/pagebuilder.h"
#include "pages/qcustomds.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSignalMapper>

#include <mutex>

namespace {
const char* const kLinkLost = "Не удалось получить данные. Соединение разорвано.";
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::MainWindow>()),
      m_canLink(WindowCanLink::Hooks{
          [this](const QString& msg, bool success) { toLog(msg, success); },
          [this] { setToolsEnabled(false); },
          [this] {
              if (m_classicPages)
                  m_classicPages->setOperationMode(QString());
              m_refreshStopped = true;
              if (m_canLoadThread && m_canLoadThread->isRunning())
                  m_canLoadThread->stopProcess();
          }})
{
    initAppResources();
    ui->setupUi(this);

    ui->splitter->setSizes({300, 100});
    ui->wgtBtnImport->hide();

    registerCustomParamMetaType();

    connectActions();
    ui->btnRestoreDefault->hide();
    ui->progressBar->hide();

    readSettings();

    m_groupBoxMapper = new QSignalMapper(this);
    m_connectionAdapter = new ConnectionAdapter(this);
    m_canLoadThread = std::make_unique<LoadCanDataThread>();
    m_canSaveThread = std::make_unique<SaveCanDataThread>();
    setupFirmwareWorker();
    m_dataSource = std::make_unique<QCustomDS>();
    setupFlows();
    setupClassic();
    resetSdoFailureCounter();

    connectWorkers();
}

MainWindow::~MainWindow()
{
    // The window's own link: the Modbus link of the classic pages, and the CAN
    // link whichever way the flag went.
    if (m_linkOpen && connectionSettings().connectionKind == 0)
        closeModbus();
    disconnectCan();

    // Every worker stops and is joined before anything it uses goes away.
    m_dataSource->disconnectDevice();
    // The classic pages let go of their records and workers first.
    m_classicPages->resetParameterData();
    m_classicPages.reset();
    m_connectFlow.reset();
    m_deviceCommands.reset();
    m_paramFiles.reset();
    m_pageBuilder.reset();
    m_dataSource.reset();
    m_canLoadThread.reset(); // each stops and joins its thread
    m_canSaveThread.reset();
    stopFirmwareWorker();

    writeSettings();
}

void MainWindow::connectActions()
{
    connect(ui->m_calibrate, &QAction::triggered, this, &MainWindow::slotCalibrate);
    connect(ui->m_connect, &QAction::triggered, this, &MainWindow::onBtnConnectClick);
    connect(ui->m_disconnect, &QAction::triggered, this, &MainWindow::onBtnDisconnectClick);
    connect(ui->m_exit, &QAction::triggered, this, &MainWindow::onExit);
    connect(ui->tabConfig, &QTabWidget::currentChanged, this, &MainWindow::onTabChanged);
    connect(ui->m_about, &QAction::triggered, this, &MainWindow::onAboutClicked);
    connect(ui->m_export, &QAction::triggered, this, &MainWindow::onCanExport);
    connect(ui->m_import, &QAction::triggered, this, &MainWindow::onCanImport);
    connect(ui->m_check_default, &QAction::triggered, this, &MainWindow::onCheckDefault);
    connect(this, &MainWindow::exitApp, this, &MainWindow::onExit);
    connect(ui->btnSubmitImport, &QPushButton::clicked, this, &MainWindow::onImportSubmit);
    connect(ui->btnEndImportMode, &QPushButton::clicked, this, &MainWindow::onEndImportMode);
    connect(ui->btnSaveAll, &QPushButton::clicked, this, &MainWindow::slotBtnSaveAllClick);
    connect(ui->btnCancelAll, &QPushButton::clicked, this, &MainWindow::slotBtnCancelAllClick);
    connect(ui->btnReboot, &QPushButton::clicked, this, &MainWindow::slotBtnRebootClick);
    connect(ui->btnRestoreDefault, &QPushButton::clicked, this, &MainWindow::slotBtnRestoreDefaultSettings);
}

void MainWindow::connectWorkers()
{
    LoadCanDataThread* load = m_canLoadThread.get();
    connect(load, &LoadCanDataThread::paramsLoaded, this, &MainWindow::slotCanParamsLoaded);
    connect(load, &LoadCanDataThread::paramLoaded, this, &MainWindow::slotCanParamLoaded);
    connect(load, &LoadCanDataThread::paramsLoadingFail, this, &MainWindow::slotCanParamsLoadingFail);
    connect(load, &LoadCanDataThread::paramLoadingFail, this, &MainWindow::slotCanParamLoadingFail);
    connect(load, &LoadCanDataThread::test, this, &MainWindow::slotTest);
    SaveCanDataThread* save = m_canSaveThread.get();
    connect(save, &SaveCanDataThread::paramSavingFail, this, &MainWindow::slotCanParamSavingFail);
    connect(save, &SaveCanDataThread::paramSavingSuccess, this, &MainWindow::slotCanParamSavingSuccess);

    QCustomDS* ds = m_dataSource.get();
    connect(ds, qOverload<QString, bool>(&QCustomDS::toLog), this, qOverload<QString, bool>(&MainWindow::toLog));
    connect(ds, qOverload<QString>(&QCustomDS::toLog), this, qOverload<QString>(&MainWindow::toLog));
    connect(ds, &QCustomDS::setToolsEnabled, this, &MainWindow::setToolsEnabled);
    connect(ds, &QCustomDS::signalConnectionError, this, &MainWindow::slotConnectionError);
    connect(ds, &QCustomDS::signalAfterRestoredDefault, this, &MainWindow::slotAfterRestoredDefault);
    connect(ds, &QCustomDS::signalAfterReboot, this, &MainWindow::slotAfterReboot);
}

// ---- settings

WindowOptions MainWindow::windowOptions() const
{
    WindowOptions options;
    options.backupBeforeImport = ui->m_backupBeforeImport->isChecked();
    options.getEdsFromDevice = ui->m_getEdsFromDevice->isChecked();
    options.alwaysImportLastFile = ui->m_alwaysImportLastFile->isChecked();
    options.lastImportFile = m_lastImportFile;
    return options;
}

void MainWindow::readSettings()
{
    QSettings file(userSettingsFilePath(), QSettings::IniFormat);
    WindowOptions options = windowOptions();
    readUserSettings(file, connectionSettings(), options);
    ui->m_backupBeforeImport->setChecked(options.backupBeforeImport);
    ui->m_getEdsFromDevice->setChecked(options.getEdsFromDevice);
    ui->m_alwaysImportLastFile->setChecked(options.alwaysImportLastFile);
    m_lastImportFile = options.lastImportFile;
}

void MainWindow::writeSettings()
{
    QSettings file(userSettingsFilePath(), QSettings::IniFormat);
    writeUserSettings(file, connectionSettings(), windowOptions());
}

// ---- log, tools, progress

void MainWindow::toLog(QString msg, bool success)
{
    appendLogLine(ui->teLog, msg, success);
}

void MainWindow::toLog(QString msg)
{
    toLog(msg, false);
}

void MainWindow::toLogStrSlot(QString msg, int success)
{
    toLog(msg, success != 0);
}

void MainWindow::toLogStrSlot(const char* msg, int success)
{
    toLog(QString::fromUtf8(msg), success != 0);
}

void MainWindow::setToolsEnabled(bool connected)
{
    m_toolsOn = connected;
    ui->m_connect->setEnabled(!connected && !m_commandRunning);
    ui->m_disconnect->setEnabled(connected);
    ui->m_export->setEnabled(connected);
    ui->m_import->setEnabled(connected);
    ui->m_check_default->setEnabled(connected);
    ui->m_calibrate->setEnabled(connected && ui->tabConfig->currentIndex() == 1);
    ui->tabConfig->setEnabled(connected);
    ui->wgtCustomUiTree->setEnabled(connected);
    ui->wgtCustomUiPages->setEnabled(connected);
    ui->btnSaveAll->setEnabled(connected);
    ui->btnReboot->setEnabled(connected);
    ui->btnCancelAll->setEnabled(connected);
    ui->btnRestoreDefault->setEnabled(connected);
}

void MainWindow::setCommandRunning(bool running)
{
    m_commandRunning = running;
    ui->m_connect->setEnabled(!m_toolsOn && !running);
}

void MainWindow::progressBarChangeStepSlot(int step)
{
    ui->progressBar->setValue(step);
}

void MainWindow::setProgressBarVisibleSlot(bool visible)
{
    ui->progressBar->setValue(0);
    ui->progressBar->setVisible(visible);
}

void MainWindow::onExit()
{
    QCoreApplication::exit(0);
}

void MainWindow::onAboutClicked()
{
    about dialog(nullptr);
    dialog.exec();
}

// ---- the window's own link

bool MainWindow::openCanConnection()
{
    const bool ok = m_canLink.open();
    if (ok)
        m_linkOpen = true;
    return ok;
}

int MainWindow::testCanConnection()
{
    const int result = m_canLink.test();
    if (!m_canLink.isOpen())
        m_linkOpen = false;
    return result;
}

int MainWindow::connectCan()
{
    if (!openCanConnection())
        return 0;
    return testCanConnection();
}

void MainWindow::disconnectCan()
{
    m_canLink.close();
    m_linkOpen = false;
}

void MainWindow::resetSdoFailureCounter()
{
    SdoExchange& exchange = sdoExchange();
    std::lock_guard<std::mutex> lock(exchange.mutex);
    exchange.failureCounter = 0;
}

// ---- lost link and the classic workers

void MainWindow::reportLinkLost()
{
    setToolsEnabled(false);
    resetSdoFailureCounter();
    toLog(QString::fromUtf8(kLinkLost), false);
}

void MainWindow::slotConnectionError()
{
    m_dataSource->disconnectDevice();
    setCommandRunning(false);
    reportLinkLost();
}

// ---- slots with nothing to do in this configuration

void MainWindow::slotCalibrate() {}
void MainWindow::slotAfterConnection() {}
void MainWindow::slotAfterDiconnection() {}
void MainWindow::onBtnRefreshEditableParamsClick() {}
void MainWindow::slotCanIndexParamsLoaded() {}
void MainWindow::mainBrowsserSliderMoved(int) {}
void MainWindow::valueChanged(int) {}
// The classic pages' scrolling; they wait for a running classic exchange and
// restart the refresh timer, which only the classic pages create.
void MainWindow::sliderPressed() {}
void MainWindow::sliderMoved(int) {}
void MainWindow::sliderReleased() {}
