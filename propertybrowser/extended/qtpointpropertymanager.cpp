#include "propertybrowser/extended/qtpointpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"

namespace {

template <class Point, class Extra>
struct PointData : Extra
{
    Point value;
};

// What the integer and the double point manager share; Inner is the manager of the
// coordinates.
template <class Manager, class Inner, class Point, class Extra>
class PointCore
{
public:
    enum Component { X, Y, ComponentCount };
    using Data = PointData<Point, Extra>;

    explicit PointCore(Manager *manager) : q_ptr(manager), inner(new Inner(manager)) {}

    QString valueText(const QtProperty *property)
    {
        const Data *data = values.find(property);
        if (!data)
            return QString();
        return Manager::tr("(%1, %2)").arg(componentText(data->value.x(), data->decimals),
                                           componentText(data->value.y(), data->decimals));
    }

    void setValue(QtProperty *property, const Point &val)
    {
        setCompoundValue(q_ptr, values, property, val, [this, property](const Point &point) {
            inner->setValue(links.subProperty(X, property), point.x(), true);
            inner->setValue(links.subProperty(Y, property), point.y(), true);
        });
    }

    void componentChanged(const QtProperty *sub, decltype(Point().x()) val)
    {
        const auto found = links.find(sub);
        if (!found.parent)
            return;
        Point point = values.get(found.parent, &Data::value);
        if (found.component == X)
            point.setX(val);
        else
            point.setY(val);
        q_ptr->setValue(found.parent, point);
    }

    void initialize(QtProperty *property)
    {
        values.initialize(property);
        const int decimals = values.find(property)->decimals;
        const QString names[ComponentCount] = {Manager::tr("X"), Manager::tr("Y")};
        for (int c = X; c < ComponentCount; ++c) {
            addComponent(property, inner, links[c], names[c], [this, decimals](QtProperty *sub) {
                setInnerDecimals(inner, sub, decimals);
                inner->setValue(sub, 0, true);
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
};

} // namespace

class QtPointPropertyManagerPrivate
    : public PointCore<QtPointPropertyManager, QtIntPropertyManager, QPoint, QtNoDecimals>
{
public:
    using PointCore::PointCore;
};

class QtPointFPropertyManagerPrivate
    : public PointCore<QtPointFPropertyManager, QtDoublePropertyManager, QPointF, QtDecimals>
{
public:
    using PointCore::PointCore;
};

QtPointPropertyManager::QtPointPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtPointPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtPointPropertyManager::~QtPointPropertyManager()
{
    clear();
}

QPoint QtPointPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtPointPropertyManagerPrivate::Data::value);
}

QtIntPropertyManager *QtPointPropertyManager::subIntPropertyManager() const
{
    return d_ptr->inner;
}

QString QtPointPropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtPointPropertyManager::setValue(QtProperty *property, const QPoint &val)
{
    d_ptr->setValue(property, val);
}

void QtPointPropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    d_ptr->componentChanged(sub, val);
}

void QtPointPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtPointPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtPointPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}

QtPointFPropertyManager::QtPointFPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtPointFPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, double)), this,
            SLOT(slotDoubleChanged(QtProperty *, double)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtPointFPropertyManager::~QtPointFPropertyManager()
{
    clear();
}

QPointF QtPointFPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtPointFPropertyManagerPrivate::Data::value);
}

int QtPointFPropertyManager::decimals(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtDecimals::decimals);
}

QtDoublePropertyManager *QtPointFPropertyManager::subDoublePropertyManager() const
{
    return d_ptr->inner;
}

QString QtPointFPropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtPointFPropertyManager::setValue(QtProperty *property, const QPointF &val)
{
    d_ptr->setValue(property, val);
}

void QtPointFPropertyManager::setDecimals(QtProperty *property, int prec)
{
    setComponentDecimals(this, d_ptr->values, d_ptr->inner, d_ptr->links, property, prec);
}

void QtPointFPropertyManager::slotDoubleChanged(QtProperty *sub, double val)
{
    d_ptr->componentChanged(sub, val);
}

void QtPointFPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtPointFPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtPointFPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
