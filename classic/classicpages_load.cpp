// Loading a device into the classic pages: its XML configuration files, or
// its EDS, then the pages built from them; the device name file.
#include "classic/classicpages.h"

#include "classic/edsdevice.h"
#include "classic/edsreader.h"
#include "classic/loadcandatathread.h"
#include "classic/xmlconfig.h"
#include "classic/xmlnesting.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QTextStream>

namespace {
// Pages re-read when the same device is asked for again, by the current tab.
QList<ClassicPage> pagesInTabOrder(int tab)
{
    using P = ClassicPage;
    switch (tab) {
    case 0: return {P::Main, P::Calibration, P::Extra, P::Info};
    case 1: return {P::Calibration, P::Main, P::Extra, P::Info};
    case 2: return {P::Extra, P::Main, P::Calibration, P::Info};
    case 3: return {P::Info, P::Extra, P::Main, P::Calibration};
    default: return {};
    }
}

// Elements a page file may nest: room for the records the reader takes and
// the elements around them. A deeper file is refused before it is built.
const int kMaxXmlDepth = 2 * XmlConfigReader::kMaxNesting;
}

void ClassicPages::forgetDevice()
{
    m_device = DeviceEntry{};
    m_deviceNumber = -1;
    m_loaded = Loaded::Nothing;
}

bool ClassicPages::loadDeviceConfiguration(const DeviceEntry& entry, int number)
{
    const QString& name = entry[0];
    const QString& typeId = entry[1];
    if (name.isEmpty() || typeId.isEmpty() || !QFileInfo(m_host.configurationDir() + QLatin1Char('/') + name).isDir()) {
        if (m_modbus.isOpen())
            m_modbus.closeModbus();
        resetParameterData();
        m_host.toLog(QStringLiteral("Настрока устройства ") + name + QStringLiteral(" недоступна в данной версии приложения."),
                     false);
        return false;
    }

    if (m_loaded == Loaded::Xml && typeId == m_device[1] && number == m_deviceNumber) {
        m_data.operationMode = QStringLiteral("LoadingData");
        for (ClassicPage which : pagesInTabOrder(m_form.tabConfig ? m_form.tabConfig->currentIndex() : 0)) {
            ClassicPageData& page = m_data.page(which);
            if (page.root.isNull())
                continue;
            m_modbus.readRegisterParams(page.map, page.registers, kRegisterRun);
            refreshMapProperties(page.map);
        }
        m_data.operationMode.clear();
        return true;
    }

    resetParameterData();
    m_device = entry;
    m_deviceNumber = number;
    m_loaded = Loaded::Xml;
    loadConfigurationFiles();
    XmlConfigReader reader(m_data, m_host, m_modbus);
    if (!m_data.listsRoot.isNull())
        reader.loadLists();
    if (!m_data.scriptsRoot.isNull())
        reader.loadScripts();
    for (ClassicPage which : {ClassicPage::Calibration, ClassicPage::Main, ClassicPage::Extra, ClassicPage::Info})
        if (!m_data.page(which).root.isNull())
            reader.loadParameterSection(which);
    createPropertyManagers();
    if (!m_data.main.root.isNull())
        InitMainBrowser(MainPageForm::Xml);
    if (!m_data.extra.root.isNull())
        InitExtraBrowser();
    if (!m_data.info.root.isNull())
        InitInfoBrowser();
    return true;
}

bool ClassicPages::loadConfigurationFiles()
{
    const QString folder = m_host.configurationDir() + QLatin1Char('/') + m_device[1] + QLatin1Char('/');
    for (ClassicPage which : {ClassicPage::Calibration, ClassicPage::Main, ClassicPage::Extra, ClassicPage::Info})
        m_data.page(which).path = folder + ClassicData::fileName(which);
    m_data.listsPath = folder + QStringLiteral("lists.xml");
    m_data.scriptsPath = folder + QStringLiteral("scripts.xml");
    return loadXmlFile();
}

bool ClassicPages::loadXmlFile()
{
    struct File {
        const QString* path;
        QDomElement* root;
        bool reported; // main and info must be there
    };
    const File files[] = {
        {&m_data.calibration.path, &m_data.calibration.root, false},
        {&m_data.main.path, &m_data.main.root, true},
        {&m_data.extra.path, &m_data.extra.root, false},
        {&m_data.info.path, &m_data.info.root, true},
        {&m_data.listsPath, &m_data.listsRoot, false},
        {&m_data.scriptsPath, &m_data.scriptsRoot, false},
    };
    for (const File& f : files)
        *f.root = QDomElement();
    QDomDocument document;
    for (const File& f : files) {
        document.clear();
        QFile file(*f.path);
        if (!file.open(QIODevice::ReadOnly)) {
            if (f.reported)
                m_host.toLog(QStringLiteral("Ошибка! Не удалось открыть файл ") + *f.path, false);
            continue;
        }
        const XmlNesting nesting = measureXmlNesting(file, kMaxXmlDepth);
        if (nesting == XmlNesting::TooDeep) {
            m_host.toLog(
                QStringLiteral("Ошибка! Элементы файла %1 вложены глубже %2 уровней").arg(*f.path).arg(kMaxXmlDepth),
                false);
            continue;
        }
        if (nesting == XmlNesting::TooMuchText) {
            m_host.toLog(QStringLiteral("Ошибка! Сущности файла %1 раскрываются в слишком длинный текст").arg(*f.path),
                         false);
            continue;
        }
        if (nesting == XmlNesting::TooManyEntities) {
            m_host.toLog(QStringLiteral("Ошибка! Файл %1 объявляет больше %2 сущностей")
                             .arg(*f.path, QString::number(kMaxEntityDeclarations)),
                         false);
            continue;
        }
        if (nesting == XmlNesting::NotXml || !file.seek(0) || !document.setContent(&file)) {
            if (f.reported)
                m_host.toLog(QStringLiteral("Ошибка! Не удалось прочитать данные из файла ") + *f.path, false);
            continue;
        }
        *f.root = document.documentElement();
    }
    return true;
}

void ClassicPages::loadCanParamsAndData(const DeviceEntry& entry, int variant)
{
    m_data.operationMode = QStringLiteral("loadCanParamsAndData");
    if (m_loaded != Loaded::Eds || entry[1] != m_device[1] || variant != m_deviceNumber) {
        resetParameterData();
        m_device = entry;
        m_deviceNumber = variant;
        m_loaded = Loaded::Eds;
        readEds(m_edsPath, m_data.main.map, m_host);
        createPropertyManagers();
        InitMainBrowser(MainPageForm::ObjectDictionary);
    }
    if (stopLoadWorker())
        m_load.startLoad(m_canParams);
}

QString ClassicPages::loadDeviceName() const
{
    QFile file(m_host.configurationDir() + QStringLiteral("/devname.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QTextStream stream(&file);
    return stream.readAll();
}

bool ClassicPages::chooseEds()
{
    return ::chooseEds(m_host, m_edsPath);
}
