// Single-character properties; the null character (the initial value) shows no text.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QChar>

#include <memory>

template <class Manager, class T>
class QtSingleValuePrivate;

class QtCharPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtCharPropertyManager(QObject *parent = nullptr);
    ~QtCharPropertyManager() override;

    // A property this manager does not hold reads the null character.
    QChar value(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QChar &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QChar &val);

public slots:
    void setValue(QtProperty *property, const QChar &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSingleValuePrivate<QtCharPropertyManager, QChar>> d_ptr;
};
