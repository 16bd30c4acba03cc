// The data source of the configuration pages: opens the USB-CAN link, finds
// the device by an SDO probe, closes the link, and moves parameter values
// between the pages and the device through a load worker and a save worker.
// Lives in the GUI thread; talks to the main window only through its signals.
#pragma once

#include "pages/customparam.h"
#include "pages/sdochannel.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CustomDSLoadThread;
class CustomDSSaveThread;
class QWidget;

// Rounds and waits of the data source. The SDO response time-out comes from the
// connection settings; tests shorten the rest.
struct DataSourceTiming {
    int roundIntervalMs = 1000;
    int probeWaitMs = SdoChannel::kWaitStackTimeout;  // per probe try
    int writeWaitMs = SdoChannel::kWaitStackTimeout;  // per write try
};

class QCustomDS : public QObject {
    Q_OBJECT
public:
    // Over the USB-CAN link of the process.
    explicit QCustomDS(QObject* parent = nullptr);
    QCustomDS(std::shared_ptr<SdoChannel> channel, QObject* parent = nullptr);
    ~QCustomDS() override; // stops and joins both workers

    void setTiming(const DataSourceTiming& timing) { m_timing = timing; }

    // Opens the link and probes the configured id, then 31 and 127. The GUI
    // thread waits in a local event loop that drops all user input (see
    // UserInputHold), so the window keeps painting while a silent device
    // costs its seconds, and nothing the user does meanwhile takes effect
    // later. The device tools are switched on only once a device has
    // answered. A probe without answer logs the ids tried. Once the
    // application is asked to quit, the probe tries no further id, and the
    // link is closed again even when a device answered.
    bool connectDevice();
    // Whether the user asked to close `window` while the last connectDevice
    // waited: the request was held back, and the caller decides now.
    bool closeRequestedDuringConnect(const QWidget* window) const;
    // Whether the application was asked to quit while the last connectDevice
    // waited: the wait went on to its end, and the link is closed.
    bool quitRequestedDuringConnect() const { return m_quitRequested; }
    bool disconnectDevice();
    void clearData();
    bool probeNode(uint8_t nodeId);
    bool isConnected() const { return m_connected; }

    CustomDSLoadThread* loadWorker() const { return m_load.get(); }
    CustomDSSaveThread* saveWorker() const { return m_save.get(); }

signals:
    void setToolsEnabled(bool connected);
    void toLog(QString msg, bool success);
    void toLog(QString msg);
    void signalConnectionError();
    void signalAfterRestoredDefault();
    void signalClearData();
    void signalAfterReboot();

public slots:
    // Parameters are held shared, so nothing a worker uses can be freed under it.
    void slotSave(SPCustomParam param, std::function<void(bool)> callback);
    void slotLoad(SPCustomParam param, std::function<void(bool)> callback);
    void slotParamLoaded(QString paramName);
    void slotParamSaved(QString paramName);
    void slotParamsSaved();
    void slotParamSaveError(QString errorMsg);
    void slotConnectionError();
    void stopLoad();
    void startLoad();
    void slotAfterRestoredDefault();
    void slotAfterReboot();

private:
    // The load worker runs again only when no write is pending and the link is up.
    void startLoadWhenClear();
    void stopWorkers();
    // Hands a worker's report to the GUI thread.
    void toGui(std::function<void()> slot);

    std::shared_ptr<SdoChannel> m_channel;
    std::unique_ptr<CustomDSLoadThread> m_load;
    std::unique_ptr<CustomDSSaveThread> m_save;
    DataSourceTiming m_timing;
    bool m_connected = false;
    bool m_linkLost = false; // reported once per connection
    QList<QPointer<QWidget>> m_closeRequests; // of the last connectDevice
    bool m_quitRequested = false;             // of the last connectDevice
    std::atomic<bool> m_probeGiveUp{false};   // set from the GUI thread once it quits
    // Reports from before the last connect or disconnect are dropped.
    std::atomic<uint64_t> m_epoch{0};
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true); // GUI thread only
};

// canBitRateCode, the adapter's one-character bit-rate code, comes with the link code.
#include "link/canlink.h"
