// Date-and-time properties; a new property holds the moment of its creation. The text
// is the short date, a space and the short time of the default locale at the
// manager's construction.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QDateTime>

#include <memory>

class QtDateTimePropertyManagerPrivate;

class QtDateTimePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtDateTimePropertyManager(QObject *parent = nullptr);
    ~QtDateTimePropertyManager() override;

    // A property this manager does not hold reads a default QDateTime.
    QDateTime value(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QDateTime &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QDateTime &val);

public slots:
    void setValue(QtProperty *property, const QDateTime &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtDateTimePropertyManagerPrivate> d_ptr;
};
