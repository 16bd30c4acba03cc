#pragma once

#include "app/windowcanlink.h"

#include <QMainWindow>
#include <QString>
#include <memory>

namespace Ui {
class MainWindow;
}

class ClassicPages;
struct ClassicHost;
class ConnectFlow;
class ConnectionAdapter;
class DeviceCommands;
class DfuThread;
class FileChooser;
class LoadCanDataThread;
class ModbusLink;
class PageBuilder;
class ParamFileService;
class QCustomDS;
class QSignalMapper;
class QTreeWidgetItem;
class SaveCanDataThread;
struct WindowOptions;

// The tool's frame: form, log pane, progress bar, the switching of the device
// tools and the per-user settings. It owns the long-lived workers and stops and
// joins every one of them before it goes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QCustomDS* dataSource() const { return m_dataSource.get(); }
    LoadCanDataThread* canLoadThread() const { return m_canLoadThread.get(); }
    SaveCanDataThread* canSaveThread() const { return m_canSaveThread.get(); }
    QSignalMapper* groupBoxMapper() const { return m_groupBoxMapper; }
    ConnectionAdapter* connectionAdapter() const { return m_connectionAdapter; }
    QString lastImportFile() const { return m_lastImportFile; }
    // The classic pages, their hooks into the window and their Modbus link.
    ClassicPages* classicPages() const { return m_classicPages.get(); }
    const ClassicHost& classicHost() const;
    ModbusLink* modbusLink() const;
    DfuThread* firmwareWorker() const { return m_dfuThread.get(); }

    // The connection dialog, then the link, the pages and their first read; a
    // failed attempt opens the dialog again.
    void connectWithDialog();
    // The file dialogs of export and import (tests answer them).
    void setFileChooser(std::unique_ptr<FileChooser> chooser);
    // The file dialogs of the firmware update (tests answer them).
    void setFirmwareFileChooser(std::unique_ptr<FileChooser> chooser);

    // The window's own CAN link (the data source keeps a link of its own).
    bool openCanConnection();
    int testCanConnection();
    int connectCan();
    void disconnectCan();
    bool linkOpen() const { return m_linkOpen; }

    // Classic pages' state that the window's slots look at.
    QString classicMode() const;
    void setClassicMode(const QString& mode);
    bool classicModeFlag() const { return m_classicModeFlag; }
    bool refreshStopped() const { return m_refreshStopped; }

signals:
    void exitApp();

public slots:
    void toLog(QString msg, bool success);
    void toLog(QString msg);
    // Lines from a worker thread arrive queued, so they carry their own copy.
    void toLogStrSlot(QString msg, int success);
    void toLogStrSlot(const char* msg, int success);
    void setToolsEnabled(bool connected);
    void progressBarChangeStepSlot(int step);
    void setProgressBarVisibleSlot(bool visible);
    void onExit();
    void onAboutClicked();

    void slotCalibrate();
    void slotAfterConnection();
    void slotAfterDiconnection();
    void onBtnRefreshEditableParamsClick();
    void slotCanIndexParamsLoaded();
    void mainBrowsserSliderMoved(int shift);
    void valueChanged(int);
    void sliderPressed();
    void sliderMoved(int);
    void sliderReleased();

    // Connect flow and device commands.
    void onBtnConnectClick();
    void onBtnDisconnectClick();
    void slotBtnRebootClick();
    void slotBtnRestoreDefaultSettings();
    void slotAfterRestoredDefault();
    void slotAfterReboot();
    // Configuration pages.
    void slotBtnSaveAllClick();
    void slotBtnCancelAllClick();
    void slotChangeGroupBoxVisibility(QObject* groupBox);
    // JSON parameter file.
    void onCanExport();
    void onCanImport();
    // Firmware update (the two actions stay hidden).
    void onDfuDownload();
    void onDfuUpload();
    // A question of the firmware worker; the answer goes back to it.
    void askUserSlot(QString question);

    // Lost link and the classic pages' workers.
    void slotConnectionError();
    void slotCanParamsLoaded();
    void slotCanParamLoaded(QString param_name);
    void slotCanParamsLoadingFail();
    void slotCanParamLoadingFail(QString message);
    void slotTest(int num);
    void slotCanParamSavingSuccess(QString paramName);
    void slotCanParamSavingFail(QString paramName, QString reason);
    void onTabChanged(int index);
    void onCheckDefault();
    void onImportSubmit();
    void onEndImportMode();

private:
    void connectActions();
    void connectWorkers();
    void setupFirmwareWorker();
    void stopFirmwareWorker();
    // The window's choices as they stand in the form.
    WindowOptions windowOptions() const;
    void readSettings();
    void writeSettings();
    void closeModbus();
    void resetSdoFailureCounter();
    // Switches the tools off and logs the loss; the caller has closed the link.
    void reportLinkLost();
    void setupFlows();
    void setupClassic();
    // Ends the connection after a reboot or a restore, tells the user to
    // reconnect and opens the dialog.
    void dropLinkAfterCommand(const QString& message);
    // While a reboot or restore runs, "Подключиться" stays off whatever the
    // other tools do: the data source still holds the old link.
    void setCommandRunning(bool running);

    std::unique_ptr<Ui::MainWindow> ui;
    QString m_lastImportFile;
    // Created without parent and deleted by the destructor once joined.
    std::unique_ptr<LoadCanDataThread> m_canLoadThread;
    std::unique_ptr<SaveCanDataThread> m_canSaveThread;
    std::unique_ptr<QCustomDS> m_dataSource;
    std::unique_ptr<PageBuilder> m_pageBuilder;
    std::unique_ptr<ConnectFlow> m_connectFlow;
    std::unique_ptr<DeviceCommands> m_deviceCommands;
    std::unique_ptr<ParamFileService> m_paramFiles;
    std::unique_ptr<DfuThread> m_dfuThread;
    std::unique_ptr<FileChooser> m_firmwareFiles;
    QSignalMapper* m_groupBoxMapper = nullptr;
    ConnectionAdapter* m_connectionAdapter = nullptr;
    WindowCanLink m_canLink;
    bool m_linkOpen = false; // the one link flag: the Modbus or the CAN link
    bool m_toolsOn = false;        // as setToolsEnabled last said
    bool m_commandRunning = false; // a reboot or restore has not ended yet
    // Uses the two classic workers and the form; goes before either.
    std::unique_ptr<ClassicPages> m_classicPages;

    bool m_classicModeFlag = false;
    bool m_refreshStopped = false;
};
