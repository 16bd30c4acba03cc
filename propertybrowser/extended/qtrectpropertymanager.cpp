#include "propertybrowser/extended/qtrectpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/qtpropertywatch_p.h"

#include <QScopedValueRollback>

#include <limits>

namespace {

template <class Rect, class Extra>
struct RectData : Extra
{
    Rect value;
    Rect constraint;
};

// Where the integer and the double rectangle differ. The children's edits are
// worked out on a QRectF, where an integer rectangle's edges can be seen passing
// the int range before anything is stored.
struct IntRect
{
    using Rect = QRect;
    using Extra = QtNoDecimals;
    static constexpr double kLargest = std::numeric_limits<int>::max();
    static constexpr double kLowest = std::numeric_limits<int>::min();

    static QRectF widened(const QRect &r) { return QRectF(r.x(), r.y(), r.width(), r.height()); }
    // False when an edge would leave the int range.
    static bool narrowed(const QRectF &r, QRect &out)
    {
        const auto fits = [](double v) { return v >= kLowest && v <= kLargest; };
        if (!fits(r.x()) || !fits(r.y()) || !fits(r.x() + r.width() - 1) || !fits(r.y() + r.height() - 1))
            return false;
        out = QRect(int(r.x()), int(r.y()), int(r.width()), int(r.height()));
        return true;
    }
    static int bound(double v) { return int(qBound(kLowest, v, kLargest)); }
    // As QRect::normalized, which overflows at a left or top edge of INT_MIN and
    // then swaps the edges of a rectangle that needs no swap.
    static QRect normalized(const QRect &r)
    {
        int edges[4];
        const auto order = [](qint64 lo, qint64 hi, int *out) {
            const bool swapped = hi < lo - 1;
            out[0] = int(swapped ? hi : lo);
            out[1] = int(swapped ? lo : hi);
        };
        order(r.left(), r.right(), edges);
        order(r.top(), r.bottom(), edges + 2);
        return QRect(QPoint(edges[0], edges[2]), QPoint(edges[1], edges[3]));
    }
};

struct DoubleRect
{
    using Rect = QRectF;
    using Extra = QtDecimals;
    static constexpr double kLargest = std::numeric_limits<float>::max();
    static constexpr double kLowest = -kLargest;

    static QRectF widened(const QRectF &r) { return r; }
    static bool narrowed(const QRectF &r, QRectF &out)
    {
        out = r;
        return true;
    }
    static QRectF normalized(const QRectF &r) { return r.normalized(); }
    // The children's bounds are kept in single precision.
    static double bound(double v) { return double(float(v)); }
};

// Edges count as inside; each rectangle type has its own right and bottom edge.
template <class Rect>
bool containsRect(const Rect &outer, const Rect &r)
{
    return r.left() >= outer.left() && r.right() <= outer.right() && r.top() >= outer.top()
           && r.bottom() <= outer.bottom();
}

template <class Manager, class Inner, class Traits>
class RectCore
{
public:
    enum Component { X, Y, Width, Height, ComponentCount };
    using Rect = typename Traits::Rect;
    using Data = RectData<Rect, typename Traits::Extra>;
    using Scalar = decltype(Rect().x());

    explicit RectCore(Manager *manager) : q_ptr(manager), inner(new Inner(manager)) {}

    QString valueText(const QtProperty *property)
    {
        const Data *data = values.find(property);
        if (!data)
            return QString();
        const Rect &r = data->value;
        const int decimals = data->decimals;
        return Manager::tr("[(%1, %2), %3 x %4]")
            .arg(componentText(r.x(), decimals), componentText(r.y(), decimals),
                 componentText(r.width(), decimals), componentText(r.height(), decimals));
    }

    void setValue(QtProperty *property, const Rect &val)
    {
        Data *data = values.find(property);
        if (!data)
            return;
        Rect r = Traits::normalized(val);
        const Rect &c = data->constraint;
        if (!c.isNull() && !containsRect(c, r)) {
            Rect overlap = r;
            overlap.setLeft(qMax(r.left(), c.left()));
            overlap.setTop(qMax(r.top(), c.top()));
            overlap.setRight(qMin(r.right(), c.right()));
            overlap.setBottom(qMin(r.bottom(), c.bottom()));
            if (overlap.width() < 0 || overlap.height() < 0)
                return;
            r = overlap;
        }
        if (r == data->value)
            return;
        storeAndAnnounce(q_ptr, property, data->value, r,
                         [this, property](const Rect &) { pushValue(property); });
    }

    void setConstraint(QtProperty *property, const Rect &constraint)
    {
        Data *data = values.find(property);
        if (!data)
            return;
        const Rect c = Traits::normalized(constraint);
        if (c == data->constraint)
            return;
        data->constraint = c;
        const Rect old = data->value;
        if (!c.isNull() && !containsRect(c, data->value))
            data->value = fitted(data->value, c);
        const Rect value = data->value;
        // Each step only while the property lives: a receiver may delete it.
        const QtPropertyWatch watch(property);
        emit q_ptr->constraintChanged(property, c);
        if (watch.isAlive())
            pushRanges(property, c);
        if (watch.isAlive())
            pushValue(property);
        if (value == old || !watch.isAlive())
            return;
        QtBoundedSetters::announceValue(q_ptr, property, value);
    }

    void componentChanged(const QtProperty *sub, Scalar val)
    {
        // A child that a new range clamps reports a value from before the rectangle
        // was fitted into its constraint; the rectangle already holds the answer.
        if (writingChildren)
            return;
        const auto found = links.find(sub);
        if (!found.parent)
            return;
        const Data *data = values.find(found.parent);
        const QRectF c = Traits::widened(data->constraint);
        QRectF r = Traits::widened(data->value);
        switch (found.component) {
        case X:
            r.moveLeft(val);
            break;
        case Y:
            r.moveTop(val);
            break;
        case Width:
            if (!data->constraint.isNull() && r.left() + val > c.left() + c.width())
                r.moveLeft(c.left() + c.width() - val);
            r.setWidth(val);
            break;
        default:
            if (!data->constraint.isNull() && r.top() + val > c.top() + c.height())
                r.moveTop(c.top() + c.height() - val);
            r.setHeight(val);
        }
        Rect result;
        if (Traits::narrowed(r, result))
            q_ptr->setValue(found.parent, result);
        else
            pushValue(found.parent); // the rectangle cannot take it: the child goes back
    }

    void initialize(QtProperty *property)
    {
        values.initialize(property);
        const int decimals = values.find(property)->decimals;
        const QString names[ComponentCount] = {Manager::tr("X"), Manager::tr("Y"), Manager::tr("Width"),
                                               Manager::tr("Height")};
        for (int c = X; c < ComponentCount; ++c) {
            addComponent(property, inner, links[c], names[c], [this, decimals, c](QtProperty *sub) {
                setInnerDecimals(inner, sub, decimals);
                inner->setValue(sub, 0, true);
                if (c == Width || c == Height)
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
    bool writingChildren = false;

    // Cut to the constraint's size first, then moved inside it; the size stays while it moves.
    static Rect fitted(Rect r, const Rect &c)
    {
        if (r.width() > c.width())
            r.setWidth(c.width());
        if (r.height() > c.height())
            r.setHeight(c.height());
        if (r.left() < c.left())
            r.moveLeft(c.left());
        else if (r.right() > c.right())
            r.moveRight(c.right());
        if (r.top() < c.top())
            r.moveTop(c.top());
        else if (r.bottom() > c.bottom())
            r.moveBottom(c.bottom());
        return r;
    }

    void pushValue(QtProperty *property)
    {
        const QScopedValueRollback<bool> writing(writingChildren, true);
        const Rect r = values.get(property, &Data::value);
        const Scalar parts[ComponentCount] = {r.x(), r.y(), r.width(), r.height()};
        for (int c = X; c < ComponentCount; ++c)
            inner->setValue(links.subProperty(c, property), parts[c], true);
    }

    // The children's ranges follow the constraint; without one they are as wide as
    // the type allows.
    void pushRanges(QtProperty *property, const Rect &constraint)
    {
        const QScopedValueRollback<bool> writing(writingChildren, true);
        Scalar lo[ComponentCount] = {Scalar(Traits::kLowest), Scalar(Traits::kLowest), 0, 0};
        Scalar hi[ComponentCount] = {Scalar(Traits::kLargest), Scalar(Traits::kLargest),
                                     Scalar(Traits::kLargest), Scalar(Traits::kLargest)};
        if (!constraint.isNull()) {
            const QRectF c = Traits::widened(constraint);
            const double bounds[ComponentCount][2] = {{c.left(), c.left() + c.width()},
                                                      {c.top(), c.top() + c.height()},
                                                      {0, c.width()},
                                                      {0, c.height()}};
            for (int i = X; i < ComponentCount; ++i) {
                lo[i] = Traits::bound(bounds[i][0]);
                hi[i] = Traits::bound(bounds[i][1]);
            }
        }
        for (int c = X; c < ComponentCount; ++c)
            inner->setRange(links.subProperty(c, property), lo[c], hi[c]);
    }
};

} // namespace

class QtRectPropertyManagerPrivate : public RectCore<QtRectPropertyManager, QtIntPropertyManager, IntRect>
{
public:
    using RectCore::RectCore;
};

class QtRectFPropertyManagerPrivate
    : public RectCore<QtRectFPropertyManager, QtDoublePropertyManager, DoubleRect>
{
public:
    using RectCore::RectCore;
};

QtRectPropertyManager::QtRectPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtRectPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtRectPropertyManager::~QtRectPropertyManager()
{
    clear();
}

QRect QtRectPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtRectPropertyManagerPrivate::Data::value);
}

QRect QtRectPropertyManager::constraint(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtRectPropertyManagerPrivate::Data::constraint);
}

QtIntPropertyManager *QtRectPropertyManager::subIntPropertyManager() const
{
    return d_ptr->inner;
}

QString QtRectPropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtRectPropertyManager::setValue(QtProperty *property, const QRect &val)
{
    d_ptr->setValue(property, val);
}

void QtRectPropertyManager::setConstraint(QtProperty *property, const QRect &constraint)
{
    d_ptr->setConstraint(property, constraint);
}

void QtRectPropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    d_ptr->componentChanged(sub, val);
}

void QtRectPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtRectPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtRectPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}

QtRectFPropertyManager::QtRectFPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtRectFPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, double)), this,
            SLOT(slotDoubleChanged(QtProperty *, double)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtRectFPropertyManager::~QtRectFPropertyManager()
{
    clear();
}

QRectF QtRectFPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtRectFPropertyManagerPrivate::Data::value);
}

QRectF QtRectFPropertyManager::constraint(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtRectFPropertyManagerPrivate::Data::constraint);
}

int QtRectFPropertyManager::decimals(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtDecimals::decimals);
}

QtDoublePropertyManager *QtRectFPropertyManager::subDoublePropertyManager() const
{
    return d_ptr->inner;
}

QString QtRectFPropertyManager::valueText(const QtProperty *property) const
{
    return d_ptr->valueText(property);
}

void QtRectFPropertyManager::setValue(QtProperty *property, const QRectF &val)
{
    d_ptr->setValue(property, val);
}

void QtRectFPropertyManager::setConstraint(QtProperty *property, const QRectF &constraint)
{
    d_ptr->setConstraint(property, constraint);
}

void QtRectFPropertyManager::setDecimals(QtProperty *property, int prec)
{
    setComponentDecimals(this, d_ptr->values, d_ptr->inner, d_ptr->links, property, prec);
}

void QtRectFPropertyManager::slotDoubleChanged(QtProperty *sub, double val)
{
    d_ptr->componentChanged(sub, val);
}

void QtRectFPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtRectFPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property);
}

void QtRectFPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
