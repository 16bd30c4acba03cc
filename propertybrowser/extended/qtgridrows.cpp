#include "propertybrowser/extended/qtgridrows.h"

#include <QGridLayout>
#include <QVector>

namespace {

struct Placed
{
    QLayoutItem *item;
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};

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
        layout->addItem(p.item, p.row, p.column, p.rowSpan, p.columnSpan);
}

} // namespace

void shiftRowsDown(QGridLayout *layout, int row)
{
    shiftRows(layout, 1, [row](int r) { return r >= row; });
}

void shiftRowsUp(QGridLayout *layout, int row)
{
    shiftRows(layout, -1, [row](int r) { return r > row; });
}
