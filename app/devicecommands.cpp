#include "app/devicecommands.h"

#include "app/userprompt.h"
#include "pages/datatypes.h"
#include "pages/guiinbox.h"
#include "pages/qcustomds.h"

DeviceCommands::DeviceCommands(QCustomDS& dataSource, Hooks hooks)
    : m_dataSource(dataSource), m_hooks(std::move(hooks))
{
    GuiInbox::ensure();
}

DeviceCommands::~DeviceCommands()
{
    *m_alive = false;
}

QString DeviceCommands::restoreDoneText()
{
    return QStringLiteral("Возврат к заводским настройкам выполнен. "
                          "Заводские настройки вступят в силу после перезагрузки устройства.");
}

SPCustomParam DeviceCommands::command(const QString& index, const QString& subIndex, const QString& typeName,
                                      const char* hexValue)
{
    // The write takes its CANopen type from the pages' data types; without the
    // type nothing is sent rather than a guess.
    const QSharedPointer<ParamDataType> type = dataTypeMap.value(typeName);
    if (!type) {
        if (m_hooks.log)
            m_hooks.log(QStringLiteral("Команда не отправлена: тип данных \"%1\" не описан.").arg(typeName), false);
        return {};
    }
    const SPCustomParam param = SPCustomParam::create(index, subIndex, QString(), type, false, false);
    param->setValue(QByteArray::fromHex(hexValue));
    return param;
}

void DeviceCommands::reboot()
{
    const SPCustomParam param = command(QStringLiteral("2001"), QStringLiteral("a"), QStringLiteral("uint32line"),
                                        "626f6f74");
    if (!param)
        return;
    if (m_hooks.log)
        m_hooks.log(QStringLiteral("Перезагрузка..."), true);
    setRunning(true);
    send(param, [this](bool) { setRunning(false); });
}

void DeviceCommands::restoreDefaults()
{
    PromptRequest question;
    question.text = QStringLiteral("Сброс к заводским настройкам");
    question.informativeText = QStringLiteral("Откатить устройство к заводским настройкам?");
    question.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::Cancel;
    if (promptUser(question) != QMessageBox::Ok)
        return;

    // "load", the restore signature.
    const SPCustomParam param = command(QStringLiteral("1011"), QStringLiteral("1"), QStringLiteral("uint8line"),
                                        "6c6f6164");
    if (!param)
        return;
    if (m_hooks.log)
        m_hooks.log(QStringLiteral("Производится возврат к заводским настройкам..."), true);
    setRunning(true);
    if (m_hooks.setToolsEnabled)
        m_hooks.setToolsEnabled(false);
    // A device that answers keeps its link, so the tools must come back; one
    // that restarts is reported by the save worker and the link is dropped.
    send(param, [this](bool ok) { restoreWritten(ok); });
}

void DeviceCommands::send(const SPCustomParam& param, std::function<void(bool ok)> written)
{
    m_dataSource.slotSave(param, [alive = m_alive, this, written = std::move(written)](bool ok) {
        GuiInbox::post([alive, this, written, ok] {
            if (*alive)
                written(ok);
        });
    });
}

void DeviceCommands::setRunning(bool running)
{
    if (m_hooks.setCommandRunning)
        m_hooks.setCommandRunning(running);
}

void DeviceCommands::restoreWritten(bool ok)
{
    setRunning(false);
    if (m_hooks.setToolsEnabled)
        m_hooks.setToolsEnabled(m_dataSource.isConnected());
    if (ok && m_hooks.log)
        m_hooks.log(restoreDoneText(), true);
}
