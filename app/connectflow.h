// The main window's connect flow: the connection dialog with the last port
// preselected, the data source's link open and device probe, the window title,
// the device's pages kept or built, and the first read of every page group. A
// failed attempt opens the dialog again until the user connects or cancels. A
// close of the window asked for during the probe ends the flow instead: the
// link is closed again, nothing is sent and the window closes. So does a quit
// of the application asked for during the probe, but for the window's close,
// which the quit itself brings.
#pragma once

#include "app/logsink.h"

#include <QString>
#include <functional>

class PageBuilder;
class QCustomDS;

class ConnectFlow {
public:
    struct Hooks {
        LogSink log;
        // Shows the "connecting" line at once, before the link is opened.
        std::function<void()> repaint;
        std::function<void(const QString& title)> setTitle;
        // Whether the user asked to close the window while the device was
        // probed (the request was held back), and the close carried out.
        std::function<bool()> closeRequested;
        std::function<void()> closeWindow;
    };

    // `configurationDir` holds "Controllers.xml" and the page data ("UiData").
    ConnectFlow(QCustomDS& dataSource, PageBuilder& pages, Hooks hooks, const QString& configurationDir);

    // True when a device is connected at the end; false when the device list
    // is empty or the user cancelled. A call made while the flow runs (from a
    // dialog's event loop) does nothing.
    bool connectWithDialog();

    // The port the dialog preselects: the one stored by the last accepted dialog.
    static QString lastPortName();

private:
    enum class Attempt { Cancelled, Failed, Connected };
    Attempt attempt();
    // Pages are kept only when those built are the connected device's own.
    void preparePages(const QString& deviceName);

    QCustomDS& m_dataSource;
    PageBuilder& m_pages;
    Hooks m_hooks;
    QString m_configurationDir;
    bool m_running = false;
};
