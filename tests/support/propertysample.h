// A sample page for the tree browser, built the way the classic parameter pages
// build theirs: one manager of each basic kind, the check-box, spin-box-with-button,
// line-edit-with-button, enumeration and double factories bound to them, extra
// columns "Ед. изм" and "Описание", and top-level groups of values. In every group
// the values cycle through int, double, string, bool and enumeration; every sixth
// value carries a sub-property, which carries one more, so the tree is three levels
// deep below each group. Values have tool tips (strings have none, so their rows
// show the text instead) and two column texts. The second group is disabled and the
// third coloured, when there are that many.
//
// Serves the end-to-end tests (small) and bench/propertybrowser (2,000 properties).
#pragma once

#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QColor>
#include <QList>

class PropertySample
{
public:
    static constexpr int kValuesPerGroup = 19;
    static QColor branchColour() { return QColor(255, 220, 160); }

    // Binds the factories in the browser and names its extra columns.
    explicit PropertySample(QtTreePropertyBrowser *browser);

    // Adds `groupCount` groups of `valuesPerGroup` values to the browser.
    void fill(int groupCount, int valuesPerGroup = kValuesPerGroup);
    // Gives every value property a new value, one setter each.
    void changeEveryValue();

    QtGroupPropertyManager groupManager;
    QtIntPropertyManager intManager;
    QtDoublePropertyManager doubleManager;
    QtStringPropertyManager stringManager;
    QtBoolPropertyManager boolManager;
    QtEnumPropertyManager enumManager;

    QtCheckBoxFactory checkBoxFactory;
    QtSpinBoxFactory2 spinBoxFactory;
    QtLineEditFactory2 lineEditFactory;
    QtEnumEditorFactory enumFactory;
    QtDoubleSpinBoxFactory doubleSpinBoxFactory;

    // The top-level groups and every value property, in build order.
    QList<QtProperty *> groups;
    QList<QtProperty *> values;
    QtProperty *disabledGroup = nullptr;
    QtProperty *colouredGroup = nullptr;

private:
    QtProperty *addValue(int group, int index);

    QtTreePropertyBrowser *m_browser;
    int m_changeRound = 0;
};
