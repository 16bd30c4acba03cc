// Time properties; a new property holds the time of its creation. The text uses the
// short time format of the default locale at the manager's construction.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QTime>

#include <memory>

class QtTimePropertyManagerPrivate;

class QtTimePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtTimePropertyManager(QObject *parent = nullptr);
    ~QtTimePropertyManager() override;

    // A property this manager does not hold reads an invalid time.
    QTime value(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QTime &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QTime &val);

public slots:
    void setValue(QtProperty *property, const QTime &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtTimePropertyManagerPrivate> d_ptr;
};
