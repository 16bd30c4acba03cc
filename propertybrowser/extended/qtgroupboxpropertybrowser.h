// A property browser that lays its items out in a grid, as the button browser
// does, and shows a property with sub-properties as a group box titled with its
// name across both columns, always holding the sub-properties' rows. The
// property's own editor then sits on top of the group box, above a sunken line.
// Every property without an editor shows its value text in a label.
//
// When the last sub-property of a row goes, its group box goes at once; the row
// shows its name and its editor (or a new value label) again after the event loop
// has run.
//
// GUI thread only.
#pragma once

#include "propertybrowser/qtabstractpropertybrowser.h"

#include <memory>

class QtGroupBoxPropertyBrowserPrivate;

class QtGroupBoxPropertyBrowser : public QtAbstractPropertyBrowser
{
    Q_OBJECT
public:
    explicit QtGroupBoxPropertyBrowser(QWidget *parent = nullptr);
    // Deletes its row records; the widgets go with the browser widget.
    ~QtGroupBoxPropertyBrowser() override;

protected:
    void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) override;
    void itemRemoved(QtBrowserItem *item) override;
    void itemChanged(QtBrowserItem *item) override;

private slots:
    void slotUpdate();
    void slotEditorDestroyed();

private:
    friend class QtGroupBoxPropertyBrowserPrivate;
    std::unique_ptr<QtGroupBoxPropertyBrowserPrivate> d_ptr;
};
