// The inside of QtTreePropertyBrowser: its record, its tree widget and its item
// delegate. The view and the delegate reach the browser's maps through the record
// and behave as plain Qt classes while they are not linked to one.
// Internal to the property browser; GUI thread only.
#pragma once

#include "propertybrowser/qttreepropertybrowser.h"

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QItemDelegate>
#include <QTreeWidget>

class QtPropertyEditorDelegate;
class QtPropertyEditorView;

class QtTreePropertyBrowserPrivate
{
public:
    explicit QtTreePropertyBrowserPrivate(QtTreePropertyBrowser *browser) : q_ptr(browser) {}

    QtBrowserItem *itemOfRow(const QTreeWidgetItem *row) const
    {
        return rowToItem.value(const_cast<QTreeWidgetItem *>(row));
    }
    QTreeWidgetItem *rowOf(QtBrowserItem *item) const { return itemToRow.value(item); }
    QTreeWidgetItem *rowOfIndex(const QModelIndex &index) const;
    QtBrowserItem *itemOfIndex(const QModelIndex &index) const { return itemOfRow(rowOfIndex(index)); }
    // Null for an index without a row.
    QtProperty *propertyOfIndex(const QModelIndex &index) const;
    // Rows of unknown items count as having a value.
    bool hasValue(const QModelIndex &index) const;
    bool isLastVisibleColumn(int column) const;
    QColor inheritedBackgroundColor(QtBrowserItem *item) const;
    QTreeWidgetItem *editedRow() const;
    QWidget *createEditor(QtProperty *property, QWidget *parent) const;

    void insertRow(QtBrowserItem *item, QtBrowserItem *afterItem);
    void removeRow(QtBrowserItem *item);
    // The top-level rows held back during a removal batch, consecutive ones as one
    // range.
    void removeHeldRows();
    // Texts, icons, span and enabled state of a row from its property.
    void refreshRow(QTreeWidgetItem *row);
    // Setting a first-column span lays the whole view out at once when a layout is
    // pending, as it is after every inserted row; with a view that scrolls per pixel
    // that layout measures every row. So spans are set after the view's next layout,
    // or on the next turn of the event loop, whichever comes first, and only where
    // they change.
    void spanLater(QTreeWidgetItem *row);
    void applyPendingSpans();
    void refreshRowsWithoutValue();
    void enableRow(QTreeWidgetItem *row);
    void disableRow(QTreeWidgetItem *row);
    void closeEditorsFrom(QTreeWidgetItem *row);
    void applyResizeMode();

    QtTreePropertyBrowser *q_ptr;
    QHash<QtBrowserItem *, QTreeWidgetItem *> itemToRow;
    QHash<QTreeWidgetItem *, QtBrowserItem *> rowToItem;
    QHash<QtBrowserItem *, QColor> rowColours;
    QtPropertyEditorView *view = nullptr;
    bool headerVisible = true;
    QtTreePropertyBrowser::ResizeMode resizeMode = QtTreePropertyBrowser::Stretch;
    QtPropertyEditorDelegate *delegate = nullptr;
    bool markPropertiesWithoutValue = false;
    // Set while the browser itself moves the current item.
    bool browserChangedBlocked = false;
    QIcon expandIcon;
    QSet<QTreeWidgetItem *> pendingSpans;
    // Top-level rows whose items are gone, left in the view, hidden, until the
    // removal batch ends; in no map.
    QSet<QTreeWidgetItem *> heldRows;
};

class QtPropertyEditorView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit QtPropertyEditorView(QWidget *parent = nullptr);

    void setEditorPrivate(QtTreePropertyBrowserPrivate *editorPrivate) { m_editorPrivate = editorPrivate; }
    QTreeWidgetItem *indexToItem(const QModelIndex &index) const { return itemFromIndex(index); }
    QModelIndex indexOfRow(const QTreeWidgetItem *row) const { return indexFromItem(row); }
    bool isScrolled() const { return m_scrolled; }
    void setScrolled(bool scrolled) { m_scrolled = scrolled; }
    // The first-column spans the browser has left for after the layout.
    void applyPendingSpans();
    void doItemsLayout() override;

signals:
    void scrolled(int dx, int dy);

public slots:
    // Check-state propagation after a click on a row.
    void checkChanged(QTreeWidgetItem *row, int column);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    bool m_scrolled = false;
    QtTreePropertyBrowserPrivate *m_editorPrivate = nullptr;
};

class QtPropertyEditorDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit QtPropertyEditorDelegate(QObject *parent = nullptr);

    void setEditorPrivate(QtTreePropertyBrowserPrivate *editorPrivate) { m_editorPrivate = editorPrivate; }
    // The row whose editor is open, or null.
    QTreeWidgetItem *editedRow() const { return m_editedRow; }
    // Closes the property's editor: the open one at once, as closeEditorNow does.
    void closeEditorOf(QtProperty *property);
    // Closes the open editor at once, as the view closes one: hidden, out of the
    // view, deleted from the event loop. Its handlers run now.
    void closeEditorNow();

    // A focus-out because the window lost activation leaves the editor open.
    bool eventFilter(QObject *object, QEvent *event) override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Column 1 of an enabled row only, from the factory bound to the property's manager.
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    // Editors talk to their managers through the factories, never through the model.
    void setEditorData(QWidget *, const QModelIndex &) const override {}
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

protected:
    void drawDisplay(QPainter *painter, const QStyleOptionViewItem &option, const QRect &rect,
                     const QString &text) const override;
    void drawDecoration(QPainter *painter, const QStyleOptionViewItem &option, const QRect &rect,
                        const QPixmap &pixmap) const override;

private slots:
    void slotEditorDestroyed(QObject *object);

private:
    // Editors are recorded by createEditor, which Qt declares const.
    mutable QHash<QWidget *, QtProperty *> m_editorToProperty;
    mutable QHash<QtProperty *, QWidget *> m_propertyToEditor;
    QtTreePropertyBrowserPrivate *m_editorPrivate = nullptr;
    mutable QTreeWidgetItem *m_editedRow = nullptr;
    mutable QWidget *m_editedWidget = nullptr;
    // Set while paint draws the cell under an open editor.
    mutable bool m_paintingSuppressed = false;
};
