// What the abstract browser tells its concrete browsers about an item beyond the
// item virtuals. Internal to the property browser; GUI thread only.
#pragma once

class QtBrowserItem;

// True from the start of the item's removal until it is deleted: itemRemoved is
// being called for its sub-tree, its children first, then for the item itself.
bool qtBrowserItemIsLeaving(const QtBrowserItem *item);
