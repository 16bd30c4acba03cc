// The check of ticked parameters against their EDS defaults, the walkers that
// collect ticked records, the removal of a record with the groups it empties,
// and the reset of everything the pages hold; the import page's two buttons.
#include "classic/classicpages.h"

#include "classic/defaultcheck.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "link/connectionsettings.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QDialogButtonBox>

void ClassicPages::onCheckDefault()
{
    m_host.toLog(QStringLiteral("Проверка соответствия текущих параметров значениям по умолчанию..."), true);
    const ToolsPause tools(m_host);
    m_data.operationMode = QStringLiteral("checkDefault");
    m_checkList.clear();
    if (m_mainPage.browser && !m_mainPage.browser->properties().isEmpty())
        collectTickedToCheck(m_mainPage.browser->properties().first());
    const auto done = [this, &tools] {
        tools.giveBack();
        m_data.operationMode.clear();
    };
    if (m_checkList.isEmpty()) {
        m_host.toLog(QStringLiteral("Параметры для проверки не выбраны"), false);
        done();
        return;
    }
    if (!stopLoadWorker())
        return;
    // The values of the last completed load, copied before the worker starts
    // reading the ticked records again.
    QVector<CanValue> values;
    values.reserve(m_checkList.size());
    for (const ParamEntry* record : qAsConst(m_checkList))
        values.append(canValueOf(*record));
    m_load.startLoad(m_checkList);

    const uint8_t nodeId = connectionSettings().nodeId;
    for (int i = 0; i < m_checkList.size(); ++i) {
        const ParamEntry& record = *m_checkList[i];
        const DefaultCheckTexts texts = defaultCheckTexts(record, values[i], nodeId);
        if (!texts.differ())
            continue;
        m_host.toLog(QStringLiteral("Текущее значение параметра '") + record.caption
                         + QStringLiteral("' не равняется значению по умолчанию."),
                     false);
        m_host.toLog(QStringLiteral("Текущее значение: ") + texts.current, false);
        m_host.toLog(QStringLiteral("Значение по умолчанию: ") + texts.defaultValue, false);
    }
    m_host.toLog(QStringLiteral("Проверка завершена."), true);
    done();
}

void ClassicPages::collectTicked(QtTreePropertyBrowser* browser, QtProperty* property, QVector<ParamEntry*>& into,
                                 bool importWalk)
{
    if (!browser || !property)
        return;
    const QList<QtBrowserItem*> items = browser->items(property);
    if (!items.isEmpty() && browser->checkState(items.first()) == Qt::Checked) {
        ParamEntry* record = entryOf(property);
        if (record) {
            const bool take = importWalk ? m_importedList.contains(record) && !record->readOnly
                                         : record->childNames.isEmpty();
            if (take)
                into.append(record);
        }
    }
    for (QtProperty* sub : property->subProperties())
        collectTicked(browser, sub, into, importWalk);
}

void ClassicPages::collectTickedToCheck(QtProperty* property)
{
    collectTicked(m_mainPage.browser, property, m_checkList, false);
}

void ClassicPages::collectTickedMain(QtProperty* property)
{
    collectTicked(m_mainPage.browser, property, m_tickedMainList, false);
}

void ClassicPages::collectTickedImport(QtProperty* property)
{
    collectTicked(m_importPage.browser, property, m_tickedImportList, true);
}

ParamEntryMap::iterator ClassicPages::eraseEntryWithEmptyParents(ParamEntryMap& map, ParamEntryMap::iterator position)
{
    const ParamEntry& record = position->second;
    if (!record.parentName.isEmpty() && record.parentName != position->first) {
        const ParamEntryMap::iterator parent = map.position(record.parentName);
        if (parent != map.end()) {
            parent->second.childNames.removeAll(record.name);
            if (parent->second.childNames.isEmpty())
                eraseEntryWithEmptyParents(map, parent);
        }
    }
    return map.erase(position);
}

void ClassicPages::resetParameterData()
{
    // The workers read the records that go here: both end first.
    m_load.stopAndWait(-1);
    m_save.stopAndWait(-1);
    m_saveQueue.clear();
    emit saveQueueDrained();
    m_expandedProperty = nullptr;
    m_checkList.clear();
    m_tickedMainList.clear();
    m_tickedImportList.clear();
    m_editedParamName.clear();
    m_lastEditedParamName.clear();
    forgetDevice();

    m_propertyEntries.clear();
    m_propertiesByKey.clear();
    for (ClassicPage which : {ClassicPage::Calibration, ClassicPage::Main, ClassicPage::Extra, ClassicPage::Info}) {
        m_data.page(which).registers.clear();
        m_data.page(which).map.clear();
    }
    m_data.formulaRecords.clear();
    m_data.main.buttons.clear();
    m_data.calibration.buttons.clear();
    m_data.extra.buttons.clear();
    m_data.scripts.clear();
    m_data.lists.clear();
    m_canParams.clear();
    m_saveParams.clear();

    if (!m_managerParent)
        return;
    QtAbstractPropertyManager* const managers[] = {m_boolManager,   m_intManager,  m_doubleManager,
                                                   m_stringManager, m_enumManager, m_groupManager};
    for (QtAbstractPropertyManager* manager : managers)
        manager->clear();
    for (PageView* page : {&m_mainPage, &m_calibrationPage, &m_extraPage, &m_infoPage})
        if (page->browser)
            for (QtProperty* property : page->browser->properties())
                page->browser->removeProperty(property);
    for (QDialogButtonBox* box : {m_form.buttonBoxCalibration, m_form.buttonBoxMain, m_form.buttonBoxExtra})
        if (box && !box->buttons().isEmpty())
            box->clear();
}

void ClassicPages::onImportSubmit()
{
    ToolsPause(m_host).giveBack();
    m_data.operationMode.clear();
}

void ClassicPages::onEndImportMode()
{
    if (m_form.wgtBtnImport)
        m_form.wgtBtnImport->setVisible(false);
    if (m_form.importWgt)
        m_form.importWgt->setVisible(false);
    m_tickedImportList.clear();
}
