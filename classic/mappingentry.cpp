#include "classic/mappingentry.h"

namespace {
QString hex(int value, int digits)
{
    return QString::number(uint(value), 16).rightJustified(digits, QLatin1Char('0'));
}
}

MappingEntry MappingEntry::fromText(const QString& digits)
{
    const QString padded = digits.rightJustified(16, QLatin1Char('0'));
    MappingEntry entry;
    entry.objectIndex = padded.mid(0, 4);
    entry.subIndex = padded.mid(4, 2).toInt(nullptr, 16);
    entry.subIndexCount = padded.mid(6, 2).toInt(nullptr, 16);
    entry.modbusAddress = padded.mid(8, 4).toInt(nullptr, 16);
    entry.modbusRegisterCount = padded.mid(12, 4).toInt(nullptr, 16);
    return entry;
}

QString MappingEntry::toText() const
{
    return objectIndex.rightJustified(4, QLatin1Char('0')) + hex(subIndex, 2) + hex(subIndexCount, 2)
        + hex(modbusAddress, 4) + QStringLiteral("0000");
}
