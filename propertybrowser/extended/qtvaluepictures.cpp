#include "propertybrowser/extended/qtvaluepictures.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr int kSide = 16;

QImage blankPicture()
{
    QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QPixmap brushValuePixmap(const QBrush &brush)
{
    QImage image = blankPicture();
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(0, 0, kSide, kSide, brush);
    QColor colour = brush.color();
    if (colour.alpha() != 255) {
        QBrush opaque = brush;
        colour.setAlpha(255);
        opaque.setColor(colour);
        painter.fillRect(kSide / 4, kSide / 4, kSide / 2, kSide / 2, opaque);
    }
    painter.end();
    return QPixmap::fromImage(image);
}

QPixmap fontValuePixmap(const QFont &font)
{
    QFont sample = font;
    sample.setPointSize(13);
    QImage image = blankPicture();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setFont(sample);
    painter.drawText(QRectF(0.0, 0.0, kSide, kSide), Qt::AlignCenter, QStringLiteral("A"));
    painter.end();
    return QPixmap::fromImage(image);
}

QIcon brushValueIcon(const QBrush &brush)
{
    return QIcon(brushValuePixmap(brush));
}

QIcon fontValueIcon(const QFont &font)
{
    return QIcon(fontValuePixmap(font));
}
