#include "app/hexdigitsvalidator.h"
#include "app/mappingdialog.h"
#include "classic/mappingentry.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

class TestMappingDialog : public QObject {
    Q_OBJECT
private slots:
    void validator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        QTest::newRow("digits") << "1234" << int(QValidator::Acceptable);
        QTest::newRow("mixed case") << "aB0f" << int(QValidator::Acceptable);
        QTest::newRow("upper") << "FFFF" << int(QValidator::Acceptable);
        QTest::newRow("short") << "1A" << int(QValidator::Intermediate);
        QTest::newRow("mask blanks") << "1A  " << int(QValidator::Intermediate);
        QTest::newRow("empty") << "" << int(QValidator::Intermediate);
        QTest::newRow("bar") << "12|4" << int(QValidator::Invalid);
        QTest::newRow("only bars") << "||||" << int(QValidator::Invalid);
        QTest::newRow("letter g") << "12g4" << int(QValidator::Invalid);
        QTest::newRow("prefix") << "0x12" << int(QValidator::Invalid);
        QTest::newRow("too long") << "12345" << int(QValidator::Invalid);
        QTest::newRow("fullwidth digit") << QString::fromUtf8("12\xef\xbc\x91" "4") << int(QValidator::Invalid);
    }

    void validator()
    {
        QFETCH(QString, input);
        QFETCH(int, state);
        HexDigitsValidator v(4);
        int pos = 0;
        QCOMPARE(int(v.validate(input, pos)), state);
    }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("index");
        QTest::addColumn<bool>("complete");
        QTest::newRow("four digits, case kept") << "1a2F" << "1a2F" << true;
        QTest::newRow("bars and letters dropped") << "1|g2|3z4" << "1234" << true;
        QTest::newRow("fifth ignored") << "ABCDE" << "ABCD" << true;
        QTest::newRow("partial") << "12" << "12" << false;
    }

    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, index);
        QFETCH(bool, complete);
        MappingDialog dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* edit = dlg.findChild<QLineEdit*>("txtIndex");
        edit->setFocus();
        edit->setCursorPosition(0);
        QTest::keyClicks(edit, keys);
        QCOMPARE(dlg.index(), index);
        QCOMPARE(edit->hasAcceptableInput(), complete);
    }

    void form()
    {
        MappingDialog dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Редактирование modbus mapping"));
        QCOMPARE(dlg.findChild<QLineEdit*>("txtIndex")->inputMask().section(';', 0, 0), QString("XXXX"));
        QVERIFY(dlg.findChild<QLabel*>("lblModbusRegsCounts")->isHidden());
        QVERIFY(dlg.findChild<QSpinBox*>("spinModbusRegsCount")->isHidden());
        QCOMPARE(dlg.subindex(), 0);
        QCOMPARE(dlg.subindexCount(), 0);
        QCOMPARE(dlg.modbusAddr(), 0);
    }

    void valuesClamped_data()
    {
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("subindex");
        QTest::addColumn<int>("addr");
        QTest::newRow("inside") << 200 << 200 << 200;
        QTest::newRow("above byte") << 300 << 255 << 300;
        QTest::newRow("above word") << 70000 << 255 << 65535;
        QTest::newRow("negative") << -1 << 0 << 0;
    }

    void valuesClamped()
    {
        QFETCH(int, in);
        QFETCH(int, subindex);
        QFETCH(int, addr);
        MappingDialog dlg(nullptr);
        dlg.setSubindex(in);
        dlg.setSubindexCount(in);
        dlg.setModbusAddr(in);
        QCOMPARE(dlg.subindex(), subindex);
        QCOMPARE(dlg.subindexCount(), subindex);
        QCOMPARE(dlg.modbusAddr(), addr);
    }

    void clear()
    {
        MappingDialog dlg(nullptr);
        dlg.setIndex("2000");
        dlg.setSubindex(3);
        dlg.setSubindexCount(4);
        dlg.setModbusAddr(100);
        dlg.setModbusRegsCount(6);
        QTest::mouseClick(dlg.findChild<QPushButton*>("btnClear"), Qt::LeftButton);
        QCOMPARE(dlg.index(), QString("0000"));
        QCOMPARE(dlg.subindex(), 0);
        QCOMPARE(dlg.subindexCount(), 0);
        QCOMPARE(dlg.modbusAddr(), 65535);
        QCOMPARE(dlg.findChild<QSpinBox*>("spinModbusRegsCount")->value(), 6);
    }

    // An entry's digits into the dialog and back: all but the register
    // count, which the device works out, stand as they were.
    void entryRoundTrip()
    {
        const MappingEntry entry = MappingEntry::fromText(QStringLiteral("2010010200100004"));
        QCOMPARE(entry.modbusRegisterCount, 4);
        MappingDialog dlg(nullptr);
        showMappingEntry(dlg, entry);
        const MappingEntry back = readMappingEntry(dlg);
        QCOMPARE(back.objectIndex, QStringLiteral("2010"));
        QCOMPARE(back.subIndex, 1);
        QCOMPARE(back.subIndexCount, 2);
        QCOMPARE(back.modbusAddress, 0x10);
        QCOMPARE(back.toText(), QStringLiteral("2010010200100000"));
        // A short index is padded, so the fields keep their places.
        dlg.setIndex(QStringLiteral("1A"));
        dlg.setModbusAddr(0xFFFF);
        QCOMPARE(readMappingEntry(dlg).toText(), QStringLiteral("001A0102ffff0000"));
    }

    void buttons()
    {
        MappingDialog dlg(nullptr);
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        box->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        box->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestMappingDialog)
#include "tst_mappingdialog.moc"
