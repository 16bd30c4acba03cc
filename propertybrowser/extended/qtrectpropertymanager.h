// Rectangle properties, with integer or double components, shown as
// "[(x, y), w x h]" and edited through four sub-properties "X", "Y", "Width" and
// "Height" of an inner manager. A rectangle is stored normalized. A constraint
// rectangle that is not null (width and height 0) keeps the value inside it: a new
// value is cut to its overlap with the constraint (no overlap: refused), a new
// constraint cuts the value's size and then moves it inside, and the children's
// ranges follow the constraint. Double rectangles compare fuzzily and carry a number
// of decimals (2; 0 to 13).
#pragma once

#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QRect>
#include <QRectF>

#include <memory>

class QtRectPropertyManagerPrivate;
class QtRectFPropertyManagerPrivate;

class QtRectPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtRectPropertyManager(QObject *parent = nullptr);
    ~QtRectPropertyManager() override;

    // A property this manager does not hold reads the null rectangle.
    QRect value(const QtProperty *property) const;
    QRect constraint(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QRect &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QRect &val);
    void constraintChanged(QtProperty *property, const QRect &constraint);

public slots:
    void setValue(QtProperty *property, const QRect &val);
    void setConstraint(QtProperty *property, const QRect &constraint);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtRectPropertyManagerPrivate> d_ptr;
};

class QtRectFPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtRectFPropertyManager(QObject *parent = nullptr);
    ~QtRectFPropertyManager() override;

    // A property this manager does not hold reads the null rectangle and 0 decimals.
    QRectF value(const QtProperty *property) const;
    QRectF constraint(const QtProperty *property) const;
    int decimals(const QtProperty *property) const;
    QtDoublePropertyManager *subDoublePropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QRectF &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QRectF &val);
    void constraintChanged(QtProperty *property, const QRectF &constraint);
    void decimalsChanged(QtProperty *property, int prec);

public slots:
    void setValue(QtProperty *property, const QRectF &val);
    void setConstraint(QtProperty *property, const QRectF &constraint);
    // Limited to 0..13; announces only decimalsChanged.
    void setDecimals(QtProperty *property, int prec);

private slots:
    void slotDoubleChanged(QtProperty *sub, double val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtRectFPropertyManagerPrivate> d_ptr;
};
