// The classic pages' shared set-up: managers and factories made once, the page
// skeleton every builder runs, the property maps and the start of an edit.
#include "classic/classicpages.h"

#include "classic/classicscripts.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QDebug>
#include <QGridLayout>
#include <QScrollArea>
#include <QSignalMapper>

ClassicPages::ClassicPages(const ClassicForm& form, const ClassicHost& host, LoadCanDataThread& load,
                           SaveCanDataThread& save, QObject* parent)
    : QObject(parent),
      m_host(host),
      m_form(form),
      m_load(load),
      m_save(save),
      m_modbus(m_host),
      m_paramFile(m_data, m_host, m_modbus),
      m_scriptMapper(new QSignalMapper(this))
{
    m_host.deviceEntry = [this] { return m_device; };
    m_host.refreshPage = [this](ClassicPage page) { refreshPage(page); };
    connect(m_scriptMapper, &QSignalMapper::mappedObject, this, &ClassicPages::slotScriptButtonClicked);
}

ClassicPages::~ClassicPages()
{
    m_load.stopAndWait(-1);
    m_save.stopAndWait(-1);
    // The browsers go before the managers and factories they show.
    for (PageView* page : {&m_mainPage, &m_importPage, &m_extraPage, &m_infoPage, &m_calibrationPage}) {
        delete page->area.data();
        delete page->browser.data();
    }
    m_managerParent.reset();
}

QString ClassicPages::propertyKey(const QString& name, const ParamEntryMap* map)
{
    return name + QStringLiteral("0x") + QString::number(quintptr(map), 16);
}

void ClassicPages::createPropertyManagers()
{
    if (m_managerParent)
        return;
    m_managerParent = std::make_unique<QWidget>();
    QWidget* owner = m_managerParent.get();
    m_boolManager = new QtBoolPropertyManager(owner);
    m_doubleManager = new QtDoublePropertyManager(owner);
    m_intManager = new QtIntPropertyManager(owner);
    m_stringManager = new QtStringPropertyManager(owner);
    m_enumManager = new QtEnumPropertyManager(owner);
    m_groupManager = new QtGroupPropertyManager(owner);

    using Pages = ClassicPages;
    connect(m_doubleManager, &QtDoublePropertyManager::valueUpdated, this,
            qOverload<QtProperty*, double>(&Pages::valueUpdated));
    connect(m_doubleManager, &QtAbstractPropertyManager::editorCreated, this, &Pages::editorCreated);
    connect(m_intManager, &QtIntPropertyManager::valueUpdated, this, qOverload<QtProperty*, int>(&Pages::valueUpdated));
    connect(m_intManager, &QtAbstractPropertyManager::editorCreated, this, &Pages::editorCreated);
    connect(m_stringManager, &QtStringPropertyManager::valueUpdated, this,
            qOverload<QtProperty*, const QString&>(&Pages::valueUpdated));
    connect(m_stringManager, &QtStringPropertyManager::btnClicked, this, &Pages::stringPropertyBtnClicked);
    connect(m_stringManager, &QtAbstractPropertyManager::editorCreated, this, &Pages::editorCreated);
    connect(m_boolManager, &QtBoolPropertyManager::valueUpdated, this, qOverload<QtProperty*, bool>(&Pages::valueUpdated));
    connect(m_enumManager, &QtEnumPropertyManager::valueUpdated, this, qOverload<QtProperty*, int>(&Pages::valueUpdated));

    m_checkBoxFactory = new QtCheckBoxFactory(owner);
    m_spinBoxFactory = new QtSpinBoxFactory(owner);
    m_spinBoxFactory2 = new QtSpinBoxFactory2(owner);
    m_sliderFactory = new QtSliderFactory(owner);
    m_scrollBarFactory = new QtScrollBarFactory(owner);
    m_lineEditFactory2 = new QtLineEditFactory2(owner);
    m_enumFactory = new QtEnumEditorFactory(owner);
    m_doubleSpinBoxFactory = new QtDoubleSpinBoxFactory(owner);
    m_extraColumns << QStringLiteral("Ед. изм") << QStringLiteral("Описание");
}

QtProperty* ClassicPages::pageSkeleton(PageView& page, QWidget* form, const QList<int>& widths, bool infoPage,
                                       const char* builder)
{
    m_data.operationMode = QString::fromLatin1(builder);
    createPropertyManagers();
    if (!page.browser) {
        auto* browser = new QtTreePropertyBrowser;
        browser->setExtraColumns(m_extraColumns);
        browser->setResizeMode(QtTreePropertyBrowser::Interactive);
        for (int column = 0; column < widths.size(); ++column)
            browser->setColumnWidth(column, widths[column]);
        auto* area = new QScrollArea;
        area->setWidgetResizable(true);
        area->setWidget(browser);
        if (form) {
            if (form->layout())
                form->layout()->addWidget(area);
            else
                (new QGridLayout(form))->addWidget(area, 0, 0);
        }
        page.browser = browser;
        page.area = area;
    }
    QtTreePropertyBrowser* browser = page.browser;
    browser->setFactoryForManager(m_boolManager, m_checkBoxFactory);
    if (infoPage)
        browser->setFactoryForManager(m_intManager, m_spinBoxFactory);
    else
        browser->setFactoryForManager(m_intManager, m_spinBoxFactory2);
    browser->setFactoryForManager(m_stringManager, m_lineEditFactory2);
    browser->setFactoryForManager(m_enumManager, m_enumFactory);
    browser->setFactoryForManager(m_doubleManager, m_doubleSpinBoxFactory);

    QtProperty* top = m_groupManager->addProperty(m_device[0]);
    addTopLevelProperty(browser, top);
    return top;
}

void ClassicPages::addTopLevelProperty(QtTreePropertyBrowser* browser, QtProperty* property)
{
    browser->setCurrentItem(browser->addProperty(property));
}

void ClassicPages::registerProperty(QtProperty* property, ParamEntry& record)
{
    m_propertyEntries.insert(property, &record);
    m_propertiesByKey.insert(propertyKey(record), property);
}

void ClassicPages::editorCreated(QtProperty* property)
{
    if (QtProperty* last = m_propertiesByKey.value(propertyKey(m_lastEditedParamName, &m_data.main.map)))
        last->setModified(false);
    const ParamEntry* record = entryOf(property);
    if (!record)
        return;
    m_editedParamName = record->name;
    qDebug() << "Начало редактирования:" << m_editedParamName;
}

void ClassicPages::slotScriptButtonClicked(QObject* object)
{
    // No script engine: the button's script and page are located, nothing runs.
    auto* script = qobject_cast<ScriptMapObject*>(object);
    if (!script)
        return;
    Q_UNUSED(script->script());
}

void ClassicPages::slotScriptCalled(QtProperty* property)
{
    Q_UNUSED(entryOf(property));
}

void ClassicPages::onExport()
{
    runWithoutWorkers([this] { m_paramFile.onExport(); });
}

void ClassicPages::onImport()
{
    runWithoutWorkers([this] { m_paramFile.onImport(); });
}
