#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"

#include "propertybrowser/extended/qtgridbrowser_p.h"
#include "propertybrowser/extended/qtgridrows.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QTimer>

using namespace QtGridBrowserShapes;

// One shown browser item.
struct GroupBoxBrowserRow
{
    QWidget *editor = nullptr;
    // Name and value label are null while the row is a group.
    QLabel *nameLabel = nullptr;
    QLabel *valueLabel = nullptr;
    // The group box exists while the row has child rows; the line under the row's
    // own editor only when it had one then.
    QGroupBox *groupBox = nullptr;
    QGridLayout *childLayout = nullptr;
    QFrame *separator = nullptr;
    GroupBoxBrowserRow *parentRow = nullptr;
    QList<GroupBoxBrowserRow *> childRows;
};

class QtGroupBoxPropertyBrowserPrivate
{
public:
    explicit QtGroupBoxPropertyBrowserPrivate(QtGroupBoxPropertyBrowser *browser) : q_ptr(browser) {}

    QList<GroupBoxBrowserRow *> &siblingsOf(const GroupBoxBrowserRow *row)
    {
        return row->parentRow ? row->parentRow->childRows : topRows;
    }
    QWidget *widgetOf(const GroupBoxBrowserRow *row) const
    {
        return row->parentRow ? static_cast<QWidget *>(row->parentRow->groupBox) : q_ptr;
    }
    QGridLayout *layoutOf(const GroupBoxBrowserRow *row) const
    {
        return row->parentRow ? row->parentRow->childLayout : mainLayout;
    }
    // Child rows start below the group's editor and its line. Counted by the line,
    // which stays even when the editor is destroyed from outside.
    static int firstChildRow(const GroupBoxBrowserRow *parent) { return parent && parent->separator ? 2 : 0; }
    int gridRowOf(GroupBoxBrowserRow *row) { return siblingsOf(row).indexOf(row) + firstChildRow(row->parentRow); }

    void makeGroup(GroupBoxBrowserRow *row);
    void refreshRow(GroupBoxBrowserRow *row) const;

    QtGroupBoxPropertyBrowser *q_ptr;
    QMap<QtBrowserItem *, GroupBoxBrowserRow *> rowByItem;
    QMap<GroupBoxBrowserRow *, QtBrowserItem *> itemByRow;
    // Keyed by address: an editor that reports its destruction is no QWidget any more.
    QMap<const QObject *, GroupBoxBrowserRow *> rowByEditor;
    QGridLayout *mainLayout = nullptr;
    QList<GroupBoxBrowserRow *> topRows;
    // Rows whose name and value slotUpdate places again.
    QList<GroupBoxBrowserRow *> labelRebuildQueue;
};

// The row's first child arrives: a group box takes its grid row, with the row's
// editor on top and a line below it; its name and value labels go.
void QtGroupBoxPropertyBrowserPrivate::makeGroup(GroupBoxBrowserRow *row)
{
    labelRebuildQueue.removeAll(row);
    const int gridRow = gridRowOf(row);
    QGridLayout *layout = layoutOf(row);

    row->groupBox = new QGroupBox(widgetOf(row));
    row->childLayout = new QGridLayout(row->groupBox);

    if (row->nameLabel) {
        layout->removeWidget(row->nameLabel);
        delete row->nameLabel;
        row->nameLabel = nullptr;
    }
    if (row->editor) {
        layout->removeWidget(row->editor);
        row->editor->setParent(row->groupBox);
        row->childLayout->addWidget(row->editor, 0, 0, 1, 2);
        row->separator = new QFrame(row->groupBox);
        row->separator->setFrameShape(QFrame::HLine);
        row->separator->setFrameShadow(QFrame::Sunken);
        row->childLayout->addWidget(row->separator, 1, 0, 1, 2);
    } else if (row->valueLabel) {
        layout->removeWidget(row->valueLabel);
        delete row->valueLabel;
        row->valueLabel = nullptr;
    }
    layout->addWidget(row->groupBox, gridRow, 0, 1, 2);
    refreshRow(row);
}

void QtGroupBoxPropertyBrowserPrivate::refreshRow(GroupBoxBrowserRow *row) const
{
    const QtProperty *property = itemByRow.value(row)->property();
    if (row->groupBox) {
        showName(row->groupBox, property);
        row->groupBox->setTitle(property->propertyName());
    }
    if (row->nameLabel) {
        showName(row->nameLabel, property);
        row->nameLabel->setText(property->propertyName());
    }
    if (row->valueLabel)
        showValue(row->valueLabel, property);
    if (row->editor)
        showEditor(row->editor, property);
}

QtGroupBoxPropertyBrowser::QtGroupBoxPropertyBrowser(QWidget *parent)
    : QtAbstractPropertyBrowser(parent), d_ptr(std::make_unique<QtGroupBoxPropertyBrowserPrivate>(this))
{
    d_ptr->mainLayout = new QGridLayout(this);
    // Below the last row, so that the rows stay packed at the top.
    d_ptr->mainLayout->addItem(new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Expanding), 0, 0);
}

QtGroupBoxPropertyBrowser::~QtGroupBoxPropertyBrowser()
{
    const QList<GroupBoxBrowserRow *> rows = d_ptr->itemByRow.keys();
    qDeleteAll(rows);
}

void QtGroupBoxPropertyBrowser::itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    GroupBoxBrowserRow *after = d->rowByItem.value(afterItem);
    GroupBoxBrowserRow *parent = d->rowByItem.value(item->parent());
    auto *row = new GroupBoxBrowserRow;
    row->parentRow = parent;

    QList<GroupBoxBrowserRow *> &siblings = d->siblingsOf(row);
    siblings.insert(after ? siblings.indexOf(after) + 1 : 0, row);
    if (parent && !parent->groupBox)
        d->makeGroup(parent);
    const int gridRow = d->gridRowOf(row);

    QWidget *holder = d->widgetOf(row);
    QGridLayout *layout = d->layoutOf(row);
    row->nameLabel = newNameLabel(holder);
    row->editor = createEditor(item->property(), holder);
    if (row->editor) {
        connect(row->editor, SIGNAL(destroyed()), this, SLOT(slotEditorDestroyed()));
        d->rowByEditor[row->editor] = row;
    } else {
        row->valueLabel = newValueLabel(holder);
    }

    shiftRowsDown(layout, gridRow);
    layout->addWidget(row->editor ? row->editor : row->valueLabel, gridRow, 1);
    layout->addWidget(row->nameLabel, gridRow, 0);

    d->itemByRow[row] = item;
    d->rowByItem[item] = row;
    d->refreshRow(row);
}

void QtGroupBoxPropertyBrowser::itemRemoved(QtBrowserItem *item)
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    GroupBoxBrowserRow *row = d->rowByItem.take(item);
    if (!row)
        return;
    d->itemByRow.remove(row);

    GroupBoxBrowserRow *parent = row->parentRow;
    const int gridRow = d->gridRowOf(row);
    d->siblingsOf(row).removeAll(row);

    d->rowByEditor.remove(row->editor);
    delete row->editor;
    delete row->nameLabel;
    delete row->valueLabel;
    delete row->groupBox;

    if (parent && parent->childRows.isEmpty()) {
        // The editor waits on the browser widget, hidden, until slotUpdate puts it
        // back into the row; the group box would take it along.
        if (parent->editor) {
            parent->editor->hide();
            parent->editor->setParent(this);
        }
        d->layoutOf(parent)->removeWidget(parent->groupBox);
        delete parent->groupBox;
        parent->groupBox = nullptr;
        parent->separator = nullptr;
        parent->childLayout = nullptr;
        if (!d->labelRebuildQueue.contains(parent))
            d->labelRebuildQueue.append(parent);
        QTimer::singleShot(0, this, SLOT(slotUpdate()));
    } else {
        shiftRowsUp(parent ? parent->childLayout : d->mainLayout, gridRow);
    }
    d->labelRebuildQueue.removeAll(row);
    delete row;
}

void QtGroupBoxPropertyBrowser::itemChanged(QtBrowserItem *item)
{
    if (GroupBoxBrowserRow *row = d_ptr->rowByItem.value(item))
        d_ptr->refreshRow(row);
}

void QtGroupBoxPropertyBrowser::slotUpdate()
{
    QtGroupBoxPropertyBrowserPrivate *d = d_ptr.get();
    for (GroupBoxBrowserRow *row : qAsConst(d->labelRebuildQueue)) {
        const int gridRow = d->gridRowOf(row);
        QWidget *holder = d->widgetOf(row);
        QGridLayout *layout = d->layoutOf(row);
        QWidget *value = row->editor;
        if (value) {
            value->setParent(holder);
        } else {
            row->valueLabel = newValueLabel(holder);
            value = row->valueLabel;
        }
        layout->addWidget(value, gridRow, 1);
        // It was hidden explicitly while it waited, and the grid keeps such a widget hidden.
        value->show();
        row->nameLabel = newNameLabel(holder);
        layout->addWidget(row->nameLabel, gridRow, 0);
        d->refreshRow(row);
    }
    d->labelRebuildQueue.clear();
}

void QtGroupBoxPropertyBrowser::slotEditorDestroyed()
{
    if (GroupBoxBrowserRow *row = d_ptr->rowByEditor.take(sender()))
        row->editor = nullptr;
}
