#include "propertybrowser/qtabstractpropertybrowser.h"

#include "propertybrowser/qtbrowseritemstate_p.h"
#include "propertybrowser/qtfactoryregistry.h"
#include "propertybrowser/qtpropertywatch_p.h"
#include "propertybrowser/qtremovalbatch_p.h"

#include <QMap>
#include <QPair>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <utility>

class QtBrowserItemPrivate
{
public:
    QtBrowserItemPrivate(QtAbstractPropertyBrowser *owner, QtProperty *shown, QtBrowserItem *parentItem,
                         QtBrowserItem *item)
        : browser(owner), property(shown), parent(parentItem), q_ptr(item)
    {
    }

    QtAbstractPropertyBrowser *browser;
    QtProperty *property;
    QtBrowserItem *parent;
    QtBrowserItem *q_ptr;
    QList<QtBrowserItem *> children;
    // Set when its removal is decided: nothing is put under it or after it any more.
    bool leaving = false;
    // Set while the concrete browser is told of it: it has no row of its own yet.
    bool announcing = false;
};

QtBrowserItem::QtBrowserItem(QtAbstractPropertyBrowser *browser, QtProperty *property,
                             QtBrowserItem *parent)
    : d_ptr(std::make_unique<QtBrowserItemPrivate>(browser, property, parent, this))
{
}

QtBrowserItem::~QtBrowserItem() = default;

QtProperty *QtBrowserItem::property() const { return d_ptr->property; }
QtBrowserItem *QtBrowserItem::parent() const { return d_ptr->parent; }
QList<QtBrowserItem *> QtBrowserItem::children() const { return d_ptr->children; }
QtAbstractPropertyBrowser *QtBrowserItem::browser() const { return d_ptr->browser; }

class QtAbstractPropertyBrowserPrivate
{
public:
    explicit QtAbstractPropertyBrowserPrivate(QtAbstractPropertyBrowser *browser) : q_ptr(browser) {}

    // Tracking: a property is shown exactly while it has an entry in propertyToParents.
    void insertSubTree(QtProperty *property, QtProperty *parentProperty);
    void removeSubTree(QtProperty *property, QtProperty *parentProperty);
    void connectManager(QtAbstractPropertyManager *manager, bool on);

    // Items: one per place where a property is shown.
    void createBrowserIndexes(QtProperty *property, QtProperty *parentProperty,
                              QtProperty *afterProperty);
    QtBrowserItem *createBrowserIndex(QtProperty *property, QtBrowserItem *parentIndex,
                                      QtBrowserItem *afterIndex);
    QtBrowserItem *shownUnder(QtProperty *property, const QtBrowserItem *parentItem) const;
    QtBrowserItem *itemBefore(QtProperty *property, QtBrowserItem *parentItem, int *at) const;
    void removeBrowserIndexes(QtProperty *property, QtProperty *parentProperty);
    void removeBrowserIndex(QtBrowserItem *index);
    void deleteIndex(QtBrowserItem *index);

    static bool isLeaving(const QtBrowserItem *item) { return item->d_ptr->leaving; }

    // Open while items are being made or removed; the items removed meanwhile are
    // deleted when the outermost one ends, so an item whose removal or insertion is
    // under way keeps its parent item however a handler empties the browser.
    class ItemWorkScope
    {
    public:
        explicit ItemWorkScope(QtAbstractPropertyBrowserPrivate &d) : m_d(d) { ++m_d.itemWorkDepth; }
        ~ItemWorkScope()
        {
            if (--m_d.itemWorkDepth > 0)
                return;
            for (QtBrowserItem *item : std::exchange(m_d.removedMeanwhile, {}))
                delete item;
        }
        ItemWorkScope(const ItemWorkScope &) = delete;
        ItemWorkScope &operator=(const ItemWorkScope &) = delete;

    private:
        QtAbstractPropertyBrowserPrivate &m_d;
    };

    QtAbstractPropertyBrowser *q_ptr;
    QList<QtProperty *> subItems;
    // The shown properties of each manager: while there are any, the browser
    // follows the manager's signals.
    QMap<QtAbstractPropertyManager *, QSet<QtProperty *>> managerToProperties;
    QMap<QtProperty *, QList<QtProperty *>> propertyToParents;
    QMap<QtProperty *, QtBrowserItem *> topLevelPropertyToIndex;
    QList<QtBrowserItem *> topLevelIndexes;
    QMap<QtProperty *, QList<QtBrowserItem *>> propertyToIndexes;
    QtBrowserItem *currentItem = nullptr;
    int itemWorkDepth = 0;
    QList<QtBrowserItem *> removedMeanwhile;
};

namespace {

// Takes an entry that the list holds once out of it. Looked for from the end:
// siblings go last first, and a manager's clear deletes the newest first.
template <class T>
void removeLast(QList<T *> &list, T *entry)
{
    const int pos = list.lastIndexOf(entry);
    if (pos >= 0)
        list.removeAt(pos);
}

// Whether an item sits under the given parent property (both null for top level).
bool isUnder(const QtBrowserItem *item, const QtProperty *parentProperty)
{
    const QtBrowserItem *parentIndex = item->parent();
    if (!parentProperty)
        return !parentIndex;
    return parentIndex && parentIndex->property() == parentProperty;
}

} // namespace

void QtAbstractPropertyBrowserPrivate::insertSubTree(QtProperty *property, QtProperty *parentProperty)
{
    const auto it = propertyToParents.find(property);
    if (it != propertyToParents.end()) {
        // Its sub-tree is tracked already.
        it->append(parentProperty);
        return;
    }
    QtAbstractPropertyManager *manager = property->propertyManager();
    if (!managerToProperties.contains(manager))
        connectManager(manager, true);
    managerToProperties[manager].insert(property);
    propertyToParents[property].append(parentProperty);

    const QList<QtProperty *> subs = property->subProperties();
    for (QtProperty *sub : subs) {
        if (!qtPropertyIsGoing(sub))
            insertSubTree(sub, property);
    }
}

void QtAbstractPropertyBrowserPrivate::removeSubTree(QtProperty *property, QtProperty *parentProperty)
{
    const auto it = propertyToParents.find(property);
    if (it == propertyToParents.end())
        return;
    it->removeAll(parentProperty);
    if (!it->isEmpty())
        return; // still shown elsewhere
    propertyToParents.erase(it);

    QtAbstractPropertyManager *manager = property->propertyManager();
    const auto managerIt = managerToProperties.find(manager);
    if (managerIt != managerToProperties.end()) {
        managerIt->remove(property);
        if (managerIt->isEmpty()) {
            managerToProperties.erase(managerIt);
            connectManager(manager, false);
        }
    }

    const QList<QtProperty *> subs = property->subProperties();
    for (QtProperty *sub : subs)
        removeSubTree(sub, property);
}

void QtAbstractPropertyBrowserPrivate::connectManager(QtAbstractPropertyManager *manager, bool on)
{
    static const char *const links[][2] = {
        {SIGNAL(propertyInserted(QtProperty *, QtProperty *, QtProperty *)),
         SLOT(slotPropertyInserted(QtProperty *, QtProperty *, QtProperty *))},
        {SIGNAL(propertyRemoved(QtProperty *, QtProperty *)),
         SLOT(slotPropertyRemoved(QtProperty *, QtProperty *))},
        {SIGNAL(propertyDestroyed(QtProperty *)), SLOT(slotPropertyDestroyed(QtProperty *))},
        {SIGNAL(propertyChanged(QtProperty *)), SLOT(slotPropertyDataChanged(QtProperty *))},
    };
    for (const auto &link : links) {
        if (on)
            QObject::connect(manager, link[0], q_ptr, link[1]);
        else
            QObject::disconnect(manager, link[0], q_ptr, link[1]);
    }
}

void QtAbstractPropertyBrowserPrivate::createBrowserIndexes(QtProperty *property,
                                                            QtProperty *parentProperty,
                                                            QtProperty *afterProperty)
{
    // A handler may remove a parent item or the after item, or delete the property,
    // while the first items are made.
    const ItemWorkScope inserting(*this);
    const QtPropertyWatch shown(property);
    if (!parentProperty) {
        QtBrowserItem *afterItem = afterProperty ? topLevelPropertyToIndex.value(afterProperty) : nullptr;
        createBrowserIndex(property, nullptr, afterItem && !afterItem->d_ptr->leaving ? afterItem : nullptr);
        return;
    }
    // Under each item of the parent, in the place its sub-property list gives now:
    // a handler that ran before may have moved the siblings, and the items of those
    // before it may be yet to come. A parent item that is still being made may show
    // it already, or will once its own walk reaches it; so does one whose browser is
    // still being told of it (a handler of that adds the sub-property), which has
    // nowhere to put a child yet. Nothing goes under an item that is being removed.
    const QList<QtBrowserItem *> parentItems = propertyToIndexes.value(parentProperty);
    for (QtBrowserItem *parentItem : parentItems) {
        if (!shown.isAlive() || !qtIsSubPropertyOf(property, parentProperty))
            return;
        if (parentItem->d_ptr->leaving || parentItem->d_ptr->announcing || shownUnder(property, parentItem))
            continue;
        int at = -1;
        createBrowserIndex(property, parentItem, itemBefore(property, parentItem, &at));
    }
}

QtBrowserItem *QtAbstractPropertyBrowserPrivate::shownUnder(QtProperty *property,
                                                           const QtBrowserItem *parentItem) const
{
    const auto it = propertyToIndexes.constFind(property);
    if (it == propertyToIndexes.constEnd())
        return nullptr;
    for (QtBrowserItem *item : it.value()) {
        if (item->parent() == parentItem && !item->d_ptr->leaving)
            return item;
    }
    return nullptr;
}

// The item that a new item of the sub-property goes after: that of the nearest
// sibling before it in its parent's list that the parent item shows. `at` is where
// the sub-property is looked for first, and where it was found.
QtBrowserItem *QtAbstractPropertyBrowserPrivate::itemBefore(QtProperty *property, QtBrowserItem *parentItem,
                                                           int *at) const
{
    const QList<QtProperty *> siblings = parentItem->property()->subProperties();
    int pos = siblings.value(*at) == property ? *at : siblings.lastIndexOf(property);
    *at = pos;
    while (--pos >= 0) {
        if (QtBrowserItem *item = shownUnder(siblings.at(pos), parentItem))
            return item;
    }
    return nullptr;
}

QtBrowserItem *QtAbstractPropertyBrowserPrivate::createBrowserIndex(QtProperty *property,
                                                                  QtBrowserItem *parentIndex,
                                                                  QtBrowserItem *afterIndex)
{
    const ItemWorkScope inserting(*this);
    auto *newIndex = new QtBrowserItem(q_ptr, property, parentIndex);
    // The item before is looked for from the end, where adding puts it.
    if (parentIndex) {
        QList<QtBrowserItem *> &siblings = parentIndex->d_ptr->children;
        siblings.insert(siblings.lastIndexOf(afterIndex) + 1, newIndex);
    } else {
        topLevelPropertyToIndex[property] = newIndex;
        topLevelIndexes.insert(topLevelIndexes.lastIndexOf(afterIndex) + 1, newIndex);
    }
    propertyToIndexes[property].append(newIndex);

    newIndex->d_ptr->announcing = true;
    q_ptr->itemInserted(newIndex, afterIndex);
    newIndex->d_ptr->announcing = false;

    // A handler of what itemInserted does may remove the new item, or one made
    // before it, or delete their properties: until the outermost insertion ends a
    // removed item is only marked, so the items here stay good, and an item that
    // stays has its property. It may also change the sub-properties: one it
    // inserts is shown here, one it takes out is not shown.
    if (newIndex->d_ptr->leaving)
        return newIndex;
    QVector<QPair<QtProperty *, QtPropertyWatch>> subs;
    for (QtProperty *sub : property->subProperties())
        subs.append({sub, QtPropertyWatch(sub)});
    int at = 0;
    for (const auto &sub : qAsConst(subs)) {
        if (newIndex->d_ptr->leaving)
            break;
        if (!sub.second.isAlive() || !qtIsSubPropertyOf(sub.first, property) || shownUnder(sub.first, newIndex))
            continue;
        QtBrowserItem *after = itemBefore(sub.first, newIndex, &at);
        createBrowserIndex(sub.first, newIndex, after);
        ++at;
    }
    return newIndex;
}

void QtAbstractPropertyBrowserPrivate::removeBrowserIndexes(QtProperty *property,
                                                            QtProperty *parentProperty)
{
    // The items that go are marked first. A handler that runs while one of them is
    // removed may remove the others itself, or show the property anew; each round
    // looks for the next marked one that is still there.
    const auto it = propertyToIndexes.constFind(property);
    if (it == propertyToIndexes.constEnd())
        return;
    for (QtBrowserItem *item : it.value()) {
        if (isUnder(item, parentProperty))
            item->d_ptr->leaving = true;
    }
    for (;;) {
        const QList<QtBrowserItem *> shown = propertyToIndexes.value(property);
        const auto next = std::find_if(shown.cbegin(), shown.cend(), [](const QtBrowserItem *item) {
            return item->d_ptr->leaving;
        });
        if (next == shown.cend())
            return;
        removeBrowserIndex(*next);
    }
}

void QtAbstractPropertyBrowserPrivate::removeBrowserIndex(QtBrowserItem *index)
{
    const ItemWorkScope removing(*this);
    index->d_ptr->leaving = true;
    // Out of every list before anything is told of it: a handler that runs during
    // the removal finds it nowhere, so it cannot remove it a second time.
    QtProperty *property = index->property();
    if (QtBrowserItem *parentIndex = index->parent()) {
        removeLast(parentIndex->d_ptr->children, index);
    } else {
        // The entry may be that of the property shown anew by a handler.
        const auto top = topLevelPropertyToIndex.find(property);
        if (top != topLevelPropertyToIndex.end() && top.value() == index)
            topLevelPropertyToIndex.erase(top);
        removeLast(topLevelIndexes, index);
    }
    const auto it = propertyToIndexes.find(property);
    if (it != propertyToIndexes.end()) {
        it->removeAll(index);
        if (it->isEmpty())
            propertyToIndexes.erase(it);
    }

    // Children first, the last first; nothing new comes under a leaving item.
    QList<QtBrowserItem *> &children = index->d_ptr->children;
    while (!children.isEmpty())
        removeBrowserIndex(children.last());

    q_ptr->itemRemoved(index);
    // A current item that is gone is no current item.
    if (currentItem == index)
        q_ptr->setCurrentItem(nullptr);
    removedMeanwhile.append(index);
}

void QtAbstractPropertyBrowserPrivate::deleteIndex(QtBrowserItem *index)
{
    const QList<QtBrowserItem *> children = index->d_ptr->children;
    for (QtBrowserItem *child : children)
        deleteIndex(child);
    delete index;
}

bool qtBrowserItemIsLeaving(const QtBrowserItem *item)
{
    return item && QtAbstractPropertyBrowserPrivate::isLeaving(item);
}

QtAbstractPropertyBrowser::QtAbstractPropertyBrowser(QWidget *parent)
    : QWidget(parent), d_ptr(std::make_unique<QtAbstractPropertyBrowserPrivate>(this))
{
}

QtAbstractPropertyBrowser::~QtAbstractPropertyBrowser()
{
    // No binding may outlive the browser: a later browser at the same address
    // would inherit it, and a factory would stay connected for nobody.
    QtFactoryRegistry::forgetBrowser(this);
    const QList<QtBrowserItem *> indexes = d_ptr->topLevelIndexes;
    for (QtBrowserItem *index : indexes)
        d_ptr->deleteIndex(index);
}

QList<QtProperty *> QtAbstractPropertyBrowser::properties() const { return d_ptr->subItems; }

QList<QtBrowserItem *> QtAbstractPropertyBrowser::items(QtProperty *property) const
{
    return d_ptr->propertyToIndexes.value(property);
}

QtBrowserItem *QtAbstractPropertyBrowser::topLevelItem(QtProperty *property) const
{
    return d_ptr->topLevelPropertyToIndex.value(property);
}

QList<QtBrowserItem *> QtAbstractPropertyBrowser::topLevelItems() const
{
    return d_ptr->topLevelIndexes;
}

void QtAbstractPropertyBrowser::clear()
{
    // The concrete browser holds back work that each removal would repeat.
    const QtRemovalBatch batch;
    const QList<QtProperty *> subList = properties();
    for (int i = subList.size() - 1; i >= 0; --i)
        removeProperty(subList.at(i));
}

QtBrowserItem *QtAbstractPropertyBrowser::addProperty(QtProperty *property)
{
    QtProperty *afterProperty = d_ptr->subItems.isEmpty() ? nullptr : d_ptr->subItems.last();
    return insertProperty(property, afterProperty);
}

QtBrowserItem *QtAbstractPropertyBrowser::insertProperty(QtProperty *property,
                                                        QtProperty *afterProperty)
{
    // A property being destroyed is shown nowhere any more.
    if (!property || qtPropertyIsGoing(property) || d_ptr->subItems.contains(property))
        return nullptr;
    // An after property that is not top-level counts as none: the property is
    // shown first rather than listed without an item.
    const int afterPos = afterProperty ? d_ptr->subItems.indexOf(afterProperty) : -1;
    if (afterPos < 0)
        afterProperty = nullptr;

    // Listed and followed before its items are made: a handler that runs while
    // they are made and removes the property, or changes its sub-properties, finds
    // it shown.
    d_ptr->subItems.insert(afterPos + 1, property);
    d_ptr->insertSubTree(property, nullptr);
    d_ptr->createBrowserIndexes(property, nullptr, afterProperty);
    return topLevelItem(property);
}

void QtAbstractPropertyBrowser::removeProperty(QtProperty *property)
{
    // From the end, as removeLast does.
    const int pos = d_ptr->subItems.lastIndexOf(property);
    if (pos < 0)
        return;
    d_ptr->subItems.removeAt(pos);
    d_ptr->removeSubTree(property, nullptr);
    d_ptr->removeBrowserIndexes(property, nullptr);
}

void QtAbstractPropertyBrowser::unsetFactoryForManager(QtAbstractPropertyManager *manager)
{
    QtFactoryRegistry::unbind(this, manager);
}

QtBrowserItem *QtAbstractPropertyBrowser::currentItem() const { return d_ptr->currentItem; }

void QtAbstractPropertyBrowser::setCurrentItem(QtBrowserItem *item)
{
    if (item == d_ptr->currentItem)
        return;
    d_ptr->currentItem = item;
    emit currentItemChanged(item);
}

QWidget *QtAbstractPropertyBrowser::createEditor(QtProperty *property, QWidget *parent)
{
    if (!property)
        return nullptr;
    QtAbstractEditorFactoryBase *factory =
        QtFactoryRegistry::factoryFor(this, property->propertyManager());
    return factory ? factory->createEditor(property, parent) : nullptr;
}

bool QtAbstractPropertyBrowser::bindFactory(QtAbstractPropertyManager *manager,
                                            QtAbstractEditorFactoryBase *factory)
{
    return QtFactoryRegistry::bind(this, manager, factory);
}

void QtAbstractPropertyBrowser::slotPropertyInserted(QtProperty *property, QtProperty *parent,
                                                     QtProperty *after)
{
    // A receiver that ran before this one may have undone the insertion.
    if (!qtInsertionStands(property, parent) || !d_ptr->propertyToParents.contains(parent))
        return;
    // Followed before its items are made, as in insertProperty.
    d_ptr->insertSubTree(property, parent);
    d_ptr->createBrowserIndexes(property, parent, after);
}

void QtAbstractPropertyBrowser::slotPropertyRemoved(QtProperty *property, QtProperty *parent)
{
    if (!d_ptr->propertyToParents.contains(parent))
        return;
    d_ptr->removeSubTree(property, parent);
    d_ptr->removeBrowserIndexes(property, parent);
}

void QtAbstractPropertyBrowser::slotPropertyDestroyed(QtProperty *property)
{
    // A property is top-level exactly while it has a top-level item; looked up in
    // the map, not the list, since every shown property of a cleared manager asks.
    if (d_ptr->topLevelPropertyToIndex.contains(property))
        removeProperty(property);
}

void QtAbstractPropertyBrowser::slotPropertyDataChanged(QtProperty *property)
{
    if (!d_ptr->propertyToParents.contains(property))
        return;
    const QList<QtBrowserItem *> shown = d_ptr->propertyToIndexes.value(property);
    for (QtBrowserItem *item : shown)
        itemChanged(item);
}
