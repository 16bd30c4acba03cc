// The texts shown for colour and font values (translated in the context
// "PropertyBrowserUtils").
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// "[red, green, blue] (alpha)", in decimal.
QString colorValueText(const QColor &colour);
// "[family, point size]".
QString fontValueText(const QFont &font);
