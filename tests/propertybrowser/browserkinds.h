// The three browsers a test runs in, by a number that fits a data column.
#pragma once

#include <QTest>

enum BrowserKind { Tree, Button, GroupBox };

inline const char *kindName(int kind)
{
    switch (kind) {
    case Tree:
        return "tree";
    case Button:
        return "button";
    default:
        return "group box";
    }
}

// A column "kind" and a row for each browser.
inline void addBrowserKindRows()
{
    QTest::addColumn<int>("kind");
    for (const int kind : {Tree, Button, GroupBox})
        QTest::newRow(kindName(kind)) << kind;
}
