#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtcursordatabase.h"
#include "propertybrowser/extended/qtcursorpropertymanager.h"

#include <QBitmap>
#include <QTest>

// The cursor table, its lookups, the shared instance and the cursor manager on it.
class TstCursorDatabase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void rows_data();
    void rows();
    void shapesWithoutRow();
    void sharedInstance();
    void cursorManager();
};

void TstCursorDatabase::rows_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shape");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("imageSize");

    const struct
    {
        Qt::CursorShape shape;
        const char *name;
        int size;
    } rows[] = {
        {Qt::ArrowCursor, "Arrow", 25},
        {Qt::UpArrowCursor, "Up Arrow", 25},
        {Qt::CrossCursor, "Cross", 25},
        {Qt::WaitCursor, "Wait", 25},
        {Qt::IBeamCursor, "IBeam", 25},
        {Qt::SizeVerCursor, "Size Vertical", 25},
        {Qt::SizeHorCursor, "Size Horizontal", 25},
        {Qt::SizeFDiagCursor, "Size Backslash", 25},
        {Qt::SizeBDiagCursor, "Size Slash", 25},
        {Qt::SizeAllCursor, "Size All", 25},
        {Qt::BlankCursor, "Blank", 0},
        {Qt::SplitVCursor, "Split Vertical", 25},
        {Qt::SplitHCursor, "Split Horizontal", 25},
        {Qt::PointingHandCursor, "Pointing Hand", 25},
        {Qt::ForbiddenCursor, "Forbidden", 25},
        {Qt::OpenHandCursor, "Open Hand", 16},
        {Qt::ClosedHandCursor, "Closed Hand", 16},
        {Qt::WhatsThisCursor, "What's This", 32},
        {Qt::BusyCursor, "Busy", 32},
    };
    int value = 0;
    for (const auto &row : rows) {
        QTest::newRow(row.name) << value << int(row.shape) << QString::fromLatin1(row.name) << row.size;
        ++value;
    }
}

void TstCursorDatabase::rows()
{
    QFETCH(int, value);
    QFETCH(int, shape);
    QFETCH(QString, name);
    QFETCH(int, imageSize);

    const QtCursorDatabase database;
    const QCursor cursor{Qt::CursorShape(shape)};
    QCOMPARE(database.cursorShapeNames().size(), 19);
    QCOMPARE(database.cursorShapeNames().at(value), name);
    QCOMPARE(database.cursorToValue(cursor), value);
    QCOMPARE(int(database.valueToCursor(value).shape()), shape);
    QCOMPARE(database.cursorToShapeName(cursor), name);

    // Every row but "Blank" has its picture, in its own size.
    const QIcon icon = database.cursorToShapeIcon(cursor);
    QCOMPARE(database.cursorShapeIcons().value(value).isNull(), imageSize == 0);
    if (imageSize == 0) {
        QVERIFY(icon.isNull());
        return;
    }
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(imageSize, imageSize)});
    const QImage image = icon.pixmap(imageSize).toImage();
    QVERIFY(!image.isNull());
    // Drawn, not blank: some pixels are opaque, some transparent.
    bool opaque = false;
    bool clear = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            opaque |= alpha == 255;
            clear |= alpha == 0;
        }
    }
    QVERIFY(opaque && clear);
}

void TstCursorDatabase::shapesWithoutRow()
{
    const QtCursorDatabase database;
    for (const Qt::CursorShape shape : {Qt::DragCopyCursor, Qt::DragMoveCursor, Qt::DragLinkCursor}) {
        const QCursor cursor(shape);
        QCOMPARE(database.cursorToValue(cursor), -1);
        QVERIFY(database.cursorToShapeName(cursor).isEmpty());
        QVERIFY(database.cursorToShapeIcon(cursor).isNull());
    }
    for (const int value : {-1, 19, 1000})
        QCOMPARE(database.valueToCursor(value).shape(), QCursor().shape());
}

void TstCursorDatabase::sharedInstance()
{
    QtCursorDatabase *first = cursorDatabase();
    QVERIFY(first);
    QCOMPARE(cursorDatabase(), first);
    QCOMPARE(first->cursorToValue(QCursor(Qt::BusyCursor)), 18);
}

void TstCursorDatabase::cursorManager()
{
    QtCursorPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(p->valueText(), QStringLiteral("Arrow"));
    QVERIFY(!p->valueIcon().isNull());
    manager.setValue(p, QCursor(Qt::BlankCursor));
    QVERIFY(p->valueIcon().isNull());

    // A bitmap cursor cannot be told from another by its shape: each one is new.
    SignalLog log{&manager};
    QBitmap bitmap(16, 16);
    bitmap.clear();
    const QCursor bitmapCursor(bitmap, bitmap);
    manager.setValue(p, bitmapCursor);
    manager.setValue(p, bitmapCursor);
    QCOMPARE(log.take().size(), 4);
    QVERIFY(p->valueText().isEmpty());
    manager.setValue(p, QCursor(Qt::IBeamCursor));
    manager.setValue(p, QCursor(Qt::IBeamCursor));
    QCOMPARE(log.take().size(), 2);
}

QTEST_MAIN(TstCursorDatabase)
#include "tst_cursordatabase.moc"
