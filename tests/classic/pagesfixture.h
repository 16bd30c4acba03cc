// ClassicPages without the window: the form widgets it lives on, a recording
// host, the window's two workers with their signals connected as the window
// connects them, and an application folder holding the XML device "Dev"
// (type id 7) and devname.txt.
#pragma once

#include "classic/classicpages.h"
#include "classic/loadcandatathread.h"
#include "classic/mappingentry.h"
#include "classic/savecandatathread.h"
#include "classicformwidgets.h"
#include "hostfixture.h"
#include "propertybrowser/qtproperty.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace pagesfixture {

const QString kDataDir = QStringLiteral(QUILL_CLASSIC_DATA_DIR);
const DeviceEntry kDevice{QStringLiteral("Dev"), QStringLiteral("7")};

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// An application folder: ConfigurationData/Dev (the device's folder), the
// files of the fixture device in ConfigurationData/7 and devname.txt.
struct AppDir {
    AppDir()
    {
        const QString config = dir.path() + "/ConfigurationData";
        ok = QDir().mkpath(config + "/Dev") && QDir().mkpath(config + "/7")
            && QFile::copy(kDataDir + "/devname.txt", config + "/devname.txt");
        QDirIterator it(kDataDir + "/xmldevice", QDir::Files);
        while (ok && it.hasNext()) {
            it.next();
            ok = QFile::copy(it.filePath(), config + "/7/" + it.fileName());
        }
    }
    QString path() const { return dir.path(); }
    QString typeFolder(const QString& id = QStringLiteral("7")) const
    {
        return dir.path() + "/ConfigurationData/" + id + "/";
    }
    QTemporaryDir dir;
    bool ok = false;
};

struct PagesFixture {
    // `prepare` may change the host's hooks before the pages copy them.
    explicit PagesFixture(const QString& applicationDir = QString(),
                          const std::function<void(HostFixture&)>& prepare = {})
        : host(applicationDir)
    {
        host.host.disconnectAction = [this] { ++disconnectActions; };
        host.host.editMappingEntry = [this](MappingEntry& entry) {
            shownEntries.append(entry);
            return mappingAnswer ? mappingAnswer(entry) : false;
        };
        if (prepare)
            prepare(host);
        pages = std::make_unique<ClassicPages>(widgets.form, host.host, load, save);
        ClassicPages* p = pages.get();
        QObject::connect(&load, &LoadCanDataThread::paramsLoaded, p, &ClassicPages::slotCanParamsLoaded);
        QObject::connect(&load, &LoadCanDataThread::paramLoaded, p, &ClassicPages::slotCanParamLoaded);
        QObject::connect(&load, &LoadCanDataThread::paramsLoadingFail, p, &ClassicPages::slotCanParamsLoadingFail);
        QObject::connect(&load, &LoadCanDataThread::paramLoadingFail, p, &ClassicPages::slotCanParamLoadingFail);
        QObject::connect(&save, &SaveCanDataThread::paramSavingFail, p, &ClassicPages::slotCanParamSavingFail);
        QObject::connect(&save, &SaveCanDataThread::paramSavingSuccess, p, &ClassicPages::slotCanParamSavingSuccess);
    }

    ParamEntryMap& mainMap() { return pages->data().main.map; }
    // The property of the record of that name in the map (main by default).
    QtProperty* property(const QString& name, ParamEntryMap* map = nullptr)
    {
        const ParamEntry* record = (map ? map : &mainMap())->find(name);
        return record ? pages->propertyOf(*record) : nullptr;
    }
    // Columns of a browser's view.
    static int columnCount(QtTreePropertyBrowser* browser)
    {
        return browser ? browser->findChild<QTreeWidget*>()->columnCount() : 0;
    }

    ClassicFormWidgets widgets;
    HostFixture host;
    LoadCanDataThread load;
    SaveCanDataThread save;
    int disconnectActions = 0;
    QList<MappingEntry> shownEntries;
    std::function<bool(MappingEntry&)> mappingAnswer;
    std::unique_ptr<ClassicPages> pages; // goes first: it joins the workers
};

// The property of `name` under `parent`, searched through the whole subtree.
inline QtProperty* findProperty(QtProperty* parent, const QString& name)
{
    if (!parent)
        return nullptr;
    for (QtProperty* sub : parent->subProperties()) {
        if (sub->propertyName() == name)
            return sub;
        if (QtProperty* deeper = findProperty(sub, name))
            return deeper;
    }
    return nullptr;
}

} // namespace pagesfixture
