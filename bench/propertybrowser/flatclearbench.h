// The flat pages' part of the benchmark: a flat list of variant properties over the
// 22 value types (compound ones bring their sub-properties) shown in a tree browser,
// or in a button or group-box browser inside a 900 by 700 scroll area, and then the
// page's manager cleared while the browser lives, until the event loop has done what
// the clear left for it. Timed at 500 and 2,000 properties (and 4,000 for the tree),
// each figure printed beside its goal: the tree's clear of 2,000 within 200 ms, and
// for every browser a clear that grows linearly: a 2,000/500 ratio of about 4 (and
// 4,000/2,000 of about 2).
#pragma once

// Runs `rounds` rounds and prints the table.
void benchFlatClear(int rounds);
