// Size-policy properties, shown as "[horizontal, vertical, h-stretch, v-stretch]" and
// edited through two enumeration sub-properties (the policies, by their key names)
// and two integer sub-properties (the stretches, 0 to 255). A new property holds the
// size policy with all bits 0. A policy that matches no key shows "<Invalid>".
#pragma once

#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QSizePolicy>

#include <memory>

class QtSizePolicyPropertyManagerPrivate;

class QtSizePolicyPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtSizePolicyPropertyManager(QObject *parent = nullptr);
    ~QtSizePolicyPropertyManager() override;

    // A property this manager does not hold reads the size policy with all bits 0.
    QSizePolicy value(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;
    QtEnumPropertyManager *subEnumPropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QSizePolicy &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QSizePolicy &val);

public slots:
    // Stored as given; only the stretches edited in the sub-properties are limited.
    void setValue(QtProperty *property, const QSizePolicy &val);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotEnumChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSizePolicyPropertyManagerPrivate> d_ptr;
};
