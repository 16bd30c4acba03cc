#include "propertybrowser/extended/qtvariantaccess_p.h"

#include "propertybrowser/extended/qtcharpropertymanager.h"
#include "propertybrowser/extended/qtcolorpropertymanager.h"
#include "propertybrowser/extended/qtcursorpropertymanager.h"
#include "propertybrowser/extended/qtdatepropertymanager.h"
#include "propertybrowser/extended/qtdatetimepropertymanager.h"
#include "propertybrowser/extended/qtflagpropertymanager.h"
#include "propertybrowser/extended/qtfontpropertymanager.h"
#include "propertybrowser/extended/qtkeysequencepropertymanager.h"
#include "propertybrowser/extended/qtlocalepropertymanager.h"
#include "propertybrowser/extended/qtpointpropertymanager.h"
#include "propertybrowser/extended/qtrectpropertymanager.h"
#include "propertybrowser/extended/qtsizepolicypropertymanager.h"
#include "propertybrowser/extended/qtsizepropertymanager.h"
#include "propertybrowser/extended/qttimepropertymanager.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace QtVariantAccess {

namespace {

using Read = QVariant (*)(const QtAbstractPropertyManager *, const QtProperty *);
using Write = void (*)(QtAbstractPropertyManager *, QtProperty *, const QVariant &);

// --- values ---

struct ValueAccess
{
    const QMetaObject *manager;
    Read read;
    Write write;
};

template <class Manager>
QVariant readValue(const QtAbstractPropertyManager *manager, const QtProperty *property)
{
    return QVariant::fromValue(static_cast<const Manager *>(manager)->value(property));
}

// The setters that take onlyIfChanged get it as true.
template <class Manager, class T, bool OnlyIfChanged>
void writeValue(QtAbstractPropertyManager *manager, QtProperty *property, const QVariant &value)
{
    auto *typed = static_cast<Manager *>(manager);
    if constexpr (OnlyIfChanged)
        typed->setValue(property, value.value<T>(), true);
    else
        typed->setValue(property, value.value<T>());
}

template <class Manager, class T, bool OnlyIfChanged = false>
constexpr ValueAccess valueOf()
{
    return {&Manager::staticMetaObject, &readValue<Manager>, &writeValue<Manager, T, OnlyIfChanged>};
}

const ValueAccess kValues[] = {
    valueOf<QtIntPropertyManager, int, true>(),
    valueOf<QtDoublePropertyManager, double, true>(),
    valueOf<QtBoolPropertyManager, bool>(),
    valueOf<QtStringPropertyManager, QString, true>(),
    valueOf<QtDatePropertyManager, QDate, true>(),
    valueOf<QtTimePropertyManager, QTime>(),
    valueOf<QtDateTimePropertyManager, QDateTime>(),
    valueOf<QtKeySequencePropertyManager, QKeySequence>(),
    valueOf<QtCharPropertyManager, QChar>(),
    valueOf<QtLocalePropertyManager, QLocale>(),
    valueOf<QtPointPropertyManager, QPoint>(),
    valueOf<QtPointFPropertyManager, QPointF>(),
    valueOf<QtSizePropertyManager, QSize, true>(),
    valueOf<QtSizeFPropertyManager, QSizeF, true>(),
    valueOf<QtRectPropertyManager, QRect>(),
    valueOf<QtRectFPropertyManager, QRectF>(),
    valueOf<QtColorPropertyManager, QColor>(),
    valueOf<QtEnumPropertyManager, int>(),
    valueOf<QtSizePolicyPropertyManager, QSizePolicy>(),
    valueOf<QtFontPropertyManager, QFont>(),
    valueOf<QtCursorPropertyManager, QCursor>(),
    valueOf<QtFlagPropertyManager, int>(),
};

const ValueAccess *valueAccessOf(const QtProperty *internal)
{
    const QtAbstractPropertyManager *manager = internal->propertyManager();
    for (const ValueAccess &access : kValues) {
        if (access.manager->cast(manager))
            return &access;
    }
    return nullptr;
}

// --- attributes ---

template <class>
struct Getter;
template <class Manager, class R>
struct Getter<R (Manager::*)(const QtProperty *) const>
{
    using Class = Manager;
};

template <class>
struct Setter;
template <class Manager, class T>
struct Setter<void (Manager::*)(QtProperty *, T)>
{
    using Class = Manager;
    using Value = std::decay_t<T>;
};

template <auto Get>
QVariant readAttribute(const QtAbstractPropertyManager *manager, const QtProperty *property)
{
    using Manager = typename Getter<decltype(Get)>::Class;
    return QVariant::fromValue((static_cast<const Manager *>(manager)->*Get)(property));
}

template <auto Set>
void writeAttribute(QtAbstractPropertyManager *manager, QtProperty *property, const QVariant &value)
{
    using S = Setter<decltype(Set)>;
    using Value = typename S::Value;
    auto *typed = static_cast<typename S::Class *>(manager);
    // An enumeration argument (the echo mode) travels as Int.
    if constexpr (std::is_enum_v<Value>)
        (typed->*Set)(property, static_cast<Value>(value.toInt()));
    else
        (typed->*Set)(property, value.value<Value>());
}

struct AttributeAccess
{
    const QMetaObject *manager;
    const QString AttributeNames::*name;
    Read read;
    Write write;
};

template <auto Get, auto Set>
constexpr AttributeAccess attribute(const QString AttributeNames::*name)
{
    using Manager = typename Getter<decltype(Get)>::Class;
    static_assert(std::is_same_v<Manager, typename Setter<decltype(Set)>::Class>);
    return {&Manager::staticMetaObject, name, &readAttribute<Get>, &writeAttribute<Set>};
}

using N = AttributeNames;
using Int = QtIntPropertyManager;
using Double = QtDoublePropertyManager;
using String = QtStringPropertyManager;

const AttributeAccess kAttributes[] = {
    attribute<&Int::minimum, &Int::setMinimum>(&N::minimum),
    attribute<&Int::maximum, &Int::setMaximum>(&N::maximum),
    attribute<&Int::singleStep, &Int::setSingleStep>(&N::singleStep),
    attribute<&Int::isReadOnly, &Int::setReadOnly>(&N::readOnly),
    attribute<&Int::isBtnVisible, &Int::setBtnVisibility>(&N::btnVisible),
    attribute<&Int::btnCaption, &Int::setBtnCaption>(&N::btnCaption),
    attribute<&Double::minimum, &Double::setMinimum>(&N::minimum),
    attribute<&Double::maximum, &Double::setMaximum>(&N::maximum),
    attribute<&Double::singleStep, &Double::setSingleStep>(&N::singleStep),
    attribute<&Double::decimals, &Double::setDecimals>(&N::decimals),
    attribute<&Double::isReadOnly, &Double::setReadOnly>(&N::readOnly),
    attribute<&QtBoolPropertyManager::textVisible, &QtBoolPropertyManager::setTextVisible>(&N::textVisible),
    attribute<&String::regExp, &String::setRegExp>(&N::regExp),
    attribute<&String::echoMode, &String::setEchoMode>(&N::echoMode),
    attribute<&String::isReadOnly, &String::setReadOnly>(&N::readOnly),
    attribute<&QtDatePropertyManager::minimum, &QtDatePropertyManager::setMinimum>(&N::minimum),
    attribute<&QtDatePropertyManager::maximum, &QtDatePropertyManager::setMaximum>(&N::maximum),
    attribute<&QtPointFPropertyManager::decimals, &QtPointFPropertyManager::setDecimals>(&N::decimals),
    attribute<&QtSizePropertyManager::minimum, &QtSizePropertyManager::setMinimum>(&N::minimum),
    attribute<&QtSizePropertyManager::maximum, &QtSizePropertyManager::setMaximum>(&N::maximum),
    attribute<&QtSizeFPropertyManager::minimum, &QtSizeFPropertyManager::setMinimum>(&N::minimum),
    attribute<&QtSizeFPropertyManager::maximum, &QtSizeFPropertyManager::setMaximum>(&N::maximum),
    attribute<&QtSizeFPropertyManager::decimals, &QtSizeFPropertyManager::setDecimals>(&N::decimals),
    attribute<&QtRectPropertyManager::constraint, &QtRectPropertyManager::setConstraint>(&N::constraint),
    attribute<&QtRectFPropertyManager::constraint, &QtRectFPropertyManager::setConstraint>(&N::constraint),
    attribute<&QtRectFPropertyManager::decimals, &QtRectFPropertyManager::setDecimals>(&N::decimals),
    attribute<&QtEnumPropertyManager::enumNames, &QtEnumPropertyManager::setEnumNames>(&N::enumNames),
    attribute<&QtEnumPropertyManager::enumIcons, &QtEnumPropertyManager::setEnumIcons>(&N::enumIcons),
    attribute<&QtFlagPropertyManager::flagNames, &QtFlagPropertyManager::setFlagNames>(&N::flagNames),
};

const AttributeAccess *attributeAccessOf(const QtProperty *internal, const QString &attribute)
{
    const QtAbstractPropertyManager *manager = internal->propertyManager();
    const AttributeNames &names = attributeNames();
    for (const AttributeAccess &access : kAttributes) {
        if (names.*access.name == attribute && access.manager->cast(manager))
            return &access;
    }
    return nullptr;
}

// --- conversion ---

// Whether Qt's conversion of `value` to an integer type of the range [low, high]
// keeps the number: Qt takes the low bits of a wider number and rounds a double
// through 64 bits, so anything outside the range would come out wrapped.
bool keepsNumber(const QVariant &value, qint64 low, qint64 high)
{
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        return std::isfinite(d) && d >= double(low) - 0.5 && d < double(high) + 0.5;
    }
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        bool ok = false;
        const qulonglong n = value.toULongLong(&ok);
        return ok && n <= qulonglong(high);
    }
    default: {
        // A text that is no number fails the conversion itself.
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        return !ok || (n >= low && n <= high);
    }
    }
}

bool keepsNumber(const QVariant &value, int type)
{
    switch (type) {
    case QMetaType::Int:
        return keepsNumber(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    case QMetaType::QChar:
        return keepsNumber(value, 0, 0xFFFF);
    default:
        return true;
    }
}

} // namespace

const AttributeNames &attributeNames()
{
    static const AttributeNames names;
    return names;
}

QVariant value(const QtProperty *internal)
{
    const ValueAccess *access = valueAccessOf(internal);
    return access ? access->read(internal->propertyManager(), internal) : QVariant();
}

void setValue(QtProperty *internal, const QVariant &converted)
{
    if (const ValueAccess *access = valueAccessOf(internal))
        access->write(internal->propertyManager(), internal, converted);
}

QVariant attributeValue(const QtProperty *internal, const QString &attribute)
{
    const AttributeAccess *access = attributeAccessOf(internal, attribute);
    return access ? access->read(internal->propertyManager(), internal) : QVariant();
}

void setAttribute(QtProperty *internal, const QString &attribute, const QVariant &converted)
{
    if (const AttributeAccess *access = attributeAccessOf(internal, attribute))
        access->write(internal->propertyManager(), internal, converted);
}

bool convertedTo(const QVariant &value, int type, QVariant *out)
{
    if (value.userType() == type) {
        *out = value;
        return true;
    }
    if (!value.canConvert(type) || !keepsNumber(value, type))
        return false;
    QVariant copy = value;
    if (!copy.convert(type))
        return false;
    *out = copy;
    return true;
}

} // namespace QtVariantAccess
