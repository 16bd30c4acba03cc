// The classic pages in the main window: their hooks into it (log, tools, link
// flag, file dialogs, import options, EDS option, CAN link, disconnect action,
// mapping dialog), the pages on the window's form, and the window's classic
// slots, which hand their work to the pages.
#include "app/mainwindow.h"

#include "app/filechooser.h"
#include "app/mappingdialog.h"
#include "app/paramfileservice.h"
#include "classic/classicpages.h"
#include "classic/loadcandatathread.h"
#include "classic/mappingentry.h"
#include "classic/savecandatathread.h"
#include "link/connectionsettings.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>

void MainWindow::setupClassic()
{
    ClassicHost host;
    host.log = [this](const QString& msg, bool success) { toLog(msg, success); };
    host.setToolsEnabled = [this](bool on) { setToolsEnabled(on); };
    host.toolsEnabled = [this] { return m_toolsOn; };
    host.linkConnected = [this] { return m_linkOpen; };
    host.setLinkConnected = [this](bool on) { m_linkOpen = on; };
    // Read at call time: tests put their own dialogs in.
    host.saveFileName = [this](const QString& caption, const QString& proposed) {
        FileChooser* chooser = m_paramFiles ? m_paramFiles->fileChooser() : nullptr;
        return chooser ? chooser->saveFileName(caption, proposed, QString()) : QString();
    };
    host.openFileName = [this](const QString& caption, const QString& folder) {
        FileChooser* chooser = m_paramFiles ? m_paramFiles->fileChooser() : nullptr;
        return chooser ? chooser->openFileName(caption, folder) : QString();
    };
    host.importOptions = [this] {
        return ClassicImportOptions{ui->m_backupBeforeImport->isChecked(), ui->m_alwaysImportLastFile->isChecked()};
    };
    host.lastImportFile = [this] { return m_lastImportFile; };
    host.setLastImportFile = [this](const QString& name) { m_lastImportFile = name; };
    host.getEdsFromDevice = [this] { return ui->m_getEdsFromDevice->isChecked(); };
    host.disconnectCan = [this] {
        disconnectCan();
        resetSdoFailureCounter();
    };
    host.disconnectAction = [this] { onBtnDisconnectClick(); };
    host.editMappingEntry = [this](MappingEntry& entry) {
        MappingDialog dialog(this);
        showMappingEntry(dialog, entry);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        entry = readMappingEntry(dialog);
        return true;
    };
    host.applicationDir = QCoreApplication::applicationDirPath();

    ClassicForm form;
    form.tabConfig = ui->tabConfig;
    form.MainParamsWgt = ui->MainParamsWgt;
    form.importWgt = ui->importWgt;
    form.wgtBtnImport = ui->wgtBtnImport;
    form.buttonBoxMain = ui->buttonBoxMain;
    form.buttonBoxCalibration = ui->buttonBoxCalibration;
    form.buttonBoxExtra = ui->buttonBoxExtra;
    form.ExtraParamsWgt = ui->ExtraParamsWgt;
    form.InfoParamsWgt = ui->InfoParamsWgt;
    form.m_calibrate = ui->m_calibrate;
    form.m_check_default = ui->m_check_default;
    m_classicPages = std::make_unique<ClassicPages>(form, host, *m_canLoadThread, *m_canSaveThread);
}

const ClassicHost& MainWindow::classicHost() const
{
    return m_classicPages->host();
}

ModbusLink* MainWindow::modbusLink() const
{
    return &m_classicPages->modbusLink();
}

QString MainWindow::classicMode() const
{
    return m_classicPages->operationMode();
}

void MainWindow::setClassicMode(const QString& mode)
{
    m_classicPages->setOperationMode(mode);
}

void MainWindow::closeModbus()
{
    m_classicPages->modbusLink().closeModbus();
}

// ---- the classic workers' signals

void MainWindow::slotCanParamsLoaded()
{
    if (!m_classicPages->isTransferMode())
        m_classicModeFlag = false;
    m_classicPages->slotCanParamsLoaded();
}

void MainWindow::slotCanParamLoaded(QString param_name)
{
    m_classicPages->slotCanParamLoaded(param_name);
}

void MainWindow::slotCanParamsLoadingFail()
{
    if (!m_classicPages->isTransferMode())
        m_classicModeFlag = false;
    m_classicPages->slotCanParamsLoadingFail();
}

void MainWindow::slotCanParamLoadingFail(QString message)
{
    m_classicPages->slotCanParamLoadingFail(message);
}

void MainWindow::slotTest(int num)
{
    m_classicPages->slotTest(num);
}

void MainWindow::slotCanParamSavingSuccess(QString paramName)
{
    m_classicPages->slotCanParamSavingSuccess(paramName);
}

void MainWindow::slotCanParamSavingFail(QString paramName, QString reason)
{
    m_classicPages->slotCanParamSavingFail(paramName, reason);
}

// ---- the classic form

void MainWindow::onTabChanged(int index)
{
    m_classicPages->onTabChanged(index);
}

void MainWindow::onCheckDefault()
{
    m_classicPages->onCheckDefault();
}

void MainWindow::onImportSubmit()
{
    m_classicModeFlag = true;
    m_classicPages->onImportSubmit();
    m_classicModeFlag = false;
}

void MainWindow::onEndImportMode()
{
    m_classicPages->onEndImportMode();
}
