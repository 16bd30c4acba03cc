#include "classic/xmlvalue.h"

#include "classic/managerof.h"
#include "classic/paramentry.h"
#include "classic/registervalues.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"


namespace {
void showDouble(QtProperty* property, double value)
{
    if (auto* manager = managerOf<QtDoublePropertyManager>(property)) {
        manager->setDecimals(property, kClassicDecimals);
        manager->setValue(property, value, true);
    }
}

int positionOf(const ValueList& list, const QString& key)
{
    for (int i = 0; i < list.size(); ++i)
        if (list[i].first == key)
            return i;
    return -1;
}
}

void showXmlValue(QtProperty* property, const ParamEntry& record)
{
    const quint64 raw = quint64(record.currentRaw);
    switch (record.dataType) {
    case ParamEntry::Int:
        if (record.editorType == ParamEntry::ComboBox) {
            if (auto* manager = managerOf<QtEnumPropertyManager>(property))
                manager->setValue(property, positionOf(record.valueList, QString::number(raw)));
            break;
        }
        Q_FALLTHROUGH();
    case ParamEntry::UInt:
        if (auto* manager = managerOf<QtIntPropertyManager>(property))
            manager->setValue(property, int(quint32(raw)), true);
        break;
    case ParamEntry::Float:
        showDouble(property, floatFromBits(raw));
        break;
    case ParamEntry::SimpleFloat:
        showDouble(property, double(raw) / 10.0);
        break;
    case ParamEntry::Bool:
        if (auto* manager = managerOf<QtBoolPropertyManager>(property))
            manager->setValue(property, record.currentBool);
        break;
    default:
        break;
    }
}
