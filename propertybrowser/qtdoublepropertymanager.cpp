#include "propertybrowser/qtdoublepropertymanager.h"

#include "propertybrowser/qtboundedvalue.h"
#include "propertybrowser/qtpropertyrecords_p.h"

#include <QLocale>
#include <QtGlobal>

namespace {

struct DoubleData : QtBoundedValue<double>
{
    DoubleData() : QtBoundedValue<double>{0.0, -2147483647.0, 2147483647.0} {}
    double singleStep = 1.0;
    int decimals = 2;
    bool readOnly = false;
};

} // namespace

class QtDoublePropertyManagerPrivate
{
public:
    explicit QtDoublePropertyManagerPrivate(QtDoublePropertyManager *manager) : q_ptr(manager) {}

    QtDoublePropertyManager *q_ptr;
    QtPropertyRecords<DoubleData> values;
    int valueSettersRunning = 0;
};

namespace {

// Counts a setter that may announce a value while it runs.
class SetterScope
{
public:
    explicit SetterScope(int &running) : m_running(running) { ++m_running; }
    ~SetterScope() { --m_running; }
    SetterScope(const SetterScope &) = delete;
    SetterScope &operator=(const SetterScope &) = delete;

private:
    int &m_running;
};

} // namespace

QtDoublePropertyManager::QtDoublePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtDoublePropertyManagerPrivate>(this))
{
}

QtDoublePropertyManager::~QtDoublePropertyManager()
{
    clear();
}

double QtDoublePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::value);
}

double QtDoublePropertyManager::minimum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::minimum);
}

double QtDoublePropertyManager::maximum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::maximum);
}

double QtDoublePropertyManager::singleStep(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::singleStep);
}

int QtDoublePropertyManager::decimals(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::decimals);
}

bool QtDoublePropertyManager::isReadOnly(const QtProperty *property) const
{
    return d_ptr->values.get(property, &DoubleData::readOnly);
}

QString QtDoublePropertyManager::valueText(const QtProperty *property) const
{
    const DoubleData *data = d_ptr->values.find(property);
    return data ? QLocale::system().toString(data->value, 'f', data->decimals) : QString();
}

void QtDoublePropertyManager::setValue(QtProperty *property, double val, bool onlyIfChanged)
{
    const SetterScope running(d_ptr->valueSettersRunning);
    if (DoubleData *data = d_ptr->values.find(property))
        QtBoundedSetters::setValue(this, property, *data, val, onlyIfChanged);
}

void QtDoublePropertyManager::setValue(QtProperty *property, double val)
{
    setValue(property, val, true);
}

void QtDoublePropertyManager::setMinimum(QtProperty *property, double minVal)
{
    const SetterScope running(d_ptr->valueSettersRunning);
    if (DoubleData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMinimum(this, property, *data, minVal);
}

void QtDoublePropertyManager::setMaximum(QtProperty *property, double maxVal)
{
    const SetterScope running(d_ptr->valueSettersRunning);
    if (DoubleData *data = d_ptr->values.find(property))
        QtBoundedSetters::setMaximum(this, property, *data, maxVal);
}

void QtDoublePropertyManager::setRange(QtProperty *property, double minVal, double maxVal)
{
    const SetterScope running(d_ptr->valueSettersRunning);
    if (DoubleData *data = d_ptr->values.find(property))
        QtBoundedSetters::setRange(this, property, *data, minVal, maxVal);
}

void QtDoublePropertyManager::setSingleStep(QtProperty *property, double step)
{
    DoubleData *data = d_ptr->values.find(property);
    if (data && storeChanged(data->singleStep, qMax(step, 0.0)))
        emit singleStepChanged(property, data->singleStep);
}

void QtDoublePropertyManager::setDecimals(QtProperty *property, int prec)
{
    DoubleData *data = d_ptr->values.find(property);
    if (data && storeChanged(data->decimals, qBound(0, prec, kMaxDecimals)))
        emit decimalsChanged(property, data->decimals);
}

void QtDoublePropertyManager::setReadOnly(QtProperty *property, bool readOnly)
{
    setAnnounced(this, d_ptr->values, property, &DoubleData::readOnly, readOnly,
                 &QtDoublePropertyManager::readOnlyChanged);
}

int QtDoublePropertyManager::valueSettersRunning() const { return d_ptr->valueSettersRunning; }

void QtDoublePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
}

void QtDoublePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
