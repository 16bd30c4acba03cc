// Enumeration properties: a list of names, an icon per index and the selected index
// (-1 for none). An index outside the names is ignored silently. Besides
// valueChanged the value has a second channel, valueChangedNoUpdate, on which the
// editor factory updates its editors without announcing valueUpdated.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QIcon>
#include <QMap>
#include <QStringList>

#include <memory>

class QtEnumPropertyManagerPrivate;

class QtEnumPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtEnumPropertyManager(QObject *parent = nullptr);
    ~QtEnumPropertyManager() override;

    // A property this manager does not hold reads -1 and empty lists.
    int value(const QtProperty *property) const;
    QStringList enumNames(const QtProperty *property) const;
    QMap<int, QIcon> enumIcons(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;
    QIcon valueIcon(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, int val);
    void valueChangedNoUpdate(QtProperty *property, int val);
    // Emitted by the editor factory once it has pushed a change into the editors.
    void valueUpdated(QtProperty *property, int val);
    void enumNamesChanged(QtProperty *property, const QStringList &names);
    void enumIconsChanged(QtProperty *property, const QMap<int, QIcon> &icons);

public slots:
    // An index at or past the number of names is ignored; a negative one is ignored
    // while there are names and becomes -1 when there are none.
    void setValue(QtProperty *property, int val);
    // As setValue, announced on valueChangedNoUpdate.
    void setValueNoUpdate(QtProperty *property, int val);
    // New names select index 0 (-1 for none) and announce the value even when it stays.
    void setEnumNames(QtProperty *property, const QStringList &names);
    // Always announced; the icons are not compared.
    void setEnumIcons(QtProperty *property, const QMap<int, QIcon> &icons);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtEnumPropertyManagerPrivate> d_ptr;
};
