// The classic parameter pages: property-browser trees of a device described
// by its XML configuration (main, extra and info pages, over Modbus) or by its
// EDS (the object-dictionary page, over CANopen), the import preview, and what
// moves values between them and the device: the edits, the window's classic
// load and save workers, the Modbus link, scripts, the check against defaults
// and the binary parameter file.
//
// GUI thread only. The two workers belong to the window and read records of
// these maps: every path that changes the maps or reads whole records
// (resetParameterData, the loaders, export and import, destruction) stops and
// joins both first. A wait for the load worker to stop is bounded; when it
// runs out the CAN link is dropped and the worker is left to end by itself,
// never terminated.
//
// The device these pages show is the one the last loader call named and
// loaded; it names the top property, the export folder and the EDS cache, and
// it is what host().deviceEntry answers.
#pragma once

#include "classic/canvalues.h"
#include "classic/classicdata.h"
#include "classic/classichost.h"
#include "classic/modbuslink.h"
#include "classic/paramfile.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QScrollArea>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class LoadCanDataThread;
class QAction;
class QDialogButtonBox;
class QSignalMapper;
class QTabWidget;
class QWidget;
class QtAbstractPropertyManager;
class QtBoolPropertyManager;
class QtBrowserItem;
class QtCheckBoxFactory;
class QtDoublePropertyManager;
class QtDoubleSpinBoxFactory;
class QtEnumEditorFactory;
class QtEnumPropertyManager;
class QtGroupPropertyManager;
class QtIntPropertyManager;
class QtLineEditFactory2;
class QtProperty;
class QtScrollBarFactory;
class QtSliderFactory;
class QtSpinBoxFactory;
class QtSpinBoxFactory2;
class QtStringPropertyManager;
class SaveCanDataThread;

// The window's widgets the pages live on.
struct ClassicForm {
    QTabWidget* tabConfig = nullptr; // tabs: 0 main, 1 calibration, 2 extra, 3 info
    QWidget* MainParamsWgt = nullptr;
    QWidget* importWgt = nullptr;
    QWidget* wgtBtnImport = nullptr;
    QDialogButtonBox* buttonBoxMain = nullptr;
    QDialogButtonBox* buttonBoxCalibration = nullptr;
    QDialogButtonBox* buttonBoxExtra = nullptr;
    QWidget* ExtraParamsWgt = nullptr;
    QWidget* InfoParamsWgt = nullptr;
    QAction* m_calibrate = nullptr;
    QAction* m_check_default = nullptr;
};

class ClassicPages : public QObject {
    Q_OBJECT
public:
    // The main tab shows the XML main page or the object-dictionary page.
    enum class MainPageForm { Xml, ObjectDictionary };
    // What an edit of a property carries (the manager it came from). Untouched:
    // a number editor committed as it opened, which stands for the record's
    // own value, bits and all, whatever number the editor rounded it to.
    enum class EditKind { Double, Int, Bool, Text, Untouched };

    // `host` is copied; the copy answers deviceEntry with the loaded device
    // and refreshPage with these pages' refresh.
    ClassicPages(const ClassicForm& form, const ClassicHost& host, LoadCanDataThread& load,
                 SaveCanDataThread& save, QObject* parent = nullptr);
    ~ClassicPages() override; // joins the workers, then drops the pages

    const ClassicHost& host() const { return m_host; }
    ClassicData& data() { return m_data; }
    ModbusLink& modbusLink() { return m_modbus; }
    ClassicParamFile& paramFile() { return m_paramFile; }
    DeviceEntry currentDevice() const { return m_device; }
    int currentDeviceNumber() const { return m_deviceNumber; }
    QString operationMode() const { return m_data.operationMode; }
    void setOperationMode(const QString& mode) { m_data.operationMode = mode; }
    // An export or import is running: the workers' reports change no page.
    bool isTransferMode() const;
    QString edsPath() const { return m_edsPath; }
    void setEdsPath(const QString& path) { m_edsPath = path; }

    // ---- device configuration loading
    // The device's XML pages; the same entry and number again only re-read the
    // pages' registers. False (and everything cleared) when the device has no
    // folder under ConfigurationData.
    bool loadDeviceConfiguration(const DeviceEntry& entry, int number);
    bool loadConfigurationFiles();
    bool loadXmlFile();
    // The object-dictionary page from the EDS at edsPath(), rebuilt when the
    // device or variant changed; then the load worker reads its records.
    void loadCanParamsAndData(const DeviceEntry& entry, int variant);
    // ConfigurationData/devname.txt, or "" when it cannot be read.
    QString loadDeviceName() const;
    // edsPath() from the device or from the user's choice.
    bool chooseEds();

    // ---- set-up shared by the pages
    // Makes the managers and factories once; later calls change nothing.
    void createPropertyManagers();
    QtBoolPropertyManager* boolManager() const { return m_boolManager; }
    QtIntPropertyManager* intManager() const { return m_intManager; }
    QtDoublePropertyManager* doubleManager() const { return m_doubleManager; }
    QtStringPropertyManager* stringManager() const { return m_stringManager; }
    QtEnumPropertyManager* enumManager() const { return m_enumManager; }
    QtGroupPropertyManager* groupManager() const { return m_groupManager; }
    QStringList extraColumnTitles() const { return m_extraColumns; }
    QtTreePropertyBrowser* mainBrowser() const { return m_mainPage.browser; }
    QtTreePropertyBrowser* importBrowser() const { return m_importPage.browser; }
    QtTreePropertyBrowser* extraBrowser() const { return m_extraPage.browser; }
    QtTreePropertyBrowser* infoBrowser() const { return m_infoPage.browser; }
    // The record's name followed by the identity of the map holding it.
    static QString propertyKey(const QString& name, const ParamEntryMap* map);
    static QString propertyKey(const ParamEntry& record) { return propertyKey(record.name, record.ownerMap); }
    QtProperty* propertyOf(const ParamEntry& record) const { return m_propertiesByKey.value(propertyKey(record)); }
    ParamEntry* entryOf(QtProperty* property) const { return m_propertyEntries.value(property); }
    int propertyCount() const { return m_propertyEntries.size(); }

    // ---- XML pages
    void InitMainBrowser(MainPageForm form = MainPageForm::Xml);
    void InitExtraBrowser();
    void InitInfoBrowser();
    void addEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record);
    QtProperty* addEditableProperty(ParamEntry& record);
    QtProperty* addReadOnlyProperty(ParamEntry& record);
    static int valueListIndex(const ValueList& list, const QString& key);
    static QString valueListText(const ValueList& list, const QString& key);
    void refreshEntryProperty(ParamEntry& record);
    void refreshMapProperties(ParamEntryMap& map);
    void refreshPage(ClassicPage page);

    // ---- object-dictionary page and import page
    void InitImportBrowser();
    void addCanEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record);
    void addImportEntryProperties(QtTreePropertyBrowser* browser, QtProperty* parent, ParamEntry& record);
    void addTopLevelObjects(QtTreePropertyBrowser* browser);
    void addSubIndexProperties(ParamEntry& record, QtProperty* parent);
    const QVector<ParamEntry*>& canParams() const { return m_canParams; }
    QVector<ParamEntry*>& importedList() { return m_importedList; }
    QtProperty* expandedProperty() const { return m_expandedProperty; }

    // ---- edits and the workers
    void onCanValueEdited(QtProperty* property, EditKind kind, int intValue, double number, bool flag,
                          const QString& text);
    // Queues the record's save; `previous` is put back when the device refuses it.
    bool commitCanParam(ParamEntry* record, const CanValue& previous);
    int pendingSaves() const { return m_saveQueue.size(); }
    QString editedParamName() const { return m_editedParamName; }
    QString lastEditedParamName() const { return m_lastEditedParamName; }
    void showAllCanValues();
    void showAllImportValues();

    // ---- check against defaults
    void collectTickedToCheck(QtProperty* property);
    void collectTickedMain(QtProperty* property);
    void collectTickedImport(QtProperty* property);
    const QVector<ParamEntry*>& checkList() const { return m_checkList; }
    const QVector<ParamEntry*>& tickedMainList() const { return m_tickedMainList; }
    const QVector<ParamEntry*>& tickedImportList() const { return m_tickedImportList; }
    // Removes the record and the group records it leaves empty; the position after it.
    static ParamEntryMap::iterator eraseEntryWithEmptyParents(ParamEntryMap& map, ParamEntryMap::iterator position);

    // ---- reset and import mode
    void resetParameterData();
    void addTopLevelProperty(QtTreePropertyBrowser* browser, QtProperty* property);

public slots:
    void onTabChanged(int index);
    void editorCreated(QtProperty* property);

    void valueUpdated(QtProperty* property, double value);
    void valueUpdated(QtProperty* property, int value);
    void valueUpdated(QtProperty* property, bool value);
    void valueUpdated(QtProperty* property, const QString& value);
    void stringPropertyBtnClicked(QtProperty* property);
    void mainBrowserScrolled(int dx, int dy);
    void slotRefreshProperties();

    void slotCanParamLoaded(QString name);
    void slotCanParamsLoaded();
    void slotCanParamsLoadingFail();
    void slotCanParamLoadingFail(QString message);
    void slotTest(int number);
    void slotCanParamSavingSuccess(QString name);
    void slotCanParamSavingFail(QString name, QString message);
    void slotCanParamSaved(QString name, QString message);
    void onConnectionTested(bool) {}
    void slotRefreshReadOnlyProperties() {}
    void slotRefreshEditableProperties() {}

    void slotPropertyExpanded(QtBrowserItem* item);
    void slotPropertyCollapsed(QtBrowserItem* item);
    void slotCanSubindexParamsLoaded();

    void slotScriptButtonClicked(QObject* object);
    void slotScriptCalled(QtProperty* property);

    void onCheckDefault();
    void onImportSubmit();
    void onEndImportMode();

    // Export and import read and replace whole records: queued saves are
    // written first, both workers end, and the load worker reads again after.
    void onExport();
    void onImport();

signals:
    // The last queued save has been reported.
    void saveQueueDrained();

private:
    // A page: its browser and the scroll area holding it on its form widget.
    struct PageView {
        QPointer<QtTreePropertyBrowser> browser;
        QPointer<QScrollArea> area;
    };
    // One queued save and the value it replaced.
    struct PendingSave {
        ParamEntry* record;
        CanValue previous;
    };
    // Marks pushes the pages make themselves, which the factories also
    // announce as valueUpdated: the edit slots ignore them.
    struct Showing {
        explicit Showing(int& depth) : m_depth(depth) { ++m_depth; }
        ~Showing() { --m_depth; }
        Showing(const Showing&) = delete;
        Showing& operator=(const Showing&) = delete;
        int& m_depth;
    };
    enum class Loaded { Nothing, Xml, Eds };
    enum class CanForm { ObjectDictionary, Import, TopLevel, SubIndex };

    // Runs steps 1 to 4 of a page builder; returns the new device group.
    QtProperty* pageSkeleton(PageView& page, QWidget* form, const QList<int>& widths, bool infoPage,
                             const char* builder);
    void buildXmlPage(PageView& page, QWidget* form, ClassicPageData& data, QDialogButtonBox* buttons,
                      bool infoPage, const char* builder);
    void addScriptButtons(QDialogButtonBox* box, const QList<ButtonEntry>& buttons, ParamEntryMap* map);
    void registerProperty(QtProperty* property, ParamEntry& record);
    QtProperty* canValueProperty(ParamEntry& record, CanForm form);
    QtProperty* stringProperty(const QString& name, const QString& value, const QString& pattern);
    QtProperty* intProperty(const QString& name, int value);
    QtProperty* doubleProperty(const QString& name, double value);
    void setColumnTexts(QtProperty* property, const ParamEntry& record, bool editable);
    // A combo box's names and the pair keyed `key`, or no pair.
    void showChoice(QtProperty* property, const ParamEntry& record, const QString& key);
    // The record's value into its property (CAN conversions), and on the
    // import page into an integer property too.
    void showValue(ParamEntry& record, QtProperty* property);
    void collectTicked(QtTreePropertyBrowser* browser, QtProperty* property, QVector<ParamEntry*>& into,
                       bool importWalk);

    // Stops the load worker and waits for it within a bound; when the bound
    // runs out the CAN link goes (linkStuck) and false is returned.
    bool stopLoadWorker();
    void linkStuck();
    void restartLoad();
    // Waits, taking the workers' reports, until every queued save has been
    // reported; false (the link dropped as stuck) when that takes too long.
    bool finishQueuedSaves();
    void runWithoutWorkers(const std::function<void()>& flow);
    void startNextSave();
    void finishSave(const QString& name, bool saved);
    bool applyXmlEdit(ParamEntry& record, QtProperty* property, EditKind kind, int intValue, double number,
                      bool flag, const QString& text);
    void forgetDevice();

    ClassicHost m_host;
    ClassicForm m_form;
    LoadCanDataThread& m_load;
    SaveCanDataThread& m_save;
    ClassicData m_data;
    ModbusLink m_modbus;
    ClassicParamFile m_paramFile;
    QSignalMapper* m_scriptMapper;

    DeviceEntry m_device;
    int m_deviceNumber = -1;
    Loaded m_loaded = Loaded::Nothing;
    QString m_edsPath;

    // Managers and factories live under one hidden widget, made once.
    std::unique_ptr<QWidget> m_managerParent;
    QtBoolPropertyManager* m_boolManager = nullptr;
    QtDoublePropertyManager* m_doubleManager = nullptr;
    QtIntPropertyManager* m_intManager = nullptr;
    QtStringPropertyManager* m_stringManager = nullptr;
    QtEnumPropertyManager* m_enumManager = nullptr;
    QtGroupPropertyManager* m_groupManager = nullptr;
    QtCheckBoxFactory* m_checkBoxFactory = nullptr;
    QtSpinBoxFactory* m_spinBoxFactory = nullptr;
    QtSpinBoxFactory2* m_spinBoxFactory2 = nullptr;
    QtSliderFactory* m_sliderFactory = nullptr;
    QtScrollBarFactory* m_scrollBarFactory = nullptr;
    QtLineEditFactory2* m_lineEditFactory2 = nullptr;
    QtEnumEditorFactory* m_enumFactory = nullptr;
    QtDoubleSpinBoxFactory* m_doubleSpinBoxFactory = nullptr;
    QStringList m_extraColumns;

    PageView m_mainPage;
    PageView m_importPage;
    PageView m_extraPage;
    PageView m_infoPage;
    PageView m_calibrationPage; // no builder makes it
    MainPageForm m_mainForm = MainPageForm::Xml;

    QMap<QtProperty*, ParamEntry*> m_propertyEntries;
    QMap<QString, QtProperty*> m_propertiesByKey;
    QVector<ParamEntry*> m_canParams;
    QVector<ParamEntry*> m_saveParams;
    QList<PendingSave> m_saveQueue;
    QVector<ParamEntry*> m_importedList;
    QVector<ParamEntry*> m_checkList;
    QVector<ParamEntry*> m_tickedMainList;
    QVector<ParamEntry*> m_tickedImportList;
    QtProperty* m_expandedProperty = nullptr;
    QString m_editedParamName;
    QString m_lastEditedParamName;
    // Set while the pages themselves push values into properties: the
    // factories announce those as valueUpdated too, and they are no edits.
    int m_showing = 0;
    bool m_building = false;
};
