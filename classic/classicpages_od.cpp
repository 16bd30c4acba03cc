// The object-dictionary page (the main tab for a device described by its EDS),
// its lazily built variant, the import page, and the expanding of objects,
// which queues their sub-indices for the load worker.
#include "classic/classicpages.h"

#include "classic/loadcandatathread.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QDebug>

#include <limits>

namespace {
struct IndexRange {
    const char* name;
    uint first;
    uint last;
};

// CiA 301's ranges, in the order their groups stand on the page.
const IndexRange kRanges[] = {
    {"Data Type Definitions: 0x0001..0x0FFF", 0x0001, 0x0FFF},
    {"Communication Parameters: 0x1000..0x1029", 0x1000, 0x1029},
    {"SDO Parameters: 0x1200..0x12FF", 0x1200, 0x12FF},
    {"Receive PDO Parameters: 0x1400..0x15FF", 0x1400, 0x15FF},
    {"Receive PDO Mapping: 0x1600..0x17FF", 0x1600, 0x17FF},
    {"Transmit PDO Parameters: 0x1800..0x19FF", 0x1800, 0x19FF},
    {"Transmit PDO Mapping: 0x1A00..0x1BFF", 0x1A00, 0x1BFF},
    {"Other Communication Parameters: 0x1C00..0x1FFF", 0x1C00, 0x1FFF},
    {"Manufacturer Specific: 0x2000..0x5FFF", 0x2000, 0x5FFF},
    {"Standardized Device Profile: 0x6000..0x9FFF", 0x6000, 0x9FFF},
    {"Standardized Interface Profile: 0xA000..0xBFFF", 0xA000, 0xBFFF},
};
const int kRangeCount = int(sizeof kRanges / sizeof kRanges[0]);

// Decimal, "0x" hexadecimal or "b" binary input; hexadecimal digits. Only the
// digits meant, so a typed "|" is refused rather than read as 0.
const char* const kSignedPattern = "(^0x[A-Fa-f0-9]+)|(^b[0-1]+)|(^-?[0-9]+)";
const char* const kUnsignedPattern = "(^0x[A-Fa-f0-9]+)|(^b[0-1]+)|(^[0-9]+)";
const char* const kHexPattern = "(0x)?[A-Fa-f0-9]+";

const char* const kPlaceholder = "загрузка...";

void collapse(QtTreePropertyBrowser* browser, QtProperty* property)
{
    const QList<QtBrowserItem*> items = browser->items(property);
    if (!items.isEmpty())
        browser->setExpanded(items.first(), false);
}
}

QtProperty* ClassicPages::canValueProperty(ParamEntry& record, CanForm form)
{
    const QString& name = record.caption;
    const bool page = form == CanForm::ObjectDictionary;
    QtProperty* property = nullptr;
    switch (record.canDataType) {
    case CanBoolean:
        return m_boolManager->addProperty(name); // never read-only
    case CanInteger8:
    case CanInteger16:
    case CanInteger32:
        if (page) {
            property = stringProperty(name, QString(), QLatin1String(kSignedPattern));
        } else {
            property = intProperty(name, 0);
            m_intManager->setRange(property, -32768, 32767);
        }
        break;
    case CanUnsigned8:
    case CanUnsigned16:
        if (page) {
            property = stringProperty(name, QString(), QLatin1String(kUnsignedPattern));
        } else {
            property = intProperty(name, 0);
            m_intManager->setMinimum(property, 0);
        }
        break;
    case CanUnsigned32:
        if (form == CanForm::SubIndex) {
            property = intProperty(name, 0);
            m_intManager->setMinimum(property, 0);
        } else {
            property = stringProperty(name, QString(), QLatin1String(kHexPattern));
        }
        break;
    case CanReal32:
    case CanReal64: {
        // The whole range of the type: a value past the manager's default
        // range would be shown, and committed, clamped.
        const double limit = record.canDataType == CanReal32 ? double(std::numeric_limits<float>::max())
                                                             : std::numeric_limits<double>::max();
        property = doubleProperty(name, 0.0);
        m_doubleManager->setRange(property, -limit, limit);
        break;
    }
    case CanVisibleString:
        property = stringProperty(name, QString(),
                                  page || form == CanForm::TopLevel ? QString() : QLatin1String(kHexPattern));
        break;
    default:
        property = stringProperty(name, QString(), QLatin1String(kHexPattern));
        // The Modbus mapping entries open the mapping dialog from their button.
        if (page)
            m_stringManager->setBtnVisibility(property, record.objectIndex == QLatin1String("2070"));
        break;
    }
    if (record.readOnly) {
        m_intManager->setReadOnly(property, true);
        m_doubleManager->setReadOnly(property, true);
        m_stringManager->setReadOnly(property, true);
    }
    return property;
}

void ClassicPages::InitMainBrowser(MainPageForm form)
{
    m_mainForm = form;
    if (form == MainPageForm::Xml) {
        buildXmlPage(m_mainPage, m_form.MainParamsWgt, m_data.main, m_form.buttonBoxMain, false, "InitMainBrowser");
        return;
    }
    // Collapsing the groups it builds must not reach the expand slots.
    m_building = true;
    QtProperty* top = pageSkeleton(m_mainPage, m_form.MainParamsWgt, {450, 250, 250}, false, "InitMainBrowser");
    QtTreePropertyBrowser* browser = m_mainPage.browser;
    connect(browser, &QtTreePropertyBrowser::expanded, this, &ClassicPages::slotPropertyExpanded, Qt::UniqueConnection);
    connect(browser, &QtTreePropertyBrowser::collapsed, this, &ClassicPages::slotPropertyCollapsed,
            Qt::UniqueConnection);
    connect(browser, &QtTreePropertyBrowser::scrolled, this, &ClassicPages::mainBrowserScrolled, Qt::UniqueConnection);

    QtProperty* groups[kRangeCount];
    for (int i = 0; i < kRangeCount; ++i) {
        groups[i] = m_groupManager->addProperty(QString::fromLatin1(kRanges[i].name));
        top->addSubProperty(groups[i]);
    }
    browser->setCurrentItem(nullptr);
    for (auto& [key, record] : m_data.main.map) {
        if (!record.parentName.isEmpty())
            continue;
        const uint index = record.objectIndex.toUInt(nullptr, 16);
        for (int i = 0; i < kRangeCount; ++i) {
            if (index >= kRanges[i].first && index <= kRanges[i].last) {
                addCanEntryProperties(browser, groups[i], record);
                break;
            }
        }
    }
    for (QtProperty* group : groups)
        collapse(browser, group);
    m_building = false;
    m_data.operationMode.clear();
}

void ClassicPages::addCanEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record)
{
    const bool group = !record.childNames.isEmpty();
    QtProperty* property = nullptr;
    if (group) {
        property = m_groupManager->addProperty(record.caption);
    } else {
        property = canValueProperty(record, CanForm::ObjectDictionary);
        m_canParams.append(&record);
    }
    property->setColumnTexts({QString(""), record.description});
    parent->addSubProperty(property);
    registerProperty(property, record);
    if (!group)
        return;
    for (const QString& name : record.childNames)
        if (ParamEntry* member = m_data.main.map.find(name))
            addCanEntryProperties(browser, property, *member);
    collapse(browser, property);
}

void ClassicPages::InitImportBrowser()
{
    QtProperty* top = pageSkeleton(m_importPage, m_form.importWgt, {250, 150, 150, 150}, false, "InitImportBrowser");
    QtTreePropertyBrowser* browser = m_importPage.browser;
    collapse(browser, top);
    for (auto& [key, record] : m_data.importMap)
        if (record.parentName.isEmpty())
            addImportEntryProperties(browser, top, record);
    m_data.operationMode.clear();
}

void ClassicPages::addImportEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record)
{
    const bool group = !record.childNames.isEmpty();
    QtProperty* property = group ? m_groupManager->addProperty(record.caption)
                                 : canValueProperty(record, CanForm::Import);
    parent->addSubProperty(property);
    registerProperty(property, record);
    property->setColumnTexts({QString(""), QString(""), record.description});
    if (m_data.importMap.contains(record.name))
        showValue(record, property);
    else
        property->setEnabled(false);
    if (!group) {
        if (!m_importedList.contains(&record) || record.readOnly)
            property->setEnabled(false);
        return;
    }
    bool writable = false;
    for (const QString& name : record.childNames) {
        ParamEntry* member = m_data.importMap.find(name);
        if (!member)
            continue;
        addImportEntryProperties(browser, property, *member);
        writable = writable || (!member->readOnly && m_importedList.contains(member));
    }
    property->setEnabled(writable);
    collapse(browser, property);
}

void ClassicPages::addTopLevelObjects(QtTreePropertyBrowser* browser)
{
    QtProperty* top = browser->properties().value(0);
    if (!top)
        return;
    m_building = true;
    for (auto& [key, record] : m_data.main.map) {
        if (!record.parentName.isEmpty())
            continue;
        QtProperty* property = nullptr;
        if (record.childNames.isEmpty()) {
            property = canValueProperty(record, CanForm::TopLevel);
            m_canParams.append(&record);
        } else {
            property = m_groupManager->addProperty(record.caption);
            property->addSubProperty(m_stringManager->addProperty(QString::fromUtf8(kPlaceholder)));
        }
        top->addSubProperty(property);
        collapse(browser, property);
        registerProperty(property, record);
        property->setColumnTexts({QString(""), QString(""), record.description});
    }
    m_building = false;
}

void ClassicPages::addSubIndexProperties(ParamEntry& record, QtProperty* parent)
{
    for (const QString& name : record.childNames) {
        ParamEntry* member = m_data.main.map.find(name);
        if (!member)
            continue;
        QtProperty* property = canValueProperty(*member, CanForm::SubIndex);
        parent->addSubProperty(property);
        registerProperty(property, *member);
        property->setColumnTexts({QString(""), QString(""), member->description});
    }
}

void ClassicPages::slotPropertyExpanded(QtBrowserItem* item)
{
    if (m_building || !item)
        return;
    QtProperty* property = item->property();
    ParamEntry* record = entryOf(property);
    if (!record)
        return;
    auto* browser = qobject_cast<QtTreePropertyBrowser*>(sender());
    if (!browser)
        browser = m_mainPage.browser;
    if (m_expandedProperty && m_expandedProperty != property && browser)
        collapse(browser, m_expandedProperty);
    m_expandedProperty = property;
    if (record->childNames.isEmpty())
        return;
    m_data.operationMode = QStringLiteral("LoadingCanData");
    for (const QString& name : record->childNames)
        if (ParamEntry* member = m_data.main.map.find(name))
            m_canParams.append(member);
    if (stopLoadWorker())
        m_load.startLoad(m_canParams);
}

void ClassicPages::slotPropertyCollapsed(QtBrowserItem* item)
{
    if (m_building || !item)
        return;
    const ParamEntry* record = entryOf(item->property());
    if (!record)
        return;
    m_expandedProperty = nullptr;
    for (const QString& name : record->childNames) {
        const int at = m_canParams.indexOf(m_data.main.map.find(name));
        if (at >= 0)
            m_canParams.remove(at);
    }
}

void ClassicPages::slotCanSubindexParamsLoaded()
{
    qDebug() << "ok";
    QtProperty* expanded = m_expandedProperty;
    const ParamEntry* record = entryOf(expanded);
    if (!record)
        return;
    const QList<QtProperty*> subs = expanded->subProperties();
    if (subs.isEmpty())
        return;
    if (subs.first()->propertyName() == QString::fromUtf8(kPlaceholder)) {
        // The view folds and unfolds the object as its rows change: that is
        // no user's expanding.
        m_building = true;
        delete subs.first(); // leaves the object and the browser
        for (const QString& name : record->childNames) {
            ParamEntry* member = record->ownerMap ? record->ownerMap->find(name) : nullptr;
            if (!member)
                continue;
            QtProperty* property = record->readOnly ? addReadOnlyProperty(*member) : addEditableProperty(*member);
            registerProperty(property, *member);
            expanded->addSubProperty(property);
        }
        m_building = false;
        return;
    }
    for (const QString& name : record->childNames)
        if (ParamEntry* member = m_data.main.map.find(name))
            refreshEntryProperty(*member);
}
