#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtcolorpropertymanager.h"
#include "propertybrowser/extended/qtvaluepictures.h"
#include "propertybrowser/qtvaluetexts.h"

#include <QTest>

// The pictures and texts of colour and font values.
class TstValuePictures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void brushPicture_data();
    void brushPicture();
    void fontPicture();
    void texts();
    void colourManagerPictureAndInvalidColour();
};

void TstValuePictures::brushPicture_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("border");
    QTest::addColumn<QColor>("centre");

    const QColor red(255, 0, 0);
    QTest::newRow("opaque red is red all over") << red << red << red;
    QTest::newRow("half-transparent red has an opaque centre") << QColor(255, 0, 0, 128) << QColor(255, 0, 0, 128)
                                                               << red;
}

void TstValuePictures::brushPicture()
{
    QFETCH(QColor, colour);
    QFETCH(QColor, border);
    QFETCH(QColor, centre);

    const QImage image = brushValuePixmap(QBrush(colour)).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inCentre = x >= 4 && x < 12 && y >= 4 && y < 12;
            const QColor expected = inCentre ? centre : border;
            QVERIFY2(image.pixelColor(x, y) == expected,
                     qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(image.pixelColor(x, y).name(QColor::HexArgb))));
        }
    }
    QCOMPARE(brushValueIcon(QBrush(colour)).availableSizes(), QList<QSize>{QSize(16, 16)});
}

// The letter is drawn at 13 points whatever the font's own size.
void TstValuePictures::fontPicture()
{
    QFont small = QGuiApplication::font();
    small.setPointSize(8);
    QFont large = small;
    large.setPointSize(30);
    const QImage a = fontValuePixmap(small).toImage();
    QCOMPARE(a.size(), QSize(16, 16));
    QCOMPARE(a, fontValuePixmap(large).toImage());
    bool drawn = false;
    for (int y = 0; y < 16 && !drawn; ++y) {
        for (int x = 0; x < 16 && !drawn; ++x)
            drawn = qAlpha(a.pixel(x, y)) > 0;
    }
    QVERIFY(drawn);
    QVERIFY(!fontValueIcon(small).isNull());
}

void TstValuePictures::texts()
{
    QCOMPARE(colorValueText(QColor(255, 0, 0)), QStringLiteral("[255, 0, 0] (255)"));
    QCOMPARE(colorValueText(QColor(1, 2, 3, 4)), QStringLiteral("[1, 2, 3] (4)"));
    QCOMPARE(fontValueText(QFont(QStringLiteral("Quill %2 Sans"), 11)), QStringLiteral("[Quill %2 Sans, 11]"));
}

void TstValuePictures::colourManagerPictureAndInvalidColour()
{
    QtColorPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, QColor(0, 0, 255));
    const QImage swatch = p->valueIcon().pixmap(16).toImage();
    QCOMPARE(swatch.pixelColor(0, 0), QColor(0, 0, 255));

    // The invalid colour is stored as it is, its channels shown in the children.
    SignalLog log{&manager};
    manager.setValue(p, QColor());
    QCOMPARE(log.entries().size(), 2);
    QVERIFY(!manager.value(p).isValid());
    QCOMPARE(manager.subIntPropertyManager()->value(p->subProperties().at(2)), 0);
}

QTEST_MAIN(TstValuePictures)
#include "tst_valuepictures.moc"
