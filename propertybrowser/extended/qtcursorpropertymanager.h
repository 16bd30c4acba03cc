// Mouse-cursor properties, named and pictured by their shape through the cursor table.
// Two cursors of one shape are equal, except bitmap cursors, which always differ.
// Needs a QGuiApplication.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QCursor>

#include <memory>

template <class Manager, class T>
class QtSingleValuePrivate;

class QtCursorPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtCursorPropertyManager(QObject *parent = nullptr);
    ~QtCursorPropertyManager() override;

    // A property this manager does not hold reads a default QCursor.
    QCursor value(const QtProperty *property) const;

    QIcon valueIcon(const QtProperty *property) const override;
    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QCursor &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QCursor &val);

public slots:
    void setValue(QtProperty *property, const QCursor &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtSingleValuePrivate<QtCursorPropertyManager, QCursor>> d_ptr;
};
