#include "propertybrowser/extended/qtbuttonpropertybrowser.h"

#include "propertybrowser/extended/qtgridbrowser_p.h"
#include "propertybrowser/extended/qtgridrows.h"
#include "propertybrowser/qtbrowseritemstate_p.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

#include <utility>

using namespace QtGridBrowserShapes;

// One shown browser item. Its name label is null while it has child rows: the
// expand button shows the name then. Its value label exists only without an editor,
// for a property that has a value.
struct ButtonBrowserRow : QtGridRow<ButtonBrowserRow>
{
    QWidget *holder() const { return container; }

    // The button and the panel of the child rows exist while there are child rows.
    QToolButton *expandButton = nullptr;
    QFrame *container = nullptr;
    // Whether the panel is open; false whenever there is no panel.
    bool expanded = false;
};

class QtButtonPropertyBrowserPrivate : public QtGridBrowserRows<ButtonBrowserRow>
{
public:
    explicit QtButtonPropertyBrowserPrivate(QtButtonPropertyBrowser *browser)
        : QtGridBrowserRows<ButtonBrowserRow>(browser), q_ptr(browser)
    {
    }

    // The button row, and the open panel below it.
    static int rowSpanOf(const ButtonBrowserRow *row) { return row->container && row->expanded ? 2 : 1; }
    // The row's grid row in its layout; -1 when it is in no sibling list.
    int gridRowOf(const ButtonBrowserRow *row);

    void makeParent(ButtonBrowserRow *row);
    // The item's row, once the focus is off its open panel; null when the row went
    // meanwhile.
    ButtonBrowserRow *rowReadyToClose(QtBrowserItem *item);
    void applyExpanded(ButtonBrowserRow *row, bool expanded);
    // The records of a removed item's row; its widgets wait for finishRemoval.
    void removeRow(QtBrowserItem *item);
    void refreshRow(ButtonBrowserRow *row) const;

protected:
    void rowPlaces(const ButtonBrowserRow *owner, int fromRow, QVector<QtRowPlace> &places) const override;
    int gridRowsOf(const ButtonBrowserRow *owner) const override;

public:
    QtButtonPropertyBrowser *q_ptr;
    // Keyed by address, as the editors are.
    QMap<const QObject *, ButtonBrowserRow *> rowByButton;
    // The row whose button applyExpanded is setting: slotToggled takes it instead
    // of asking for the sender, which walks every connection made to the browser
    // (one per editor and button).
    ButtonBrowserRow *togglingRow = nullptr;
};

int QtButtonPropertyBrowserPrivate::gridRowOf(const ButtonBrowserRow *row)
{
    int gridRow = 0;
    for (const ButtonBrowserRow *sibling : qAsConst(siblingsOf(row))) {
        if (sibling == row)
            return gridRow;
        gridRow += rowSpanOf(sibling);
    }
    return -1;
}

// Name label or button and editor or value label in the row's grid row, the open
// panel in the one below.
void QtButtonPropertyBrowserPrivate::rowPlaces(const ButtonBrowserRow *owner, int fromRow,
                                               QVector<QtRowPlace> &places) const
{
    int gridRow = 0;
    for (const ButtonBrowserRow *row : childRowsOf(owner)) {
        if (gridRow >= fromRow) {
            addPlace(places, row->nameLabel, gridRow);
            addPlace(places, row->expandButton, gridRow);
            addPlace(places, row->editor, gridRow);
            addPlace(places, row->valueLabel, gridRow);
        }
        if (rowSpanOf(row) == 2 && gridRow + 1 >= fromRow)
            addPlace(places, row->container, gridRow + 1);
        gridRow += rowSpanOf(row);
    }
}

int QtButtonPropertyBrowserPrivate::gridRowsOf(const ButtonBrowserRow *owner) const
{
    int rows = 0;
    for (const ButtonBrowserRow *row : childRowsOf(owner))
        rows += rowSpanOf(row);
    return rows;
}

// The row's first child arrives: its name moves onto an expand button, and a
// closed panel is made for the child rows.
void QtButtonPropertyBrowserPrivate::makeParent(ButtonBrowserRow *row)
{
    labelRebuildQueue.removeAll(row);
    const int gridRow = gridRowOf(row);
    QtRowGridLayout *layout = layoutOf(row);
    QWidget *holder = widgetOf(row);

    // Made on the widget that holds the row, so it goes with the browser even if
    // it is never opened; placed and shown only while expanded.
    row->container = new QFrame(holder);
    row->container->setFrameShape(QFrame::Panel);
    row->container->setFrameShadow(QFrame::Raised);
    row->container->hide();

    auto *button = new QToolButton(holder);
    button->setCheckable(true);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setArrowType(Qt::DownArrow);
    button->setIconSize(QSize(3, 16));
    row->expandButton = button;
    rowByButton[button] = row;
    QObject::connect(button, SIGNAL(toggled(bool)), q_ptr, SLOT(slotToggled(bool)));

    row->childLayout = newChildLayout(row, row->container);

    if (row->nameLabel) {
        layout->removeWidget(row->nameLabel);
        delete row->nameLabel;
        row->nameLabel = nullptr;
    }
    refreshRow(row);
    place(layout, button, gridRow, 0, 1, row->editor || row->valueLabel ? 1 : 2);
}

// Closing a panel hides it, and an editor in it that holds typed text commits it
// as it loses the focus: that, and whatever its handlers do, comes first.
ButtonBrowserRow *QtButtonPropertyBrowserPrivate::rowReadyToClose(QtBrowserItem *item)
{
    takeFocusFirst([this, item]() -> QWidget * {
        const ButtonBrowserRow *row = rowByItem.value(item);
        return row && row->expanded ? focusInside(row->container) : nullptr;
    });
    return rowByItem.value(item);
}

// The focus is off a panel that closes (rowReadyToClose).
void QtButtonPropertyBrowserPrivate::applyExpanded(ButtonBrowserRow *row, bool expanded)
{
    {
        const Changing changing(*this);
        row->expanded = expanded;
        QtRowGridLayout *layout = layoutOf(row);
        const int panelRow = gridRowOf(row) + 1;
        if (expanded) {
            shiftRowsDown(layout, panelRow);
            layout->putWidget(row->container, panelRow, 0, 1, 2);
            // Above the rows: at the next paint every widget shown in the panel is
            // checked against the siblings stacked above its panel, and panels do not
            // overlap rows, so only the panels opened after it are looked at.
            row->container->raise();
            show(row->container);
        } else {
            layout->removeWidget(row->container);
            row->container->hide();
            shiftRowsUp(layout, panelRow);
        }
        row->expandButton->setArrowType(expanded ? Qt::UpArrow : Qt::DownArrow);
    }
    // Last, with the rows whole: the toggle comes back through slotToggled, which
    // finds the flag set already and emits, and the handlers may change any row,
    // this one and its button too.
    QToolButton *button = row->expandButton;
    const auto toggling = inSignal(button);
    togglingRow = row;
    button->setChecked(expanded);
    togglingRow = nullptr;
}

void QtButtonPropertyBrowserPrivate::refreshRow(ButtonBrowserRow *row) const
{
    const QtProperty *property = itemByRow.value(row)->property();
    if (row->expandButton) {
        showName(row->expandButton, property);
        row->expandButton->setText(property->propertyName());
    }
    // The rows below a disabled property are locked with it, as in the other
    // browsers; enabling it gives each child row back its own state.
    if (row->container)
        row->container->setEnabled(property->isEnabled());
    refreshParts(row, property);
}

void QtButtonPropertyBrowserPrivate::removeRow(QtBrowserItem *item)
{
    const Changing changing(*this);
    ButtonBrowserRow *row = takeRow(item);
    if (!row)
        return;
    leaveWithChildRows(row, [this](const ButtonBrowserRow *child) { rowByButton.remove(child->expandButton); });

    ButtonBrowserRow *parent = row->parentRow;
    if (parent && qtBrowserItemIsLeaving(item->parent())) {
        rowByButton.remove(row->expandButton);
        leaveWithParent(row);
        delete row;
        return;
    }
    // The widgets of a row held back leave the grid with the batch.
    const int gridRow = holdsBack(row) ? -1 : gridRowOf(row);
    const bool held = leaveRow(row);
    const int span = rowSpanOf(row);

    rowByButton.remove(row->expandButton);
    deleteParts(row);
    discard(row->expandButton);
    // A panel held back outlives the record it would ask where its rows go.
    if (row->childLayout)
        row->childLayout->setPlacer(nullptr);
    discard(row->container);

    if (parent && parent->childRows.isEmpty()) {
        QtRowGridLayout *layout = layoutOf(parent);
        const bool parentHeld = holdsBack(parent);
        const int parentRow = parentHeld ? -1 : gridRowOf(parent);
        const int parentSpan = rowSpanOf(parent);
        rowByButton.remove(parent->expandButton);
        discard(parent->expandButton);
        discard(parent->container);
        parent->expandButton = nullptr;
        parent->container = nullptr;
        parent->childLayout = nullptr;
        // A panel made for later children starts closed, as its button does.
        parent->expanded = false;
        if (parentSpan == 2 && !parentHeld)
            shiftRowsUp(layout, parentRow + 1);
        queueForUpdate(parent);
    } else if (!held) {
        QtRowGridLayout *layout = layoutOf(row);
        shiftRowsUp(layout, gridRow);
        if (span == 2)
            shiftRowsUp(layout, gridRow);
    }
    labelRebuildQueue.removeAll(row);
    delete row;
}

QtButtonPropertyBrowser::QtButtonPropertyBrowser(QWidget *parent)
    : QtAbstractPropertyBrowser(parent), d_ptr(std::make_unique<QtButtonPropertyBrowserPrivate>(this))
{
}

QtButtonPropertyBrowser::~QtButtonPropertyBrowser() = default;

void QtButtonPropertyBrowser::setExpanded(QtBrowserItem *item, bool expanded)
{
    QtButtonPropertyBrowserPrivate *d = d_ptr.get();
    ButtonBrowserRow *row = expanded ? d->rowByItem.value(item) : d->rowReadyToClose(item);
    if (row && row->container && row->expanded != expanded)
        d->applyExpanded(row, expanded);
}

bool QtButtonPropertyBrowser::isExpanded(QtBrowserItem *item) const
{
    const ButtonBrowserRow *row = d_ptr->rowByItem.value(item);
    return row && row->expanded;
}

void QtButtonPropertyBrowser::itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    QtButtonPropertyBrowserPrivate *d = d_ptr.get();
    QWidget *editor = createEditor(item->property(), this);
    if (itemLeftWhileItsEditorWasMade(item, editor))
        return;
    afterItem = d->afterItemNow(item, afterItem);
    const QtButtonPropertyBrowserPrivate::Changing changing(*d);
    ButtonBrowserRow *after = d->rowByItem.value(afterItem);
    const int gridRow = after ? d->gridRowOf(after) + d->rowSpanOf(after) : 0;
    ButtonBrowserRow *row = d->newRow(item, afterItem);
    ButtonBrowserRow *parent = row->parentRow;
    if (parent && !parent->container)
        d->makeParent(parent);

    QWidget *holder = d->widgetOf(row);
    QtRowGridLayout *layout = d->layoutOf(row);
    QtProperty *property = item->property();
    row->editor = editor;
    d->watchEditor(row, holder);
    if (!row->editor && property->hasValue())
        row->valueLabel = newValueLabel(holder);

    shiftRowsDown(layout, gridRow);
    d->addRow(row, item);

    // The items of the sub-properties follow this one at once, so a property that
    // has any is a parent from the start: its name goes straight onto the expand
    // button, and no name label is made only to be deleted.
    QWidget *value = row->editor ? row->editor : row->valueLabel;
    if (!property->subProperties().isEmpty()) {
        d->makeParent(row);
    } else {
        row->nameLabel = newNameLabel(holder);
        d->refreshRow(row);
        d->place(layout, row->nameLabel, gridRow, 0, 1, value ? 1 : 2);
    }
    if (value)
        d->place(layout, value, gridRow, 1);
}

void QtButtonPropertyBrowser::itemRemoved(QtBrowserItem *item)
{
    d_ptr->removeRow(item);
    d_ptr->finishRemoval();
}

void QtButtonPropertyBrowser::itemChanged(QtBrowserItem *item)
{
    QtButtonPropertyBrowserPrivate *d = d_ptr.get();
    // A disabled property locks its editor and its panel, which takes the focus
    // out of them: what was typed there is committed first.
    takeFocusFirst([d, item]() -> QWidget * {
        const ButtonBrowserRow *row = d->rowByItem.value(item);
        if (!row || item->property()->isEnabled())
            return nullptr;
        QWidget *focus = focusInside(row->editor);
        return focus ? focus : focusInside(row->container);
    });
    if (ButtonBrowserRow *row = d->rowByItem.value(item))
        d->refreshRow(row);
}

void QtButtonPropertyBrowser::slotUpdate()
{
    QtButtonPropertyBrowserPrivate *d = d_ptr.get();
    const QtButtonPropertyBrowserPrivate::Changing changing(*d);
    for (ButtonBrowserRow *row : qAsConst(d->labelRebuildQueue)) {
        const int gridRow = d->gridRowOf(row);
        row->nameLabel = newNameLabel(d->widgetOf(row));
        d->refreshRow(row);
        d->place(d->layoutOf(row), row->nameLabel, gridRow, 0, 1, row->editor || row->valueLabel ? 1 : 2);
    }
    d->labelRebuildQueue.clear();
}

void QtButtonPropertyBrowser::slotEditorDestroyed() { d_ptr->forgetEditor(sender()); }

void QtButtonPropertyBrowser::slotToggled(bool checked)
{
    QtButtonPropertyBrowserPrivate *d = d_ptr.get();
    // From applyExpanded, which has the state applied and the button marked.
    if (ButtonBrowserRow *row = std::exchange(d->togglingRow, nullptr)) {
        QtBrowserItem *item = d->itemByRow.value(row);
        if (checked)
            emit expanded(item);
        else
            emit collapsed(item);
        return;
    }
    // A click, or a handler of the signals below toggling another button: the
    // button is inside its own signal until this returns.
    ButtonBrowserRow *row = d->rowByButton.value(sender());
    if (!row)
        return;
    QToolButton *button = row->expandButton;
    const auto toggled = d->inSignal(button);
    QtBrowserItem *item = d->itemByRow.value(row);
    if (!checked) {
        row = d->rowReadyToClose(item);
        // The row went, or lost its children and has a new button, meanwhile.
        if (!row || row->expandButton != button)
            return;
    }
    if (row->container && row->expanded != checked)
        d->applyExpanded(row, checked);
    if (checked)
        emit expanded(item);
    else
        emit collapsed(item);
}
