// A property browser that lays its items out in a grid: every shown property gets
// one grid row, its name in column 0 and its editor, or a label with its value
// text, in column 1. A property with sub-properties shows a checkable tool button
// with an arrow in place of its name; pressing it opens a framed panel in the grid
// row directly below, holding the sub-properties' rows laid out the same way, to
// any depth. expanded and collapsed tell when a panel was opened or closed.
//
// When the last sub-property of a row goes, its button and panel go at once; the
// row shows its name again after the event loop has run.
//
// GUI thread only.
#pragma once

#include "propertybrowser/qtabstractpropertybrowser.h"

#include <memory>

class QtButtonPropertyBrowserPrivate;

class QtButtonPropertyBrowser : public QtAbstractPropertyBrowser
{
    Q_OBJECT
public:
    explicit QtButtonPropertyBrowser(QWidget *parent = nullptr);
    // Deletes its row records; the widgets go with the browser widget.
    ~QtButtonPropertyBrowser() override;

    // Opens or closes the item's panel; nothing for an item without sub-properties
    // or in the state asked for. A change emits expanded or collapsed once.
    void setExpanded(QtBrowserItem *item, bool expanded);
    bool isExpanded(QtBrowserItem *item) const;

signals:
    void collapsed(QtBrowserItem *item);
    void expanded(QtBrowserItem *item);

protected:
    void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) override;
    void itemRemoved(QtBrowserItem *item) override;
    void itemChanged(QtBrowserItem *item) override;

private slots:
    void slotUpdate();
    void slotEditorDestroyed();
    void slotToggled(bool checked);

private:
    friend class QtButtonPropertyBrowserPrivate;
    std::unique_ptr<QtButtonPropertyBrowserPrivate> d_ptr;
};
