// Locale properties, shown as "language, country" and edited through two enumeration
// sub-properties "Language" and "Country", whose names come from the process-wide
// enumeration tables. Choosing a language keeps the country where the language has
// it and offers that language's countries.
#pragma once

#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QLocale>

#include <memory>

class QtLocalePropertyManagerPrivate;

class QtLocalePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtLocalePropertyManager(QObject *parent = nullptr);
    ~QtLocalePropertyManager() override;

    // A property this manager does not hold reads the default locale.
    QLocale value(const QtProperty *property) const;
    QtEnumPropertyManager *subEnumPropertyManager() const;

    // A language or country the tables do not list shows by its Qt name.
    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QLocale &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QLocale &val);

public slots:
    void setValue(QtProperty *property, const QLocale &val);

private slots:
    void slotEnumChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtLocalePropertyManagerPrivate> d_ptr;
};
