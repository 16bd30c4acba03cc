// Many removals in one call: a manager's clear and a browser's clear. While a batch
// is open a concrete browser may hold back work that each removal would repeat
// (a tree view told of each row, a grid layout searched for each widget) and do it
// once for all of them when the outermost batch ends, still inside the call that
// opened it. Whatever a browser holds back must leave it safe to paint and to
// query meanwhile: the items and the records of what went are gone at once, only
// views and widgets wait, and those are hidden at once. A handler may run the event
// loop, or change the browser, before the batch ends; so what waits is out of the
// user's reach, and the held-back work tells no handler of anything.
// Internal to the property browser; GUI thread only.
#pragma once

#include <functional>

class QtRemovalBatch
{
public:
    QtRemovalBatch();
    // The outermost batch runs the held-back work, in the order it was asked for.
    ~QtRemovalBatch();
    QtRemovalBatch(const QtRemovalBatch &) = delete;
    QtRemovalBatch &operator=(const QtRemovalBatch &) = delete;

    static bool isOpen();
    // Runs `work` when the outermost batch ends; one piece of work per owner and
    // batch, later calls for the same owner are ignored. Only while a batch is open.
    static void atEnd(const void *owner, std::function<void()> work);
    // Forgets the owner's work: an owner going away calls this.
    static void cancel(const void *owner);
};
