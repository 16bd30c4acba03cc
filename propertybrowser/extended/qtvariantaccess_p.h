// How the variant manager reaches the typed managers: the attribute names, the
// value and attribute of an internal property by the class of its manager, and the
// conversion of a variant to the type a typed manager takes. Internal to the
// property browser.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QString>
#include <QVariant>

namespace QtVariantAccess {

// The attribute names, built once; every comparison and every attributeChanged
// uses these.
struct AttributeNames
{
    const QString constraint = QLatin1String("constraint");
    const QString singleStep = QLatin1String("singleStep");
    const QString decimals = QLatin1String("decimals");
    const QString enumIcons = QLatin1String("enumIcons");
    const QString enumNames = QLatin1String("enumNames");
    const QString flagNames = QLatin1String("flagNames");
    const QString maximum = QLatin1String("maximum");
    const QString minimum = QLatin1String("minimum");
    const QString regExp = QLatin1String("regExp");
    const QString echoMode = QLatin1String("echoMode");
    const QString readOnly = QLatin1String("readOnly");
    const QString btnVisible = QLatin1String("btnVisible");
    const QString btnCaption = QLatin1String("btnCaption");
    const QString textVisible = QLatin1String("textVisible");
};
const AttributeNames &attributeNames();

// The typed manager's value of the internal property as a QVariant of the value
// type (enumerations and flags as Int); invalid when its manager has no value.
QVariant value(const QtProperty *internal);
// Hands a value already converted to the value type to the typed manager;
// nothing for a manager without a value.
void setValue(QtProperty *internal, const QVariant &converted);

// The typed manager's reading of the attribute; invalid when the manager of the
// internal property has no attribute of that name.
QVariant attributeValue(const QtProperty *internal, const QString &attribute);
// Hands an attribute already converted to its type to the typed manager's setter.
void setAttribute(QtProperty *internal, const QString &attribute, const QVariant &converted);

// `value` as a variant of `type` in `out`. False when Qt cannot convert it, when
// the conversion reports failure (a text that is no number), or when a number
// outside the range of an integer target would wrap on the way.
bool convertedTo(const QVariant &value, int type, QVariant *out);

} // namespace QtVariantAccess
