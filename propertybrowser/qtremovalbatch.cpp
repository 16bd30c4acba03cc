#include "propertybrowser/qtremovalbatch_p.h"

#include <QVector>

#include <algorithm>
#include <utility>

namespace {

struct HeldWork
{
    const void *owner;
    std::function<void()> work;
};

// Property browsers live in one thread; each thread keeps its own batches anyway.
thread_local int openBatches = 0;
thread_local QVector<HeldWork> heldWork;

} // namespace

QtRemovalBatch::QtRemovalBatch() { ++openBatches; }

QtRemovalBatch::~QtRemovalBatch()
{
    if (--openBatches > 0)
        return;
    // A piece of work may open a batch of its own or cancel another owner's work.
    while (!heldWork.isEmpty()) {
        HeldWork held = heldWork.takeFirst();
        held.work();
    }
}

bool QtRemovalBatch::isOpen() { return openBatches > 0; }

void QtRemovalBatch::atEnd(const void *owner, std::function<void()> work)
{
    if (!isOpen())
        return;
    const bool asked = std::any_of(heldWork.cbegin(), heldWork.cend(),
                                   [owner](const HeldWork &held) { return held.owner == owner; });
    if (!asked)
        heldWork.append({owner, std::move(work)});
}

void QtRemovalBatch::cancel(const void *owner)
{
    heldWork.erase(std::remove_if(heldWork.begin(), heldWork.end(),
                                  [owner](const HeldWork &held) { return held.owner == owner; }),
                   heldWork.end());
}
