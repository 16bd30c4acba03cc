// The property browser that shows its items as rows of a tree: the property name in
// column 0, the value in column 1 and any number of extra text columns after them
// (the property's columnTexts), a check box in front of every row, optional row
// colours inherited by descendants, and an in-place editor for column 1 made by
// the factory bound to the property's manager.
//
// Rows are never selectable. Checking a row with children checks or unchecks its
// whole sub-tree; checking a leaf recomputes its parent (checked, partially checked
// or unchecked); a partially checked row is left alone. States set through
// setCheckState are not propagated. A disabled property greys its row and every
// row below it and closes their editors.
//
// GUI thread only.
#pragma once

#include "propertybrowser/qtabstractpropertybrowser.h"

#include <QColor>
#include <QModelIndex>

#include <memory>

class QTreeWidgetItem;
class QtTreePropertyBrowserPrivate;

class QtTreePropertyBrowser : public QtAbstractPropertyBrowser
{
    Q_OBJECT
    Q_PROPERTY(int indentation READ indentation WRITE setIndentation)
    Q_PROPERTY(bool rootIsDecorated READ rootIsDecorated WRITE setRootIsDecorated)
    Q_PROPERTY(bool alternatingRowColors READ alternatingRowColors WRITE setAlternatingRowColors)
    Q_PROPERTY(bool headerVisible READ isHeaderVisible WRITE setHeaderVisible)
    Q_PROPERTY(ResizeMode resizeMode READ resizeMode WRITE setResizeMode)
    Q_PROPERTY(bool propertiesWithoutValueMarked READ propertiesWithoutValueMarked WRITE
                   setPropertiesWithoutValueMarked)
public:
    // The header's section resize modes of the same names; any other value is
    // kept as given and applied as Stretch.
    enum ResizeMode : int { Interactive, Stretch, Fixed, ResizeToContents };
    Q_ENUM(ResizeMode)

    explicit QtTreePropertyBrowser(QWidget *parent = nullptr);
    ~QtTreePropertyBrowser() override;

    // Two standard columns plus one per name; the names are not stored.
    void setExtraColumns(const QStringList &names);
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);

    int indentation() const;
    void setIndentation(int indentation);
    bool rootIsDecorated() const;
    void setRootIsDecorated(bool show);
    bool alternatingRowColors() const;
    void setAlternatingRowColors(bool enable);
    bool isHeaderVisible() const;
    void setHeaderVisible(bool visible);
    ResizeMode resizeMode() const;
    void setResizeMode(ResizeMode mode);
    // Rows without a value drawn dark with an expand icon (when the root is not decorated).
    bool propertiesWithoutValueMarked() const;
    void setPropertiesWithoutValueMarked(bool mark);

    // Operations on an item without a row do nothing; getters give false, 0 or an
    // invalid colour.
    void setExpanded(QtBrowserItem *item, bool expanded);
    bool isExpanded(QtBrowserItem *item) const;
    bool isItemVisible(QtBrowserItem *item) const;
    void setItemVisible(QtBrowserItem *item, bool visible);
    // A Qt::CheckState of the row's column 0.
    void setCheckState(QtBrowserItem *item, int state);
    int checkState(QtBrowserItem *item) const;

    QColor backgroundColor(QtBrowserItem *item) const;
    // An invalid colour removes the item's own colour.
    void setBackgroundColor(QtBrowserItem *item, const QColor &color);
    // The item's colour, else its nearest ancestor's; invalid when none has one.
    QColor inheritedBackgroundColor(QtBrowserItem *item) const;

    // Makes the item's row current and opens the editor of its value.
    void editItem(QtBrowserItem *item);
    // Closes the open editor of the property, if it has one, through the view: it
    // is hidden at once and deleted from the event loop; what was typed into it is
    // committed now.
    void closeEditor(QtProperty *property);

    // Marks the view as scrolled; nothing reads the mark.
    void setViewScrolled();
    // Kinetic scroll of the view to the vertical position a - b.
    void scrollViewTo(int a, int b);

signals:
    void collapsed(QtBrowserItem *item);
    void expanded(QtBrowserItem *item);
    // Relayed from the view.
    void scrolled(int dx, int dy);

protected:
    void itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem) override;
    void itemRemoved(QtBrowserItem *item) override;
    void itemChanged(QtBrowserItem *item) override;

private slots:
    void slotScrolled(int dx, int dy);
    void slotCollapsed(const QModelIndex &index);
    void slotExpanded(const QModelIndex &index);
    void slotCurrentBrowserItemChanged(QtBrowserItem *item);
    void slotCurrentTreeItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

private:
    friend class QtTreePropertyBrowserPrivate;
    std::unique_ptr<QtTreePropertyBrowserPrivate> d_ptr;
};
