// The XML pages: tab switching, the main, extra and info page builders, the
// property of one record by its editor and data type, and the refresh of
// properties from their records.
#include "classic/classicpages.h"

#include "classic/classicscripts.h"
#include "classic/realtext.h"
#include "classic/registervalues.h"
#include "classic/xmlvalue.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalMapper>

namespace {
// The number an integer property shows. A signed record of one register holds
// its value in 16 bits, as the registers are read: -5 arrives as 0xFFFB and
// must not show as 65531 (clamped to 32767).
int numberOf(const ParamEntry& record, quint64 raw)
{
    if (record.dataType == ParamEntry::Int && record.registerCount() == 1)
        return qint16(raw & 0xFFFF);
    return int(quint32(raw));
}

void setEnabled(QWidget* widget, bool on)
{
    if (widget)
        widget->setEnabled(on);
}

// An unsigned record over more than one register holds numbers past an int
// editor's range: it is edited as its decimal digits.
bool editedAsDigits(const ParamEntry& record)
{
    return record.dataType == ParamEntry::UInt && record.registerCount() > 1;
}

QString digitsOf(quint64 raw)
{
    return QString::number(raw);
}
}

void ClassicPages::onTabChanged(int index)
{
    const QDomElement* roots[] = {&m_data.main.root, &m_data.calibration.root, &m_data.extra.root,
                                  &m_data.info.root};
    if (index < 0 || index > 3 || roots[index]->isNull())
        return;
    setEnabled(m_form.MainParamsWgt, index == 0);
    setEnabled(m_form.ExtraParamsWgt, index == 2);
    setEnabled(m_form.InfoParamsWgt, index == 3);
    if (m_form.m_calibrate)
        m_form.m_calibrate->setEnabled(index == 1);
    if (index == 0 && !m_mainPage.browser)
        InitMainBrowser(MainPageForm::Xml);
    else if (index == 2 && !m_extraPage.browser)
        InitExtraBrowser();
    else if (index == 3 && !m_infoPage.browser)
        InitInfoBrowser();
}

void ClassicPages::InitExtraBrowser()
{
    buildXmlPage(m_extraPage, m_form.ExtraParamsWgt, m_data.extra, m_form.buttonBoxExtra, false, "InitExtraBrowser");
}

void ClassicPages::InitInfoBrowser()
{
    buildXmlPage(m_infoPage, m_form.InfoParamsWgt, m_data.info, nullptr, true, "InitInfoBrowser");
}

void ClassicPages::buildXmlPage(PageView& page, QWidget* form, ClassicPageData& data, QDialogButtonBox* buttons,
                                bool infoPage, const char* builder)
{
    QtProperty* top = pageSkeleton(page, form, {250, 150, 150, 150}, infoPage, builder);
    for (auto& [key, record] : data.map)
        if (record.parentName.isEmpty())
            addEntryProperties(page.browser, top, record);
    if (buttons && !data.buttons.isEmpty())
        addScriptButtons(buttons, data.buttons, &data.map);
    m_data.operationMode.clear();
}

void ClassicPages::addScriptButtons(QDialogButtonBox* box, const QList<ButtonEntry>& buttons, ParamEntryMap* map)
{
    for (int i = buttons.size() - 1; i >= 0; --i) {
        QPushButton* button = box->addButton(buttons[i].caption, QDialogButtonBox::NoRole);
        connect(button, &QPushButton::clicked, m_scriptMapper, qOverload<>(&QSignalMapper::map));
        m_scriptMapper->setMapping(button, new ScriptMapObject(buttons[i].script, map, button));
    }
}

void ClassicPages::addEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record)
{
    if (!record.visible)
        return;
    if (!record.childNames.isEmpty()) {
        QtProperty* group = m_groupManager->addProperty(record.caption);
        parent->addSubProperty(group);
        const QList<QtBrowserItem*> items = browser->items(group);
        if (!items.isEmpty())
            browser->setExpanded(items.first(), false);
        for (const QString& name : record.childNames)
            if (ParamEntry* member = record.ownerMap ? record.ownerMap->find(name) : nullptr)
                addEntryProperties(browser, group, *member);
        return;
    }
    QtProperty* property = record.readOnly ? addReadOnlyProperty(record) : addEditableProperty(record);
    registerProperty(property, record);
    parent->addSubProperty(property);
}

QtProperty* ClassicPages::stringProperty(const QString& name, const QString& value, const QString& pattern)
{
    QtProperty* property = m_stringManager->addProperty(name);
    if (!pattern.isEmpty())
        m_stringManager->setRegExp(property, QRegExp(pattern));
    m_stringManager->setValue(property, value);
    return property;
}

QtProperty* ClassicPages::intProperty(const QString& name, int value)
{
    QtProperty* property = m_intManager->addProperty(name);
    m_intManager->setValue(property, value);
    return property;
}

QtProperty* ClassicPages::doubleProperty(const QString& name, double value)
{
    QtProperty* property = m_doubleManager->addProperty(name);
    m_doubleManager->setDecimals(property, kClassicDecimals);
    m_doubleManager->setValue(property, value);
    return property;
}

QtProperty* ClassicPages::addEditableProperty(ParamEntry& record)
{
    const CanValue value = canValueOf(record);
    const int number = numberOf(record, quint64(value.raw));
    QtProperty* property = nullptr;
    if (record.editorType == ParamEntry::TextBox) {
        switch (record.dataType) {
        case ParamEntry::Int:
            property = m_intManager->addProperty(record.caption);
            if (record.addressEnd == -1)
                m_intManager->setRange(property, -32768, 32767);
            m_intManager->setValue(property, number);
            if (!record.scriptAction.isEmpty()) {
                m_intManager->setBtnVisibility(property, true);
                m_intManager->setBtnCaption(property, record.scriptActionTitle);
            }
            break;
        case ParamEntry::UInt:
            if (editedAsDigits(record)) {
                property = stringProperty(record.caption, digitsOf(quint64(value.raw)), QStringLiteral("[0-9]{1,20}"));
                if (!record.scriptAction.isEmpty()) {
                    // The caption an integer editor's action button has.
                    m_stringManager->setBtnVisibility(property, true);
                    m_stringManager->setBtnCaption(property, QStringLiteral("Рассчитать"));
                }
                break;
            }
            property = m_intManager->addProperty(record.caption);
            m_intManager->setMinimum(property, 0);
            m_intManager->setValue(property, number);
            if (!record.scriptAction.isEmpty())
                m_intManager->setBtnVisibility(property, true);
            break;
        case ParamEntry::Float:
        case ParamEntry::SimpleFloat:
            property = doubleProperty(record.caption, value.text.toDouble());
            break;
        case ParamEntry::Hex:
            // Four hexadecimal digits per register, nothing else.
            property = stringProperty(record.caption, value.text,
                                      QStringLiteral("[A-Fa-f0-9]{%1}").arg(4 * record.registerCount()));
            break;
        default:
            property = stringProperty(record.caption, value.text, QString());
            break;
        }
    } else if (record.editorType == ParamEntry::CheckBox) {
        property = m_boolManager->addProperty(record.caption);
        m_boolManager->setValue(property, value.flag);
        m_boolManager->setTextVisible(property, false);
    } else if (record.editorType == ParamEntry::ComboBox) {
        property = m_enumManager->addProperty(record.caption);
        showChoice(property, record, value.text);
    } else {
        property = stringProperty(record.caption, value.text, QString());
    }
    setColumnTexts(property, record, true);
    return property;
}

QtProperty* ClassicPages::addReadOnlyProperty(ParamEntry& record)
{
    const CanValue value = canValueOf(record);
    QtProperty* property = nullptr;
    if (record.dataType == ParamEntry::Bool) {
        property = stringProperty(record.caption, value.flag ? QStringLiteral("Да") : QStringLiteral("Нет"), QString());
        m_stringManager->setReadOnly(property, true);
    } else if (record.dataType == ParamEntry::Double) {
        // The double manager cuts to 13 decimals: the text keeps every digit
        // the value needs, as a float's does.
        property = stringProperty(record.caption, shortestText(doubleFromBits(quint64(value.raw))), QString());
        m_stringManager->setReadOnly(property, true);
    } else {
        const QString text = record.editorType == ParamEntry::ComboBox ? valueListText(record.valueList, value.text)
                                                                        : value.text;
        property = stringProperty(record.caption, text, QString());
        m_stringManager->setReadOnly(property, true);
    }
    setColumnTexts(property, record, false);
    return property;
}

void ClassicPages::setColumnTexts(QtProperty* property, const ParamEntry& record, bool editable)
{
    int begin = record.addressBegin;
    int end = record.addressEnd;
    if (begin == -1 && record.ownerMap) {
        if (const ParamEntry* parent = record.ownerMap->find(record.parentName)) {
            begin = parent->addressBegin;
            end = parent->addressEnd;
        }
    }
    QString address;
    if (begin != -1)
        address += QString::number(begin + 1);
    if (end != -1)
        address += QLatin1Char('-') + QString::number(end + 1);
    if (record.bitIndex != -1)
        address += QStringLiteral(", бит №") + QString::number(record.bitIndex);
    const QString third = editable && record.canDataType != 0 ? QString(QChar(record.canDataType)) : record.caption;
    property->setColumnTexts({address, QString(""), third});
}

void ClassicPages::showChoice(QtProperty* property, const ParamEntry& record, const QString& key)
{
    // The enumeration manager keeps a selection while it has names: a value
    // in no pair is shown by a blank name after the pairs, which writes
    // nothing when chosen.
    QStringList names;
    for (const auto& pair : record.valueList)
        names << pair.second;
    int index = valueListIndex(record.valueList, key);
    if (index < 0) {
        index = names.size();
        names << QString();
    }
    m_enumManager->setEnumNames(property, names);
    m_enumManager->setValueNoUpdate(property, index);
}

int ClassicPages::valueListIndex(const ValueList& list, const QString& key)
{
    for (int i = 0; i < list.size(); ++i)
        if (list[i].first == key)
            return i;
    return -1;
}

QString ClassicPages::valueListText(const ValueList& list, const QString& key)
{
    const int i = valueListIndex(list, key);
    if (i >= 0)
        return list[i].second;
    return list.isEmpty() ? QString() : list.last().second;
}

void ClassicPages::refreshEntryProperty(ParamEntry& record)
{
    QtProperty* property = propertyOf(record);
    if (!property)
        return;
    Showing showing(m_showing);
    const CanValue value = canValueOf(record);
    const quint64 raw = quint64(value.raw);
    if (record.canDataType != 0) {
        m_stringManager->setValue(property, QStringLiteral("0x") + value.text, true);
        return;
    }
    const bool readOnly = record.readOnly;
    switch (record.dataType) {
    case ParamEntry::Hex:
        m_stringManager->setValue(property, value.text, true);
        break;
    case ParamEntry::Int:
        if (record.editorType == ParamEntry::ComboBox) {
            if (readOnly)
                m_stringManager->setValue(property, valueListText(record.valueList, value.text), true);
            else
                showChoice(property, record, value.text);
            break;
        }
        Q_FALLTHROUGH();
    case ParamEntry::UInt:
        if (readOnly)
            m_stringManager->setValue(property, value.text, true);
        else if (property->propertyManager() == m_stringManager)
            m_stringManager->setValue(property, digitsOf(raw), true);
        else
            m_intManager->setValue(property, numberOf(record, raw), true);
        break;
    case ParamEntry::Float:
    case ParamEntry::SimpleFloat:
        if (readOnly) {
            m_stringManager->setValue(property, value.text, true);
        } else {
            m_doubleManager->setDecimals(property, kClassicDecimals);
            m_doubleManager->setValue(property,
                                      record.dataType == ParamEntry::Float ? floatFromBits(raw) : double(raw) / 10.0,
                                      true);
        }
        break;
    case ParamEntry::Double:
        // Both rows are texts (see the builders); another editor is left alone.
        if (property->propertyManager() == m_stringManager)
            m_stringManager->setValue(property, readOnly ? shortestText(doubleFromBits(raw)) : value.text, true);
        break;
    case ParamEntry::Bool:
        if (readOnly)
            m_stringManager->setValue(property, value.flag ? QStringLiteral("Да") : QStringLiteral("Нет"), true);
        else
            m_boolManager->setValue(property, value.flag);
        m_boolManager->setTextVisible(property, false);
        break;
    default:
        break;
    }
}

void ClassicPages::refreshMapProperties(ParamEntryMap& map)
{
    for (auto& [key, record] : map)
        if (record.childNames.isEmpty() && !record.constant)
            refreshEntryProperty(record);
}

void ClassicPages::refreshPage(ClassicPage page)
{
    refreshMapProperties(m_data.page(page).map);
}
