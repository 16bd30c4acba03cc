// The classic pages' hooks into the main window: its log, tools, link flag,
// file dialogs, import options, device, EDS option and CAN link; and the
// window's Modbus link.
#include "app/mainwindow.h"

#include "app/filechooser.h"
#include "app/paramfileservice.h"
#include "classic/classichost.h"
#include "classic/modbuslink.h"
#include "link/connectionsettings.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>

void MainWindow::setupClassic()
{
    m_classicHost = std::make_unique<ClassicHost>();
    ClassicHost& host = *m_classicHost;
    host.log = [this](const QString& msg, bool success) { toLog(msg, success); };
    host.setToolsEnabled = [this](bool on) { setToolsEnabled(on); };
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
    host.deviceEntry = [] { return connectionSettings().deviceType; };
    host.getEdsFromDevice = [this] { return ui->m_getEdsFromDevice->isChecked(); };
    host.disconnectCan = [this] { disconnectCan(); };
    host.applicationDir = QCoreApplication::applicationDirPath();
    m_modbus = std::make_unique<ModbusLink>(host);
}
