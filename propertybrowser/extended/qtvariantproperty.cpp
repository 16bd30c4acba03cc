#include "propertybrowser/extended/qtvariantproperty.h"

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
#include "propertybrowser/extended/qtvariantaccess_p.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qteditorfactory_p.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtpropertywatch_p.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QGlobalStatic>
#include <QPair>
#include <QVector>

#include <initializer_list>
#include <optional>
#include <utility>

// Empty marker types whose meta-type ids name the enumeration, flag and group
// property types.
struct QtEnumPropertyType
{
};
struct QtFlagPropertyType
{
};
struct QtGroupPropertyType
{
};
Q_DECLARE_METATYPE(QtEnumPropertyType)
Q_DECLARE_METATYPE(QtFlagPropertyType)
Q_DECLARE_METATYPE(QtGroupPropertyType)

using QtEditorFactoryShapes::Link;
using QtVariantAccess::attributeNames;

namespace {

// Every variant property of any variant manager to its internal property.
using InternalMap = QMap<const QtProperty *, QtProperty *>;
Q_GLOBAL_STATIC(InternalMap, internalPropertyByVariant)

// The typed managers' signals and the relay slots of the same names.
const Link kIntValue{SIGNAL(valueChanged(QtProperty *, int)), SLOT(slotValueChanged(QtProperty *, int))};
const Link kIntRange{SIGNAL(rangeChanged(QtProperty *, int, int)), SLOT(slotRangeChanged(QtProperty *, int, int))};
const Link kIntStep{SIGNAL(singleStepChanged(QtProperty *, int)), SLOT(slotSingleStepChanged(QtProperty *, int))};
const Link kDoubleValue{SIGNAL(valueChanged(QtProperty *, double)), SLOT(slotValueChanged(QtProperty *, double))};
const Link kDoubleRange{SIGNAL(rangeChanged(QtProperty *, double, double)),
                        SLOT(slotRangeChanged(QtProperty *, double, double))};
const Link kDoubleStep{SIGNAL(singleStepChanged(QtProperty *, double)),
                       SLOT(slotSingleStepChanged(QtProperty *, double))};
const Link kDecimals{SIGNAL(decimalsChanged(QtProperty *, int)), SLOT(slotDecimalsChanged(QtProperty *, int))};
const Link kBoolValue{SIGNAL(valueChanged(QtProperty *, bool)), SLOT(slotValueChanged(QtProperty *, bool))};
const Link kEnumNames{SIGNAL(enumNamesChanged(QtProperty *, const QStringList &)),
                      SLOT(slotEnumNamesChanged(QtProperty *, const QStringList &))};
const Link kInserted{SIGNAL(propertyInserted(QtProperty *, QtProperty *, QtProperty *)),
                     SLOT(slotPropertyInserted(QtProperty *, QtProperty *, QtProperty *))};
const Link kRemoved{SIGNAL(propertyRemoved(QtProperty *, QtProperty *)),
                    SLOT(slotPropertyRemoved(QtProperty *, QtProperty *))};

// `valueChanged` of a manager whose value is of the named type.
#define QT_VARIANT_VALUE_LINK(Type)                                                                          \
    Link { SIGNAL(valueChanged(QtProperty *, const Type &)), SLOT(slotValueChanged(QtProperty *, const Type &)) }

} // namespace

QtProperty *internalPropertyOf(const QtProperty *property)
{
    // After exit-time destruction nothing has an internal property any more.
    const InternalMap *map = internalPropertyByVariant();
    return map ? map->value(property) : nullptr;
}

// --- QtVariantProperty ---

class QtVariantPropertyPrivate
{
public:
    explicit QtVariantPropertyPrivate(QtVariantPropertyManager *m) : manager(m) {}
    QtVariantPropertyManager *manager;
};

QtVariantProperty::QtVariantProperty(QtVariantPropertyManager *manager)
    : QtProperty(manager), d_ptr(std::make_unique<QtVariantPropertyPrivate>(manager))
{
}

QtVariantProperty::~QtVariantProperty() = default;

QVariant QtVariantProperty::value() const { return d_ptr->manager->value(this); }
QVariant QtVariantProperty::attributeValue(const QString &attribute) const
{
    return d_ptr->manager->attributeValue(this, attribute);
}
int QtVariantProperty::valueType() const { return d_ptr->manager->valueType(this); }
int QtVariantProperty::propertyType() const { return d_ptr->manager->propertyType(this); }
void QtVariantProperty::setValue(const QVariant &value) { d_ptr->manager->setValue(this, value); }
void QtVariantProperty::setAttribute(const QString &attribute, const QVariant &value)
{
    d_ptr->manager->setAttribute(this, attribute, value);
}

// --- QtVariantPropertyManager ---

class QtVariantPropertyManagerPrivate
{
public:
    explicit QtVariantPropertyManagerPrivate(QtVariantPropertyManager *manager) : q_ptr(manager) {}

    // Records a supported type served by `manager` (already a child of the variant
    // manager) and connects the manager's signals to the relay slots.
    void addType(int propertyType, int valueType, QtAbstractPropertyManager *manager,
                 std::initializer_list<QPair<QString, int>> attributes, std::initializer_list<Link> links);
    void relay(QObject *manager, std::initializer_list<Link> links);

    // The variant counterpart of an internal property, or null.
    QtVariantProperty *variantOf(const QtProperty *internal) const { return variantByInternal.value(internal); }
    void emitValue(QtProperty *internal, const QVariant &value);
    void emitAttribute(QtProperty *internal, const QString &attribute, const QVariant &value);
    void emitRange(QtProperty *internal, const QVariant &minimum, const QVariant &maximum);

    // The part of `parent` that mirrors `internal`; null when a handler of what the
    // part announces deleted it (or its parent).
    QtVariantProperty *createSubProperty(QtVariantProperty *parent, QtVariantProperty *after, QtProperty *internal);
    // Parts its internal property as its own manager removes that one: the part is
    // deleted, unless its destruction is already under way.
    void releaseSubProperty(QtVariantProperty *property, QtProperty *internal);

    QtVariantPropertyManager *q_ptr;
    // What the next createProperty makes; it takes them, so handlers that run
    // before addProperty returns make properties of their own.
    bool creatingProperty = false;
    int pendingPropertyType = 0;
    QtProperty *pendingInternal = nullptr;
    QMap<int, QtAbstractPropertyManager *> managerByType;
    QMap<int, QMap<QString, int>> attributeTypesByType;
    QMap<const QtProperty *, QPair<QtVariantProperty *, int>> typeByProperty;
    QMap<int, int> valueTypeByType;
    QMap<const QtProperty *, QtVariantProperty *> variantByInternal;
};

namespace {

// Sets a flag for the duration of one call and puts back what it was, so that a
// nested call finds it set and the outer one keeps it after the inner one ends.
class FlagScope
{
public:
    explicit FlagScope(bool &flag) : m_flag(flag), m_saved(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_saved; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    const bool m_saved;
};

// The variant type of an internal sub-property, by the class of its manager; 0 for
// a kind the variant manager does not mirror.
int variantTypeOfInternal(const QtProperty *internal)
{
    const QObject *manager = internal->propertyManager();
    if (qobject_cast<const QtIntPropertyManager *>(manager))
        return QMetaType::Int;
    if (qobject_cast<const QtEnumPropertyManager *>(manager))
        return QtVariantPropertyManager::enumTypeId();
    if (qobject_cast<const QtBoolPropertyManager *>(manager))
        return QMetaType::Bool;
    if (qobject_cast<const QtDoublePropertyManager *>(manager))
        return QMetaType::Double;
    return 0;
}

} // namespace

void QtVariantPropertyManagerPrivate::addType(int propertyType, int valueType, QtAbstractPropertyManager *manager,
                                              std::initializer_list<QPair<QString, int>> attributes,
                                              std::initializer_list<Link> links)
{
    managerByType[propertyType] = manager;
    valueTypeByType[propertyType] = valueType;
    QMap<QString, int> &types = attributeTypesByType[propertyType];
    for (const auto &attribute : attributes)
        types[attribute.first] = attribute.second;
    relay(manager, links);
}

void QtVariantPropertyManagerPrivate::relay(QObject *manager, std::initializer_list<Link> links)
{
    for (const Link &link : links)
        QObject::connect(manager, link.signal, q_ptr, link.slot);
}

void QtVariantPropertyManagerPrivate::emitValue(QtProperty *internal, const QVariant &value)
{
    QtVariantProperty *property = variantOf(internal);
    if (!property)
        return;
    // A receiver of the first may delete the property: nothing more is said of it.
    const QtPropertyWatch watch(property);
    emit q_ptr->valueChanged(property, value);
    if (watch.isAlive())
        emit q_ptr->propertyChanged(property);
}

void QtVariantPropertyManagerPrivate::emitAttribute(QtProperty *internal, const QString &attribute,
                                                    const QVariant &value)
{
    if (QtVariantProperty *property = variantOf(internal))
        emit q_ptr->attributeChanged(property, attribute, value);
}

void QtVariantPropertyManagerPrivate::emitRange(QtProperty *internal, const QVariant &minimum,
                                                const QVariant &maximum)
{
    QtVariantProperty *property = variantOf(internal);
    if (!property)
        return;
    const QtPropertyWatch watch(property);
    emit q_ptr->attributeChanged(property, attributeNames().minimum, minimum);
    if (watch.isAlive())
        emit q_ptr->attributeChanged(property, attributeNames().maximum, maximum);
}

QtVariantProperty *QtVariantPropertyManagerPrivate::createSubProperty(QtVariantProperty *parent,
                                                                      QtVariantProperty *after,
                                                                      QtProperty *internal)
{
    const int type = variantTypeOfInternal(internal);
    if (!type)
        return nullptr;
    // Every text announced below may run a handler that deletes the part, its
    // parent or the whole page; the part is paired with its internal property
    // before the first, so either takes the other along.
    const QtPropertyWatch parentAlive(parent);
    pendingInternal = internal;
    QtVariantProperty *property = q_ptr->addProperty(type, internal->propertyName());
    pendingInternal = nullptr;
    if (!property)
        return nullptr;
    const QtPropertyWatch alive(property);
    const auto stands = [&] { return alive.isAlive() && parentAlive.isAlive(); };
    const QString toolTip = internal->toolTip();
    const QString statusTip = internal->statusTip();
    const QString whatsThis = internal->whatsThis();
    property->setToolTip(toolTip);
    if (stands())
        property->setStatusTip(statusTip);
    if (stands())
        property->setWhatsThis(whatsThis);
    if (stands())
        parent->insertSubProperty(property, after);
    return alive.isAlive() ? property : nullptr;
}

void QtVariantPropertyManagerPrivate::releaseSubProperty(QtVariantProperty *property, QtProperty *internal)
{
    variantByInternal.remove(internal);
    if (InternalMap *map = internalPropertyByVariant())
        (*map)[property] = nullptr;
    if (!qtPropertyIsGoing(property))
        delete property;
}

QtVariantPropertyManager::QtVariantPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtVariantPropertyManagerPrivate>(this))
{
    const QtVariantAccess::AttributeNames &n = attributeNames();
    QtVariantPropertyManagerPrivate *d = d_ptr.get();
    const int Int = QMetaType::Int;
    const int Double = QMetaType::Double;
    const int Bool = QMetaType::Bool;
    const int String = QMetaType::QString;

    d->addType(Int, Int, new QtIntPropertyManager(this),
               {{n.minimum, Int}, {n.maximum, Int}, {n.singleStep, Int}, {n.readOnly, Bool},
                {n.btnVisible, Bool}, {n.btnCaption, String}},
               {kIntValue, kIntRange, kIntStep});
    d->addType(Double, Double, new QtDoublePropertyManager(this),
               {{n.minimum, Double}, {n.maximum, Double}, {n.singleStep, Double}, {n.decimals, Int},
                {n.readOnly, Bool}},
               {kDoubleValue, kDoubleRange, kDoubleStep, kDecimals});
    d->addType(Bool, Bool, new QtBoolPropertyManager(this), {{n.textVisible, Bool}},
               {kBoolValue,
                {SIGNAL(textVisibleChanged(QtProperty *, bool)), SLOT(slotTextVisibleChanged(QtProperty *, bool))}});
    d->addType(String, String, new QtStringPropertyManager(this),
               {{n.regExp, QMetaType::QRegExp}, {n.echoMode, Int}, {n.readOnly, Bool}},
               {QT_VARIANT_VALUE_LINK(QString),
                {SIGNAL(regExpChanged(QtProperty *, const QRegExp &)),
                 SLOT(slotRegExpChanged(QtProperty *, const QRegExp &))},
                {SIGNAL(echoModeChanged(QtProperty *, int)), SLOT(slotEchoModeChanged(QtProperty *, int))},
                {SIGNAL(readOnlyChanged(QtProperty *, bool)), SLOT(slotReadOnlyChanged(QtProperty *, bool))}});
    d->addType(QMetaType::QDate, QMetaType::QDate, new QtDatePropertyManager(this),
               {{n.minimum, QMetaType::QDate}, {n.maximum, QMetaType::QDate}},
               {QT_VARIANT_VALUE_LINK(QDate),
                {SIGNAL(rangeChanged(QtProperty *, const QDate &, const QDate &)),
                 SLOT(slotRangeChanged(QtProperty *, const QDate &, const QDate &))}});
    d->addType(QMetaType::QTime, QMetaType::QTime, new QtTimePropertyManager(this), {},
               {QT_VARIANT_VALUE_LINK(QTime)});
    d->addType(QMetaType::QDateTime, QMetaType::QDateTime, new QtDateTimePropertyManager(this), {},
               {QT_VARIANT_VALUE_LINK(QDateTime)});
    d->addType(QMetaType::QKeySequence, QMetaType::QKeySequence, new QtKeySequencePropertyManager(this), {},
               {QT_VARIANT_VALUE_LINK(QKeySequence)});
    d->addType(QMetaType::QChar, QMetaType::QChar, new QtCharPropertyManager(this), {},
               {QT_VARIANT_VALUE_LINK(QChar)});

    auto *locale = new QtLocalePropertyManager(this);
    d->addType(QMetaType::QLocale, QMetaType::QLocale, locale, {},
               {QT_VARIANT_VALUE_LINK(QLocale), kInserted, kRemoved});
    d->relay(locale->subEnumPropertyManager(), {kIntValue});

    auto *point = new QtPointPropertyManager(this);
    d->addType(QMetaType::QPoint, QMetaType::QPoint, point, {}, {QT_VARIANT_VALUE_LINK(QPoint), kInserted, kRemoved});
    d->relay(point->subIntPropertyManager(), {kIntValue});

    auto *pointF = new QtPointFPropertyManager(this);
    d->addType(QMetaType::QPointF, QMetaType::QPointF, pointF, {{n.decimals, Int}},
               {QT_VARIANT_VALUE_LINK(QPointF), kDecimals, kInserted, kRemoved});
    d->relay(pointF->subDoublePropertyManager(), {kDoubleValue});

    auto *size = new QtSizePropertyManager(this);
    d->addType(QMetaType::QSize, QMetaType::QSize, size, {{n.minimum, QMetaType::QSize}, {n.maximum, QMetaType::QSize}},
               {QT_VARIANT_VALUE_LINK(QSize),
                {SIGNAL(rangeChanged(QtProperty *, const QSize &, const QSize &)),
                 SLOT(slotRangeChanged(QtProperty *, const QSize &, const QSize &))},
                kInserted, kRemoved});
    d->relay(size->subIntPropertyManager(), {kIntValue, kIntRange});

    auto *sizeF = new QtSizeFPropertyManager(this);
    d->addType(QMetaType::QSizeF, QMetaType::QSizeF, sizeF,
               {{n.minimum, QMetaType::QSizeF}, {n.maximum, QMetaType::QSizeF}, {n.decimals, Int}},
               {QT_VARIANT_VALUE_LINK(QSizeF),
                {SIGNAL(rangeChanged(QtProperty *, const QSizeF &, const QSizeF &)),
                 SLOT(slotRangeChanged(QtProperty *, const QSizeF &, const QSizeF &))},
                kDecimals, kInserted, kRemoved});
    d->relay(sizeF->subDoublePropertyManager(), {kDoubleValue, kDoubleRange});

    auto *rect = new QtRectPropertyManager(this);
    d->addType(QMetaType::QRect, QMetaType::QRect, rect, {{n.constraint, QMetaType::QRect}},
               {QT_VARIANT_VALUE_LINK(QRect),
                {SIGNAL(constraintChanged(QtProperty *, const QRect &)),
                 SLOT(slotConstraintChanged(QtProperty *, const QRect &))},
                kInserted, kRemoved});
    d->relay(rect->subIntPropertyManager(), {kIntValue, kIntRange});

    auto *rectF = new QtRectFPropertyManager(this);
    d->addType(QMetaType::QRectF, QMetaType::QRectF, rectF, {{n.constraint, QMetaType::QRectF}, {n.decimals, Int}},
               {QT_VARIANT_VALUE_LINK(QRectF),
                {SIGNAL(constraintChanged(QtProperty *, const QRectF &)),
                 SLOT(slotConstraintChanged(QtProperty *, const QRectF &))},
                kDecimals, kInserted, kRemoved});
    d->relay(rectF->subDoublePropertyManager(), {kDoubleValue, kDoubleRange});

    auto *color = new QtColorPropertyManager(this);
    d->addType(QMetaType::QColor, QMetaType::QColor, color, {}, {QT_VARIANT_VALUE_LINK(QColor), kInserted, kRemoved});
    d->relay(color->subIntPropertyManager(), {kIntValue});

    d->addType(enumTypeId(), Int, new QtEnumPropertyManager(this),
               {{n.enumNames, QMetaType::QStringList}, {n.enumIcons, iconMapTypeId()}},
               {kIntValue, kEnumNames,
                {SIGNAL(enumIconsChanged(QtProperty *, const QMap<int, QIcon> &)),
                 SLOT(slotEnumIconsChanged(QtProperty *, const QMap<int, QIcon> &))}});

    auto *sizePolicy = new QtSizePolicyPropertyManager(this);
    d->addType(QMetaType::QSizePolicy, QMetaType::QSizePolicy, sizePolicy, {},
               {QT_VARIANT_VALUE_LINK(QSizePolicy), kInserted, kRemoved});
    d->relay(sizePolicy->subIntPropertyManager(), {kIntValue, kIntRange});
    d->relay(sizePolicy->subEnumPropertyManager(), {kIntValue, kEnumNames});

    auto *font = new QtFontPropertyManager(this);
    d->addType(QMetaType::QFont, QMetaType::QFont, font, {}, {QT_VARIANT_VALUE_LINK(QFont), kInserted, kRemoved});
    d->relay(font->subIntPropertyManager(), {kIntValue, kIntRange});
    d->relay(font->subEnumPropertyManager(), {kIntValue, kEnumNames});
    d->relay(font->subBoolPropertyManager(), {kBoolValue});

    d->addType(QMetaType::QCursor, QMetaType::QCursor, new QtCursorPropertyManager(this), {},
               {QT_VARIANT_VALUE_LINK(QCursor)});

    auto *flag = new QtFlagPropertyManager(this);
    d->addType(flagTypeId(), Int, flag, {{n.flagNames, QMetaType::QStringList}},
               {kIntValue,
                {SIGNAL(flagNamesChanged(QtProperty *, const QStringList &)),
                 SLOT(slotFlagNamesChanged(QtProperty *, const QStringList &))},
                kInserted, kRemoved});
    d->relay(flag->subBoolPropertyManager(), {kBoolValue});

    d->addType(groupTypeId(), 0, new QtGroupPropertyManager(this), {}, {});
}

QtVariantPropertyManager::~QtVariantPropertyManager()
{
    // While the maps still exist, so that each variant property takes its internal
    // property with it.
    clear();
}

int QtVariantPropertyManager::enumTypeId()
{
    static const int id = qRegisterMetaType<QtEnumPropertyType>("QtEnumPropertyType");
    return id;
}

int QtVariantPropertyManager::flagTypeId()
{
    static const int id = qRegisterMetaType<QtFlagPropertyType>("QtFlagPropertyType");
    return id;
}

int QtVariantPropertyManager::groupTypeId()
{
    static const int id = qRegisterMetaType<QtGroupPropertyType>("QtGroupPropertyType");
    return id;
}

int QtVariantPropertyManager::iconMapTypeId()
{
    static const int id = qRegisterMetaType<QtIconMap>("QtIconMap");
    return id;
}

QtVariantProperty *QtVariantPropertyManager::variantProperty(const QtProperty *property) const
{
    return d_ptr->typeByProperty.value(property).first;
}

int QtVariantPropertyManager::propertyType(const QtProperty *property) const
{
    return d_ptr->typeByProperty.value(property).second;
}

int QtVariantPropertyManager::valueType(const QtProperty *property) const
{
    return valueType(propertyType(property));
}

bool QtVariantPropertyManager::hasValue(const QtProperty *property) const
{
    return propertyType(property) != groupTypeId();
}

QIcon QtVariantPropertyManager::valueIcon(const QtProperty *property) const
{
    const QtProperty *internal = internalPropertyOf(property);
    return internal ? internal->valueIcon() : QIcon();
}

QString QtVariantPropertyManager::valueText(const QtProperty *property) const
{
    const QtProperty *internal = internalPropertyOf(property);
    if (!internal)
        return QString();
    const QString shown = internal->displayText();
    return shown.isEmpty() ? internal->valueText() : shown;
}

QtVariantProperty *QtVariantPropertyManager::addProperty(int propertyType, const QString &name)
{
    if (!isPropertyTypeSupported(propertyType))
        return nullptr;
    QtProperty *property = nullptr;
    {
        FlagScope creating(d_ptr->creatingProperty);
        d_ptr->pendingPropertyType = propertyType;
        property = QtAbstractPropertyManager::addProperty(name);
    }
    d_ptr->pendingPropertyType = 0;
    return property ? variantProperty(property) : nullptr;
}

bool QtVariantPropertyManager::isPropertyTypeSupported(int propertyType) const
{
    return d_ptr->valueTypeByType.contains(propertyType);
}

int QtVariantPropertyManager::valueType(int propertyType) const
{
    return d_ptr->valueTypeByType.value(propertyType, 0);
}

QStringList QtVariantPropertyManager::attributes(int propertyType) const
{
    return d_ptr->attributeTypesByType.value(propertyType).keys();
}

int QtVariantPropertyManager::attributeType(int propertyType, const QString &attribute) const
{
    return d_ptr->attributeTypesByType.value(propertyType).value(attribute, 0);
}

QVariant QtVariantPropertyManager::value(const QtProperty *property) const
{
    const QtProperty *internal = internalPropertyOf(property);
    return internal ? QtVariantAccess::value(internal) : QVariant();
}

QVariant QtVariantPropertyManager::attributeValue(const QtProperty *property, const QString &attribute) const
{
    const int type = propertyType(property);
    if (!type || !d_ptr->attributeTypesByType.value(type).contains(attribute))
        return QVariant();
    const QtProperty *internal = internalPropertyOf(property);
    return internal ? QtVariantAccess::attributeValue(internal, attribute) : QVariant();
}

void QtVariantPropertyManager::setValue(QtProperty *property, const QVariant &value)
{
    if (!value.isValid())
        return;
    QVariant converted;
    if (!QtVariantAccess::convertedTo(value, valueType(property), &converted))
        return;
    if (QtProperty *internal = internalPropertyOf(property))
        QtVariantAccess::setValue(internal, converted);
}

void QtVariantPropertyManager::setAttribute(QtProperty *property, const QString &attribute, const QVariant &value)
{
    if (!attributeValue(property, attribute).isValid() || !value.isValid())
        return;
    QVariant converted;
    if (!QtVariantAccess::convertedTo(value, attributeType(propertyType(property), attribute), &converted))
        return;
    if (QtProperty *internal = internalPropertyOf(property))
        QtVariantAccess::setAttribute(internal, attribute, converted);
}

QtProperty *QtVariantPropertyManager::createProperty()
{
    if (!std::exchange(d_ptr->creatingProperty, false))
        return nullptr;
    auto *property = new QtVariantProperty(this);
    d_ptr->typeByProperty[property] = qMakePair(property, d_ptr->pendingPropertyType);
    // A part is paired at once: deleted while it is still being made, it takes its
    // internal property along, as it does later.
    if (QtProperty *internal = std::exchange(d_ptr->pendingInternal, nullptr)) {
        d_ptr->variantByInternal[internal] = property;
        (*internalPropertyByVariant())[property] = internal;
    }
    return property;
}

void QtVariantPropertyManager::initializeProperty(QtProperty *property)
{
    QtVariantPropertyManagerPrivate *d = d_ptr.get();
    const auto typed = d->typeByProperty.constFind(property);
    if (typed == d->typeByProperty.constEnd())
        return;
    QtVariantProperty *variant = typed.value().first;
    // A part has its internal property from createProperty.
    InternalMap *map = internalPropertyByVariant();
    if (map->contains(variant))
        return;
    QtAbstractPropertyManager *manager = d->managerByType.value(typed.value().second);
    QtProperty *internal = manager ? manager->addProperty() : nullptr;
    (*map)[variant] = internal;
    if (!internal)
        return;
    d->variantByInternal[internal] = variant;

    // Making each part runs handlers, which may delete the property, a part made
    // before, or an internal part yet to be mirrored, or mirror one themselves.
    const QtPropertyWatch alive(variant);
    QVector<QPair<QtProperty *, QtPropertyWatch>> parts;
    for (QtProperty *sub : internal->subProperties())
        parts.append({sub, QtPropertyWatch(sub)});
    QtVariantProperty *last = nullptr;
    std::optional<QtPropertyWatch> lastAlive;
    for (const auto &part : qAsConst(parts)) {
        if (!alive.isAlive())
            return;
        if (!part.second.isAlive() || d->variantByInternal.contains(part.first))
            continue;
        if (lastAlive && !lastAlive->isAlive())
            last = nullptr;
        if (QtVariantProperty *mirrored = d->createSubProperty(variant, last, part.first)) {
            last = mirrored;
            lastAlive.emplace(mirrored);
        }
    }
}

void QtVariantPropertyManager::uninitializeProperty(QtProperty *property)
{
    QtVariantPropertyManagerPrivate *d = d_ptr.get();
    if (!d->typeByProperty.contains(property))
        return;
    InternalMap *map = internalPropertyByVariant();
    if (map && map->contains(property)) {
        QtProperty *internal = map->value(property);
        // A part released by its internal property holds none any more.
        if (internal) {
            d->variantByInternal.remove(internal);
            delete internal;
        }
        map->remove(property);
    }
    d->typeByProperty.remove(property);
}

// --- relays ---

void QtVariantPropertyManager::slotValueChanged(QtProperty *p, int v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, double v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, bool v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QString &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QDate &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QTime &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QDateTime &v)
{
    d_ptr->emitValue(p, QVariant(v));
}
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QKeySequence &v)
{
    d_ptr->emitValue(p, QVariant::fromValue(v));
}
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QChar &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QLocale &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QPoint &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QPointF &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QSize &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QSizeF &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QRect &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QRectF &v) { d_ptr->emitValue(p, QVariant(v)); }
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QColor &v)
{
    d_ptr->emitValue(p, QVariant::fromValue(v));
}
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QSizePolicy &v)
{
    d_ptr->emitValue(p, QVariant::fromValue(v));
}
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QFont &v)
{
    d_ptr->emitValue(p, QVariant::fromValue(v));
}
void QtVariantPropertyManager::slotValueChanged(QtProperty *p, const QCursor &v)
{
    d_ptr->emitValue(p, QVariant::fromValue(v));
}

void QtVariantPropertyManager::slotRangeChanged(QtProperty *p, int min, int max)
{
    d_ptr->emitRange(p, QVariant(min), QVariant(max));
}
void QtVariantPropertyManager::slotRangeChanged(QtProperty *p, double min, double max)
{
    d_ptr->emitRange(p, QVariant(min), QVariant(max));
}
void QtVariantPropertyManager::slotRangeChanged(QtProperty *p, const QDate &min, const QDate &max)
{
    d_ptr->emitRange(p, QVariant(min), QVariant(max));
}
void QtVariantPropertyManager::slotRangeChanged(QtProperty *p, const QSize &min, const QSize &max)
{
    d_ptr->emitRange(p, QVariant(min), QVariant(max));
}
void QtVariantPropertyManager::slotRangeChanged(QtProperty *p, const QSizeF &min, const QSizeF &max)
{
    d_ptr->emitRange(p, QVariant(min), QVariant(max));
}

void QtVariantPropertyManager::slotSingleStepChanged(QtProperty *p, int step)
{
    d_ptr->emitAttribute(p, attributeNames().singleStep, QVariant(step));
}
void QtVariantPropertyManager::slotSingleStepChanged(QtProperty *p, double step)
{
    d_ptr->emitAttribute(p, attributeNames().singleStep, QVariant(step));
}
void QtVariantPropertyManager::slotDecimalsChanged(QtProperty *p, int prec)
{
    d_ptr->emitAttribute(p, attributeNames().decimals, QVariant(prec));
}
void QtVariantPropertyManager::slotRegExpChanged(QtProperty *p, const QRegExp &regExp)
{
    d_ptr->emitAttribute(p, attributeNames().regExp, QVariant(regExp));
}
void QtVariantPropertyManager::slotEchoModeChanged(QtProperty *p, int mode)
{
    d_ptr->emitAttribute(p, attributeNames().echoMode, QVariant(mode));
}
void QtVariantPropertyManager::slotConstraintChanged(QtProperty *p, const QRect &constraint)
{
    d_ptr->emitAttribute(p, attributeNames().constraint, QVariant(constraint));
}
void QtVariantPropertyManager::slotConstraintChanged(QtProperty *p, const QRectF &constraint)
{
    d_ptr->emitAttribute(p, attributeNames().constraint, QVariant(constraint));
}
void QtVariantPropertyManager::slotEnumNamesChanged(QtProperty *p, const QStringList &names)
{
    d_ptr->emitAttribute(p, attributeNames().enumNames, QVariant(names));
}
void QtVariantPropertyManager::slotEnumIconsChanged(QtProperty *p, const QMap<int, QIcon> &icons)
{
    d_ptr->emitAttribute(p, attributeNames().enumIcons, QVariant::fromValue<QtIconMap>(icons));
}
void QtVariantPropertyManager::slotFlagNamesChanged(QtProperty *p, const QStringList &names)
{
    d_ptr->emitAttribute(p, attributeNames().flagNames, QVariant(names));
}
void QtVariantPropertyManager::slotReadOnlyChanged(QtProperty *p, bool readOnly)
{
    d_ptr->emitAttribute(p, attributeNames().readOnly, QVariant(readOnly));
}
void QtVariantPropertyManager::slotTextVisibleChanged(QtProperty *p, bool textVisible)
{
    d_ptr->emitAttribute(p, attributeNames().textVisible, QVariant(textVisible));
}

void QtVariantPropertyManager::slotPropertyInserted(QtProperty *property, QtProperty *parent, QtProperty *after)
{
    // The parent's own initializeProperty mirrors the sub-properties it is born
    // with: the parent has no variant before that. A receiver that ran before this
    // one may have undone the insertion.
    if (!qtInsertionStands(property, parent))
        return;
    QtVariantProperty *variantParent = d_ptr->variantOf(parent);
    if (!variantParent)
        return;
    QtVariantProperty *variantAfter = nullptr;
    if (after) {
        variantAfter = d_ptr->variantOf(after);
        if (!variantAfter)
            return;
    }
    d_ptr->createSubProperty(variantParent, variantAfter, property);
}

void QtVariantPropertyManager::slotPropertyRemoved(QtProperty *property, QtProperty *)
{
    if (QtVariantProperty *variant = d_ptr->variantOf(property))
        d_ptr->releaseSubProperty(variant, property);
}
