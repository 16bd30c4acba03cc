// Grid-row shifting of the grid-based property browsers: a row inserted into or
// removed from a QGridLayout moves the rows below it, keeping every item's column
// and spans.
//
// The browsers' own layouts (QtRowGridLayout) move their rows late: a shift only
// notes the first grid row that moved, and the layout has its browser put the
// items from that row on in place before anything reads it. Opening every panel of
// a long page, or filling it, would otherwise move every row below each change,
// once per change.
#pragma once

#include <QGridLayout>
#include <QSet>

#include <functional>
#include <limits>

// Every item placed at grid row `row` or below moves one row down.
void shiftRowsDown(QGridLayout *layout, int row);
// Every item placed below grid row `row` moves one row up; the row itself is
// expected to be empty.
void shiftRowsUp(QGridLayout *layout, int row);

// Where one item of a QtRowGridLayout belongs: its widget (the item itself for one
// without a widget, such as a spacer) and its grid row.
struct QtRowPlace
{
    const void *key;
    int row;
};

// A grid layout whose rows its browser places. The browser keeps the items in the
// order of their rows (every item is added with putItem, or added and then marked
// with markRowsFrom) and tells, through the placer, where each item from a grid row
// on belongs; the items keep their columns and spans. Rows marked as moved are put
// in place before the layout computes its size or geometry and before its items
// are counted, looked at or taken, so what Qt and callers read is always placed;
// getItemPosition and itemAtPosition read the items as they stand, so call count()
// first.
class QtRowGridLayout : public QGridLayout
{
public:
    // Appends to `places`, top down, where every item of grid row `fromRow` or below
    // belongs; false while the browser is changing its rows (they are placed at the
    // next read after the change).
    using Placer = std::function<bool(int fromRow, QVector<QtRowPlace> &places)>;

    explicit QtRowGridLayout(QWidget *parent);

    // The browser going away unsets it.
    void setPlacer(Placer placer) { m_placer = std::move(placer); }
    // Adds a widget and marks its row.
    void putWidget(QWidget *widget, int row, int column, int rowSpan = 1, int columnSpan = 1);
    // The items at grid row `row` and below may stand in the wrong rows.
    void markRowsFrom(int row);
    // Takes the items of these widgets out, in one pass over the items (each
    // removeWidget looks through them all), and marks the rows from the first one
    // that lost an item. The widgets are not touched, so they may be gone already.
    void dropWidgets(const QSet<const QWidget *> &widgets);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    int minimumHeightForWidth(int width) const override;
    void setGeometry(const QRect &rect) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;

private:
    static constexpr int kPlaced = std::numeric_limits<int>::max();

    void placeMarkedRows() const;
    void placeRows(int fromRow, const QVector<QtRowPlace> &places);

    Placer m_placer;
    mutable int m_markedFrom = kPlaced;
    mutable bool m_placing = false;
};
