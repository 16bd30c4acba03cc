#include "propertybrowser/extended/qtsizepropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

namespace {

template <class Size, class Extra>
struct SizeData : QtBoundedValue<Size>, Extra
{
};

// What the integer and the double size manager share; Inner is the manager of the
// components.
template <class Manager, class Inner, class Size, class Extra>
class SizeCore
{
public:
    enum Component { Width, Height, ComponentCount };
    using Data = SizeData<Size, Extra>;
    using Scalar = decltype(Size().width());

    explicit SizeCore(Manager *manager) : q_ptr(manager), inner(new Inner(manager)) {}

    QString valueText(const QtProperty *property)
    {
        const Data *data = values.find(property);
        if (!data)
            return QString();
        return Manager::tr("%1 x %2").arg(componentText(data->value.width(), data->decimals),
                                          componentText(data->value.height(), data->decimals));
    }

    void setValue(QtProperty *property, const Size &val, bool onlyIfChanged)
    {
        if (Data *data = values.find(property))
            QtBoundedSetters::setValue(q_ptr, property, *data, val, onlyIfChanged, pushValue(property));
    }
    void setMinimum(QtProperty *property, const Size &val)
    {
        if (Data *data = values.find(property))
            QtBoundedSetters::setMinimum(q_ptr, property, *data, val, pushRange(property));
    }
    void setMaximum(QtProperty *property, const Size &val)
    {
        if (Data *data = values.find(property))
            QtBoundedSetters::setMaximum(q_ptr, property, *data, val, pushRange(property));
    }
    void setRange(QtProperty *property, const Size &minVal, const Size &maxVal)
    {
        if (Data *data = values.find(property))
            QtBoundedSetters::setRange(q_ptr, property, *data, minVal, maxVal, pushRange(property));
    }

    void componentChanged(const QtProperty *sub, Scalar val)
    {
        const auto found = links.find(sub);
        if (!found.parent)
            return;
        Size size = values.get(found.parent, &Data::value);
        if (found.component == Width)
            size.setWidth(val);
        else
            size.setHeight(val);
        q_ptr->setValue(found.parent, size, true);
    }

    void initialize(QtProperty *property)
    {
        values.initialize(property);
        Data *data = values.find(property);
        const Scalar largest = Scalar(2147483647);
        data->value = data->minimum = Size(0, 0);
        data->maximum = Size(largest, largest);
        const int decimals = data->decimals;
        const QString names[ComponentCount] = {Manager::tr("Width"), Manager::tr("Height")};
        for (int c = Width; c < ComponentCount; ++c) {
            addComponent(property, inner, links[c], names[c], [this, decimals](QtProperty *sub) {
                setInnerDecimals(inner, sub, decimals);
                inner->setValue(sub, 0, true);
                inner->setMinimum(sub, 0);
            });
        }
    }

    void uninitialize(QtProperty *property)
    {
        links.releaseAll(property);
        values.uninitialize(property);
    }

    Manager *q_ptr;
    Inner *inner;
    QtPropertyRecords<Data> values;
    QtComponentLinks<ComponentCount> links;

private:
    // The children follow the value; run before the value is announced.
    auto pushValue(QtProperty *property)
    {
        return [this, property] {
            const Size size = values.get(property, &Data::value);
            inner->setValue(links.subProperty(Width, property), size.width(), true);
            inner->setValue(links.subProperty(Height, property), size.height(), true);
        };
    }

    // The children's ranges mirror the size's range, so an edit of a child cannot
    // leave it.
    auto pushRange(QtProperty *property)
    {
        return [this, property] {
            for (int c = Width; c < ComponentCount; ++c) {
                const Data *data = values.find(property);
                if (!data)
                    return;
                QtProperty *sub = links.subProperty(c, property);
                inner->setRange(sub, component(data->minimum, c), component(data->maximum, c));
                inner->setValue(sub, component(data->value, c), true);
            }
        };
    }

    static Scalar component(const Size &size, int c) { return c == Width ? size.width() : size.height(); }
};

} // namespace

class QtSizePropertyManagerPrivate
    : public SizeCore<QtSizePropertyManager, QtIntPropertyManager, QSize, QtNoDecimals>
{
public:
    using SizeCore::SizeCore;
};

class QtSizeFPropertyManagerPrivate
    : public SizeCore<QtSizeFPropertyManager, QtDoublePropertyManager, QSizeF, QtDecimals>
{
public:
    using SizeCore::SizeCore;
};

QtSizePropertyManager::QtSizePropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtSizePropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtSizePropertyManager::~QtSizePropertyManager()
{
    clear();
}

QSize QtSizePropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizePropertyManagerPrivate::Data::value);
}

QSize QtSizePropertyManager::minimum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizePropertyManagerPrivate::Data::minimum);
}

QSize QtSizePropertyManager::maximum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizePropertyManagerPrivate::Data::maximum);
}

QtIntPropertyManager *QtSizePropertyManager::subIntPropertyManager() const
{
    return d_ptr->inner;
}

QString QtSizePropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtSizePropertyManager::setValue(QtProperty *property, const QSize &val, bool onlyIfChanged)
{
    d_ptr->setValue(property, val, onlyIfChanged);
}

void QtSizePropertyManager::setValue(QtProperty *property, const QSize &val)
{
    setValue(property, val, true);
}

void QtSizePropertyManager::setMinimum(QtProperty *property, const QSize &minVal)
{
    d_ptr->setMinimum(property, minVal);
}

void QtSizePropertyManager::setMaximum(QtProperty *property, const QSize &maxVal)
{
    d_ptr->setMaximum(property, maxVal);
}

void QtSizePropertyManager::setRange(QtProperty *property, const QSize &minVal, const QSize &maxVal)
{
    d_ptr->setRange(property, minVal, maxVal);
}

void QtSizePropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    d_ptr->componentChanged(sub, val);
}

void QtSizePropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtSizePropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtSizePropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}

QtSizeFPropertyManager::QtSizeFPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtSizeFPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, double)), this,
            SLOT(slotDoubleChanged(QtProperty *, double)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtSizeFPropertyManager::~QtSizeFPropertyManager()
{
    clear();
}

QSizeF QtSizeFPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizeFPropertyManagerPrivate::Data::value);
}

QSizeF QtSizeFPropertyManager::minimum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizeFPropertyManagerPrivate::Data::minimum);
}

QSizeF QtSizeFPropertyManager::maximum(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtSizeFPropertyManagerPrivate::Data::maximum);
}

int QtSizeFPropertyManager::decimals(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtDecimals::decimals);
}

QtDoublePropertyManager *QtSizeFPropertyManager::subDoublePropertyManager() const
{
    return d_ptr->inner;
}

QString QtSizeFPropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtSizeFPropertyManager::setValue(QtProperty *property, const QSizeF &val, bool onlyIfChanged)
{
    d_ptr->setValue(property, val, onlyIfChanged);
}

void QtSizeFPropertyManager::setValue(QtProperty *property, const QSizeF &val)
{
    setValue(property, val, true);
}

void QtSizeFPropertyManager::setMinimum(QtProperty *property, const QSizeF &minVal)
{
    d_ptr->setMinimum(property, minVal);
}

void QtSizeFPropertyManager::setMaximum(QtProperty *property, const QSizeF &maxVal)
{
    d_ptr->setMaximum(property, maxVal);
}

void QtSizeFPropertyManager::setRange(QtProperty *property, const QSizeF &minVal, const QSizeF &maxVal)
{
    d_ptr->setRange(property, minVal, maxVal);
}

void QtSizeFPropertyManager::setDecimals(QtProperty *property, int prec)
{
    setComponentDecimals(this, d_ptr->values, d_ptr->inner, d_ptr->links, property, prec);
}

void QtSizeFPropertyManager::slotDoubleChanged(QtProperty *sub, double val)
{
    d_ptr->componentChanged(sub, val);
}

void QtSizeFPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtSizeFPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtSizeFPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
