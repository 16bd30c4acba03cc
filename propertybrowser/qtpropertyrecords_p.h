// What the value managers share inside: the map from property to value record and
// the setters whose rules are the same in several managers. Not part of the
// library's interface.
#pragma once

#include "propertybrowser/qtproperty.h"
#include "propertybrowser/qtpropertywatch_p.h"

#include <QMap>

// The most decimals a double-based value shows.
constexpr int kMaxDecimals = 13;

template <class Record>
class QtPropertyRecords
{
public:
    // Replaces any record the property had.
    void initialize(const QtProperty *property) { m_records[property] = Record(); }
    void uninitialize(const QtProperty *property) { m_records.remove(property); }

    // Null for a property the manager does not hold.
    Record *find(const QtProperty *property)
    {
        const auto it = m_records.find(property);
        return it == m_records.end() ? nullptr : &it.value();
    }

    // A field of the property's record (or of a base of it), or `fallback` for a
    // property not held.
    template <class T, class Holder>
    T get(const QtProperty *property, T Holder::*field, const T &fallback = T()) const
    {
        const auto it = m_records.constFind(property);
        return it == m_records.constEnd() ? fallback : it.value().*field;
    }

private:
    QMap<const QtProperty *, Record> m_records;
};

// Stores `value` when it differs; true when it did.
template <class T>
bool storeChanged(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// A setting the browser shows but no editor follows: propertyChanged only.
template <class Manager, class Record, class T>
void setShownSetting(Manager *manager, QtPropertyRecords<Record> &records, QtProperty *property,
                     T Record::*field, const T &value)
{
    Record *record = records.find(property);
    if (record && storeChanged(record->*field, value))
        emit manager->propertyChanged(property);
}

// A setting the browser shows that also has a signal of its own: propertyChanged,
// then `changed` (property, value), unless a receiver of the first deleted it.
template <class Manager, class Record, class T, class Signal>
void setAnnounced(Manager *manager, QtPropertyRecords<Record> &records, QtProperty *property,
                  T Record::*field, const T &value, Signal changed)
{
    Record *record = records.find(property);
    if (!record || !storeChanged(record->*field, value))
        return;
    // A copy: the record goes with the property.
    const T stored = record->*field;
    const QtPropertyWatch watch(property);
    emit manager->propertyChanged(property);
    if (watch.isAlive())
        emit (manager->*changed)(property, stored);
}
