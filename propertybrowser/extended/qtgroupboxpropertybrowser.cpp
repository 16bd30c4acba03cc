#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"

#include "propertybrowser/extended/qtgridbrowser_p.h"
#include "propertybrowser/extended/qtgridrows.h"
#include "propertybrowser/qtbrowseritemstate_p.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

using namespace QtGridBrowserShapes;

// One shown browser item. Its name and value labels are null while it is a group.
struct GroupBoxBrowserRow : QtGridRow<GroupBoxBrowserRow>
{
    QWidget *holder() const { return groupBox; }

    // The group box exists while the row has child rows; the line under the row's
    // own editor only when it had one then.
    QGroupBox *groupBox = nullptr;
    QFrame *separator = nullptr;
};

class QtGroupBoxPropertyBrowserPrivate : public QtGridBrowserRows<GroupBoxBrowserRow>
{
public:
    explicit QtGroupBoxPropertyBrowserPrivate(QtGroupBoxPropertyBrowser *browser)
        : QtGridBrowserRows<GroupBoxBrowserRow>(browser)
    {
    }

    // Child rows start below the group's editor and its line. Counted by the line,
    // which stays even when the editor is destroyed from outside.
    static int firstChildRow(const GroupBoxBrowserRow *parent) { return parent && parent->separator ? 2 : 0; }
    int gridRowOf(GroupBoxBrowserRow *row) { return siblingsOf(row).indexOf(row) + firstChildRow(row->parentRow); }

    void makeGroup(GroupBoxBrowserRow *row);
    void refreshRow(GroupBoxBrowserRow *row) const;
    // The records of a removed item's row; its widgets wait for finishRemoval.
    void removeRow(QtBrowserItem *item);

protected:
    void rowPlaces(const GroupBoxBrowserRow *owner, int fromRow, QVector<QtRowPlace> &places) const override;
    int gridRowsOf(const GroupBoxBrowserRow *owner) const override
    {
        return firstChildRow(owner) + childRowsOf(owner).size();
    }
};

// A group's own editor and its line above the child rows; in each row its name
// label and editor or value label, or its group box.
void QtGroupBoxPropertyBrowserPrivate::rowPlaces(const GroupBoxBrowserRow *owner, int fromRow,
                                                 QVector<QtRowPlace> &places) const
{
    if (owner && owner->separator) {
        if (fromRow <= 0)
            addPlace(places, owner->editor, 0);
        if (fromRow <= 1)
            addPlace(places, owner->separator, 1);
    }
    int gridRow = firstChildRow(owner);
    for (const GroupBoxBrowserRow *row : childRowsOf(owner)) {
        if (gridRow >= fromRow) {
            addPlace(places, row->groupBox, gridRow);
            addPlace(places, row->nameLabel, gridRow);
            addPlace(places, row->valueLabel, gridRow);
            if (!row->groupBox)
                addPlace(places, row->editor, gridRow);
        }
        ++gridRow;
    }
}

// The row's first child arrives: a group box takes its grid row, with the row's
// editor on top and a line below it; its name and value labels go.
void QtGroupBoxPropertyBrowserPrivate::makeGroup(GroupBoxBrowserRow *row)
{
    labelRebuildQueue.removeAll(row);
    const int gridRow = gridRowOf(row);
    QtRowGridLayout *layout = layoutOf(row);
    // Only a leaf row has its parts in the grid; a new row or one waiting for
    // slotUpdate has none there.
    const bool leaf = row->nameLabel != nullptr;

    row->groupBox = new QGroupBox(widgetOf(row));
    row->childLayout = newChildLayout(row, row->groupBox);

    if (leaf) {
        layout->removeWidget(row->nameLabel);
        delete row->nameLabel;
        row->nameLabel = nullptr;
    }
    if (row->editor) {
        if (leaf)
            layout->removeWidget(row->editor);
        row->editor->setParent(row->groupBox);
        row->childLayout->putWidget(row->editor, 0, 0, 1, 2);
        // An editor that waited hidden for slotUpdate (the last child went and a new
        // one came before the event loop ran) would stay hidden in the group box.
        show(row->editor);
        row->separator = new QFrame(row->groupBox);
        row->separator->setFrameShape(QFrame::HLine);
        row->separator->setFrameShadow(QFrame::Sunken);
        place(row->childLayout, row->separator, 1, 0, 1, 2);
    } else if (row->valueLabel) {
        layout->removeWidget(row->valueLabel);
        delete row->valueLabel;
        row->valueLabel = nullptr;
    }
    refreshRow(row);
    place(layout, row->groupBox, gridRow, 0, 1, 2);
}

void QtGroupBoxPropertyBrowserPrivate::refreshRow(GroupBoxBrowserRow *row) const
{
    const QtProperty *property = itemByRow.value(row)->property();
    if (row->groupBox) {
        showName(row->groupBox, property);
        row->groupBox->setTitle(property->propertyName());
    }
    refreshParts(row, property);
}

void QtGroupBoxPropertyBrowserPrivate::removeRow(QtBrowserItem *item)
{
    const Changing changing(*this);
    GroupBoxBrowserRow *row = takeRow(item);
    if (!row)
        return;
    leaveWithChildRows(row, [](const GroupBoxBrowserRow *) {});

    GroupBoxBrowserRow *parent = row->parentRow;
    if (parent && qtBrowserItemIsLeaving(item->parent())) {
        leaveWithParent(row);
        delete row;
        return;
    }
    // The widgets of a row held back leave the grid with the batch.
    const int gridRow = holdsBack(row) ? -1 : gridRowOf(row);
    const bool held = leaveRow(row);

    deleteParts(row);
    // A group box held back outlives the record it would ask where its rows go.
    if (row->childLayout)
        row->childLayout->setPlacer(nullptr);
    discard(row->groupBox);

    if (parent && parent->childRows.isEmpty()) {
        // The editor waits on the browser widget, hidden, until slotUpdate puts it
        // back into the row; the group box would take it along.
        parkEditor(parent->editor, parent->groupBox);
        discard(parent->groupBox);
        parent->groupBox = nullptr;
        parent->separator = nullptr;
        parent->childLayout = nullptr;
        queueForUpdate(parent);
    } else if (!held) {
        shiftRowsUp(layoutOf(row), gridRow);
    }
    labelRebuildQueue.removeAll(row);
    delete row;
}

QtGroupBoxPropertyBrowser::QtGroupBoxPropertyBrowser(QWidget *parent)
    : QtAbstractPropertyBrowser(parent), d_ptr(std::make_unique<QtGroupBoxPropertyBrowserPrivate>(this))
{
}

QtGroupBoxPropertyBrowser::~QtGroupBoxPropertyBrowser() = default;

void QtGroupBoxPropertyBrowser::itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    // Handlers may run before the editor is placed, and take it along.
    const QPointer<QWidget> editor = createEditor(item->property(), this);
    if (itemLeftWhileItsEditorWasMade(item, editor))
        return;
    // The first child makes its parent a group, which moves the parent's editor
    // into the group box: one that holds typed text commits it first, and what the
    // handlers of that did is read again.
    const bool handlersRan = takeFocusFirst([d, item]() -> QWidget * {
        const GroupBoxBrowserRow *parent = d->rowByItem.value(item->parent());
        return parent && !parent->groupBox ? focusInside(parent->editor) : nullptr;
    });
    if (handlersRan && itemLeftWhileItsEditorWasMade(item, editor))
        return;
    afterItem = d->afterItemNow(item, afterItem);
    const QtGroupBoxPropertyBrowserPrivate::Changing changing(*d);
    GroupBoxBrowserRow *row = d->newRow(item, afterItem);
    GroupBoxBrowserRow *parent = row->parentRow;
    if (parent && !parent->groupBox)
        d->makeGroup(parent);
    const int gridRow = d->gridRowOf(row);

    QWidget *holder = d->widgetOf(row);
    QtRowGridLayout *layout = d->layoutOf(row);
    QtProperty *property = item->property();
    row->editor = editor;
    d->watchEditor(row, holder);
    shiftRowsDown(layout, gridRow);
    d->addRow(row, item);

    // The items of the sub-properties follow this one at once, so a property that
    // has any is a group from the start, and no labels are made only to be deleted.
    if (!property->subProperties().isEmpty()) {
        d->makeGroup(row);
        return;
    }
    row->nameLabel = newNameLabel(holder);
    if (!row->editor)
        row->valueLabel = newValueLabel(holder);
    d->refreshRow(row);
    d->place(layout, row->editor ? row->editor : row->valueLabel, gridRow, 1);
    d->place(layout, row->nameLabel, gridRow, 0);
}

void QtGroupBoxPropertyBrowser::itemRemoved(QtBrowserItem *item)
{
    d_ptr->removeRow(item);
    d_ptr->finishRemoval();
}

void QtGroupBoxPropertyBrowser::itemChanged(QtBrowserItem *item)
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    // A disabled property locks its editor and its group box, which takes the
    // focus out of them: what was typed there is committed first.
    takeFocusFirst([d, item]() -> QWidget * {
        const GroupBoxBrowserRow *row = d->rowByItem.value(item);
        if (!row || item->property()->isEnabled())
            return nullptr;
        return focusInside(row->groupBox ? static_cast<QWidget *>(row->groupBox) : row->editor);
    });
    if (GroupBoxBrowserRow *row = d->rowByItem.value(item))
        d->refreshRow(row);
}

void QtGroupBoxPropertyBrowser::slotUpdate()
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    const QtGroupBoxPropertyBrowserPrivate::Changing changing(*d);
    for (GroupBoxBrowserRow *row : qAsConst(d->labelRebuildQueue)) {
        const int gridRow = d->gridRowOf(row);
        QWidget *holder = d->widgetOf(row);
        QtRowGridLayout *layout = d->layoutOf(row);
        QWidget *value = row->editor;
        if (value) {
            value->setParent(holder);
        } else {
            row->valueLabel = newValueLabel(holder);
            value = row->valueLabel;
        }
        layout->putWidget(value, gridRow, 1);
        // It was hidden explicitly while it waited, and the grid keeps such a widget hidden.
        d->show(value);
        row->nameLabel = newNameLabel(holder);
        d->place(layout, row->nameLabel, gridRow, 0);
        d->refreshRow(row);
    }
    d->labelRebuildQueue.clear();
}

void QtGroupBoxPropertyBrowser::slotEditorDestroyed() { d_ptr->forgetEditor(sender()); }
