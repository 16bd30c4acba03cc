// The manager behind a property, when it is of the kind a caller can show a
// value with.
#pragma once

#include "propertybrowser/qtproperty.h"

// The property's manager when it is a `Manager`, else null (also for null).
template <typename Manager>
Manager* managerOf(QtProperty* property)
{
    return property ? qobject_cast<Manager*>(property->propertyManager()) : nullptr;
}
