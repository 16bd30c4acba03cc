// What the button and group-box browsers share inside: the parts of a row, the
// bookkeeping of rows by browser item and editor, the labels of a row and how a
// row shows its property. Internal to the property browser.
#pragma once

#include "propertybrowser/extended/qtgridrows.h"
#include "propertybrowser/extended/qtheldwidgets_p.h"
#include "propertybrowser/qtabstractpropertybrowser.h"
#include "propertybrowser/qtbrowseritemstate_p.h"
#include "propertybrowser/qtremovalbatch_p.h"
#include "propertybrowser/qtwaitinglayout_p.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QTimer>
#include <QVarLengthArray>
#include <QVector>
#include <QWidget>

#include <utility>

namespace QtGridBrowserShapes {

// The name of a property: fixed to its text in both directions.
inline QLabel *newNameLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

// The value text of a property without an editor. The text is device data, never
// markup.
inline QLabel *newValueLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextFormat(Qt::PlainText);
    return label;
}

inline void setUnderline(QWidget *widget, bool underline)
{
    QFont font = widget->font();
    font.setUnderline(underline);
    widget->setFont(font);
}

// A widget that names the property (name label, expand button, group box); the
// caller sets the text.
inline void showName(QWidget *widget, const QtProperty *property)
{
    setUnderline(widget, property->isModified());
    widget->setToolTip(property->toolTip());
    widget->setStatusTip(property->statusTip());
    widget->setWhatsThis(property->whatsThis());
    widget->setEnabled(property->isEnabled());
}

// A new item's editor is made on the browser widget before any record of the item
// is: the factory announces it (editorCreated), and a handler of that may remove
// the item again. Then the item is leaving, and its editor goes unused.
inline bool itemLeftWhileItsEditorWasMade(const QtBrowserItem *item, QWidget *editor)
{
    if (!qtBrowserItemIsLeaving(item))
        return false;
    if (editor) {
        editor->hide();
        editor->deleteLater();
    }
    return true;
}

// The widget with the focus when it is `widget` or inside it; null otherwise.
inline QWidget *focusInside(const QWidget *widget)
{
    QWidget *focus = QApplication::focusWidget();
    return widget && focus && (focus == widget || widget->isAncestorOf(focus)) ? focus : nullptr;
}

// Before a browser moves, hides or disables a widget that may hold the focus, it
// takes the focus off it: an editor holding typed text commits it as it loses the
// focus, and the handlers of that change may change any row, even delete the
// widget. Inside the move that would pull the widgets from under Qt; done first,
// the handlers run while the records are whole, and the caller looks its rows up
// again afterwards. `findFocus` looks its row up anew each round and returns the
// focus widget when it is in what is about to move, else null. A handler may hand
// the focus back each time: after a few rounds it is taken with the signals of the
// widgets around it blocked, so that the move never finds it there. True when any
// focus was taken.
template <class FindFocus>
bool takeFocusFirst(FindFocus findFocus)
{
    enum { Rounds = 8 };
    QWidget *focus = findFocus();
    if (!focus)
        return false;
    for (int round = 0; focus && round < Rounds; ++round) {
        focus->clearFocus();
        focus = findFocus();
    }
    if (focus) {
        QVarLengthArray<std::pair<QPointer<QWidget>, bool>, 8> blocked;
        for (QWidget *w = focus; w; w = w->parentWidget())
            blocked.append({w, w->blockSignals(true)});
        focus->clearFocus();
        for (const auto &[w, wasBlocked] : blocked) {
            if (w)
                w->blockSignals(wasBlocked);
        }
    }
    return true;
}

// The parts every row of a grid browser has; Row is the browser's own row type.
template <class Row>
struct QtGridRow
{
    QWidget *editor = nullptr;
    QLabel *nameLabel = nullptr;
    QLabel *valueLabel = nullptr;
    // The layout of the child rows, while there are any.
    QtRowGridLayout *childLayout = nullptr;
    Row *parentRow = nullptr;
    QList<Row *> childRows;
};

// The rows of a grid browser by browser item and by editor, the browser's own
// layout with the top-level rows, and the rows waiting for slotUpdate. A Row tells
// the widget that holds its child rows through holder(); the browser tells where
// the items of a layout belong through rowPlaces.
template <class Row>
class QtGridBrowserRows
{
public:
    explicit QtGridBrowserRows(QWidget *browser)
        : m_browser(browser), mainLayout(new QtRowGridLayout(browser)),
          m_spacer(new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Expanding)),
          m_held(browser, mainLayout)
    {
        // Below the last row, so that the rows stay packed at the top.
        mainLayout->addItem(m_spacer, 0, 0);
        mainLayout->setPlacer(placerOf(nullptr));
    }
    // The row records only; the widgets go with the browser widget, and their
    // layouts no longer ask the records where the rows go.
    virtual ~QtGridBrowserRows()
    {
        mainLayout->setPlacer(nullptr);
        const QList<Row *> rows = itemByRow.keys();
        for (Row *row : rows) {
            if (row->childLayout)
                row->childLayout->setPlacer(nullptr);
        }
        qDeleteAll(rows);
    }
    QtGridBrowserRows(const QtGridBrowserRows &) = delete;
    QtGridBrowserRows &operator=(const QtGridBrowserRows &) = delete;

    QList<Row *> &siblingsOf(const Row *row) { return row->parentRow ? row->parentRow->childRows : topRows; }
    // The widget and the layout that hold the row.
    QWidget *widgetOf(const Row *row) const { return row->parentRow ? row->parentRow->holder() : m_browser; }
    QtRowGridLayout *layoutOf(const Row *row) const
    {
        return row->parentRow ? row->parentRow->childLayout : mainLayout;
    }

    // The layout of the row's child rows, on `holder`, a new panel or group box.
    QtRowGridLayout *newChildLayout(Row *row, QWidget *holder)
    {
        auto *layout = setWaitingLayout<QtRowGridLayout>(holder);
        layout->setPlacer(placerOf(row));
        return layout;
    }

    // Held while the browser changes its rows: a layout that Qt reads meanwhile (it
    // looks an item up when a widget goes) leaves its rows as they stand, and they
    // are placed at the first read after the change, from the records as they are
    // then.
    class Changing
    {
    public:
        explicit Changing(QtGridBrowserRows &rows) : m_rows(rows) { ++m_rows.m_changing; }
        ~Changing() { --m_rows.m_changing; }
        Changing(const Changing &) = delete;
        Changing &operator=(const Changing &) = delete;

    private:
        QtGridBrowserRows &m_rows;
    };

    // A new row for the item, after the row of `afterItem` among its siblings (first
    // without one), not yet in the maps.
    Row *newRow(QtBrowserItem *item, QtBrowserItem *afterItem)
    {
        Row *after = rowByItem.value(afterItem);
        auto *row = new Row;
        row->parentRow = rowByItem.value(item->parent());
        QList<Row *> &siblings = siblingsOf(row);
        siblings.insert(after ? siblings.indexOf(after) + 1 : 0, row);
        return row;
    }

    // Records the row's editor, when it got one, on `holder`, so that its
    // destruction is noticed (the browser's slotEditorDestroyed calls forgetEditor).
    void watchEditor(Row *row, QWidget *holder)
    {
        if (!row->editor)
            return;
        if (row->editor->parentWidget() != holder)
            row->editor->setParent(holder);
        QObject::connect(row->editor, SIGNAL(destroyed()), m_browser, SLOT(slotEditorDestroyed()));
        rowByEditor[row->editor] = row;
    }
    // The after item of a new row once handlers ran (editorCreated, or a commit
    // as the focus left the parent's editor): the nearest item before it among
    // its siblings that has a row. The handlers may have removed the one named, or
    // shown others between it and the new item; their rows are in place already.
    // Looked for from the end, where new items mostly go.
    QtBrowserItem *afterItemNow(const QtBrowserItem *item, QtBrowserItem *afterItem) const
    {
        const QList<QtBrowserItem *> siblings = item->parent()
                                                    ? item->parent()->children()
                                                    : static_cast<QtAbstractPropertyBrowser *>(m_browser)->topLevelItems();
        const int at = siblings.lastIndexOf(const_cast<QtBrowserItem *>(item));
        if (at < 0)
            return rowByItem.contains(afterItem) ? afterItem : nullptr;
        for (int i = at - 1; i >= 0; --i) {
            if (rowByItem.contains(siblings.at(i)))
                return siblings.at(i);
        }
        return nullptr;
    }

    // Marks a widget of the browser as inside a signal of its own while the result
    // lives: one that goes meanwhile goes from the event loop.
    QtHeldWidgets::InSignal inSignal(QWidget *widget) { return {m_held, widget}; }

    void forgetEditor(const QObject *editor)
    {
        if (Row *row = rowByEditor.take(editor))
            row->editor = nullptr;
    }

    void addRow(Row *row, QtBrowserItem *item)
    {
        itemByRow[row] = item;
        rowByItem[item] = row;
    }
    // Null for an item without a row.
    Row *takeRow(QtBrowserItem *item)
    {
        Row *row = rowByItem.take(item);
        itemByRow.remove(row);
        return row;
    }
    // Looked for from the end: siblings go last first, and a cleared manager's
    // newest properties first.
    void leaveSiblings(Row *row)
    {
        QList<Row *> &siblings = siblingsOf(row);
        const int pos = siblings.lastIndexOf(row);
        if (pos >= 0)
            siblings.removeAt(pos);
    }

    // Whether the widgets of the row wait for the end of a removal batch to leave
    // the grid: those of a top-level row do, on the browser widget (qtheldwidgets_p.h).
    bool holdsBack(const Row *row) const { return !row->parentRow && QtRemovalBatch::isOpen(); }

    // Takes a removed row out of its siblings, once its grid row has been read.
    // True when its widgets are held back: the rows are then placed again from
    // the top at the next look at the grid, once for the batch, instead of
    // finding this row's place among its siblings.
    bool leaveRow(Row *row)
    {
        const bool held = holdsBack(row);
        if (held)
            mainLayout->markRowsFrom(0);
        leaveSiblings(row);
        return held;
    }

    // A removal changes the records first and lets the widgets go last, in
    // finishRemoval: a widget that goes, or an ancestor of it, may hold the focus,
    // and an editor that commits what was typed when it loses the focus runs
    // handlers then, which may remove more rows. So the widgets wait here, in no
    // record, until the records are whole again.

    // Deletes a widget of a row, which takes it out of its holder's layout; or
    // holds it back until the removal batch ends.
    void discard(QWidget *widget)
    {
        if (widget)
            m_discarded.append(widget);
    }

    // Puts a widget into a grid layout of the browser. One put on a shown widget and
    // not hidden on purpose is shown at once, as Qt would show it from the event loop;
    // so a new part is placed once it shows its property: a change to a shown widget
    // marks it for repainting even out of sight, and each widget so marked costs a
    // look at every other widget of the browser at the next paint.
    void place(QtRowGridLayout *layout, QWidget *widget, int row, int column, int rowSpan = 1, int columnSpan = 1)
    {
        layout->putWidget(widget, row, column, rowSpan, columnSpan);
        QWidget *holder = layout->parentWidget();
        if (holder && holder->isVisible()
            && !(widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide)))
            show(widget);
    }

    // Shows a widget of the browser. Showing a widget lays its holder out there and
    // then, up to the browser: a pass over every row, for every widget shown. With
    // those layouts held off meanwhile, the layout request that the show posts lays
    // them out once, from the event loop, for all the widgets shown before it runs.
    void show(QWidget *widget)
    {
        QVarLengthArray<QLayout *, 8> held;
        for (QWidget *holder = widget->parentWidget(); holder; holder = holder->parentWidget()) {
            QLayout *layout = holder->layout();
            if (layout && layout->isEnabled()) {
                layout->setEnabled(false);
                held.append(layout);
            }
            if (holder == m_browser)
                break;
        }
        widget->show();
        for (QLayout *layout : held)
            layout->setEnabled(true);
    }

    // Deletes the row's labels and lets its editor go, those that exist. The row may
    // go from inside a signal of its own editor (a handler that deletes the property
    // on change): the editor is hidden and moved onto the browser, out of a panel or
    // group box that may be deleted next, and deleted from the event loop.
    void deleteParts(Row *row)
    {
        if (QWidget *editor = row->editor) {
            unwatchEditor(editor);
            // One held back leaves the browser's grid with the batch.
            if (!m_held.holds(editor)) {
                if (QLayout *layout = editor->parentWidget() ? editor->parentWidget()->layout() : nullptr)
                    layout->removeWidget(editor);
            }
            m_goingEditors.append(editor);
        }
        discard(row->nameLabel);
        discard(row->valueLabel);
    }

    // A row whose parent goes in the same removal (child rows go first) leaves its
    // widgets in the parent's panel or group box, which goes with the parent; only
    // its editor leaves, as in deleteParts. The first child row to go hides the
    // holder and deletes its layout, so that nothing that goes from it touches a
    // layout: the first change to a layout that was laid out posts it a request,
    // and Qt looks through every event waiting in the queue for those of each
    // object it deletes, the holder among them.
    void leaveWithParent(Row *row)
    {
        Row *parent = row->parentRow;
        leaveSiblings(row);
        if (parent->childLayout) {
            m_hiddenHolders.append(parent->holder());
            delete parent->childLayout;
            parent->childLayout = nullptr;
        }
        // Its own panel or group box goes with the parent's; its layout must no longer
        // ask this record, deleted now, where the rows go.
        if (row->childLayout)
            row->childLayout->setPlacer(nullptr);
        if (QWidget *editor = row->editor) {
            unwatchEditor(editor);
            m_goingEditors.append(editor);
        }
        labelRebuildQueue.removeAll(row);
    }

    // Child rows still recorded as their parent row goes: a handler removed the
    // parent (clearing the browser) while their own removal, already out of the
    // parent's item, was under way. They go with the parent as in leaveWithParent,
    // deepest first; `forget` drops what the browser keeps of a row besides these
    // records. Their items, when their turn comes, find no row.
    template <class Forget>
    void leaveWithChildRows(Row *row, Forget forget)
    {
        while (!row->childRows.isEmpty()) {
            Row *child = row->childRows.last();
            leaveWithChildRows(child, forget);
            forget(child);
            takeRow(itemByRow.value(child));
            leaveWithParent(child);
            delete child;
        }
    }

    // An editor of a row that stays, to wait hidden on the browser widget until
    // slotUpdate puts it back; `holder`, the widget it is in, goes.
    void parkEditor(QWidget *editor, QWidget *holder)
    {
        if (editor)
            m_parkedEditors.append(Parked{editor, holder});
    }

    // Lets the widgets of the removal go, once the records are done: parked editors
    // first, then the holders that go with a parent row are hidden (before what is
    // in them goes, so that it posts no layout request to them), then the editors
    // that go move out of the holders that are deleted last. Only what waits here
    // is touched, and none of it is in a record any more.
    void finishRemoval()
    {
        const QVector<Parked> parked = std::exchange(m_parkedEditors, {});
        const QVector<QPointer<QWidget>> holders = std::exchange(m_hiddenHolders, {});
        const QVector<QPointer<QWidget>> editors = std::exchange(m_goingEditors, {});
        const QVector<QPointer<QWidget>> widgets = std::exchange(m_discarded, {});
        for (const Parked &park : parked) {
            if (park.editor)
                m_held.hideLeaving(park.editor);
            // Unless slotUpdate, run by a handler meanwhile, put it back already.
            if (park.editor && park.editor->parentWidget() == park.holder)
                park.editor->setParent(m_browser);
        }
        for (const QPointer<QWidget> &holder : holders) {
            if (holder)
                m_held.hideLeaving(holder);
        }
        for (const QPointer<QWidget> &editor : editors) {
            if (editor)
                letEditorGo(editor);
        }
        for (const QPointer<QWidget> &widget : widgets) {
            if (!widget)
                continue;
            if (m_held.holds(widget))
                m_held.hold(widget);
            else
                m_held.dispose(widget);
        }
    }

    void queueForUpdate(Row *row)
    {
        if (!labelRebuildQueue.contains(row))
            labelRebuildQueue.append(row);
        QTimer::singleShot(0, m_browser, SLOT(slotUpdate()));
    }

    // The name label, value label and editor as the property is now; the caller
    // shows its own parts.
    void refreshParts(Row *row, const QtProperty *property) const
    {
        if (row->nameLabel) {
            showName(row->nameLabel, property);
            row->nameLabel->setText(property->propertyName());
        }
        if (QLabel *label = row->valueLabel) {
            setUnderline(label, false);
            const QString text = property->valueText();
            label->setText(text);
            label->setToolTip(text);
            label->setEnabled(property->isEnabled());
        }
        if (QWidget *editor = row->editor) {
            setUnderline(editor, false);
            editor->setEnabled(property->isEnabled());
            editor->setToolTip(property->valueText());
        }
    }

protected:
    // Appends, top down, where the items of grid row `fromRow` and below belong in
    // the layout of the owner's child rows (the browser's own layout for none).
    virtual void rowPlaces(const Row *owner, int fromRow, QVector<QtRowPlace> &places) const = 0;
    // The grid rows that the owner's child rows take (the top-level rows for none).
    virtual int gridRowsOf(const Row *owner) const = 0;

    const QList<Row *> &childRowsOf(const Row *owner) const { return owner ? owner->childRows : topRows; }
    // Where a widget of the row belongs, when the row has it.
    static void addPlace(QVector<QtRowPlace> &places, const QWidget *widget, int row)
    {
        if (widget)
            places.append({widget, row});
    }

private:
    // No row shows the editor any more, so its end need not be heard of: the slot
    // would ask for its sender, which walks every connection made to the browser.
    void unwatchEditor(QWidget *editor)
    {
        rowByEditor.remove(editor);
        QObject::disconnect(editor, nullptr, m_browser, nullptr);
    }

    // Hides an editor that no row shows any more and moves it onto the browser
    // widget, from where it is deleted from the event loop.
    void letEditorGo(QWidget *editor)
    {
        const QPointer<QWidget> going = editor;
        m_held.hideLeaving(going, true);
        if (!going)
            return;
        if (m_held.holds(going))
            m_held.holdEditor(going);
        else
            going->deleteLater();
    }

    // Where the items of the owner's child rows go (the top-level rows and the
    // spacer below them for none), unless the rows are being changed.
    QtRowGridLayout::Placer placerOf(const Row *owner)
    {
        return [this, owner](int fromRow, QVector<QtRowPlace> &places) {
            if (m_changing > 0)
                return false;
            rowPlaces(owner, fromRow, places);
            if (!owner)
                places.append({m_spacer, gridRowsOf(nullptr)});
            return true;
        };
    }

    QWidget *m_browser;

public:
    QMap<QtBrowserItem *, Row *> rowByItem;
    QMap<Row *, QtBrowserItem *> itemByRow;
    // Keyed by address: the sender of destroyed() is found without a cast.
    QMap<const QObject *, Row *> rowByEditor;
    QtRowGridLayout *mainLayout;
    QList<Row *> topRows;
    // Rows whose name label (and editor or value label) slotUpdate places again.
    QList<Row *> labelRebuildQueue;

private:
    QSpacerItem *m_spacer;
    int m_changing = 0;
    QtHeldWidgets m_held;
    // What the removal under way lets go of in finishRemoval.
    struct Parked
    {
        QPointer<QWidget> editor;
        QPointer<QWidget> holder;
    };
    QVector<Parked> m_parkedEditors;
    QVector<QPointer<QWidget>> m_goingEditors;
    QVector<QPointer<QWidget>> m_hiddenHolders;
    QVector<QPointer<QWidget>> m_discarded;
};

} // namespace QtGridBrowserShapes
