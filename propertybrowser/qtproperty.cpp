#include "propertybrowser/qtproperty.h"

#include "propertybrowser/qtfactoryregistry.h"
#include "propertybrowser/qtpropertywatch_p.h"
#include "propertybrowser/qtremovalbatch_p.h"

#include <QVector>

#include <algorithm>

class QtPropertyPrivate
{
public:
    explicit QtPropertyPrivate(QtProperty *property, QtAbstractPropertyManager *owner)
        : q_ptr(property), manager(owner)
    {
    }

    QtProperty *q_ptr;
    QSet<QtProperty *> parentItems;
    QList<QtProperty *> subItems;
    QString toolTip;
    QString statusTip;
    QString whatsThis;
    QString name;
    QStringList columnTexts;
    bool enabled = true;
    bool modified = false;
    QtAbstractPropertyManager *const manager;
    // The order in which its manager added it.
    quint64 serial = 0;
    // Set as its destruction starts.
    bool going = false;
};

class QtAbstractPropertyManagerPrivate
{
public:
    explicit QtAbstractPropertyManagerPrivate(QtAbstractPropertyManager *manager) : q_ptr(manager) {}

    QtAbstractPropertyManager *q_ptr;
    QSet<QtProperty *> properties;
    quint64 nextSerial = 0;
};

namespace {

// Stores `value` into `field` and announces it, only when it differs.
template <class T>
void setAttribute(QtProperty *property, T &field, const T &value)
{
    if (field == value)
        return;
    field = value;
    emit property->propertyManager()->propertyChanged(property);
}

// Whether `target` is `root` or lies somewhere below it.
bool isInSubTree(QtProperty *root, QtProperty *target)
{
    QList<QtProperty *> pending = root->subProperties();
    QSet<QtProperty *> visited;
    while (!pending.isEmpty()) {
        QtProperty *p = pending.takeFirst();
        if (p == target)
            return true;
        if (visited.contains(p))
            continue;
        visited.insert(p);
        pending.append(p->subProperties());
    }
    return false;
}

// The insertions being announced, innermost last. One that is undone while its
// announcement runs is marked, before the memory of a deleted property goes.
struct Announcement
{
    const QtProperty *property;
    const QtProperty *parent;
    bool stands;
};
thread_local QVector<Announcement> announcements;

void markUndone(const QtProperty *property, const QtProperty *parent)
{
    for (Announcement &a : announcements) {
        if ((!property || a.property == property) && (!parent || a.parent == parent))
            a.stands = false;
    }
}

} // namespace

QtProperty::QtProperty(QtAbstractPropertyManager *manager)
    : d_ptr(std::make_unique<QtPropertyPrivate>(this, manager))
{
}

QtProperty::~QtProperty()
{
    // Out of its manager first: a handler of the signals below may clear the
    // manager, and must not find it there to delete it again.
    d_ptr->going = true;
    if (!announcements.isEmpty()) {
        markUndone(this, nullptr);
        markUndone(nullptr, this);
    }
    QtAbstractPropertyManager *manager = d_ptr->manager;
    const bool owned = manager->d_ptr->properties.remove(this);

    // Observers see every removal while the links still exist. A handler may
    // delete a parent meanwhile, which unlinks it from this one.
    const QSet<QtProperty *> parents = d_ptr->parentItems;
    for (QtProperty *parent : parents) {
        if (d_ptr->parentItems.contains(parent))
            emit parent->propertyManager()->propertyRemoved(this, parent);
    }
    if (owned) {
        emit manager->propertyDestroyed(this);
        manager->uninitializeProperty(this);
    }

    // The links as the handlers left them: a property going takes no new ones.
    for (QtProperty *sub : qAsConst(d_ptr->subItems))
        sub->d_ptr->parentItems.remove(this);
    // Once in each parent's list (inserting refuses a second time); looked for
    // from the end, where a clear, newest first, finds it.
    for (QtProperty *parent : qAsConst(d_ptr->parentItems)) {
        QList<QtProperty *> &siblings = parent->d_ptr->subItems;
        const int pos = siblings.lastIndexOf(this);
        if (pos >= 0)
            siblings.removeAt(pos);
    }
}

QList<QtProperty *> QtProperty::subProperties() const { return d_ptr->subItems; }
QtAbstractPropertyManager *QtProperty::propertyManager() const { return d_ptr->manager; }
QString QtProperty::toolTip() const { return d_ptr->toolTip; }
QString QtProperty::statusTip() const { return d_ptr->statusTip; }
QString QtProperty::whatsThis() const { return d_ptr->whatsThis; }
QString QtProperty::propertyName() const { return d_ptr->name; }
bool QtProperty::isEnabled() const { return d_ptr->enabled; }
bool QtProperty::isModified() const { return d_ptr->modified; }
QStringList QtProperty::columnTexts() const { return d_ptr->columnTexts; }

bool QtProperty::hasValue() const { return d_ptr->manager->hasValue(this); }
QIcon QtProperty::valueIcon() const { return d_ptr->manager->valueIcon(this); }
QString QtProperty::valueText() const { return d_ptr->manager->valueText(this); }
QString QtProperty::displayText() const { return d_ptr->manager->displayText(this); }

void QtProperty::setToolTip(const QString &text) { setAttribute(this, d_ptr->toolTip, text); }
void QtProperty::setStatusTip(const QString &text) { setAttribute(this, d_ptr->statusTip, text); }
void QtProperty::setWhatsThis(const QString &text) { setAttribute(this, d_ptr->whatsThis, text); }
void QtProperty::setPropertyName(const QString &text) { setAttribute(this, d_ptr->name, text); }
void QtProperty::setEnabled(bool enable) { setAttribute(this, d_ptr->enabled, enable); }
void QtProperty::setModified(bool modified) { setAttribute(this, d_ptr->modified, modified); }
void QtProperty::setColumnTexts(const QStringList &texts) { d_ptr->columnTexts = texts; }

void QtProperty::addSubProperty(QtProperty *property)
{
    QtProperty *after = d_ptr->subItems.isEmpty() ? nullptr : d_ptr->subItems.last();
    insertSubProperty(property, after);
}

void QtProperty::insertSubProperty(QtProperty *property, QtProperty *afterProperty)
{
    if (!property || property == this || property->d_ptr->going || d_ptr->going)
        return;
    // Inserting an ancestor would close a cycle.
    if (isInSubTree(property, this))
        return;

    // Looked up from the property's parents and, for the position, from the
    // end, where adding puts it: filling a long list stays linear.
    if (property->d_ptr->parentItems.contains(this))
        return;
    int pos = 0;
    QtProperty *reportedAfter = nullptr;
    if (afterProperty) {
        const int at = d_ptr->subItems.lastIndexOf(afterProperty);
        if (at >= 0) {
            pos = at + 1;
            reportedAfter = afterProperty;
        }
    }
    d_ptr->subItems.insert(pos, property);
    property->d_ptr->parentItems.insert(this);
    announcements.append({property, this, true});
    emit d_ptr->manager->propertyInserted(property, this, reportedAfter);
    announcements.removeLast();
}

void QtProperty::removeSubProperty(QtProperty *property)
{
    if (!property)
        return;
    // A handler may delete either; each one's destruction unlinks it.
    const QtPropertyWatch parent(this);
    const QtPropertyWatch sub(property);
    emit d_ptr->manager->propertyRemoved(property, this);
    if (!parent.isAlive() || !sub.isAlive())
        return;
    const int pos = d_ptr->subItems.indexOf(property);
    if (pos < 0)
        return;
    d_ptr->subItems.removeAt(pos);
    property->d_ptr->parentItems.remove(this);
    markUndone(property, this);
}

QtAbstractPropertyManager::QtAbstractPropertyManager(QObject *parent)
    : QObject(parent), d_ptr(std::make_unique<QtAbstractPropertyManagerPrivate>(this))
{
}

QtAbstractPropertyManager::~QtAbstractPropertyManager()
{
    clear();
    // Browsers' factory bindings must not outlive the manager; the factories
    // themselves forget it through its destroyed signal.
    QtFactoryRegistry::forgetManager(this);
}

QSet<QtProperty *> QtAbstractPropertyManager::properties() const { return d_ptr->properties; }

void QtAbstractPropertyManager::clear()
{
    // Browsers hold back work that each removal would repeat until all are done.
    const QtRemovalBatch batch;
    // The properties without a parent go first: a browser then takes each tree it
    // shows away in one piece, and the sub-properties are no longer shown when
    // their turn comes. Newest first: a page adds its properties as it makes them,
    // so a browser loses them from the end of its lists, where a removal costs
    // nothing. A deletion may take other properties along (a compound value's
    // parts), so each is looked up before it is deleted.
    QList<QtProperty *> topLevel;
    QList<QtProperty *> others;
    for (QtProperty *property : qAsConst(d_ptr->properties))
        (property->d_ptr->parentItems.isEmpty() ? topLevel : others).append(property);
    const auto newestFirst = [](const QtProperty *a, const QtProperty *b) {
        return a->d_ptr->serial > b->d_ptr->serial;
    };
    std::sort(topLevel.begin(), topLevel.end(), newestFirst);
    std::sort(others.begin(), others.end(), newestFirst);
    for (const QList<QtProperty *> *group : {&topLevel, &others}) {
        for (QtProperty *property : *group) {
            if (d_ptr->properties.contains(property))
                delete property;
        }
    }
    // Each deletion takes the property out of the set; a handler may have added more.
    while (!d_ptr->properties.isEmpty())
        delete *d_ptr->properties.cbegin();
}

QtProperty *QtAbstractPropertyManager::addProperty(const QString &name)
{
    QtProperty *property = createProperty();
    if (!property)
        return nullptr;
    // Owned before its name is announced: a handler of that may delete it or
    // clear the manager, and must find it there.
    property->d_ptr->serial = d_ptr->nextSerial++;
    d_ptr->properties.insert(property);
    const QtPropertyWatch alive(property);
    property->setPropertyName(name);
    if (!alive.isAlive())
        return nullptr;
    initializeProperty(property);
    return alive.isAlive() ? property : nullptr;
}

bool QtAbstractPropertyManager::hasValue(const QtProperty *) const { return true; }
QIcon QtAbstractPropertyManager::valueIcon(const QtProperty *) const { return QIcon(); }
QString QtAbstractPropertyManager::valueText(const QtProperty *) const { return QString(); }
QString QtAbstractPropertyManager::displayText(const QtProperty *) const { return QString(); }
int QtAbstractPropertyManager::echoMode(const QtProperty *) const { return 0; }
void QtAbstractPropertyManager::uninitializeProperty(QtProperty *) {}

QtProperty *QtAbstractPropertyManager::createProperty() { return new QtProperty(this); }

bool qtPropertyIsGoing(const QtProperty *property) { return property->d_ptr->going; }

bool qtInsertionStands(const QtProperty *property, const QtProperty *parent)
{
    for (int i = announcements.size() - 1; i >= 0; --i) {
        const Announcement &a = announcements.at(i);
        if (a.property == property && a.parent == parent)
            return a.stands;
    }
    return true;
}

bool qtIsSubPropertyOf(const QtProperty *property, const QtProperty *parent)
{
    return property->d_ptr->parentItems.contains(const_cast<QtProperty *>(parent));
}

QtPropertyWatch::QtPropertyWatch(const QtProperty *property)
    : m_manager(property->d_ptr->manager), m_property(property), m_serial(property->d_ptr->serial)
{
}

bool QtPropertyWatch::isAlive() const
{
    // Only a property still in its manager's set is read.
    return m_manager->d_ptr->properties.contains(const_cast<QtProperty *>(m_property))
           && m_property->d_ptr->serial == m_serial;
}
