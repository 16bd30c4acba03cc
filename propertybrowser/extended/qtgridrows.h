// Grid-row shifting of the grid-based property browsers: a row inserted into or
// removed from a QGridLayout moves the rows below it, keeping every item's column
// and spans.
#pragma once

class QGridLayout;

// Every item placed at grid row `row` or below moves one row down.
void shiftRowsDown(QGridLayout *layout, int row);
// Every item placed below grid row `row` moves one row up; the row itself is
// expected to be empty.
void shiftRowsUp(QGridLayout *layout, int row);
