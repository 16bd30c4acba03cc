// Whether a property is still there after handlers ran. A handler of any signal
// about a property may delete it; code that goes on to announce it again, link it
// or show it asks first. A property counts as gone from the moment its destruction
// starts, when it leaves its manager: the signals its destruction sends are the
// last that name it.
// Internal to the property browser; GUI thread only.
#pragma once

#include <QtGlobal>

class QtAbstractPropertyManager;
class QtProperty;

// True from the start of the property's destruction.
bool qtPropertyIsGoing(const QtProperty *property);

// Whether the insertion that propertyInserted is announcing still stands: an
// earlier receiver of the same signal may have deleted the sub-property or the
// parent, or taken the one out of the other again. True for an insertion that is
// not being announced.
bool qtInsertionStands(const QtProperty *property, const QtProperty *parent);

// Whether `property` is in the sub-property list of `parent` now.
bool qtIsSubPropertyOf(const QtProperty *property, const QtProperty *parent);

// Watches one property across the signals emitted about it. A property made
// meanwhile at the same address is a different one and does not count.
class QtPropertyWatch
{
public:
    explicit QtPropertyWatch(const QtProperty *property);
    bool isAlive() const;

private:
    const QtAbstractPropertyManager *m_manager;
    const QtProperty *m_property;
    quint64 m_serial;
};
