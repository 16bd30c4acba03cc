#include "propertybrowser/qttreepropertybrowser_p.h"

#include "propertybrowser/qtbrowseritemstate_p.h"
#include "propertybrowser/qtremovalbatch_p.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QScroller>
#include <QStyleOption>
#include <QTimer>

#include <utility>

namespace {

// The closed and open branch indicators of the style, as one icon (off and on).
QIcon drawExpandIcon(const QPalette &palette, QStyle *style)
{
    QPixmap pixmap(14, 14);
    QStyleOption option;
    option.rect = QRect(2, 2, 9, 9);
    option.palette = palette;
    option.state = QStyle::State_Children;
    QIcon icon;
    for (const QIcon::State state : {QIcon::Off, QIcon::On}) {
        if (state == QIcon::On)
            option.state |= QStyle::State_Open;
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            style->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &painter);
        }
        icon.addPixmap(pixmap, QIcon::Normal, state);
        icon.addPixmap(pixmap, QIcon::Selected, state);
    }
    return icon;
}

QHeaderView::ResizeMode headerMode(QtTreePropertyBrowser::ResizeMode mode)
{
    switch (mode) {
    case QtTreePropertyBrowser::Interactive:
        return QHeaderView::Interactive;
    case QtTreePropertyBrowser::Fixed:
        return QHeaderView::Fixed;
    case QtTreePropertyBrowser::ResizeToContents:
        return QHeaderView::ResizeToContents;
    case QtTreePropertyBrowser::Stretch:
        break;
    }
    return QHeaderView::Stretch;
}

QStringList standardLabels()
{
    return {QtTreePropertyBrowser::tr("Параметр"), QtTreePropertyBrowser::tr("Значение")};
}

} // namespace

// --- QtTreePropertyBrowserPrivate ---

QTreeWidgetItem *QtTreePropertyBrowserPrivate::rowOfIndex(const QModelIndex &index) const
{
    return view ? view->indexToItem(index) : nullptr;
}

QtProperty *QtTreePropertyBrowserPrivate::propertyOfIndex(const QModelIndex &index) const
{
    QtBrowserItem *item = itemOfIndex(index);
    return item ? item->property() : nullptr;
}

bool QtTreePropertyBrowserPrivate::hasValue(const QModelIndex &index) const
{
    QtProperty *property = propertyOfIndex(index);
    return !property || property->hasValue();
}

bool QtTreePropertyBrowserPrivate::isLastVisibleColumn(int column) const
{
    const QHeaderView *header = view->header();
    for (int visual = header->count() - 1; visual >= 0; --visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            return logical == column;
    }
    return false;
}

QColor QtTreePropertyBrowserPrivate::inheritedBackgroundColor(QtBrowserItem *item) const
{
    for (; item; item = item->parent()) {
        const auto it = rowColours.constFind(item);
        if (it != rowColours.constEnd())
            return it.value();
    }
    return QColor();
}

QTreeWidgetItem *QtTreePropertyBrowserPrivate::editedRow() const
{
    return delegate ? delegate->editedRow() : nullptr;
}

QWidget *QtTreePropertyBrowserPrivate::createEditor(QtProperty *property, QWidget *parent) const
{
    return q_ptr->createEditor(property, parent);
}

void QtTreePropertyBrowserPrivate::insertRow(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    QTreeWidgetItem *afterRow = itemToRow.value(afterItem);
    QTreeWidgetItem *parentRow = itemToRow.value(item->parent());
    // Set up before it is shown, so the model reports no change of it.
    auto *row = new QTreeWidgetItem;
    row->setFlags(Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Unchecked);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    // Owned by the tree; first under its parent when there is no after row.
    // Qt finds the after row from the front: a row added after the last one
    // is appended, so filling a long list stays linear.
    const int count = parentRow ? parentRow->childCount() : view->topLevelItemCount();
    const auto rowAt = [&](int i) { return parentRow ? parentRow->child(i) : view->topLevelItem(i); };
    int at = 0;
    if (afterRow && count > 0 && rowAt(count - 1) == afterRow)
        at = count;
    else if (afterRow)
        at = (parentRow ? parentRow->indexOfChild(afterRow) : view->indexOfTopLevelItem(afterRow)) + 1;
    if (parentRow)
        parentRow->insertChild(at, row);
    else
        view->insertTopLevelItem(at, row);
    itemToRow.insert(item, row);
    rowToItem.insert(row, item);
    refreshRow(row);
    // Last: the view tells of the expansion, and a handler of that may remove the row.
    row->setExpanded(true);
}

void QtTreePropertyBrowserPrivate::removeRow(QtBrowserItem *item)
{
    QTreeWidgetItem *row = itemToRow.take(item);
    if (!row)
        return;
    rowToItem.remove(row);
    rowColours.remove(item);
    pendingSpans.remove(row);
    // A row whose parent row goes in the same removal is deleted with it, a moment
    // later: the model then tells its views of the whole branch once, and a view
    // looks through every expanded row (each is a persistent index) at every
    // removal it is told of. For the same reason the top-level rows that go in one
    // batch, a whole page when a manager is cleared, go together as it ends; until
    // then they are hidden, out of reach of the user and of the view's current row.
    const bool withParent = qtBrowserItemIsLeaving(item->parent());
    const bool held = !withParent && !item->parent() && QtRemovalBatch::isOpen();
    if (held) {
        row->setHidden(true);
        if (heldRows.isEmpty())
            QtRemovalBatch::atEnd(this, [this] { removeHeldRows(); });
        heldRows.insert(row);
    }
    // An open editor goes now, not with the row: closing it takes its focus, and
    // an editor that commits on losing the focus then runs handlers, which must
    // not run inside the model's removal of the row. They may remove more, even
    // the parent row, which takes this row along; nothing read before is read
    // after them.
    if (delegate->editedRow() == row) {
        const QPersistentModelIndex stays = view->indexOfRow(row);
        delegate->closeEditorNow();
        if (!stays.isValid())
            return;
    }
    // Otherwise the view would move the current row to a neighbour. Quietly: the
    // browser tells that its current item went once the item is gone.
    if (view->currentItem() == row) {
        const QSignalBlocker blocker(view);
        view->setCurrentItem(nullptr);
    }
    if (!withParent && !held)
        delete row;
}

void QtTreePropertyBrowserPrivate::removeHeldRows()
{
    const QSet<QTreeWidgetItem *> rows = std::exchange(heldRows, {});
    // No row that goes is current (held rows are out of reach); were one, the view
    // would move the current row to a neighbour.
    if (QTreeWidgetItem *current = view->currentItem()) {
        while (current->parent())
            current = current->parent();
        if (rows.contains(current)) {
            const QSignalBlocker blocker(view);
            view->setCurrentItem(nullptr);
        }
    }
    // From the bottom up, so that the rows above a range keep their places. The
    // model deletes the rows, and their child rows with them. Rows that went long
    // ago concern no one: the view's signals stay quiet meanwhile.
    const QSignalBlocker blocker(view);
    QAbstractItemModel *model = view->model();
    int last = view->topLevelItemCount() - 1;
    for (int i = last; i >= -1; --i) {
        if (i >= 0 && rows.contains(view->topLevelItem(i)))
            continue;
        if (i < last)
            model->removeRows(i + 1, last - i);
        last = i - 1;
    }
}

void QtTreePropertyBrowserPrivate::refreshRow(QTreeWidgetItem *row)
{
    QtProperty *property = rowToItem.value(row)->property();
    const bool hasValue = property->hasValue();
    QIcon nameIcon;
    if (hasValue) {
        const QString displayText = property->displayText();
        const QString toolTip = property->toolTip();
        row->setToolTip(1, toolTip.isEmpty() ? displayText : toolTip);
        row->setIcon(1, property->valueIcon());
        row->setText(1, displayText.isEmpty() ? property->valueText() : displayText);
    } else if (markPropertiesWithoutValue && !view->rootIsDecorated()) {
        nameIcon = expandIcon;
    }
    row->setIcon(0, nameIcon);
    if (row->isFirstColumnSpanned() == hasValue)
        spanLater(row);
    const QString name = property->propertyName();
    row->setToolTip(0, name);
    row->setStatusTip(0, property->statusTip());
    row->setWhatsThis(0, property->whatsThis());
    row->setText(0, name);
    const QStringList columnTexts = property->columnTexts();
    for (int i = 0; i < columnTexts.size(); ++i)
        row->setText(i + 2, columnTexts.at(i));

    const bool wasEnabled = row->flags() & Qt::ItemIsEnabled;
    QTreeWidgetItem *parentRow = row->parent();
    const bool enabled = property->isEnabled() && (!parentRow || (parentRow->flags() & Qt::ItemIsEnabled));
    if (enabled && !wasEnabled)
        enableRow(row);
    else if (!enabled && wasEnabled)
        disableRow(row);
    view->viewport()->update();
}

void QtTreePropertyBrowserPrivate::spanLater(QTreeWidgetItem *row)
{
    if (pendingSpans.isEmpty()) {
        QtPropertyEditorView *target = view;
        QTimer::singleShot(0, target, [target] { target->applyPendingSpans(); });
    }
    pendingSpans.insert(row);
}

void QtTreePropertyBrowserPrivate::applyPendingSpans()
{
    const QSet<QTreeWidgetItem *> rows = std::exchange(pendingSpans, {});
    for (QTreeWidgetItem *row : rows) {
        const bool span = !rowToItem.value(row)->property()->hasValue();
        if (row->isFirstColumnSpanned() != span)
            row->setFirstColumnSpanned(span);
    }
}

void QtTreePropertyBrowserPrivate::refreshRowsWithoutValue()
{
    for (auto it = rowToItem.cbegin(); it != rowToItem.cend(); ++it) {
        if (!it.value()->property()->hasValue())
            refreshRow(it.key());
    }
}

// QTreeWidgetItem passes a change of its enabled flag on to the rows below it that
// were not disabled on their own; the two walks below leave every row as its
// property and its parent row say.
void QtTreePropertyBrowserPrivate::enableRow(QTreeWidgetItem *row)
{
    row->setFlags(row->flags() | Qt::ItemIsEnabled);
    for (int i = 0; i < row->childCount(); ++i) {
        QTreeWidgetItem *child = row->child(i);
        QtBrowserItem *item = rowToItem.value(child);
        if (item && item->property()->isEnabled())
            enableRow(child);
        else
            child->setFlags(child->flags() & ~Qt::ItemIsEnabled);
    }
}

void QtTreePropertyBrowserPrivate::disableRow(QTreeWidgetItem *row)
{
    if (!(row->flags() & Qt::ItemIsEnabled))
        return;
    row->setFlags(row->flags() & ~Qt::ItemIsEnabled);
    closeEditorsFrom(row);
}

void QtTreePropertyBrowserPrivate::closeEditorsFrom(QTreeWidgetItem *row)
{
    // The view has one editor open at most. Closing it runs handlers of what the
    // editor commits, which may change the rows: nothing is read after it.
    for (const QTreeWidgetItem *edited = delegate->editedRow(); edited; edited = edited->parent()) {
        if (edited == row) {
            delegate->closeEditorNow();
            return;
        }
    }
}

void QtTreePropertyBrowserPrivate::applyResizeMode()
{
    view->header()->setSectionResizeMode(headerMode(resizeMode));
}

// --- QtTreePropertyBrowser ---

QtTreePropertyBrowser::QtTreePropertyBrowser(QWidget *parent)
    : QtAbstractPropertyBrowser(parent), d_ptr(std::make_unique<QtTreePropertyBrowserPrivate>(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    d_ptr->view = new QtPropertyEditorView(this);
    d_ptr->view->setEditorPrivate(d_ptr.get());
    d_ptr->view->setIconSize(QSize(18, 18));
    layout->addWidget(d_ptr->view);
    setFocusProxy(d_ptr->view);

    d_ptr->view->setColumnCount(2);
    d_ptr->view->setHeaderLabels(standardLabels());
    d_ptr->view->setAlternatingRowColors(true);
    d_ptr->view->setEditTriggers(QAbstractItemView::EditKeyPressed);

    d_ptr->delegate = new QtPropertyEditorDelegate(this);
    d_ptr->delegate->setEditorPrivate(d_ptr.get());
    d_ptr->view->setItemDelegate(d_ptr->delegate);
    d_ptr->view->header()->setSectionsMovable(false);
    d_ptr->view->header()->setSectionResizeMode(QHeaderView::Stretch);

    d_ptr->expandIcon = drawExpandIcon(palette(), style());

    connect(d_ptr->view, SIGNAL(collapsed(const QModelIndex &)), this, SLOT(slotCollapsed(const QModelIndex &)));
    connect(d_ptr->view, SIGNAL(expanded(const QModelIndex &)), this, SLOT(slotExpanded(const QModelIndex &)));
    connect(d_ptr->view, SIGNAL(currentItemChanged(QTreeWidgetItem *, QTreeWidgetItem *)), this,
            SLOT(slotCurrentTreeItemChanged(QTreeWidgetItem *, QTreeWidgetItem *)));
    connect(d_ptr->view, SIGNAL(scrolled(int, int)), this, SLOT(slotScrolled(int, int)));
    connect(this, SIGNAL(currentItemChanged(QtBrowserItem *)), this,
            SLOT(slotCurrentBrowserItemChanged(QtBrowserItem *)));
}

QtTreePropertyBrowser::~QtTreePropertyBrowser()
{
    // The view and the delegate are deleted with the browser's children, after this
    // record: they must neither reach it nor call back into the browser.
    d_ptr->view->setEditorPrivate(nullptr);
    d_ptr->delegate->setEditorPrivate(nullptr);
    disconnect(d_ptr->view, nullptr, this, nullptr);
    // Rows held back for a removal batch go with the view.
    QtRemovalBatch::cancel(d_ptr.get());
}

void QtTreePropertyBrowser::setExtraColumns(const QStringList &names)
{
    QStringList labels = standardLabels();
    for (const QString &name : names)
        labels << QCoreApplication::translate("QtTreePropertyBrowser", name.toUtf8().constData());
    d_ptr->view->setColumnCount(labels.size());
    d_ptr->view->setHeaderLabels(labels);
    d_ptr->view->setAlternatingRowColors(true);
}

int QtTreePropertyBrowser::columnWidth(int column) const { return d_ptr->view->header()->sectionSize(column); }

void QtTreePropertyBrowser::setColumnWidth(int column, int width)
{
    d_ptr->view->header()->resizeSection(column, width);
}

int QtTreePropertyBrowser::indentation() const { return d_ptr->view->indentation(); }
void QtTreePropertyBrowser::setIndentation(int indentation) { d_ptr->view->setIndentation(indentation); }
bool QtTreePropertyBrowser::rootIsDecorated() const { return d_ptr->view->rootIsDecorated(); }

void QtTreePropertyBrowser::setRootIsDecorated(bool show)
{
    d_ptr->view->setRootIsDecorated(show);
    d_ptr->refreshRowsWithoutValue();
}

bool QtTreePropertyBrowser::alternatingRowColors() const { return d_ptr->view->alternatingRowColors(); }
void QtTreePropertyBrowser::setAlternatingRowColors(bool enable) { d_ptr->view->setAlternatingRowColors(enable); }
bool QtTreePropertyBrowser::isHeaderVisible() const { return d_ptr->headerVisible; }

void QtTreePropertyBrowser::setHeaderVisible(bool visible)
{
    if (d_ptr->headerVisible == visible)
        return;
    d_ptr->headerVisible = visible;
    d_ptr->view->header()->setVisible(visible);
}

QtTreePropertyBrowser::ResizeMode QtTreePropertyBrowser::resizeMode() const { return d_ptr->resizeMode; }

void QtTreePropertyBrowser::setResizeMode(ResizeMode mode)
{
    if (d_ptr->resizeMode == mode)
        return;
    d_ptr->resizeMode = mode;
    d_ptr->applyResizeMode();
}

bool QtTreePropertyBrowser::propertiesWithoutValueMarked() const { return d_ptr->markPropertiesWithoutValue; }

void QtTreePropertyBrowser::setPropertiesWithoutValueMarked(bool mark)
{
    if (d_ptr->markPropertiesWithoutValue == mark)
        return;
    d_ptr->markPropertiesWithoutValue = mark;
    d_ptr->refreshRowsWithoutValue();
    d_ptr->view->viewport()->update();
}

void QtTreePropertyBrowser::setExpanded(QtBrowserItem *item, bool expanded)
{
    if (QTreeWidgetItem *row = d_ptr->rowOf(item))
        row->setExpanded(expanded);
}

bool QtTreePropertyBrowser::isExpanded(QtBrowserItem *item) const
{
    QTreeWidgetItem *row = d_ptr->rowOf(item);
    return row && row->isExpanded();
}

bool QtTreePropertyBrowser::isItemVisible(QtBrowserItem *item) const
{
    QTreeWidgetItem *row = d_ptr->rowOf(item);
    return row && !row->isHidden();
}

void QtTreePropertyBrowser::setItemVisible(QtBrowserItem *item, bool visible)
{
    if (QTreeWidgetItem *row = d_ptr->rowOf(item))
        row->setHidden(!visible);
}

void QtTreePropertyBrowser::setCheckState(QtBrowserItem *item, int state)
{
    if (QTreeWidgetItem *row = d_ptr->rowOf(item))
        row->setCheckState(0, static_cast<Qt::CheckState>(state));
}

int QtTreePropertyBrowser::checkState(QtBrowserItem *item) const
{
    QTreeWidgetItem *row = d_ptr->rowOf(item);
    return row ? row->checkState(0) : 0;
}

QColor QtTreePropertyBrowser::backgroundColor(QtBrowserItem *item) const
{
    return d_ptr->rowColours.value(item);
}

void QtTreePropertyBrowser::setBackgroundColor(QtBrowserItem *item, const QColor &color)
{
    if (!d_ptr->rowOf(item))
        return;
    if (color.isValid())
        d_ptr->rowColours[item] = color;
    else
        d_ptr->rowColours.remove(item);
    d_ptr->view->viewport()->update();
}

QColor QtTreePropertyBrowser::inheritedBackgroundColor(QtBrowserItem *item) const
{
    return d_ptr->inheritedBackgroundColor(item);
}

void QtTreePropertyBrowser::editItem(QtBrowserItem *item)
{
    if (QTreeWidgetItem *row = d_ptr->rowOf(item)) {
        d_ptr->view->setCurrentItem(row, 1);
        d_ptr->view->editItem(row, 1);
    }
}

void QtTreePropertyBrowser::closeEditor(QtProperty *property) { d_ptr->delegate->closeEditorOf(property); }

void QtTreePropertyBrowser::setViewScrolled() { d_ptr->view->setScrolled(true); }

void QtTreePropertyBrowser::scrollViewTo(int a, int b)
{
    QScroller::scroller(d_ptr->view)->scrollTo(QPointF(0, a - b));
}

void QtTreePropertyBrowser::itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    d_ptr->insertRow(item, afterItem);
}

void QtTreePropertyBrowser::itemRemoved(QtBrowserItem *item) { d_ptr->removeRow(item); }

void QtTreePropertyBrowser::itemChanged(QtBrowserItem *item)
{
    if (QTreeWidgetItem *row = d_ptr->rowOf(item))
        d_ptr->refreshRow(row);
}

void QtTreePropertyBrowser::slotScrolled(int dx, int dy) { emit scrolled(dx, dy); }

void QtTreePropertyBrowser::slotCollapsed(const QModelIndex &index)
{
    if (QtBrowserItem *item = d_ptr->itemOfIndex(index))
        emit collapsed(item);
}

void QtTreePropertyBrowser::slotExpanded(const QModelIndex &index)
{
    if (QtBrowserItem *item = d_ptr->itemOfIndex(index))
        emit expanded(item);
}

void QtTreePropertyBrowser::slotCurrentBrowserItemChanged(QtBrowserItem *item)
{
    if (d_ptr->browserChangedBlocked || item == d_ptr->itemOfRow(d_ptr->view->currentItem()))
        return;
    const QSignalBlocker blocker(d_ptr->view);
    d_ptr->view->setCurrentItem(d_ptr->rowOf(item));
}

void QtTreePropertyBrowser::slotCurrentTreeItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    d_ptr->browserChangedBlocked = true;
    setCurrentItem(d_ptr->itemOfRow(current));
    d_ptr->browserChangedBlocked = false;
}
