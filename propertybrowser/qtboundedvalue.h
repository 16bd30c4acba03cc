// Keeping a value between a minimum and a maximum, written once for every ranged
// manager (integer, double, date, size): the rules are the same, only how two values
// compare differs. Scalars and dates compare as a whole (a QDate by its day number);
// sizes compare width with width and height with height, each component bounded on
// its own.
//
// The rules: a new minimum raises the maximum and the value to it when they are
// lower; a new maximum lowers the minimum and the value; a range is ordered first;
// a value is limited to the maximum, then raised to the minimum. So the minimum
// never exceeds the maximum and the value stays between them.
#pragma once

#include "propertybrowser/qtproperty.h"
#include "propertybrowser/qtpropertywatch_p.h"

#include <QSize>
#include <QSizeF>

#include <utility>

template <class Value>
struct QtBoundCompare
{
    static Value raisedTo(const Value &v, const Value &lo) { return v < lo ? lo : v; }
    static Value loweredTo(const Value &v, const Value &hi) { return hi < v ? hi : v; }
    static void order(Value &lo, Value &hi)
    {
        if (hi < lo)
            std::swap(lo, hi);
    }
};

template <class Size>
struct QtSizeBoundCompare
{
    static Size raisedTo(const Size &v, const Size &lo) { return v.expandedTo(lo); }
    static Size loweredTo(const Size &v, const Size &hi) { return v.boundedTo(hi); }
    static void order(Size &lo, Size &hi)
    {
        const Size lower = lo.boundedTo(hi);
        hi = lo.expandedTo(hi);
        lo = lower;
    }
};

template <>
struct QtBoundCompare<QSize> : QtSizeBoundCompare<QSize>
{
};
template <>
struct QtBoundCompare<QSizeF> : QtSizeBoundCompare<QSizeF>
{
};

// The value, minimum and maximum of one property, in that order at the head of a
// manager's value record.
template <class Value, class Compare = QtBoundCompare<Value>>
struct QtBoundedValue
{
    Value value;
    Value minimum;
    Value maximum;

    Value bounded(const Value &v) const
    {
        return Compare::raisedTo(Compare::loweredTo(v, maximum), minimum);
    }
    void setMinimum(const Value &m)
    {
        minimum = m;
        maximum = Compare::raisedTo(maximum, m);
        value = Compare::raisedTo(value, m);
    }
    void setMaximum(const Value &m)
    {
        maximum = m;
        minimum = Compare::loweredTo(minimum, m);
        value = Compare::loweredTo(value, m);
    }
    // Expects an ordered pair (orderRange).
    void setRange(const Value &lo, const Value &hi)
    {
        minimum = lo;
        maximum = hi;
        value = bounded(value);
    }
    static void orderRange(Value &lo, Value &hi) { Compare::order(lo, hi); }
};

// The setters of a ranged manager and the signals they emit, shared by every such
// manager. The manager has the signals propertyChanged(QtProperty *),
// valueChanged(QtProperty *, Value) and rangeChanged(QtProperty *, Value, Value).
// `sync` runs after the record changed and before the value signals, for a manager
// that keeps sub-properties in line with the value.
namespace QtBoundedSetters {

struct NoSync
{
    void operator()() const {}
};

// Takes the value by copy: a receiver may delete the property, and its record with it;
// nothing more is announced of a property that went.
template <class Manager, class Value>
void announceValue(Manager *manager, QtProperty *property, const Value value)
{
    const QtPropertyWatch watch(property);
    emit manager->propertyChanged(property);
    if (watch.isAlive())
        emit manager->valueChanged(property, value);
}

// With onlyIfChanged an equal value, or one that the bounds bring back to the stored
// one, changes nothing; without it the bounded value is announced again.
template <class Manager, class Record, class Value, class Sync = NoSync>
void setValue(Manager *manager, QtProperty *property, Record &record, const Value &v,
              bool onlyIfChanged, Sync sync = Sync())
{
    if (onlyIfChanged && record.value == v)
        return;
    const Value old = record.value;
    record.value = record.bounded(v);
    if (onlyIfChanged && record.value == old)
        return;
    // A copy: a receiver of what `sync` changes may delete the property, and its
    // record with it.
    const Value now = record.value;
    const QtPropertyWatch watch(property);
    sync();
    if (watch.isAlive())
        announceValue(manager, property, now);
}

// rangeChanged always, then the value signals only when the value moved.
template <class Manager, class Record, class Change, class Sync = NoSync>
void changeBounds(Manager *manager, QtProperty *property, Record &record, Change change,
                  Sync sync = Sync())
{
    const auto old = record.value;
    change(record);
    // Copies: a receiver may delete the property, and its record with it.
    const auto minimum = record.minimum;
    const auto maximum = record.maximum;
    const auto value = record.value;
    const QtPropertyWatch watch(property);
    emit manager->rangeChanged(property, minimum, maximum);
    if (!watch.isAlive())
        return;
    sync();
    if (value == old || !watch.isAlive())
        return;
    announceValue(manager, property, value);
}

template <class Manager, class Record, class Value, class Sync = NoSync>
void setMinimum(Manager *manager, QtProperty *property, Record &record, const Value &m,
                Sync sync = Sync())
{
    if (record.minimum == m)
        return;
    changeBounds(manager, property, record, [&m](Record &r) { r.setMinimum(m); }, sync);
}

template <class Manager, class Record, class Value, class Sync = NoSync>
void setMaximum(Manager *manager, QtProperty *property, Record &record, const Value &m,
                Sync sync = Sync())
{
    if (record.maximum == m)
        return;
    changeBounds(manager, property, record, [&m](Record &r) { r.setMaximum(m); }, sync);
}

template <class Manager, class Record, class Value, class Sync = NoSync>
void setRange(Manager *manager, QtProperty *property, Record &record, Value lo, Value hi,
              Sync sync = Sync())
{
    Record::orderRange(lo, hi);
    if (record.minimum == lo && record.maximum == hi)
        return;
    changeBounds(manager, property, record, [&lo, &hi](Record &r) { r.setRange(lo, hi); }, sync);
}

} // namespace QtBoundedSetters
