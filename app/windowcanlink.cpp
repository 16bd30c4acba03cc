#include "app/windowcanlink.h"

#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

#include <utility>

WindowCanLink::WindowCanLink(Hooks hooks) : m_hooks(std::move(hooks)) {}

WindowCanLink::~WindowCanLink()
{
    close();
}

void WindowCanLink::fail(const QString& message)
{
    if (!message.isEmpty() && m_hooks.log)
        m_hooks.log(message, false);
    close();
    if (m_hooks.toolsOff)
        m_hooks.toolsOff();
}

bool WindowCanLink::open()
{
    const ConnectionSettings& settings = connectionSettings();
    // The link layer logs why an open failed and leaves nothing open.
    const CanLinkResult result =
        openCanLink(settings.portName, settings.canBusAccess, settings.baudRate, m_hooks.log);
    if (result != CAN_LINK_OPEN) {
        fail(QString());
        return false;
    }
    m_open = true;
    return true;
}

int WindowCanLink::test()
{
    const ConnectionSettings& settings = connectionSettings();
    // An id outside 1..127 is no node id; the probe refuses it and the test fails.
    const SdoOutcome answer = probeCanDevice(nodeIdForDeviceId(settings.deviceId));
    if (!answer.ok) {
        fail(QStringLiteral("Не удалось подключиться: ") + sdoAbortCodeName(answer.abortCode));
        return 0;
    }
    bool numeric = false;
    const int expected = settings.deviceType[1].toInt(&numeric);
    const QByteArray& data = answer.data;
    if (numeric && data.size() >= 2) {
        const int deviceType = static_cast<uint8_t>(data[0]) | (static_cast<uint8_t>(data[1]) << 8);
        if (deviceType == expected)
            return 1;
    }
    fail(QStringLiteral("Неверно выбран тип устройства."));
    return 0;
}

int WindowCanLink::connect()
{
    if (!open())
        return 0;
    return test();
}

void WindowCanLink::close()
{
    if (!m_open)
        return;
    if (m_hooks.onClose)
        m_hooks.onClose();
    closeCanLink(m_hooks.log);
    m_open = false;
}
