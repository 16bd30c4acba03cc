#include "propertybrowser/qtenumpropertymanager.h"

#include "propertybrowser/qtpropertyrecords_p.h"
#include "propertybrowser/qtpropertywatch_p.h"

namespace {

struct EnumData
{
    int value = -1;
    QStringList names;
    QMap<int, QIcon> icons;
};

} // namespace

class QtEnumPropertyManagerPrivate
{
public:
    explicit QtEnumPropertyManagerPrivate(QtEnumPropertyManager *manager) : q_ptr(manager) {}

    // The record of a known property whose value moves to `val`, else null.
    EnumData *acceptedChange(const QtProperty *property, int &val)
    {
        EnumData *data = values.find(property);
        if (!data)
            return nullptr;
        const int count = data->names.size();
        if (val >= count)
            return nullptr;
        if (val < 0) {
            if (count > 0)
                return nullptr;
            val = -1;
        }
        if (val == data->value)
            return nullptr;
        data->value = val;
        return data;
    }

    QtEnumPropertyManager *q_ptr;
    QtPropertyRecords<EnumData> values;
};

QtEnumPropertyManager::QtEnumPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtEnumPropertyManagerPrivate>(this))
{
}

QtEnumPropertyManager::~QtEnumPropertyManager()
{
    clear();
}

int QtEnumPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &EnumData::value, -1);
}

QStringList QtEnumPropertyManager::enumNames(const QtProperty *property) const
{
    return d_ptr->values.get(property, &EnumData::names);
}

QMap<int, QIcon> QtEnumPropertyManager::enumIcons(const QtProperty *property) const
{
    return d_ptr->values.get(property, &EnumData::icons);
}

QString QtEnumPropertyManager::valueText(const QtProperty *property) const
{
    const EnumData *data = d_ptr->values.find(property);
    if (!data || data->value < 0 || data->value >= data->names.size())
        return QString();
    return data->names.at(data->value);
}

QIcon QtEnumPropertyManager::valueIcon(const QtProperty *property) const
{
    const EnumData *data = d_ptr->values.find(property);
    return data ? data->icons.value(data->value) : QIcon();
}

void QtEnumPropertyManager::setValue(QtProperty *property, int val)
{
    if (!d_ptr->acceptedChange(property, val))
        return;
    const QtPropertyWatch watch(property);
    emit propertyChanged(property);
    if (watch.isAlive())
        emit valueChanged(property, val);
}

void QtEnumPropertyManager::setValueNoUpdate(QtProperty *property, int val)
{
    if (!d_ptr->acceptedChange(property, val))
        return;
    const QtPropertyWatch watch(property);
    emit propertyChanged(property);
    if (watch.isAlive())
        emit valueChangedNoUpdate(property, val);
}

void QtEnumPropertyManager::setEnumNames(QtProperty *property, const QStringList &names)
{
    EnumData *data = d_ptr->values.find(property);
    if (!data || data->names == names)
        return;
    data->names = names;
    data->value = names.isEmpty() ? -1 : 0;
    const int val = data->value;
    // Each signal only while the property lives: a receiver may delete it.
    const QStringList stored = names;
    const QtPropertyWatch watch(property);
    emit enumNamesChanged(property, stored);
    if (watch.isAlive())
        emit propertyChanged(property);
    if (watch.isAlive())
        emit valueChanged(property, val);
}

void QtEnumPropertyManager::setEnumIcons(QtProperty *property, const QMap<int, QIcon> &icons)
{
    EnumData *data = d_ptr->values.find(property);
    if (!data)
        return;
    data->icons = icons;
    const QMap<int, QIcon> stored = icons;
    const QtPropertyWatch watch(property);
    emit enumIconsChanged(property, stored);
    if (watch.isAlive())
        emit propertyChanged(property);
}

void QtEnumPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
}

void QtEnumPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
