// The 16 by 16 pictures shown beside colour (brush) and font values. GUI thread
// only: they end as pixmaps.
#pragma once

#include <QBrush>
#include <QFont>
#include <QIcon>
#include <QPixmap>

// The brush over the whole picture; a brush that is not opaque gets an opaque
// 8 by 8 square of its colour in the centre, so the colour shows either way.
QPixmap brushValuePixmap(const QBrush &brush);
// The letter "A" centred, in the font at 13 points whatever its own size.
QPixmap fontValuePixmap(const QFont &font);
QIcon brushValueIcon(const QBrush &brush);
QIcon fontValueIcon(const QFont &font);
