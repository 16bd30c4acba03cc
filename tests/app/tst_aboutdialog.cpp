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

    // The dialog takes the size its texts need and keeps it: no label is cut.
    void fitsItsTextsAndStaysThatSize()
    {
        about dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.minimumSize(), dlg.size());
        QCOMPARE(dlg.maximumSize(), dlg.size());
        const QSize need = dlg.minimumSizeHint();
        QVERIFY2(need.width() <= dlg.width() && need.height() <= dlg.height(),
                 qPrintable(QString("%1x%2 in %3x%4").arg(need.width()).arg(need.height()).arg(dlg.width()).arg(dlg.height())));
        for (const QLabel* label : dlg.findChildren<QLabel*>()) {
            const QSize text = label->sizeHint();
            QVERIFY2(label->width() >= text.width() && label->height() >= text.height(), qPrintable(label->objectName()));
            QVERIFY2(dlg.rect().contains(label->geometry().translated(label->parentWidget()->mapTo(&dlg, QPoint()))),
                     qPrintable(label->objectName()));
        }
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
