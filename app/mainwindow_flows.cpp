// Slots of the main window whose work belongs to the connect flow, the device
// commands, the configuration pages, the JSON parameter file and the firmware
// update. The constructor wires them; each feature fills its own here.
#include "app/mainwindow.h"

// Connect flow and device commands.
void MainWindow::onBtnConnectClick() {}
void MainWindow::onBtnDisconnectClick() {}
void MainWindow::slotBtnRebootClick() {}
void MainWindow::slotBtnRestoreDefaultSettings() {}
void MainWindow::slotAfterRestoredDefault() {}
void MainWindow::slotAfterReboot() {}

// Configuration pages.
void MainWindow::slotBtnSaveAllClick() {}
void MainWindow::slotBtnCancelAllClick() {}
void MainWindow::slotChangeGroupBoxVisibility(QObject*) {}

// JSON parameter file.
void MainWindow::onCanExport() {}
void MainWindow::onCanImport() {}

// Firmware update: the worker is created here (no parent), its logSignal,
// progressBarStepSignal, setProgressBarVisible and askUserSignal go to
// toLogStrSlot(QString, int), progressBarChangeStepSlot, setProgressBarVisibleSlot
// and askUserSlot, and m_dfu_download / m_dfu_upload to onDfuDownload /
// onDfuUpload. stopFirmwareWorker stops and joins it before the window goes.
void MainWindow::setupFirmwareWorker() {}
void MainWindow::stopFirmwareWorker() {}
