// Point properties, with integer or double coordinates, shown as "(x, y)" and edited
// through two sub-properties "X" and "Y" of an inner manager. An edit of a child
// moves the point; a new point is written into both children. Points have no bounds.
// Double points compare each coordinate fuzzily (absolutely when one of them is 0)
// and carry a number of decimals (2; 0 to 13).
#pragma once

#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QPoint>
#include <QPointF>

#include <memory>

class QtPointPropertyManagerPrivate;
class QtPointFPropertyManagerPrivate;

class QtPointPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtPointPropertyManager(QObject *parent = nullptr);
    ~QtPointPropertyManager() override;

    // A property this manager does not hold reads (0, 0).
    QPoint value(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QPoint &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QPoint &val);

public slots:
    void setValue(QtProperty *property, const QPoint &val);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtPointPropertyManagerPrivate> d_ptr;
};

class QtPointFPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtPointFPropertyManager(QObject *parent = nullptr);
    ~QtPointFPropertyManager() override;

    // A property this manager does not hold reads (0, 0) and 0 decimals.
    QPointF value(const QtProperty *property) const;
    int decimals(const QtProperty *property) const;
    QtDoublePropertyManager *subDoublePropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QPointF &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QPointF &val);
    void decimalsChanged(QtProperty *property, int prec);

public slots:
    void setValue(QtProperty *property, const QPointF &val);
    // Limited to 0..13; announces only decimalsChanged.
    void setDecimals(QtProperty *property, int prec);

private slots:
    void slotDoubleChanged(QtProperty *sub, double val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtPointFPropertyManagerPrivate> d_ptr;
};
