// Keyboard-shortcut properties, shown in the platform's native notation.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QKeySequence>

#include <memory>

template <class Manager, class T>
class QtSingleValuePrivate;

class QtKeySequencePropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtKeySequencePropertyManager(QObject *parent = nullptr);
    ~QtKeySequencePropertyManager() override;

    // A property this manager does not hold reads an empty sequence.
    QKeySequence value(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QKeySequence &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QKeySequence &val);

public slots:
    void setValue(QtProperty *property, const QKeySequence &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSingleValuePrivate<QtKeySequencePropertyManager, QKeySequence>> d_ptr;
};
