// The grid browsers' part of the benchmark: a flat list of variant properties over
// the 22 value types (compound ones bring their sub-properties) added to a button
// or group-box browser that is already on screen in a 900 by 700 scroll area, as a
// page of such a browser sits in a window; then the event loop shows and lays out
// the rows, then (button browser) every item is expanded. Timed at 500 and 2,000
// properties, the time of the three steps together is judged against 1.5 s at
// 2,000 and against a ratio of 4.5 between the two counts (4 when it grows
// linearly).
#pragma once

// Runs `rounds` rounds and prints the table.
void benchGridBrowsers(int rounds);
