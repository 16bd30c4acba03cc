// Integer properties with a range, a single step, a read-only flag and an optional
// action button on their editor. Values are clamped into the range silently; every
// real change is announced by propertyChanged, then valueChanged.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <memory>

class QtIntPropertyManagerPrivate;

class QtIntPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtIntPropertyManager(QObject *parent = nullptr);
    ~QtIntPropertyManager() override;

    // A property this manager does not hold reads 0, false or an empty text.
    int value(const QtProperty *property) const;
    int minimum(const QtProperty *property) const;
    int maximum(const QtProperty *property) const;
    int singleStep(const QtProperty *property) const;
    bool isReadOnly(const QtProperty *property) const;
    bool isBtnVisible(const QtProperty *property) const;
    QString btnCaption(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, int val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, int val);
    // Emitted by the editor factory when an editor's action button is pressed.
    void scriptCalled(QtProperty *property);
    void rangeChanged(QtProperty *property, int minVal, int maxVal);
    void singleStepChanged(QtProperty *property, int step);
    void readOnlyChanged(QtProperty *property, bool readOnly);

public slots:
    // Without onlyIfChanged an unchanged value is announced again.
    void setValue(QtProperty *property, int val, bool onlyIfChanged);
    void setValue(QtProperty *property, int val);
    void setMinimum(QtProperty *property, int minVal);
    void setMaximum(QtProperty *property, int maxVal);
    // The bounds are swapped when maxVal < minVal; rangeChanged comes even when the
    // value stays.
    void setRange(QtProperty *property, int minVal, int maxVal);
    // A negative step becomes 0.
    void setSingleStep(QtProperty *property, int step);
    void setReadOnly(QtProperty *property, bool readOnly);
    // The editor takes the button's settings when it is made; no signal reaches open editors.
    void setBtnVisibility(QtProperty *property, bool visible);
    void setBtnCaption(QtProperty *property, const QString &caption);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtIntPropertyManagerPrivate> d_ptr;
};
