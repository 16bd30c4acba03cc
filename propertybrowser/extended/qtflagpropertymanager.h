// Flag-set properties: an int whose bit i is flag i of a list of names, shown as the
// set flags' names joined by "|" and edited through one boolean sub-property per
// flag. A value is accepted when it is 0 or more and below 2 to the power of the
// number of names; with 31 names or more every such int is. Flags from position 31
// on have no bit of their own: they never show and stay off.
#pragma once

#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QStringList>

#include <memory>

class QtFlagPropertyManagerPrivate;

class QtFlagPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtFlagPropertyManager(QObject *parent = nullptr);
    ~QtFlagPropertyManager() override;

    // A property this manager does not hold reads 0 and no names. A new property
    // holds -1 until its names are set.
    int value(const QtProperty *property) const;
    QStringList flagNames(const QtProperty *property) const;
    QtBoolPropertyManager *subBoolPropertyManager() const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, int val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, int val);
    void flagNamesChanged(QtProperty *property, const QStringList &names);

public slots:
    // A value outside the names' bits is refused silently.
    void setValue(QtProperty *property, int val);
    // New names replace the sub-properties and reset the value to 0.
    void setFlagNames(QtProperty *property, const QStringList &names);

private slots:
    void slotBoolChanged(QtProperty *sub, bool val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtFlagPropertyManagerPrivate> d_ptr;
};
