// Draws the tool's icons with QPainter into resources/images/*.png.
// Build and run it through tools/render_icons.sh.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {
const int kSize = 32;
const QColor kInk(0x2b, 0x4a, 0x6f);
const QColor kGreen(0x2e, 0x8b, 0x3e);
const QColor kRed(0xc0, 0x39, 0x2b);
const QColor kPaper(0xf4, 0xf1, 0xe8);

QPen pen(const QColor& c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A plug seen from the side: body, two pins, cable.
void plug(QPainter& p, const QPointF& at, qreal angle, const QColor& c)
{
    p.save();
    p.translate(at);
    p.rotate(angle);
    p.setPen(pen(c, 1.5));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(-4, -5, 8, 10), 2, 2);
    p.setPen(pen(c, 2));
    p.drawLine(QPointF(4, -2.5), QPointF(8, -2.5));
    p.drawLine(QPointF(4, 2.5), QPointF(8, 2.5));
    p.drawLine(QPointF(-4, 0), QPointF(-10, 0));
    p.restore();
}

// A socket facing left, for the plug to go into.
void socket(QPainter& p, const QPointF& at, qreal angle, const QColor& c)
{
    p.save();
    p.translate(at);
    p.rotate(angle);
    p.setPen(pen(c, 1.5));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(0, -6, 8, 12), 2, 2);
    p.setPen(pen(c, 2));
    p.drawLine(QPointF(8, 0), QPointF(14, 0));
    p.restore();
}

void drawConnect(QPainter& p)
{
    plug(p, QPointF(11, 16), 0, kInk);
    socket(p, QPointF(19, 16), 0, kInk);
    p.setPen(pen(kGreen, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(4, 27), QPointF(7.5, 30), QPointF(13, 23)}));
}

void drawDisconnect(QPainter& p)
{
    plug(p, QPointF(9, 18), -20, kInk);
    socket(p, QPointF(20, 14), -20, kInk);
    p.setPen(pen(kRed, 2.5));
    p.drawLine(QPointF(4, 23), QPointF(10, 29));
    p.drawLine(QPointF(10, 23), QPointF(4, 29));
}

// A tray with an arrow leaving (out) or entering (in) it.
void drawTrayArrow(QPainter& p, bool out)
{
    p.setPen(pen(kInk, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(5, 18), QPointF(5, 27), QPointF(27, 27), QPointF(27, 18)}));
    const QColor c = out ? kGreen : QColor(0x1f, 0x6f, 0xb5);
    p.setPen(pen(c, 3));
    p.drawLine(QPointF(16, 5), QPointF(16, 21));
    QPolygonF head = out ? QPolygonF({QPointF(10, 11), QPointF(16, 4), QPointF(22, 11)})
                         : QPolygonF({QPointF(10, 15), QPointF(16, 22), QPointF(22, 15)});
    p.drawPolyline(head);
}

void drawCheck(QPainter& p)
{
    p.setPen(pen(kInk, 2));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 3, 3);
    p.setPen(pen(kGreen, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(9, 16), QPointF(14, 21), QPointF(23, 10)}));
}

// A dial with scale marks and a needle.
void drawCalibrate(QPainter& p)
{
    const QPointF centre(16, 20);
    p.setPen(pen(kInk, 2));
    p.setBrush(kPaper);
    QPainterPath arc;
    arc.moveTo(centre);
    arc.arcTo(QRectF(3, 7, 26, 26), 0, 180);
    arc.closeSubpath();
    p.drawPath(arc);
    for (int i = 0; i <= 6; ++i) {
        const qreal a = M_PI * i / 6.0;
        const QPointF dir(std::cos(a), -std::sin(a));
        p.drawLine(centre + dir * 9.5, centre + dir * 12);
    }
    p.setPen(pen(kRed, 2.5));
    const qreal a = M_PI * 0.3;
    p.drawLine(centre, centre + QPointF(std::cos(a), -std::sin(a)) * 10);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(centre, 2.5, 2.5);
}

// A round badge with a small "i": dot and stem drawn as shapes, no font needed.
void drawAbout(QPainter& p)
{
    p.setPen(pen(kInk, 2));
    p.setBrush(QColor(0x1f, 0x6f, 0xb5));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 10), 2.5, 2.5);
    p.drawRoundedRect(QRectF(13.5, 14, 5, 11), 1.5, 1.5);
}

bool render(const QString& dir, const char* name, const std::function<void(QPainter&)>& draw)
{
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    const QString path = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_icons <output-folder>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = render(dir, "connect", drawConnect);
    ok &= render(dir, "disconnect", drawDisconnect);
    ok &= render(dir, "export", [](QPainter& p) { drawTrayArrow(p, true); });
    ok &= render(dir, "import", [](QPainter& p) { drawTrayArrow(p, false); });
    ok &= render(dir, "check", drawCheck);
    ok &= render(dir, "calibrate", drawCalibrate);
    ok &= render(dir, "about", drawAbout);
    return ok ? 0 : 1;
}
