// Helpers of the tests of the extended value managers.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QStringList>

// The sub-property of that name; null when there is none.
inline QtProperty *subNamed(const QtProperty *property, const QString &name)
{
    for (QtProperty *sub : property->subProperties()) {
        if (sub->propertyName() == name)
            return sub;
    }
    return nullptr;
}

// Log entries cut after their first argument, the property: for signals whose values
// the log cannot show. "valueChanged(P,QPoint)" reads "valueChanged(P)".
inline QStringList withoutValues(const QStringList &entries)
{
    QStringList out;
    for (const QString &entry : entries) {
        const int open = entry.indexOf(QLatin1Char('('));
        int end = entry.indexOf(QLatin1Char(','), open);
        if (end < 0)
            end = entry.indexOf(QLatin1Char(')'), open);
        out << entry.left(end) + QLatin1Char(')');
    }
    return out;
}
