// A property browser that shows nothing and records the three item calls of the
// abstract browser, in order, as "inserted(P after A under Q)", "removed(P under Q)"
// or "changed(P)": the item's property, the after item's property and the parent
// item's property, each part left out when there is none.
#pragma once

#include "propertybrowser/qtabstractpropertybrowser.h"

#include <QStringList>

class RecordingBrowser : public QtAbstractPropertyBrowser
{
public:
    explicit RecordingBrowser(QWidget *parent = nullptr) : QtAbstractPropertyBrowser(parent) {}

    using QtAbstractPropertyBrowser::createEditor;

    QStringList calls;

protected:
    void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) override;
    void itemRemoved(QtBrowserItem *item) override;
    void itemChanged(QtBrowserItem *item) override;

private:
    void record(const char *call, QtBrowserItem *item, QtBrowserItem *afterItem);
};
