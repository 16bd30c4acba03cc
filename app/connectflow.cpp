#include "app/connectflow.h"

#include "app/connectiondialog.h"
#include "app/connectiondialogrunner.h"
#include "app/devicelist.h"
#include "app/usersettings.h"
#include "pages/pagebuilder.h"
#include "pages/qcustomds.h"

#include <QSettings>

namespace {
const char* const kPortKey = "settings/connection_dialog/port_name";
}

ConnectFlow::ConnectFlow(QCustomDS& dataSource, PageBuilder& pages, Hooks hooks,
                         const QString& configurationDir)
    : m_dataSource(dataSource), m_pages(pages), m_hooks(std::move(hooks)), m_configurationDir(configurationDir)
{
}

QString ConnectFlow::lastPortName()
{
    const QSettings file(userSettingsFilePath(), QSettings::IniFormat);
    return file.value(QLatin1String(kPortKey)).toString();
}

bool ConnectFlow::connectWithDialog()
{
    if (m_running)
        return false;
    m_running = true;
    // A loop, not a retry from inside the attempt: the user may fail and retry
    // as often as they like without the stack growing.
    Attempt result = Attempt::Failed;
    while (result == Attempt::Failed)
        result = attempt();
    m_running = false;
    return result == Attempt::Connected;
}

ConnectFlow::Attempt ConnectFlow::attempt()
{
    const DeviceList devices =
        loadControllers(m_configurationDir + QStringLiteral("/Controllers.xml"), m_hooks.log);
    if (devices.isEmpty())
        return Attempt::Cancelled;

    ConnectionDialog dialog(lastPortName());
    fillConnectionDialog(dialog, devices);
    if (!runConnectionDialog(dialog))
        return Attempt::Cancelled;

    if (m_hooks.log)
        m_hooks.log(QStringLiteral("Подключение..."), true);
    if (m_hooks.repaint)
        m_hooks.repaint();

    readConnectionDialog(dialog);
    {
        QSettings file(userSettingsFilePath(), QSettings::IniFormat);
        file.setValue(QLatin1String(kPortKey), dialog.portName());
        file.sync();
    }

    m_dataSource.clearData();
    const bool connected = m_dataSource.connectDevice();
    // The tool is ending: no pages and no further attempt.
    if (m_dataSource.quitRequestedDuringConnect())
        return Attempt::Cancelled;
    if (m_hooks.closeRequested && m_hooks.closeRequested()) {
        // Both queues were emptied before the probe: nothing but the probe has gone out.
        m_dataSource.disconnectDevice();
        if (m_hooks.closeWindow)
            m_hooks.closeWindow();
        return Attempt::Cancelled;
    }
    // A failure has been logged by the data source already.
    if (!connected)
        return Attempt::Failed;

    const QString deviceName = connectionSettings().deviceType[0];
    if (m_hooks.log)
        m_hooks.log(QStringLiteral("Подключено"), true);
    if (m_hooks.setTitle)
        m_hooks.setTitle(QStringLiteral("Orvel Device Tool ") + deviceName);
    preparePages(deviceName);
    m_pages.readAll();
    return Attempt::Connected;
}

void ConnectFlow::preparePages(const QString& deviceName)
{
    const QString folder = m_configurationDir + QStringLiteral("/UiData/") + deviceName;
    // Compared with the pages actually built, not with the device chosen before
    // this run: after a failed attempt with another device the two differ, and
    // the pages shown would be polled and saved on the wrong device.
    if (m_pages.isBuilt() && m_pages.builtFolder() == folder)
        return;
    if (m_pages.isBuilt())
        m_pages.clearCustomUi();
    m_dataSource.startLoad();
    m_pages.buildCustomUiPages(folder);
}
