#include "propertybrowser/extended/qtflagpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/qtpropertywatch_p.h"

namespace {

// Positions from here on would need a shift past an int's value bits.
constexpr int kBitCount = 31;

struct FlagData
{
    int value = -1;
    QStringList flagNames;
};

bool bitSet(int value, int position)
{
    return position < kBitCount && (value & (1 << position)) != 0;
}

} // namespace

class QtFlagPropertyManagerPrivate
{
public:
    explicit QtFlagPropertyManagerPrivate(QtFlagPropertyManager *manager)
        : q_ptr(manager), inner(new QtBoolPropertyManager(manager))
    {
    }

    // Deletes the property's flag sub-properties; their places go too.
    void releaseFlags(const QtProperty *property)
    {
        const QList<QtProperty *> subs = flags.take(property);
        for (QtProperty *sub : subs) {
            if (!sub)
                continue;
            parentOf.remove(sub);
            delete sub;
        }
    }

    QtFlagPropertyManager *q_ptr;
    QtPropertyRecords<FlagData> values;
    QtBoolPropertyManager *inner;
    // Flag i at position i; null where a flag's sub-property was destroyed from outside.
    QMap<const QtProperty *, QList<QtProperty *>> flags;
    QMap<const QtProperty *, QtProperty *> parentOf;
};

QtFlagPropertyManager::QtFlagPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtFlagPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, bool)), this,
            SLOT(slotBoolChanged(QtProperty *, bool)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtFlagPropertyManager::~QtFlagPropertyManager()
{
    clear();
}

int QtFlagPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &FlagData::value, 0);
}

QStringList QtFlagPropertyManager::flagNames(const QtProperty *property) const
{
    return d_ptr->values.get(property, &FlagData::flagNames);
}

QtBoolPropertyManager *QtFlagPropertyManager::subBoolPropertyManager() const
{
    return d_ptr->inner;
}

QString QtFlagPropertyManager::valueText(const QtProperty *property) const
{
    const FlagData *data = d_ptr->values.find(property);
    if (!data)
        return QString();
    QStringList set;
    for (int i = 0; i < data->flagNames.size(); ++i) {
        if (bitSet(data->value, i))
            set << data->flagNames.at(i);
    }
    return set.join(QLatin1Char('|'));
}

void QtFlagPropertyManager::setValue(QtProperty *property, int val)
{
    FlagData *data = d_ptr->values.find(property);
    if (!data || data->value == val || val < 0)
        return;
    const qint64 bound = qint64(1) << qMin(data->flagNames.size(), kBitCount);
    if (val >= bound)
        return;
    storeAndAnnounce(this, property, data->value, val, [this, property](int flags) {
        const QList<QtProperty *> subs = d_ptr->flags.value(property);
        for (int i = 0; i < subs.size(); ++i) {
            if (subs.at(i))
                d_ptr->inner->setValue(subs.at(i), bitSet(flags, i));
        }
    });
}

void QtFlagPropertyManager::setFlagNames(QtProperty *property, const QStringList &names)
{
    FlagData *data = d_ptr->values.find(property);
    if (!data || data->flagNames == names)
        return;
    data->flagNames = names;
    data->value = 0;
    d_ptr->releaseFlags(property);
    QList<QtProperty *> subs;
    for (const QString &name : names) {
        QtProperty *sub = d_ptr->inner->addProperty();
        sub->setPropertyName(name);
        property->addSubProperty(sub);
        subs.append(sub);
        d_ptr->parentOf.insert(sub, property);
    }
    d_ptr->flags.insert(property, subs);
    // Each signal only while the property lives: a receiver may delete it.
    const QStringList stored = names;
    const QtPropertyWatch watch(property);
    emit flagNamesChanged(property, stored);
    if (watch.isAlive())
        emit propertyChanged(property);
    if (watch.isAlive())
        emit valueChanged(property, 0);
}

void QtFlagPropertyManager::slotBoolChanged(QtProperty *sub, bool val)
{
    QtProperty *parent = d_ptr->parentOf.value(sub);
    if (!parent)
        return;
    const int position = d_ptr->flags.value(parent).indexOf(sub);
    if (position < 0)
        return;
    if (position >= kBitCount) {
        // No bit to hold it: the flag goes back off.
        if (val)
            d_ptr->inner->setValue(sub, false);
        return;
    }
    const int flags = value(parent);
    const int mask = 1 << position;
    setValue(parent, val ? flags | mask : flags & ~mask);
}

void QtFlagPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    QtProperty *parent = d_ptr->parentOf.take(sub);
    if (!parent)
        return;
    QList<QtProperty *> &subs = d_ptr->flags[parent];
    const int position = subs.indexOf(sub);
    if (position >= 0)
        subs[position] = nullptr;
}

void QtFlagPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    d_ptr->flags.insert(property, {});
}

void QtFlagPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->releaseFlags(property);
    d_ptr->values.uninitialize(property);
}
