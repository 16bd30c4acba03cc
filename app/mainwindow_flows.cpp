// Slots of the main window whose work belongs to the connect flow, the device
// commands, the configuration pages, the JSON parameter file and the firmware
// update. The constructor wires them; the work itself is done by the classes
// the window delegates to.
#include "app/mainwindow.h"

#include "app/connectflow.h"
#include "app/devicecommands.h"
#include "app/filechooser.h"
#include "app/pageparams.h"
#include "app/paramfileservice.h"
#include "app/userprompt.h"
#include "firmware/dfuthread.h"
#include "link/connectionsettings.h"
#include "pages/pagebuilder.h"
#include "pages/qcustomds.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

namespace {
QString configurationDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ConfigurationData");
}

ParamFileHooks paramFileHooks(MainWindow* window, QCustomDS* dataSource)
{
    ParamFileHooks hooks;
    hooks.log = [window](const QString& msg, bool success) { window->toLog(msg, success); };
    hooks.stopLoad = [dataSource] { dataSource->stopLoad(); };
    hooks.startLoad = [dataSource] { dataSource->startLoad(); };
    // A link lost while a file dialog was open keeps the tools off.
    hooks.setToolsEnabled = [window, dataSource](bool on) {
        window->setToolsEnabled(on && dataSource->isConnected());
    };
    hooks.pageParams = pageParamsFromControllers;
    return hooks;
}
}

void MainWindow::setupFlows()
{
    QCustomDS* ds = m_dataSource.get();
    m_pageBuilder = std::make_unique<PageBuilder>(ui->wgtCustomUiTree, ui->wgtCustomUiPages, ds);
    // No worker may hold a request of a controller that is about to go.
    m_pageBuilder->setBeforeTeardown([ds] {
        ds->stopLoad();
        ds->clearData();
    });
    connect(m_pageBuilder.get(), &PageBuilder::toLog, this, qOverload<QString, bool>(&MainWindow::toLog));

    ConnectFlow::Hooks connectHooks;
    connectHooks.log = [this](const QString& msg, bool success) { toLog(msg, success); };
    connectHooks.repaint = [this] { repaint(); };
    connectHooks.setTitle = [this](const QString& title) { setWindowTitle(title); };
    connectHooks.closeRequested = [this, ds] { return ds->closeRequestedDuringConnect(this); };
    connectHooks.closeWindow = [this] {
        setToolsEnabled(false);
        close();
    };
    m_connectFlow = std::make_unique<ConnectFlow>(*ds, *m_pageBuilder, std::move(connectHooks), configurationDir());

    DeviceCommands::Hooks commandHooks;
    commandHooks.log = [this](const QString& msg, bool success) { toLog(msg, success); };
    commandHooks.setToolsEnabled = [this](bool connected) { setToolsEnabled(connected); };
    commandHooks.setCommandRunning = [this](bool running) { setCommandRunning(running); };
    m_deviceCommands = std::make_unique<DeviceCommands>(*ds, std::move(commandHooks));

    setFileChooser(std::make_unique<DialogFileChooser>());
}

void MainWindow::setFileChooser(std::unique_ptr<FileChooser> chooser)
{
    m_paramFiles = std::make_unique<ParamFileService>(paramFileHooks(this, m_dataSource.get()), std::move(chooser),
                                                      QCoreApplication::applicationDirPath());
}

// Connect flow and device commands.
void MainWindow::connectWithDialog()
{
    m_connectFlow->connectWithDialog();
}

void MainWindow::onBtnConnectClick()
{
    connectWithDialog();
}

void MainWindow::onBtnDisconnectClick()
{
    toLog(QStringLiteral("Отключено"), false);
    setCommandRunning(false);
    setToolsEnabled(false);
    m_dataSource->disconnectDevice();
    connectWithDialog();
}

void MainWindow::slotBtnRebootClick()
{
    m_deviceCommands->reboot();
}

void MainWindow::slotBtnRestoreDefaultSettings()
{
    m_deviceCommands->restoreDefaults();
}

void MainWindow::dropLinkAfterCommand(const QString& message)
{
    // The command ends with its link: until then no new connect may start.
    m_dataSource->disconnectDevice();
    setCommandRunning(false);
    setToolsEnabled(false);
    toLog(message, false);
    connectWithDialog();
}

void MainWindow::slotAfterRestoredDefault()
{
    dropLinkAfterCommand(QStringLiteral(
        "Произведен возврат к заводским настройкам. Соединение разорвано. Переподключите устройство."));
}

void MainWindow::slotAfterReboot()
{
    dropLinkAfterCommand(
        QStringLiteral("Произведена перезагрузка. Соединение разорвано. Переподключите устройство."));
}

// Configuration pages.
void MainWindow::slotBtnSaveAllClick()
{
    m_pageBuilder->slotBtnSaveAllClick();
}

void MainWindow::slotBtnCancelAllClick()
{
    m_pageBuilder->slotBtnCancelAllClick();
}

void MainWindow::slotChangeGroupBoxVisibility(QObject* groupBox)
{
    m_pageBuilder->slotChangeGroupBoxVisibility(groupBox);
}

// JSON parameter file.
void MainWindow::onCanExport()
{
    m_paramFiles->exportParams(connectionSettings().deviceType[0]);
}

void MainWindow::onCanImport()
{
    ParamFileService::ImportOptions options;
    options.backupBeforeImport = ui->m_backupBeforeImport->isChecked();
    options.alwaysImportLastFile = ui->m_alwaysImportLastFile->isChecked();
    m_paramFiles->importParams(connectionSettings().deviceType[0], options, m_lastImportFile);
}

// Firmware update. The worker's reports reach this thread through its own
// queue and arrive here in order, their texts as copies.
void MainWindow::setupFirmwareWorker()
{
    m_dfuThread = std::make_unique<DfuThread>();
    DfuThread* dfu = m_dfuThread.get();
    connect(dfu, &DfuThread::logSignal, this, qOverload<QString, int>(&MainWindow::toLogStrSlot));
    connect(dfu, &DfuThread::progressBarStepSignal, this, &MainWindow::progressBarChangeStepSlot);
    connect(dfu, &DfuThread::setProgressBarVisible, this, &MainWindow::setProgressBarVisibleSlot);
    connect(dfu, &DfuThread::askUserSignal, this, &MainWindow::askUserSlot);
    connect(ui->m_dfu_download, &QAction::triggered, this, &MainWindow::onDfuDownload);
    connect(ui->m_dfu_upload, &QAction::triggered, this, &MainWindow::onDfuUpload);
    m_firmwareFiles = std::make_unique<DialogFileChooser>();
}

// A pending question is answered No at once and every engine wait is bounded,
// so the join ends.
void MainWindow::stopFirmwareWorker()
{
    if (!m_dfuThread)
        return;
    m_dfuThread->stopProcess();
    m_dfuThread->wait();
    m_dfuThread.reset();
}

void MainWindow::setFirmwareFileChooser(std::unique_ptr<FileChooser> chooser)
{
    m_firmwareFiles = std::move(chooser);
}

void MainWindow::onDfuDownload()
{
    const QString file = m_firmwareFiles->openFileName(QStringLiteral("Выберите файл с программой."), QString(),
                                                       QStringLiteral("*.dfu"));
    if (file.isEmpty())
        return;
    m_dfuThread->startDownload(file, QString());
}

void MainWindow::onDfuUpload()
{
    const QString file = m_firmwareFiles->saveFileName(
        QStringLiteral("Выберите имя файла для выгрузки программы."), QString(), QString(), QStringLiteral("*.dfu"));
    if (file.isEmpty())
        return;
    // The upload goes into a new file in the same folder, which then replaces
    // the chosen one; a folder that takes no new file is known now.
    const QFileInfo target(file);
    if (target.isDir() || !QFileInfo(target.absolutePath()).isWritable()) {
        toLog(QStringLiteral("Не удалось перезаписать файл ") + file, false);
        return;
    }
    m_dfuThread->startUpload(file);
}

void MainWindow::askUserSlot(QString question)
{
    PromptRequest request;
    request.text = QStringLiteral("<h2>Внимание!</h2><br/>");
    request.informativeText = question;
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    request.defaultButton = QMessageBox::No;
    request.textFormat = Qt::RichText;
    request.locale = QLocale(QLocale::Russian);
    // The window may go while the box is open; its destructor has then answered
    // the worker already.
    const QPointer<MainWindow> self(this);
    const QMessageBox::StandardButton pressed = promptUser(request);
    if (!self)
        return;
    m_dfuThread->answerQuestion(pressed == QMessageBox::Yes ? 1 : 0);
}
