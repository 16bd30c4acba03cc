// What the extended managers share inside: a value whose components are shown as
// sub-properties of inner managers, and the setters of the common form. Not part of
// the library's interface.
//
// A component's sub-property is made by an inner manager, so it can be deleted by
// someone else. Its parent then keeps a null link in its place: the parent neither
// deletes it a second time nor forgets where the component stood.
#pragma once

#include "propertybrowser/qtboundedvalue.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtproperty.h"
#include "propertybrowser/qtpropertyrecords_p.h"

#include <QMap>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <type_traits>

// One component: parent to sub-property and back.
class QtSubPropertyLinks
{
public:
    void link(QtProperty *parent, QtProperty *sub)
    {
        m_toSub[parent] = sub;
        m_toParent[sub] = parent;
    }

    // Null when the parent has no such sub-property, or it was destroyed.
    QtProperty *subProperty(const QtProperty *parent) const { return m_toSub.value(parent); }
    QtProperty *parentOf(const QtProperty *sub) const { return m_toParent.value(sub); }
    // Every parent with its sub-property (null where destroyed), by parent.
    QMap<const QtProperty *, QtProperty *> subProperties() const { return m_toSub; }

    // The parent goes: its sub-property, unless already gone, goes with it.
    void release(const QtProperty *parent)
    {
        QtProperty *sub = m_toSub.take(parent);
        if (!sub)
            return;
        // Unlinked first, so that its destruction finds nothing to forget.
        m_toParent.remove(sub);
        delete sub;
    }

    // The sub-property is being destroyed from outside; true when it was this one's.
    bool forget(const QtProperty *sub)
    {
        const auto it = m_toParent.find(sub);
        if (it == m_toParent.end() || !it.value())
            return false;
        m_toSub[it.value()] = nullptr;
        m_toParent.erase(it);
        return true;
    }

private:
    QMap<const QtProperty *, QtProperty *> m_toSub;
    QMap<const QtProperty *, QtProperty *> m_toParent;
};

// The N components of a manager, indexed by the manager's own component enum.
template <std::size_t N>
class QtComponentLinks
{
public:
    struct Found
    {
        int component = -1;
        QtProperty *parent = nullptr;
    };

    QtSubPropertyLinks &operator[](int component) { return m_links[std::size_t(component)]; }
    QtProperty *subProperty(int component, const QtProperty *parent) const
    {
        return m_links[std::size_t(component)].subProperty(parent);
    }

    // The component that `sub` shows and its parent; component -1 when none.
    Found find(const QtProperty *sub) const
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (QtProperty *parent = m_links[i].parentOf(sub))
                return {int(i), parent};
        }
        return {};
    }

    // In component order, as they were made.
    void releaseAll(const QtProperty *parent)
    {
        for (QtSubPropertyLinks &links : m_links)
            links.release(parent);
    }

    void forget(const QtProperty *sub)
    {
        for (QtSubPropertyLinks &links : m_links) {
            if (links.forget(sub))
                return;
        }
    }

private:
    std::array<QtSubPropertyLinks, N> m_links;
};

// Makes one component's sub-property in the common order: made by `inner` with an
// empty name, named, given its first settings by `configure`, then linked and
// appended. Linked last, so the first settings do not come back to the parent.
template <class Inner, class Configure>
QtProperty *addComponent(QtProperty *parent, Inner *inner, QtSubPropertyLinks &links,
                         const QString &name, Configure configure)
{
    QtProperty *sub = inner->addProperty();
    sub->setPropertyName(name);
    configure(sub);
    links.link(parent, sub);
    parent->addSubProperty(sub);
    return sub;
}

// The record of a manager that keeps one value per property.
template <class T>
struct QtValueRecord
{
    T value;
};

// Common form of setValue once the value is known to be new: store it, let `push`
// bring the sub-properties in line, then propertyChanged and valueChanged. Works on
// a copy throughout: the pushes come back through the manager's own slots, and a
// receiver may delete the property with its record.
template <class Manager, class Value, class Push>
void storeAndAnnounce(Manager *manager, QtProperty *property, Value &stored, const Value &val,
                      Push push)
{
    const Value copy = val;
    stored = copy;
    const QtPropertyWatch watch(property);
    push(copy);
    if (watch.isAlive())
        QtBoundedSetters::announceValue(manager, property, copy);
}

// Common form of setValue: nothing for a property not held or an equal value.
template <class Manager, class Record, class Value, class Push>
void setCompoundValue(Manager *manager, QtPropertyRecords<Record> &records, QtProperty *property,
                      const Value &val, Push push)
{
    Record *record = records.find(property);
    if (record && !(record->value == val))
        storeAndAnnounce(manager, property, record->value, val, push);
}

// The decimals of a double-based value and of its components' sub-properties:
// limited to 0..13; announced by decimalsChanged alone.
template <class Manager, class Record, class Inner, std::size_t N>
void setComponentDecimals(Manager *manager, QtPropertyRecords<Record> &records, Inner *inner,
                          const QtComponentLinks<N> &links, QtProperty *property, int prec)
{
    Record *record = records.find(property);
    prec = qBound(0, prec, kMaxDecimals);
    if (!record || record->decimals == prec)
        return;
    for (std::size_t i = 0; i < N; ++i)
        inner->setDecimals(links.subProperty(int(i), property), prec);
    record->decimals = prec;
    emit manager->decimalsChanged(property, prec);
}

// The private part of a manager that keeps one plain value per property, with no
// components and no range: equal values are ignored, a new one is announced by
// propertyChanged, then valueChanged.
template <class Manager, class T>
class QtSingleValuePrivate
{
public:
    explicit QtSingleValuePrivate(Manager *manager) : q_ptr(manager) {}

    T value(const QtProperty *property, const T &fallback = T()) const
    {
        return values.get(property, &QtValueRecord<T>::value, fallback);
    }
    const T *find(const QtProperty *property)
    {
        QtValueRecord<T> *record = values.find(property);
        return record ? &record->value : nullptr;
    }
    void setValue(QtProperty *property, const T &val)
    {
        setAnnounced(q_ptr, values, property, &QtValueRecord<T>::value, val, &Manager::valueChanged);
    }
    void initialize(QtProperty *property, const T &initial)
    {
        values.initialize(property);
        values.find(property)->value = initial;
    }
    void uninitialize(QtProperty *property) { values.uninitialize(property); }

    Manager *q_ptr;
    QtPropertyRecords<QtValueRecord<T>> values;
};

// A component as the value texts show it: an integer in decimal, a double in fixed
// notation with the property's decimals.
inline QString componentText(int v, int) { return QString::number(v); }
inline QString componentText(double v, int decimals) { return QString::number(v, 'f', decimals); }

// The record part that the integer and the double variant of a manager differ in.
struct QtNoDecimals
{
    static constexpr int decimals = 0;
};
struct QtDecimals
{
    int decimals = 2;
};

// Hands the decimals on to a component's sub-property when its inner manager keeps them.
template <class Inner>
void setInnerDecimals([[maybe_unused]] Inner *inner, [[maybe_unused]] QtProperty *sub,
                      [[maybe_unused]] int decimals)
{
    if constexpr (std::is_same_v<Inner, QtDoublePropertyManager>)
        inner->setDecimals(sub, decimals);
}
