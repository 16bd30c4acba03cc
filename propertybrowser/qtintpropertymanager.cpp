#include "propertybrowser/qtintpropertymanager.h"

#include "propertybrowser/qtboundedvalue.h"
#include "propertybrowser/qtpropertyrecords_p.h"

#include <QtGlobal>

namespace {

struct IntData : QtBoundedValue<int>
{
    IntData() : QtBoundedValue<int>{0, -2147483647, 2147483647} {}
    int singleStep = 1;
    bool readOnly = false;
    bool btnVisible = false;
    QString btnCaption = QStringLiteral("Рассчитать");
};

} // namespace

class QtIntPropertyManagerPrivate
{
public:
    explicit QtIntPropertyManagerPrivate(QtIntPropertyManager *manager) : q_ptr(manager) {}

    QtIntPropertyManager *q_ptr;
    QtPropertyRecords<IntData> values;
};

QtIntPropertyManager::QtIntPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtIntPropertyManagerPrivate>(this))
{
}

QtIntPropertyManager::~QtIntPropertyManager()
{
    clear();
}

int QtIntPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::value);
}

int QtIntPropertyManager::minimum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::minimum);
}

int QtIntPropertyManager::maximum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::maximum);
}

int QtIntPropertyManager::singleStep(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::singleStep);
}

bool QtIntPropertyManager::isReadOnly(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::readOnly);
}

bool QtIntPropertyManager::isBtnVisible(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::btnVisible);
}

QString QtIntPropertyManager::btnCaption(const QtProperty *property) const
{
    return d_ptr->values.get(property, &IntData::btnCaption);
}

QString QtIntPropertyManager::valueText(const QtProperty *property) const
{
    const IntData *data = d_ptr->values.find(property);
    return data ? QString::number(data->value) : QString();
}

void QtIntPropertyManager::setValue(QtProperty *property, int val, bool onlyIfChanged)
{
    if (IntData *data = d_ptr->values.find(property))
        QtBoundedSetters::setValue(this, property, *data, val, onlyIfChanged);
}

void QtIntPropertyManager::setValue(QtProperty *property, int val)
{
    setValue(property, val, true);
}

void QtIntPropertyManager::setMinimum(QtProperty *property, int minVal)
{
    if (IntData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMinimum(this, property, *data, minVal);
}

void QtIntPropertyManager::setMaximum(QtProperty *property, int maxVal)
{
    if (IntData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMaximum(this, property, *data, maxVal);
}

void QtIntPropertyManager::setRange(QtProperty *property, int minVal, int maxVal)
{
    if (IntData *data = d_ptr->values.find(property))
        QtBoundedSetters::setRange(this, property, *data, minVal, maxVal);
}

void QtIntPropertyManager::setSingleStep(QtProperty *property, int step)
{
    IntData *data = d_ptr->values.find(property);
    if (data && storeChanged(data->singleStep, qMax(step, 0)))
        emit singleStepChanged(property, data->singleStep);
}

void QtIntPropertyManager::setReadOnly(QtProperty *property, bool readOnly)
{
    setAnnounced(this, d_ptr->values, property, &IntData::readOnly, readOnly,
                 &QtIntPropertyManager::readOnlyChanged);
}

void QtIntPropertyManager::setBtnVisibility(QtProperty *property, bool visible)
{
    setShownSetting(this, d_ptr->values, property, &IntData::btnVisible, visible);
}

void QtIntPropertyManager::setBtnCaption(QtProperty *property, const QString &caption)
{
    setShownSetting(this, d_ptr->values, property, &IntData::btnCaption, caption);
}

void QtIntPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
}

void QtIntPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
