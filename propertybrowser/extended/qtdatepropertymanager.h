// Date properties within a range (by default 1752-09-14 to 7999-12-31; a new property
// holds today). A value outside the range is clamped silently; every real change is
// announced by propertyChanged, then valueChanged. The text uses the short date
// format of the default locale at the manager's construction.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QDate>

#include <memory>

class QtDatePropertyManagerPrivate;

class QtDatePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtDatePropertyManager(QObject *parent = nullptr);
    ~QtDatePropertyManager() override;

    // A property this manager does not hold reads an invalid date.
    QDate value(const QtProperty *property) const;
    QDate minimum(const QtProperty *property) const;
    QDate maximum(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QDate &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QDate &val);
    void rangeChanged(QtProperty *property, const QDate &minVal, const QDate &maxVal);

public slots:
    // Without onlyIfChanged an unchanged value is announced again.
    void setValue(QtProperty *property, const QDate &val, bool onlyIfChanged);
    void setValue(QtProperty *property, const QDate &val);
    void setMinimum(QtProperty *property, const QDate &minVal);
    void setMaximum(QtProperty *property, const QDate &maxVal);
    // The dates are swapped when maxVal is the earlier.
    void setRange(QtProperty *property, const QDate &minVal, const QDate &maxVal);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtDatePropertyManagerPrivate> d_ptr;
};
