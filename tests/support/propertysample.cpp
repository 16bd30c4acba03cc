#include "propertysample.h"

namespace {

const QStringList kEnumNames{QStringLiteral("Выкл"), QStringLiteral("Вкл"), QStringLiteral("Авто")};

} // namespace

PropertySample::PropertySample(QtTreePropertyBrowser *browser) : m_browser(browser)
{
    browser->setFactoryForManager(&boolManager, &checkBoxFactory);
    browser->setFactoryForManager(&intManager, &spinBoxFactory);
    browser->setFactoryForManager(&stringManager, &lineEditFactory);
    browser->setFactoryForManager(&enumManager, &enumFactory);
    browser->setFactoryForManager(&doubleManager, &doubleSpinBoxFactory);
    browser->setExtraColumns({QStringLiteral("Ед. изм"), QStringLiteral("Описание")});
}

QtProperty *PropertySample::addValue(int group, int index)
{
    const QString name = QStringLiteral("P%1.%2").arg(group).arg(index);
    const int seed = group * 31 + index;
    QtProperty *property = nullptr;
    switch (index % 5) {
    case 0:
        property = intManager.addProperty(name);
        intManager.setRange(property, 0, 1000);
        intManager.setValue(property, seed % 1000);
        intManager.setBtnVisibility(property, index % 2 == 0);
        break;
    case 1:
        property = doubleManager.addProperty(name);
        doubleManager.setRange(property, -1000.0, 1000.0);
        doubleManager.setValue(property, seed / 4.0);
        break;
    case 2:
        property = stringManager.addProperty(name);
        stringManager.setValue(property, QStringLiteral("текст %1").arg(seed));
        stringManager.setBtnVisibility(property, index % 2 == 0);
        break;
    case 3:
        property = boolManager.addProperty(name);
        boolManager.setValue(property, seed % 2 == 1);
        break;
    default:
        property = enumManager.addProperty(name);
        enumManager.setEnumNames(property, kEnumNames);
        enumManager.setValue(property, seed % kEnumNames.size());
        break;
    }
    if (index % 5 != 2)
        property->setToolTip(QStringLiteral("Подсказка к %1").arg(name));
    property->setColumnTexts({QStringLiteral("ед%1").arg(index % 5), QStringLiteral("Описание %1").arg(name)});
    values.append(property);
    return property;
}

void PropertySample::fill(int groupCount, int valuesPerGroup)
{
    for (int g = 0; g < groupCount; ++g) {
        QtProperty *group = groupManager.addProperty(QStringLiteral("Группа %1").arg(g));
        group->setToolTip(QStringLiteral("Группа параметров %1").arg(g));
        QtProperty *previous = nullptr;
        for (int i = 0; i < valuesPerGroup; ++i) {
            QtProperty *value = addValue(g, i);
            // Positions 4 and 5 of every six hang below the value before them.
            const bool nested = previous && (i % 6 == 4 || i % 6 == 5);
            (nested ? previous : group)->addSubProperty(value);
            previous = value;
        }
        groups.append(group);
        m_browser->addProperty(group);
    }
    if (groups.size() > 1 && !disabledGroup) {
        disabledGroup = groups.at(1);
        disabledGroup->setEnabled(false);
    }
    if (groups.size() > 2 && !colouredGroup) {
        colouredGroup = groups.at(2);
        m_browser->setBackgroundColor(m_browser->topLevelItem(colouredGroup), branchColour());
    }
}

void PropertySample::changeEveryValue()
{
    ++m_changeRound;
    for (QtProperty *property : qAsConst(values)) {
        QtAbstractPropertyManager *manager = property->propertyManager();
        if (manager == &intManager) {
            intManager.setValue(property, (intManager.value(property) + 1) % 1000);
        } else if (manager == &doubleManager) {
            const double value = doubleManager.value(property);
            doubleManager.setValue(property, value == 0.0 ? 1.0 : -value);
        } else if (manager == &stringManager) {
            stringManager.setValue(property, QStringLiteral("правка %1").arg(m_changeRound));
        } else if (manager == &boolManager) {
            boolManager.setValue(property, !boolManager.value(property));
        } else {
            enumManager.setValue(property, (enumManager.value(property) + 1) % kEnumNames.size());
        }
    }
}
