// Boolean properties, shown as a check-box picture and, unless switched off, the
// words "True" or "False". The two pictures are drawn once, when the manager is
// built, by the application's style (a QApplication must exist).
#pragma once

#include "propertybrowser/qtproperty.h"

#include <memory>

class QtBoolPropertyManagerPrivate;

class QtBoolPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtBoolPropertyManager(QObject *parent = nullptr);
    ~QtBoolPropertyManager() override;

    // A property this manager does not hold reads false.
    bool value(const QtProperty *property) const;
    bool textVisible(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;
    QIcon valueIcon(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, bool val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, bool val);
    void textVisibleChanged(QtProperty *property, bool textVisible);

public slots:
    void setValue(QtProperty *property, bool val);
    void setTextVisible(QtProperty *property, bool textVisible);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtBoolPropertyManagerPrivate> d_ptr;
};
