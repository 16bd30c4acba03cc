// Draws the tool's icons with QPainter into resources/images/*.png and the property
// browser's cursor pictures into resources/propertybrowser/images/cursor-*.png.
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

bool render(const QString& dir, const char* name, const std::function<void(QPainter&)>& draw,
            int size = kSize)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
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

// Cursor pictures: black shapes with a white rim, as the pointer shows on screen,
// each drawn in pixels of its own picture (25, 16 or 32 wide).
const QColor kRim(Qt::white);
const QColor kBody(Qt::black);

// A stroke with a white rim around it.
void rimmedStroke(QPainter& p, const QPainterPath& path, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kRim, width + 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
    p.setPen(QPen(kBody, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
}

// A filled shape with a white rim.
void rimmedFill(QPainter& p, const QPainterPath& path)
{
    p.setPen(QPen(kRim, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBody);
    p.drawPath(path);
}

QPainterPath polygonPath(const QPolygonF& polygon)
{
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

// The pointer with its tip at `tip`, `scale` times its size in a 25-pixel picture.
QPainterPath pointerPath(const QPointF& tip, qreal scale)
{
    const QPolygonF outline({QPointF(0, 0), QPointF(0, 15), QPointF(3.5, 11.5), QPointF(6, 17),
                             QPointF(8.5, 16), QPointF(6, 10.5), QPointF(11, 10.5)});
    QPolygonF placed;
    for (const QPointF& pt : outline)
        placed << tip + pt * scale;
    return polygonPath(placed);
}

// A filled arrowhead at `tip`, pointing along the angle (degrees, 0 = right).
QPainterPath arrowHead(const QPointF& tip, qreal angle, qreal length = 5, qreal half = 4)
{
    QTransform t;
    t.translate(tip.x(), tip.y());
    t.rotate(angle);
    return polygonPath(t.map(QPolygonF({QPointF(0, 0), QPointF(-length, -half), QPointF(-length, half)})));
}

// A shaft from a to b with a head at each end.
void doubleArrow(QPainter& p, const QPointF& a, const QPointF& b)
{
    const QLineF line(a, b);
    const qreal angle = -line.angle();
    QLineF shaft = line;
    shaft.setLength(line.length() - 4);
    QLineF back(shaft.p2(), shaft.p1());
    back.setLength(back.length() - 4);
    QPainterPath stroke;
    stroke.moveTo(back.p2());
    stroke.lineTo(back.p1());
    rimmedStroke(p, stroke, 2);
    rimmedFill(p, arrowHead(b, angle));
    rimmedFill(p, arrowHead(a, angle + 180));
}

void cursorArrow(QPainter& p) { rimmedFill(p, pointerPath(QPointF(7, 3), 1.0)); }

void cursorUpArrow(QPainter& p)
{
    QPainterPath shaft;
    shaft.moveTo(12.5, 9);
    shaft.lineTo(12.5, 22);
    rimmedStroke(p, shaft, 2);
    rimmedFill(p, arrowHead(QPointF(12.5, 3), -90, 7, 5));
}

void cursorCross(QPainter& p)
{
    QPainterPath cross;
    cross.moveTo(12.5, 3);
    cross.lineTo(12.5, 22);
    cross.moveTo(3, 12.5);
    cross.lineTo(22, 12.5);
    rimmedStroke(p, cross, 1);
}

void cursorWait(QPainter& p)
{
    QPainterPath glass = polygonPath(QPolygonF({QPointF(6, 3), QPointF(19, 3), QPointF(19, 5), QPointF(14, 12.5),
                                                QPointF(19, 20), QPointF(19, 22), QPointF(6, 22), QPointF(6, 20),
                                                QPointF(11, 12.5), QPointF(6, 5)}));
    rimmedFill(p, glass);
    p.setPen(Qt::NoPen);
    p.setBrush(kRim);
    p.drawPolygon(QPolygonF({QPointF(9, 6), QPointF(16, 6), QPointF(12.5, 11)}));
    p.drawPolygon(QPolygonF({QPointF(12.5, 15), QPointF(17, 20), QPointF(8, 20)}));
}

void cursorIBeam(QPainter& p)
{
    QPainterPath beam;
    beam.moveTo(9, 3);
    beam.lineTo(16, 3);
    beam.moveTo(12.5, 3);
    beam.lineTo(12.5, 22);
    beam.moveTo(9, 22);
    beam.lineTo(16, 22);
    rimmedStroke(p, beam, 1.5);
}

void cursorSizeVer(QPainter& p) { doubleArrow(p, QPointF(12.5, 2), QPointF(12.5, 23)); }
void cursorSizeHor(QPainter& p) { doubleArrow(p, QPointF(2, 12.5), QPointF(23, 12.5)); }
void cursorSizeFDiag(QPainter& p) { doubleArrow(p, QPointF(4, 4), QPointF(21, 21)); }
void cursorSizeBDiag(QPainter& p) { doubleArrow(p, QPointF(4, 21), QPointF(21, 4)); }

void cursorSizeAll(QPainter& p)
{
    doubleArrow(p, QPointF(12.5, 2), QPointF(12.5, 23));
    doubleArrow(p, QPointF(2, 12.5), QPointF(23, 12.5));
}

// Two bars of a splitter with arrows leaving them on either side.
void cursorSplit(QPainter& p, bool vertical)
{
    QTransform turn;
    if (!vertical) {
        turn.translate(25, 0);
        turn.rotate(90);
    }
    p.save();
    p.setTransform(turn, true);
    QPainterPath bars;
    bars.moveTo(4, 11);
    bars.lineTo(21, 11);
    bars.moveTo(4, 14);
    bars.lineTo(21, 14);
    rimmedStroke(p, bars, 1.5);
    QPainterPath shafts;
    shafts.moveTo(12.5, 9);
    shafts.lineTo(12.5, 6);
    shafts.moveTo(12.5, 16);
    shafts.lineTo(12.5, 19);
    rimmedStroke(p, shafts, 2);
    rimmedFill(p, arrowHead(QPointF(12.5, 2), -90));
    rimmedFill(p, arrowHead(QPointF(12.5, 23), 90));
    p.restore();
}

// A hand: palm and fingers as rounded bars, `fingers` of them raised by `lift`.
void drawHand(QPainter& p, const QRectF& palm, int fingers, const QList<qreal>& lift, qreal thumb)
{
    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    hand.addRoundedRect(palm, 2, 2);
    const qreal width = palm.width() / fingers;
    for (int i = 0; i < fingers; ++i)
        hand.addRoundedRect(QRectF(palm.left() + i * width, palm.top() - lift.value(i), width - 0.6,
                                   lift.value(i) + 3),
                            1.5, 1.5);
    if (thumb > 0)
        hand.addRoundedRect(QRectF(palm.left() - thumb, palm.top() + 2, thumb + 2, 3), 1.5, 1.5);
    rimmedFill(p, hand.simplified());
}

void cursorPointingHand(QPainter& p)
{
    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    hand.addRoundedRect(QRectF(9, 2, 3.5, 12), 1.75, 1.75);
    hand.addRoundedRect(QRectF(8, 11, 11, 11), 3, 3);
    hand.addRoundedRect(QRectF(12.5, 9, 3, 5), 1.5, 1.5);
    hand.addRoundedRect(QRectF(15.5, 10, 3, 5), 1.5, 1.5);
    hand.addRoundedRect(QRectF(4.5, 13, 6, 3), 1.5, 1.5);
    rimmedFill(p, hand.simplified());
}

void cursorForbidden(QPainter& p)
{
    QPainterPath sign;
    sign.addEllipse(QRectF(4, 4, 17, 17));
    sign.moveTo(7, 18);
    sign.lineTo(18, 7);
    rimmedStroke(p, sign, 2.5);
}

void cursorOpenHand(QPainter& p) { drawHand(p, QRectF(4, 7, 9, 7), 4, {4, 5.5, 5, 3.5}, 2.5); }
void cursorClosedHand(QPainter& p) { drawHand(p, QRectF(4, 6, 9, 8), 4, {1, 1, 1, 1}, 1); }

// The pointer with a question mark beside it, drawn as a path, no font needed.
void cursorWhatsThis(QPainter& p)
{
    rimmedFill(p, pointerPath(QPointF(3, 2), 1.1));
    QPainterPath mark;
    mark.moveTo(19, 12);
    mark.arcTo(QRectF(19, 6, 8, 8), 180, -240);
    mark.lineTo(23, 18);
    rimmedStroke(p, mark, 2);
    QPainterPath dot;
    dot.addEllipse(QPointF(23, 23), 1.6, 1.6);
    rimmedFill(p, dot);
}

// The pointer with a small hourglass beside it.
void cursorBusy(QPainter& p)
{
    rimmedFill(p, pointerPath(QPointF(3, 2), 1.1));
    p.save();
    p.translate(16, 14);
    p.scale(0.6, 0.6);
    cursorWait(p);
    p.restore();
}

bool renderCursors(const QString& dir)
{
    struct Cursor
    {
        const char* name;
        void (*draw)(QPainter&);
        int size;
    };
    const Cursor cursors[] = {
        {"cursor-arrow", cursorArrow, 25},
        {"cursor-uparrow", cursorUpArrow, 25},
        {"cursor-cross", cursorCross, 25},
        {"cursor-wait", cursorWait, 25},
        {"cursor-ibeam", cursorIBeam, 25},
        {"cursor-sizev", cursorSizeVer, 25},
        {"cursor-sizeh", cursorSizeHor, 25},
        {"cursor-sizef", cursorSizeFDiag, 25},
        {"cursor-sizeb", cursorSizeBDiag, 25},
        {"cursor-sizeall", cursorSizeAll, 25},
        {"cursor-vsplit", [](QPainter& p) { cursorSplit(p, true); }, 25},
        {"cursor-hsplit", [](QPainter& p) { cursorSplit(p, false); }, 25},
        {"cursor-hand", cursorPointingHand, 25},
        {"cursor-forbidden", cursorForbidden, 25},
        {"cursor-openhand", cursorOpenHand, 16},
        {"cursor-closedhand", cursorClosedHand, 16},
        {"cursor-whatsthis", cursorWhatsThis, 32},
        {"cursor-busy", cursorBusy, 32},
    };
    bool ok = true;
    for (const Cursor& c : cursors)
        ok &= render(dir, c.name, c.draw, c.size);
    return ok;
}
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_icons <icon-folder> <cursor-folder>\n");
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
    ok &= renderCursors(QString::fromLocal8Bit(argv[2]));
    return ok ? 0 : 1;
}
