// Colour properties, shown as "[r, g, b] (a)" with a swatch, and edited through four
// integer sub-properties "Red", "Green", "Blue" and "Alpha" (0 to 255). A new
// property holds the invalid colour. Needs a QGuiApplication for the swatch.
#pragma once

#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QColor>

#include <memory>

class QtColorPropertyManagerPrivate;

class QtColorPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtColorPropertyManager(QObject *parent = nullptr);
    ~QtColorPropertyManager() override;

    // A property this manager does not hold reads the invalid colour.
    QColor value(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;

    QIcon valueIcon(const QtProperty *property) const override;
    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QColor &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QColor &val);

public slots:
    void setValue(QtProperty *property, const QColor &val);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotPropertyDestroyed(QtProperty *sub);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtColorPropertyManagerPrivate> d_ptr;
};
