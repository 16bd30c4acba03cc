// The tree browser's view and item delegate.
#include "propertybrowser/qttreepropertybrowser_p.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QPointer>

#include <utility>

namespace {

bool isEditableAndEnabled(const QTreeWidgetItem *row)
{
    const Qt::ItemFlags both = Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return (row->flags() & both) == both;
}

void setSubTreeCheckState(QTreeWidgetItem *row, Qt::CheckState state)
{
    for (int i = 0; i < row->childCount(); ++i) {
        QTreeWidgetItem *child = row->child(i);
        child->setCheckState(0, state);
        setSubTreeCheckState(child, state);
    }
}

// Checked when every child is, partially checked when at least one is.
Qt::CheckState stateFromChildren(const QTreeWidgetItem *row)
{
    int checked = 0;
    for (int i = 0; i < row->childCount(); ++i) {
        if (row->child(i)->checkState(0) == Qt::Checked)
            ++checked;
    }
    if (checked == row->childCount())
        return Qt::Checked;
    return checked > 0 ? Qt::PartiallyChecked : Qt::Unchecked;
}

QColor gridLineColor(const QStyleOption &option, const QWidget *widget)
{
    const QStyle *style = widget ? widget->style() : QApplication::style();
    return QColor(static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &option, widget)));
}

constexpr int kAlternateLighter = 112;
// Width of the area left of a marked row's name that toggles its expansion.
constexpr int kExpandClickWidth = 20;

} // namespace

// --- QtPropertyEditorView ---

QtPropertyEditorView::QtPropertyEditorView(QWidget *parent) : QTreeWidget(parent)
{
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(header(), SIGNAL(sectionDoubleClicked(int)), this, SLOT(resizeColumnToContents(int)));
    connect(this, SIGNAL(itemClicked(QTreeWidgetItem *, int)), this, SLOT(checkChanged(QTreeWidgetItem *, int)));
}

void QtPropertyEditorView::applyPendingSpans()
{
    if (m_editorPrivate)
        m_editorPrivate->applyPendingSpans();
}

void QtPropertyEditorView::doItemsLayout()
{
    QTreeWidget::doItemsLayout();
    // With the layout done, setting a span no longer lays the view out again.
    applyPendingSpans();
}

void QtPropertyEditorView::checkChanged(QTreeWidgetItem *row, int column)
{
    if (!row || column != 0)
        return;
    const Qt::CheckState state = row->checkState(0);
    if (state == Qt::PartiallyChecked)
        return;
    if (row->childCount() > 0) {
        setSubTreeCheckState(row, state);
        return;
    }
    if (QTreeWidgetItem *parentRow = row->parent())
        parentRow->setCheckState(0, stateFromChildren(parentRow));
}

void QtPropertyEditorView::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    if (!m_editorPrivate)
        return;
    QTreeWidgetItem *row = itemAt(event->pos());
    if (!row)
        return;
    if (row != m_editorPrivate->editedRow() && event->button() == Qt::LeftButton
        && header()->logicalIndexAt(event->pos().x()) == 1 && isEditableAndEnabled(row)) {
        editItem(row, 1);
    } else if (!m_editorPrivate->hasValue(indexFromItem(row)) && m_editorPrivate->markPropertiesWithoutValue
               && !rootIsDecorated()) {
        if (event->pos().x() + header()->offset() < kExpandClickWidth)
            row->setExpanded(!row->isExpanded());
    }
}

void QtPropertyEditorView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool editKey = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (editKey && m_editorPrivate && !m_editorPrivate->editedRow()) {
        QTreeWidgetItem *row = currentItem();
        if (row && row->columnCount() >= 2 && isEditableAndEnabled(row)) {
            event->accept();
            QModelIndex index = currentIndex();
            if (index.column() == 0) {
                index = index.sibling(index.row(), 1);
                setCurrentIndex(index);
            }
            edit(index);
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void QtPropertyEditorView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    if (m_editorPrivate) {
        if (!m_editorPrivate->hasValue(index) && m_editorPrivate->markPropertiesWithoutValue) {
            const QColor dark = option.palette.color(QPalette::Dark);
            painter->fillRect(option.rect, dark);
            opt.palette.setColor(QPalette::AlternateBase, dark);
        } else {
            const QColor colour = m_editorPrivate->inheritedBackgroundColor(m_editorPrivate->itemOfIndex(index));
            if (colour.isValid()) {
                painter->fillRect(option.rect, colour);
                opt.palette.setColor(QPalette::AlternateBase, colour.lighter(kAlternateLighter));
            }
        }
    }
    QTreeWidget::drawRow(painter, opt, index);
    painter->save();
    painter->setPen(gridLineColor(opt, this));
    painter->drawLine(opt.rect.x(), opt.rect.bottom(), opt.rect.right(), opt.rect.bottom());
    painter->restore();
}

// --- QtPropertyEditorDelegate ---

QtPropertyEditorDelegate::QtPropertyEditorDelegate(QObject *parent) : QItemDelegate(parent) {}

void QtPropertyEditorDelegate::closeEditorOf(QtProperty *property)
{
    QWidget *editor = m_propertyToEditor.value(property);
    if (!editor)
        return;
    // The open editor is closed through the view, which would otherwise close it
    // again on its next focus-out; one the view let go already only waits for the
    // event loop.
    if (editor == m_editedWidget)
        closeEditorNow();
    else
        editor->deleteLater();
}

void QtPropertyEditorDelegate::closeEditorNow()
{
    QWidget *editor = std::exchange(m_editedWidget, nullptr);
    m_editedRow = nullptr;
    if (editor)
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool QtPropertyEditorDelegate::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() == QEvent::FocusOut
        && static_cast<QFocusEvent *>(event)->reason() == Qt::ActiveWindowFocusReason)
        return false;
    // Escape closes the editor without a commit. Closing takes its focus, and an
    // editor that commits what was typed on losing focus (a spin box without
    // keyboard tracking) would commit it then; its signals are blocked meanwhile.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel)) {
        const QSignalBlocker blocker(object);
        return QItemDelegate::eventFilter(object, event);
    }
    return QItemDelegate::eventFilter(object, event);
}

void QtPropertyEditorDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    if (!m_editorPrivate) {
        QItemDelegate::paint(painter, option, index);
        return;
    }
    QtProperty *property = m_editorPrivate->propertyOfIndex(index);
    const bool hasValue = !property || property->hasValue();
    QStyleOptionViewItem opt = option;
    if ((index.column() == 0 || !hasValue) && property && property->isModified()) {
        opt.font.setBold(true);
        opt.fontMetrics = QFontMetrics(opt.font);
    }
    QColor colour;
    if (!hasValue && m_editorPrivate->markPropertiesWithoutValue) {
        colour = opt.palette.color(QPalette::Dark);
        opt.palette.setColor(QPalette::Text, opt.palette.color(QPalette::BrightText));
    } else {
        colour = m_editorPrivate->inheritedBackgroundColor(m_editorPrivate->itemOfIndex(index));
        if (colour.isValid() && (opt.features & QStyleOptionViewItem::Alternate))
            colour = colour.lighter(kAlternateLighter);
    }
    if (colour.isValid())
        painter->fillRect(option.rect, colour);
    opt.state &= ~QStyle::State_HasFocus;
    m_paintingSuppressed = index.column() == 1 && m_editedRow && m_editedRow == m_editorPrivate->rowOfIndex(index);
    QItemDelegate::paint(painter, opt, index);
    m_paintingSuppressed = false;

    opt.palette.setCurrentColorGroup(QPalette::Active);
    if (hasValue && !m_editorPrivate->isLastVisibleColumn(index.column())) {
        painter->save();
        painter->setPen(gridLineColor(opt, opt.widget));
        const int x = option.direction == Qt::LeftToRight ? option.rect.right() : option.rect.left();
        painter->drawLine(x, option.rect.y(), x, option.rect.bottom());
        painter->restore();
    }
}

QSize QtPropertyEditorDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QItemDelegate::sizeHint(option, index) + QSize(3, 4);
}

QWidget *QtPropertyEditorDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                                const QModelIndex &index) const
{
    if (!m_editorPrivate || index.column() != 1)
        return nullptr;
    QtProperty *property = m_editorPrivate->propertyOfIndex(index);
    QTreeWidgetItem *row = m_editorPrivate->rowOfIndex(index);
    if (!property || !row || !(row->flags() & Qt::ItemIsEnabled))
        return nullptr;
    // A handler of the editor's creation may take the row away, lock it, or
    // delete the editor: then no editor opens.
    const QPersistentModelIndex stays(index);
    const QPointer<QWidget> made = m_editorPrivate->createEditor(property, parent);
    QWidget *editor = made;
    if (!editor)
        return nullptr;
    if (!stays.isValid() || m_editorPrivate->rowOfIndex(stays) != row || !(row->flags() & Qt::ItemIsEnabled)) {
        editor->hide();
        editor->deleteLater();
        return nullptr;
    }
    editor->setAutoFillBackground(true);
    editor->installEventFilter(const_cast<QtPropertyEditorDelegate *>(this));
    connect(editor, SIGNAL(destroyed(QObject *)), this, SLOT(slotEditorDestroyed(QObject *)));
    m_propertyToEditor[property] = editor;
    m_editorToProperty[editor] = property;
    m_editedRow = row;
    m_editedWidget = editor;
    return editor;
}

void QtPropertyEditorDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                    const QModelIndex &) const
{
    // One pixel short, so that the grid line under the row stays visible.
    editor->setGeometry(option.rect.adjusted(0, 0, 0, -1));
}

void QtPropertyEditorDelegate::drawDisplay(QPainter *painter, const QStyleOptionViewItem &option,
                                           const QRect &rect, const QString &text) const
{
    if (!m_paintingSuppressed)
        QItemDelegate::drawDisplay(painter, option, rect, text);
}

void QtPropertyEditorDelegate::drawDecoration(QPainter *painter, const QStyleOptionViewItem &option,
                                              const QRect &rect, const QPixmap &pixmap) const
{
    if (!m_paintingSuppressed)
        QItemDelegate::drawDecoration(painter, option, rect, pixmap);
}

void QtPropertyEditorDelegate::slotEditorDestroyed(QObject *object)
{
    // The editor is half destroyed: it is matched by address, never cast.
    for (auto it = m_editorToProperty.begin(); it != m_editorToProperty.end(); ++it) {
        if (static_cast<QObject *>(it.key()) != object)
            continue;
        const auto editorIt = m_propertyToEditor.find(it.value());
        if (editorIt != m_propertyToEditor.end() && editorIt.value() == it.key())
            m_propertyToEditor.erase(editorIt);
        m_editorToProperty.erase(it);
        break;
    }
    if (static_cast<QObject *>(m_editedWidget) == object) {
        m_editedWidget = nullptr;
        m_editedRow = nullptr;
    }
}
