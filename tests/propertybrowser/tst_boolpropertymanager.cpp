#include "connectwarningguard.h"
#include "signallog.h"

#include "propertybrowser/qtboolpropertymanager.h"

#include <QApplication>
#include <QStyle>
#include <QTest>

namespace {

bool drawsSomething(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
        }
    }
    return false;
}

} // namespace

class TstBoolPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void valueAndTexts();
    void iconsAreDrawnAtTheIndicatorSize();
};

void TstBoolPropertyManager::valueAndTexts()
{
    QtBoolPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QCOMPARE(manager.value(p), false);
    QCOMPARE(manager.textVisible(p), true);
    QCOMPARE(p->valueText(), QStringLiteral("False"));

    SignalLog log{&manager};
    manager.setValue(p, false);
    manager.setValue(p, true);
    manager.setValue(p, true);
    QCOMPARE(p->valueText(), QStringLiteral("True"));
    manager.setTextVisible(p, false);
    manager.setTextVisible(p, false);
    QCOMPARE(log.take(), QStringList({"propertyChanged(P)", "valueChanged(P,true)", "propertyChanged(P)",
                                      "textVisibleChanged(P,false)"}));

    // Without text the check box still shows.
    QVERIFY(p->valueText().isEmpty());
    QVERIFY(!p->valueIcon().isNull());

    QtBoolPropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    other.setValue(foreign, true);
    QCOMPARE(manager.value(foreign), false);
    QCOMPARE(manager.textVisible(foreign), false);
    QVERIFY(manager.valueText(foreign).isEmpty());
}

void TstBoolPropertyManager::iconsAreDrawnAtTheIndicatorSize()
{
    const QStyle *style = QApplication::style();
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight);
    const QSize size(w, qMax(w, h));

    QtBoolPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    const QIcon unchecked = p->valueIcon();
    manager.setValue(p, true);
    const QIcon checked = p->valueIcon();

    QCOMPARE(unchecked.availableSizes(), QList<QSize>{size});
    QCOMPARE(checked.availableSizes(), QList<QSize>{size});
    const QImage on = checked.pixmap(size).toImage();
    const QImage off = unchecked.pixmap(size).toImage();
    QVERIFY(on != off);
    QVERIFY(drawsSomething(off));
}

QTEST_MAIN(TstBoolPropertyManager)
#include "tst_boolpropertymanager.moc"
