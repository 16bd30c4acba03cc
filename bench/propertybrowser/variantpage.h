// The variant page of the benchmark: 100 groups of 19 variant properties whose
// types cycle through the 22 value types of the variant manager (compound ones
// bring their sub-properties), in a browser with the variant editor factory bound:
// 2,000 properties, as many as the basic sample. Or the same types as a flat list
// of top-level properties.
#pragma once

#include "propertybrowser/extended/qtvarianteditorfactory.h"
#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qtabstractpropertybrowser.h"

#include <QList>

class VariantPage
{
public:
    // A tree browser also gets the extra columns of the basic sample.
    explicit VariantPage(QtAbstractPropertyBrowser *browser);

    void fill(int groupCount, int valuesPerGroup);
    // `count` top-level properties, no groups.
    void fillFlat(int count);
    // Gives every value property a new value, one setValue each.
    void changeEveryValue();

    QtVariantPropertyManager manager;
    QtVariantEditorFactory factory;
    QList<QtVariantProperty *> values;

private:
    QVariant valueFor(int type, int seed) const;
    QtVariantProperty *addValue(int seed, const QString &name, int column);

    QtAbstractPropertyBrowser *m_browser;
    QList<int> m_types;
    int m_round = 0;
};
