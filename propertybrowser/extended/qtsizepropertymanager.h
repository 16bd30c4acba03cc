// Size properties, with integer or double components, kept inside a range of sizes
// (width and height each bounded on its own; by default 0 to 2147483647), shown as
// "w x h" and edited through two sub-properties "Width" and "Height" of an inner
// manager whose ranges follow the size's range. Values outside the range are
// clamped silently; rangeChanged comes before the value signals. Double sizes
// compare fuzzily and carry a number of decimals (2; 0 to 13).
#pragma once

#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QSize>
#include <QSizeF>

#include <memory>

class QtSizePropertyManagerPrivate;
class QtSizeFPropertyManagerPrivate;

class QtSizePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtSizePropertyManager(QObject *parent = nullptr);
    ~QtSizePropertyManager() override;

    // A property this manager does not hold reads the invalid size (-1, -1).
    QSize value(const QtProperty *property) const;
    QSize minimum(const QtProperty *property) const;
    QSize maximum(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QSize &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QSize &val);
    void rangeChanged(QtProperty *property, const QSize &minVal, const QSize &maxVal);

public slots:
    // Without onlyIfChanged an unchanged value is announced again.
    void setValue(QtProperty *property, const QSize &val, bool onlyIfChanged);
    void setValue(QtProperty *property, const QSize &val);
    void setMinimum(QtProperty *property, const QSize &minVal);
    void setMaximum(QtProperty *property, const QSize &maxVal);
    // Widths and heights are ordered each on their own.
    void setRange(QtProperty *property, const QSize &minVal, const QSize &maxVal);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSizePropertyManagerPrivate> d_ptr;
};

class QtSizeFPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtSizeFPropertyManager(QObject *parent = nullptr);
    ~QtSizeFPropertyManager() override;

    // A property this manager does not hold reads (-1, -1) and 0 decimals.
    QSizeF value(const QtProperty *property) const;
    QSizeF minimum(const QtProperty *property) const;
    QSizeF maximum(const QtProperty *property) const;
    int decimals(const QtProperty *property) const;
    QtDoublePropertyManager *subDoublePropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QSizeF &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QSizeF &val);
    void rangeChanged(QtProperty *property, const QSizeF &minVal, const QSizeF &maxVal);
    void decimalsChanged(QtProperty *property, int prec);

public slots:
    // Without onlyIfChanged an unchanged value is announced again.
    void setValue(QtProperty *property, const QSizeF &val, bool onlyIfChanged);
    void setValue(QtProperty *property, const QSizeF &val);
    void setMinimum(QtProperty *property, const QSizeF &minVal);
    void setMaximum(QtProperty *property, const QSizeF &maxVal);
    // Widths and heights are ordered each on their own.
    void setRange(QtProperty *property, const QSizeF &minVal, const QSizeF &maxVal);
    // Limited to 0..13; announces only decimalsChanged.
    void setDecimals(QtProperty *property, int prec);

private slots:
    void slotDoubleChanged(QtProperty *sub, double val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSizeFPropertyManagerPrivate> d_ptr;
};
