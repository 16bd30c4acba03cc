#include "propertybrowser/extended/qtgridrows.h"

#include <QHash>
#include <QVector>

#include <algorithm>
#include <utility>

namespace {

struct Placed
{
    QLayoutItem *item;
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};

void addPlaced(QGridLayout *layout, const Placed &p)
{
    layout->addItem(p.item, p.row, p.column, p.rowSpan, p.columnSpan, p.item->alignment());
}

// Takes every item whose row passes `moves` out of the layout and puts it back
// `delta` rows away.
template <class Moves>
void shiftRows(QGridLayout *layout, int delta, Moves moves)
{
    QVector<Placed> taken;
    for (int i = layout->count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        layout->getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        if (!moves(p.row))
            continue;
        p.item = layout->takeAt(i);
        p.row += delta;
        taken.append(p);
    }
    for (const Placed &p : qAsConst(taken))
        addPlaced(layout, p);
}

} // namespace

void shiftRowsDown(QGridLayout *layout, int row)
{
    if (auto *rows = dynamic_cast<QtRowGridLayout *>(layout)) {
        rows->markRowsFrom(row);
        return;
    }
    shiftRows(layout, 1, [row](int r) { return r >= row; });
}

void shiftRowsUp(QGridLayout *layout, int row)
{
    if (auto *rows = dynamic_cast<QtRowGridLayout *>(layout)) {
        rows->markRowsFrom(row);
        return;
    }
    shiftRows(layout, -1, [row](int r) { return r > row; });
}

// --- QtRowGridLayout ---

QtRowGridLayout::QtRowGridLayout(QWidget *parent) : QGridLayout(parent) {}

void QtRowGridLayout::putWidget(QWidget *widget, int row, int column, int rowSpan, int columnSpan)
{
    addWidget(widget, row, column, rowSpan, columnSpan);
    markRowsFrom(row);
}

void QtRowGridLayout::markRowsFrom(int row)
{
    m_markedFrom = std::min(m_markedFrom, std::max(row, 0));
    invalidate();
}

void QtRowGridLayout::dropWidgets(const QSet<const QWidget *> &widgets)
{
    if (widgets.isEmpty())
        return;
    // Taken from the end, the items cost nothing to take out; the kept ones go back
    // in their order, so the items stay in the order of their rows.
    QVector<Placed> kept;
    int firstDropped = kPlaced;
    for (int i = QGridLayout::count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = QGridLayout::takeAt(i);
        if (widgets.contains(p.item->widget())) {
            firstDropped = std::min(firstDropped, p.row);
            delete p.item;
        } else {
            kept.append(p);
        }
    }
    for (auto it = kept.crbegin(); it != kept.crend(); ++it)
        addPlaced(this, *it);
    if (firstDropped != kPlaced)
        markRowsFrom(firstDropped);
}

void QtRowGridLayout::placeMarkedRows() const
{
    if (m_markedFrom == kPlaced || m_placing || !m_placer)
        return;
    QVector<QtRowPlace> places;
    if (!m_placer(m_markedFrom, places))
        return;
    const int from = std::exchange(m_markedFrom, kPlaced);
    // Placing takes and adds items: the layout object itself is never const.
    m_placing = true;
    const_cast<QtRowGridLayout *>(this)->placeRows(from, places);
    m_placing = false;
}

// The items are in the order of their rows, and an item added since the last
// placing stands at or below the first marked row; so the items from that row on
// are the last ones, and they are all that moves. Putting them back in the order of
// their new rows keeps the order.
void QtRowGridLayout::placeRows(int fromRow, const QVector<QtRowPlace> &places)
{
    QVector<Placed> tail;
    for (int i = QGridLayout::count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        if (p.row < fromRow)
            break;
        p.item = QGridLayout::takeAt(i);
        tail.append(p);
    }
    QHash<const void *, int> byKey;
    byKey.reserve(tail.size());
    for (int i = 0; i < tail.size(); ++i) {
        QLayoutItem *item = tail.at(i).item;
        byKey.insert(item->widget() ? static_cast<const void *>(item->widget()) : item, i);
    }
    for (const QtRowPlace &place : places) {
        const auto it = byKey.constFind(place.key);
        if (it != byKey.constEnd())
            tail[it.value()].row = place.row;
    }
    // An item the browser does not know keeps its row.
    std::stable_sort(tail.begin(), tail.end(), [](const Placed &a, const Placed &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    for (const Placed &p : qAsConst(tail))
        addPlaced(this, p);
}

QSize QtRowGridLayout::sizeHint() const
{
    placeMarkedRows();
    return QGridLayout::sizeHint();
}

QSize QtRowGridLayout::minimumSize() const
{
    placeMarkedRows();
    return QGridLayout::minimumSize();
}

QSize QtRowGridLayout::maximumSize() const
{
    placeMarkedRows();
    return QGridLayout::maximumSize();
}

Qt::Orientations QtRowGridLayout::expandingDirections() const
{
    placeMarkedRows();
    return QGridLayout::expandingDirections();
}

bool QtRowGridLayout::hasHeightForWidth() const
{
    placeMarkedRows();
    return QGridLayout::hasHeightForWidth();
}

int QtRowGridLayout::heightForWidth(int width) const
{
    placeMarkedRows();
    return QGridLayout::heightForWidth(width);
}

int QtRowGridLayout::minimumHeightForWidth(int width) const
{
    placeMarkedRows();
    return QGridLayout::minimumHeightForWidth(width);
}

void QtRowGridLayout::setGeometry(const QRect &rect)
{
    placeMarkedRows();
    QGridLayout::setGeometry(rect);
}

QLayoutItem *QtRowGridLayout::itemAt(int index) const
{
    placeMarkedRows();
    return QGridLayout::itemAt(index);
}

QLayoutItem *QtRowGridLayout::takeAt(int index)
{
    placeMarkedRows();
    return QGridLayout::takeAt(index);
}

int QtRowGridLayout::count() const
{
    placeMarkedRows();
    return QGridLayout::count();
}
