// The variant page of the benchmark: 100 groups of 19 variant properties whose
// types cycle through the 22 value types of the variant manager (compound ones
// bring their sub-properties), in a tree browser with the variant editor factory
// bound: 2,000 properties, as many as the basic sample.
#pragma once

#include "propertybrowser/extended/qtvarianteditorfactory.h"
#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QList>

class VariantPage
{
public:
    explicit VariantPage(QtTreePropertyBrowser *browser);

    void fill(int groupCount, int valuesPerGroup);
    // Gives every value property a new value, one setValue each.
    void changeEveryValue();

    QtVariantPropertyManager manager;
    QtVariantEditorFactory factory;
    QList<QtVariantProperty *> values;

private:
    QVariant valueFor(int type, int seed) const;

    QtTreePropertyBrowser *m_browser;
    QList<int> m_types;
    int m_round = 0;
};
