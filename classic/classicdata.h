// What the classic pages keep for a device: the record maps of the four pages
// and the import map, each page's register list, script buttons, file path and
// parsed document, the value lists and scripts, and the records that carry a
// formula. GUI thread only; cleared as a whole before another device is loaded.
#pragma once

#include "classic/paramentry.h"

#include <QDomElement>
#include <QList>
#include <QMap>
#include <QString>

// The classic pages in the order of their tabs.
enum class ClassicPage { Main = 0, Calibration = 1, Extra = 2, Info = 3 };

struct ClassicPageData {
    ParamEntryMap map;
    RegisterList registers;       // sorted by address
    QList<ButtonEntry> buttons;   // none for the info page
    QString path;                 // the page's XML file
    QDomElement root;             // null when the file is missing or not well-formed
};

struct ClassicData {
    ClassicPageData main;
    ClassicPageData calibration;
    ClassicPageData extra;
    ClassicPageData info;
    ParamEntryMap importMap;

    QMap<QString, ValueList> lists;    // "lists.xml" by list id
    QMap<QString, QString> scripts;    // "scripts.xml" by script id
    QList<ParamEntry*> formulaRecords; // in reading order, into the page maps
    QString listsPath;
    QString scriptsPath;
    QDomElement listsRoot;
    QDomElement scriptsRoot;

    // The classic operation in progress ("export", "import", "LoadingData",
    // ...); empty when idle.
    QString operationMode;

    ClassicPageData& page(ClassicPage which);
    const ClassicPageData& page(ClassicPage which) const;
    // The file name of a page in the device's folder ("main.xml", ...).
    static QString fileName(ClassicPage which);
};
