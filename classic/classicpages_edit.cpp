// Values between the pages, the workers and the device: edits of properties
// (CAN records through the save worker, XML records over Modbus), the save
// queue, the mapping-entry button, the slots of the two workers, scrolling and
// the periodic refresh.
#include "classic/classicpages.h"

#include "classic/loadcandatathread.h"
#include "classic/mappingentry.h"
#include "classic/realtext.h"
#include "classic/registervalues.h"
#include "classic/savecandatathread.h"
#include "link/connectionsettings.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {
const char* const kLinkLost = "Не удалось получить данные. Соединение разорвано.";


// A queued save is given this long: three tries, each ended by the stack's
// own time-out when the device falls silent.
const int kSaveBoundMs = 10000;

// Past this a load worker asked to stop counts as stuck: a stop is looked at
// between tries, and a try waits at most the response time-out.
int loadStopBoundMs()
{
    return 2 * connectionSettings().responseTimeoutMs + 1000;
}

QString savedLine(const QString& name)
{
    return QStringLiteral("Параметр '") + name + QStringLiteral("' сохранен.");
}

// Decimal digits of a number that fits the record's registers; a wider one
// would be written cut.
qint64 unsignedInRegisters(const QString& text, int registers, bool* ok)
{
    const quint64 v = text.toULongLong(ok, 10);
    if (*ok && registers < 4)
        *ok = v >> (16 * registers) == 0;
    return qint64(v);
}
}

bool ClassicPages::isTransferMode() const
{
    return m_data.operationMode == QLatin1String("export") || m_data.operationMode == QLatin1String("import");
}

// ---- the load worker

bool ClassicPages::stopLoadWorker()
{
    if (!m_load.isRunning() || m_load.stopAndWait(loadStopBoundMs()))
        return true;
    linkStuck();
    return false;
}

void ClassicPages::linkStuck()
{
    // The worker keeps its stop request and ends by itself once its try is over.
    m_data.operationMode.clear();
    m_host.dropCanLink();
    m_host.tools(false);
    m_host.toLog(QStringLiteral("Отключено"), false);
}

void ClassicPages::restartLoad()
{
    m_load.startLoad(m_canParams);
}

bool ClassicPages::finishQueuedSaves()
{
    if (m_saveQueue.isEmpty())
        return true;
    // The reports reach the pages through the event loop. Input waits
    // meanwhile; a device that answers no more is given each save's tries.
    QEventLoop loop;
    bool boundReached = false;
    connect(this, &ClassicPages::saveQueueDrained, &loop, &QEventLoop::quit);
    QTimer::singleShot(kSaveBoundMs * m_saveQueue.size(), &loop, [&] {
        boundReached = true;
        loop.quit();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // Once the application is asked to quit, exec() returns at once; the
    // saves still get their time, the wait sleeping until the next event.
    while (!m_saveQueue.isEmpty() && !boundReached)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    if (m_saveQueue.isEmpty())
        return true;
    linkStuck();
    return false;
}

void ClassicPages::runWithoutWorkers(const std::function<void()>& flow)
{
    if (!finishQueuedSaves())
        return;
    const bool loading = m_load.isRunning();
    if (!stopLoadWorker())
        return;
    m_save.stopAndWait(-1); // its last pass has ended with the queue
    flow();
    if (loading)
        restartLoad();
}

// ---- edits

void ClassicPages::showValue(ParamEntry& record, QtProperty* property)
{
    if (!property)
        return;
    Showing showing(m_showing);
    showCanValue(record, property);
    // An integer editor (import page) shows the number itself.
    if (m_intManager && property->propertyManager() == m_intManager) {
        const qint64 raw = canValueOf(record).raw;
        const int code = record.canDataType;
        const int number = code == CanInteger8 ? int(qint8(raw)) : code == CanInteger16 ? int(qint16(raw)) : int(raw);
        m_intManager->setValue(property, number, true);
    }
}

void ClassicPages::valueUpdated(QtProperty* property, double value)
{
    if (m_showing)
        return;
    // Only what happened in the editor tells the shown number from a typed
    // one: a typed number is written even when it equals the shown rounding.
    const bool untouched = m_doubleSpinBoxFactory && m_doubleSpinBoxFactory->isUntouchedCommit(property);
    onCanValueEdited(property, untouched ? EditKind::Untouched : EditKind::Double, 0, value, false, QString());
}

void ClassicPages::valueUpdated(QtProperty* property, int value)
{
    if (!m_showing)
        onCanValueEdited(property, EditKind::Int, value, 0.0, false, QString());
}

void ClassicPages::valueUpdated(QtProperty* property, bool value)
{
    if (!m_showing)
        onCanValueEdited(property, EditKind::Bool, 0, 0.0, value, QString());
}

void ClassicPages::valueUpdated(QtProperty* property, const QString& value)
{
    if (m_showing)
        return;
    const ParamEntry* record = entryOf(property);
    if (!record)
        return;
    if (record->canDataType != 0) {
        // Mapping entries change through the mapping dialog only.
        if (record->objectIndex == QLatin1String("2070"))
            return;
    } else {
        switch (record->dataType) {
        case ParamEntry::Hex:
        case ParamEntry::Int:
        case ParamEntry::UInt:
        case ParamEntry::Float:
        case ParamEntry::SimpleFloat:
        case ParamEntry::Double:
            break;
        default:
            return;
        }
    }
    onCanValueEdited(property, EditKind::Text, 0, value.toDouble(), false, value);
}

void ClassicPages::onCanValueEdited(QtProperty* property, EditKind kind, int intValue, double number, bool flag,
                                    const QString& text)
{
    ParamEntry* record = entryOf(property);
    if (!record)
        return;
    property->setModified(true);
    const CanValue previous = canValueOf(*record);
    const bool wasLoading = m_load.isRunning();
    if (!stopLoadWorker()) {
        showValue(*record, property);
        return;
    }

    if (record->canDataType == 0) {
        applyXmlEdit(*record, property, kind, intValue, number, flag, text);
        qDebug() << "Окончание редактирования:" << m_editedParamName;
        m_lastEditedParamName = m_editedParamName;
        m_editedParamName.clear();
        if (wasLoading)
            restartLoad();
        m_data.operationMode.clear();
        return;
    }

    // An integer editor passes its number; the text rules read it as typed.
    const QString typed = kind == EditKind::Int ? QString::number(intValue) : text;
    const bool parsed = kind == EditKind::Untouched || parseCanValueText(*record, number, flag, typed);
    showValue(*record, property);
    if (parsed && record->ownerMap != &m_data.importMap) {
        commitCanParam(record, previous);
    } else {
        // Refused text, or an import-page record, which only changes here.
        if (!parsed)
            property->setModified(false);
        if (wasLoading && m_saveQueue.isEmpty())
            restartLoad();
    }
    m_data.operationMode.clear();
}

bool ClassicPages::applyXmlEdit(ParamEntry& record, QtProperty* property, EditKind kind, int intValue,
                                double number, bool flag, const QString& text)
{
    CanValue value = canValueOf(record);
    const CanValue previous = value;
    ParamEntry* parent = nullptr;
    CanValue parentPrevious;
    bool ok = true;
    if (record.editorType == ParamEntry::ComboBox && property->propertyManager() == m_enumManager) {
        ok = intValue >= 0 && intValue < record.valueList.size();
        if (ok) {
            value.text = record.valueList[intValue].first;
            value.raw = value.text.toLongLong(&ok);
        }
    } else if (record.bitIndex >= 0 && kind == EditKind::Bool) {
        // A bit lives in its parent's value; the parent's registers are written.
        parent = record.ownerMap ? record.ownerMap->find(record.parentName) : nullptr;
        ok = parent != nullptr;
        if (ok) {
            parentPrevious = canValueOf(*parent);
            CanValue bits = parentPrevious;
            bits.raw = setBit(bits.raw, flag, record.bitIndex);
            bits.text = QString::number(quint64(bits.raw));
            setCanValue(*parent, bits);
            value.raw = flag ? 1 : 0;
            value.flag = flag;
        }
    } else {
        switch (record.dataType) {
        case ParamEntry::Int:
        case ParamEntry::UInt: {
            qint64 v = 0;
            if (kind == EditKind::Int)
                v = record.dataType == ParamEntry::UInt ? qint64(quint32(intValue)) : qint64(intValue);
            else if (record.dataType == ParamEntry::UInt)
                v = unsignedInRegisters(text, record.registerCount(), &ok);
            else
                v = text.toLongLong(&ok, 10);
            ok = ok && (kind == EditKind::Int || kind == EditKind::Text);
            value.raw = v;
            value.text = record.dataType == ParamEntry::Int ? QString::number(v) : QString::number(quint64(v));
            break;
        }
        case ParamEntry::Float: {
            ok = kind == EditKind::Double || kind == EditKind::Text || kind == EditKind::Untouched;
            // Left as it was shown, the registers are written back bit for bit.
            if (kind == EditKind::Untouched || (kind == EditKind::Text && text == value.text))
                break;
            const float f = float(number);
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            value.raw = qint64(bits);
            value.text = shortestText(f);
            break;
        }
        case ParamEntry::SimpleFloat:
            ok = kind == EditKind::Double || kind == EditKind::Text || kind == EditKind::Untouched;
            if (kind == EditKind::Untouched || (kind == EditKind::Text && text == value.text))
                break;
            value.raw = qRound64(number * 10.0);
            value.text = QString::number(double(value.raw) / 10.0, 'f', 1);
            break;
        case ParamEntry::Double: {
            // Only a text editor edits a double; its text is the shortest that
            // reads back as the record's value, so an unchanged one writes the
            // registers back bit for bit.
            ok = kind == EditKind::Text;
            if (!ok || text == value.text)
                break;
            const double d = text.toDouble(&ok);
            quint64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            value.raw = qint64(bits);
            value.text = shortestText(d);
            break;
        }
        case ParamEntry::Bool:
            ok = kind == EditKind::Bool;
            value.raw = flag ? 1 : 0;
            value.flag = flag;
            break;
        case ParamEntry::Hex:
            ok = kind == EditKind::Text;
            value.text = text;
            break;
        default:
            ok = false;
            break;
        }
        if (kind == EditKind::Text && (record.dataType == ParamEntry::Float || record.dataType == ParamEntry::SimpleFloat))
            text.toDouble(&ok);
    }
    if (!ok) {
        if (parent)
            setCanValue(*parent, parentPrevious);
        refreshEntryProperty(record);
        return false;
    }
    setCanValue(record, value);

    const ParamEntry& target = parent ? *parent : record;
    bool written = false;
    if (!target.blockName.isEmpty()) {
        // writeRegisterBlock says how it went.
        const ParamEntry* block = target.ownerMap ? target.ownerMap->find(target.blockName) : nullptr;
        written = block && m_modbus.writeRegisterBlock(*block);
        if (!block)
            m_host.toLog(QStringLiteral("Не удалось сохранить параметр ") + record.name + QLatin1Char('.'), false);
    } else {
        written = m_modbus.writeRegisterWords(recordWords(target));
        m_host.toLog(written ? savedLine(record.name)
                             : QStringLiteral("Не удалось сохранить параметр ") + record.name + QLatin1Char('.'),
                     written);
    }
    if (!written) {
        setCanValue(record, previous);
        if (parent)
            setCanValue(*parent, parentPrevious);
    }
    refreshEntryProperty(record);
    // A number typed into a text editor shows the record's text again.
    if (!written && property->propertyManager() == m_stringManager) {
        Showing showing(m_showing);
        m_stringManager->setValue(property, canValueOf(record).text);
    }
    return written;
}

// ---- the save queue

bool ClassicPages::commitCanParam(ParamEntry* record, const CanValue& previous)
{
    const QString text = canValueOf(*record).text;
    qDebug() << "Перед коммитом2 :" << text;
    qDebug() << "Перед коммитом3 :" << text;
    m_data.operationMode = QStringLiteral("LoadingCanData");
    m_saveQueue.append(PendingSave{record, previous});
    if (m_saveQueue.size() == 1)
        startNextSave();
    qDebug() << "WaitSaving...";
    return true;
}

void ClassicPages::startNextSave()
{
    m_saveParams = {m_saveQueue.first().record};
    m_save.startSave(&m_saveParams);
}

void ClassicPages::finishSave(const QString& name, bool saved)
{
    // A report of a save this queue no longer holds (the pages were reset) changes nothing.
    if (m_saveQueue.isEmpty() || m_saveQueue.first().record->name != name)
        return;
    const PendingSave done = m_saveQueue.takeFirst();
    if (!saved) {
        // A later edit of the same record waits in the queue: it takes over the
        // older value, and the record keeps the value it will write.
        auto later = std::find_if(m_saveQueue.begin(), m_saveQueue.end(),
                                  [&](const PendingSave& p) { return p.record == done.record; });
        if (later != m_saveQueue.end()) {
            later->previous = done.previous;
        } else {
            setCanValue(*done.record, done.previous);
            showValue(*done.record, propertyOf(*done.record));
        }
    }
    if (!m_saveQueue.isEmpty()) {
        startNextSave();
        return;
    }
    restartLoad();
    emit saveQueueDrained();
}

void ClassicPages::slotCanParamSavingSuccess(QString name)
{
    if (!isTransferMode()) {
        m_data.operationMode.clear();
        m_host.toLog(savedLine(name), true);
        qDebug() << "Окончание редактирования:" << m_editedParamName;
        m_lastEditedParamName = m_editedParamName;
        m_editedParamName.clear();
    }
    finishSave(name, true);
}

void ClassicPages::slotCanParamSavingFail(QString name, QString message)
{
    if (!isTransferMode()) {
        m_host.toLog(QStringLiteral("Не удалось сохранить параметр ") + name + QStringLiteral(": ") + message, false);
        m_lastEditedParamName = m_editedParamName;
        m_editedParamName.clear();
        m_data.operationMode.clear();
    }
    finishSave(name, false);
}

void ClassicPages::slotCanParamSaved(QString name, QString message)
{
    ParamEntry* record = m_data.main.map.find(name);
    if (message.isEmpty()) {
        m_host.toLog(savedLine(name), true);
    } else {
        m_host.toLog(QStringLiteral("Не удалось сохранить параметр ") + name + QStringLiteral(". ") + message, false);
        if (record && !m_saveQueue.isEmpty() && m_saveQueue.first().record == record)
            setCanValue(*record, m_saveQueue.first().previous);
    }
    if (record && propertyOf(*record)) {
        Showing showing(m_showing);
        m_stringManager->setValue(propertyOf(*record), QStringLiteral("0x") + canValueOf(*record).text);
    }
}

void ClassicPages::stringPropertyBtnClicked(QtProperty* property)
{
    const ParamEntry* record = entryOf(property);
    // An XML record's button is its script action, which nothing runs.
    if (!record || record->canDataType == 0) {
        slotScriptCalled(property);
        return;
    }
    if (!m_host.editMappingEntry)
        return;
    MappingEntry entry = MappingEntry::fromText(canValueOf(*record).text);
    if (!m_host.editMappingEntry(entry))
        return;
    onCanValueEdited(property, EditKind::Text, 0, 0.0, false, entry.toText());
    if (m_mainPage.browser)
        m_mainPage.browser->closeEditor(property);
    property->setModified(true);
}

void ClassicPages::showAllCanValues()
{
    for (ParamEntry* record : qAsConst(m_canParams))
        if (record->name != m_editedParamName)
            showValue(*record, propertyOf(*record));
}

void ClassicPages::showAllImportValues()
{
    for (auto& [key, record] : m_data.importMap)
        showValue(record, propertyOf(record));
}

// ---- the load worker's signals

void ClassicPages::slotCanParamLoaded(QString name)
{
    if (isTransferMode() || name == m_editedParamName)
        return;
    if (ParamEntry* record = m_data.main.map.find(name))
        showValue(*record, propertyOf(*record));
}

void ClassicPages::slotCanParamsLoaded()
{
    if (!isTransferMode())
        m_data.operationMode.clear();
}

void ClassicPages::slotCanParamsLoadingFail()
{
    if (isTransferMode())
        return;
    m_data.operationMode.clear();
    m_host.dropCanLink();
    m_host.tools(false);
    m_host.toLog(QString::fromUtf8(kLinkLost), false);
}

void ClassicPages::slotCanParamLoadingFail(QString message)
{
    m_host.toLog(message, false);
}

void ClassicPages::slotTest(int number)
{
    m_host.toLog(QString::number(number), false);
}

// ---- scrolling and the periodic refresh

void ClassicPages::mainBrowserScrolled(int, int)
{
    // Only a mark: the load worker goes on reading while the view scrolls.
    if (m_mainPage.browser)
        m_mainPage.browser->setViewScrolled();
}

void ClassicPages::slotRefreshProperties()
{
    if (!m_data.operationMode.isEmpty())
        return;
    if (!m_host.isLinkConnected()) {
        if (m_host.disconnectAction)
            m_host.disconnectAction();
        return;
    }
    m_data.operationMode = QStringLiteral("PropertiesRefreshing");
    const auto readPage = [this](ClassicPage which, bool built) {
        if (!built)
            return;
        ClassicPageData& page = m_data.page(which);
        m_modbus.readRegisterParams(page.map, page.registers, kRegisterRun);
        refreshMapProperties(page.map);
    };
    switch (m_form.tabConfig ? m_form.tabConfig->currentIndex() : -1) {
    case 0:
        if (!m_canParams.isEmpty()) {
            // Started again at once; its end of cycle clears the mode.
            if (stopLoadWorker())
                m_load.startLoad(m_canParams);
            return;
        }
        readPage(ClassicPage::Main, m_mainPage.browser && m_mainForm == MainPageForm::Xml);
        break;
    case 1:
        readPage(ClassicPage::Calibration, m_calibrationPage.browser);
        break;
    case 2:
        readPage(ClassicPage::Extra, m_extraPage.browser);
        break;
    case 3:
        readPage(ClassicPage::Info, m_infoPage.browser);
        break;
    default:
        break;
    }
    m_data.operationMode.clear();
}
