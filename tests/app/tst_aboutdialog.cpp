#include "app/about.h"

#include <QLabel>
#include <QTest>

class TestAboutDialog : public QObject {
    Q_OBJECT
private slots:
    void showsProductVersionAndBuild()
    {
        about dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("О программе"));
        QCOMPARE(dlg.findChild<QLabel*>("label")->text(), QString("Orvel Device Tool Nadir"));
        QCOMPARE(dlg.findChild<QLabel*>("label_2")->text(), QString("Версия:"));
        QCOMPARE(dlg.findChild<QLabel*>("lblVersion")->text(), QString("201.05.01.02"));
        QCOMPARE(dlg.findChild<QLabel*>("label_3")->text(), QString("Дата сборки:"));
        QCOMPARE(dlg.findChild<QLabel*>("lblBuildDate")->text(), QString("13.10.2022 13:00"));
    }

    void fixedSizeCloseOnly()
    {
        about dlg(nullptr);
        QCOMPARE(dlg.minimumSize(), QSize(238, 93));
        QCOMPARE(dlg.maximumSize(), QSize(238, 93));
        const Qt::WindowFlags f = dlg.windowFlags();
        QVERIFY(f.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!f.testFlag(Qt::WindowContextHelpButtonHint));
        QVERIFY(!f.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!f.testFlag(Qt::WindowMaximizeButtonHint));
    }

    void staysWindowWithParent()
    {
        QWidget parent;
        auto* dlg = new about(&parent);
        QVERIFY(dlg->isWindow());
        QCOMPARE(dlg->windowType(), Qt::Dialog);
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
