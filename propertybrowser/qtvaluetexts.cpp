#include "propertybrowser/qtvaluetexts.h"

#include <QCoreApplication>

QString colorValueText(const QColor &colour)
{
    return QCoreApplication::translate("PropertyBrowserUtils", "[%1, %2, %3] (%4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

QString fontValueText(const QFont &font)
{
    return QCoreApplication::translate("PropertyBrowserUtils", "[%1, %2]")
        .arg(font.family(), QString::number(font.pointSize()));
}
