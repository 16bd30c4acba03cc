// Value-less heading properties: a group only gathers sub-properties.
#pragma once

#include "propertybrowser/qtproperty.h"

class QtGroupPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtGroupPropertyManager(QObject *parent = nullptr);
    ~QtGroupPropertyManager() override;

    bool hasValue(const QtProperty *property) const override;

protected:
    void initializeProperty(QtProperty *property) override;
};
