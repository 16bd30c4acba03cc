// Double properties with a range, a single step, a number of decimals and a
// read-only flag. Values are compared exactly and clamped into the range silently;
// every real change is announced by propertyChanged, then valueChanged.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <memory>

class QtDoublePropertyManagerPrivate;

class QtDoublePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtDoublePropertyManager(QObject *parent = nullptr);
    ~QtDoublePropertyManager() override;

    // A property this manager does not hold reads 0 or false.
    double value(const QtProperty *property) const;
    double minimum(const QtProperty *property) const;
    double maximum(const QtProperty *property) const;
    double singleStep(const QtProperty *property) const;
    int decimals(const QtProperty *property) const;
    bool isReadOnly(const QtProperty *property) const;

    // Fixed notation in the system locale with the property's decimals.
    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, double val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, double val);
    void rangeChanged(QtProperty *property, double minVal, double maxVal);
    void singleStepChanged(QtProperty *property, double step);
    void decimalsChanged(QtProperty *property, int prec);
    void readOnlyChanged(QtProperty *property, bool readOnly);

public slots:
    // Without onlyIfChanged an unchanged value is announced again.
    void setValue(QtProperty *property, double val, bool onlyIfChanged);
    void setValue(QtProperty *property, double val);
    void setMinimum(QtProperty *property, double minVal);
    void setMaximum(QtProperty *property, double maxVal);
    // The bounds are swapped when maxVal < minVal; rangeChanged comes even when the
    // value stays.
    void setRange(QtProperty *property, double minVal, double maxVal);
    // A negative step becomes 0.
    void setSingleStep(QtProperty *property, double step);
    // Limited to 0..13. Announces only decimalsChanged: the shown text follows at
    // the property's next propertyChanged.
    void setDecimals(QtProperty *property, int prec);
    void setReadOnly(QtProperty *property, bool readOnly);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    // How many of the setters that may announce a value are running, one inside
    // another: the editor factory tells its own commit from the changes that
    // handlers make while the commit is announced.
    int valueSettersRunning() const;
    friend class QtDoubleSpinBoxFactory;

    std::unique_ptr<QtDoublePropertyManagerPrivate> d_ptr;
};
