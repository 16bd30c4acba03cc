#include "pages/qcheckboxwgt.h"
#include "pages/qcombowgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"

#include <QSignalSpy>
#include <QTest>

namespace {

ParamDataField fieldOf(int type)
{
    ParamDataField f;
    f.name = QStringLiteral("f");
    f.type = type;
    return f;
}

} // namespace

class TstFieldWidgets : public QObject
{
    Q_OBJECT
private slots:
    void shownText_data();
    void shownText();
    void validator_data();
    void validator();
    void lineEditEditMarksAndReports();
    void lineEditReportsOnlyChanges_data();
    void lineEditReportsOnlyChanges();
    void showingNeverReportsNorMarks();
    void comboFillSortsAndShowsByValue();
    void comboUserChoiceReportsItemValue();
    void checkBoxClickReportsAndMarksBackground();
    void checkBoxPartialReportsFalse();
};

void TstFieldWidgets::shownText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("lineEdit");
    QTest::addColumn<QString>("label");
    QTest::newRow("int8 as read") << QVariant::fromValue(qint8(-5)) << "-5" << "-5";
    QTest::newRow("uint8 as read") << QVariant::fromValue(quint8(200)) << "200" << "200";
    QTest::newRow("int16") << QVariant::fromValue(qint16(-300)) << "-300" << "-300";
    QTest::newRow("uint32 max") << QVariant::fromValue(quint32(4294967295u)) << "4294967295" << "4294967295";
    QTest::newRow("int64") << QVariant::fromValue(qlonglong(-5000000000LL)) << "-5000000000" << "-5000000000";
    QTest::newRow("uint64") << QVariant::fromValue(qulonglong(18446744073709551615ULL))
                            << "18446744073709551615" << "18446744073709551615";
    QTest::newRow("double") << QVariant(1.5) << "1.5000" << "1.5";
    QTest::newRow("real field text") << QVariant(QStringLiteral("1,5000")) << "1,5000" << "1,5000";
    QTest::newRow("hex text") << QVariant(QStringLiteral("abcd")) << "abcd" << "abcd";
}

void TstFieldWidgets::shownText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, lineEdit);
    QFETCH(QString, label);
    QLineEditWgt edit;
    QLabelWgt lbl;
    edit.slotFromParamOnValueChange(value);
    lbl.slotFromParamOnValueChange(value);
    QCOMPARE(edit.text(), lineEdit);
    QCOMPARE(lbl.text(), label);
}

void TstFieldWidgets::validator_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    const int ok = QValidator::Acceptable, bad = QValidator::Invalid, partial = QValidator::Intermediate;
    QTest::newRow("int8 low") << int(FieldType::Int8) << "-128" << ok;
    QTest::newRow("int8 past") << int(FieldType::Int8) << "128" << bad;
    QTest::newRow("int8 minus alone") << int(FieldType::Int8) << "-" << partial;
    QTest::newRow("uint8 negative") << int(FieldType::UInt8) << "-1" << bad;
    QTest::newRow("uint16 top") << int(FieldType::UInt16) << "65535" << ok;
    QTest::newRow("int32 low") << int(FieldType::Int32) << "-2147483648" << ok;
    QTest::newRow("uint32 top") << int(FieldType::UInt32) << "4294967295" << ok;
    QTest::newRow("uint32 past") << int(FieldType::UInt32) << "4294967296" << bad;
    QTest::newRow("uint32 letters") << int(FieldType::UInt32) << "12a" << bad;
    QTest::newRow("uint64 digits") << int(FieldType::UInt64) << "18446744073709551615" << ok;
    QTest::newRow("uint64 sign") << int(FieldType::UInt64) << "-1" << bad;
    QTest::newRow("int64 negative") << int(FieldType::Int64) << "-42" << ok;
    QTest::newRow("real comma") << int(FieldType::Real32) << "1,5000" << ok;
    QTest::newRow("real point") << int(FieldType::Real64) << "-2.25" << ok;
    QTest::newRow("real 5 decimals") << int(FieldType::Real32) << "1.12345" << bad;
    QTest::newRow("hex prefixed") << int(FieldType::Hex) << "0xAbC1" << ok;
    QTest::newRow("hex other letter") << int(FieldType::Hex) << "12g" << bad;
    QTest::newRow("string any") << int(FieldType::String) << "что угодно" << ok;
}

void TstFieldWidgets::validator()
{
    QFETCH(int, type);
    QFETCH(QString, input);
    QFETCH(int, state);
    QLineEditWgt edit;
    edit.setupValidator(fieldOf(type));
    if (!edit.validator()) {
        QCOMPARE(state, int(QValidator::Acceptable));
        return;
    }
    int pos = 0;
    QCOMPARE(int(edit.validator()->validate(input, pos)), state);
}

void TstFieldWidgets::lineEditEditMarksAndReports()
{
    QLineEditWgt edit;
    edit.setupValidator(fieldOf(FieldType::UInt8));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy spy(&edit, &QLineEditWgt::signalValueChanged);
    edit.setFocus();
    QTest::keyClicks(&edit, QStringLiteral("299")); // 299 is past the range: the last 9 is refused
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(spy.count(), 1); // also the focus it gives up reports nothing more
    QCOMPARE(spy.last().at(0).toString(), QStringLiteral("29"));
    QCOMPARE(edit.styleSheet(), QStringLiteral("color:red;"));
    QVERIFY(!edit.hasFocus());

    edit.slotChangeSelection(false);
    QCOMPARE(edit.styleSheet(), QString());
    edit.slotChangeSelection(true);
    QCOMPARE(edit.styleSheet(), QStringLiteral("color:red;"));
}

// What a user does in a line edit showing the stored value 42: an edit is
// reported (and marked) only when the text differs from that value's text,
// and a text the field cannot take shows the stored value again.
void TstFieldWidgets::lineEditReportsOnlyChanges_data()
{
    QTest::addColumn<QString>("typed");   // after selecting all; empty: nothing typed
    QTest::addColumn<bool>("clear");      // the text deleted first
    QTest::addColumn<bool>("pressReturn");// else the focus moves on
    QTest::addColumn<QString>("reported");// empty: nothing
    QTest::addColumn<QString>("shown");
    QTest::newRow("focus in and out") << "" << false << false << "" << "42";
    QTest::newRow("Return without typing") << "" << false << true << "" << "42";
    QTest::newRow("the same number typed again") << "42" << false << true << "" << "42";
    QTest::newRow("another number") << "43" << false << true << "43" << "43";
    QTest::newRow("another number, focus moved on") << "7" << false << false << "7" << "7";
    QTest::newRow("cleared, Return") << "" << true << true << "" << "42";
    QTest::newRow("cleared, focus moved on") << "" << true << false << "" << "42";
    QTest::newRow("only a sign, Return") << "-" << true << true << "" << "42";
}

void TstFieldWidgets::lineEditReportsOnlyChanges()
{
    QFETCH(QString, typed);
    QFETCH(bool, clear);
    QFETCH(bool, pressReturn);
    QFETCH(QString, reported);
    QFETCH(QString, shown);
    QWidget window;
    auto *edit = new QLineEditWgt(&window);
    auto *next = new QLineEdit(&window);
    next->move(0, 40);
    edit->setupValidator(fieldOf(FieldType::Int16));
    edit->slotFromParamOnValueChange(QVariant::fromValue(qint16(42)));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy spy(edit, &QLineEditWgt::signalValueChanged);

    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    if (clear) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
    }
    if (!typed.isEmpty()) {
        edit->selectAll();
        QTest::keyClicks(edit, typed);
    }
    if (pressReturn)
        QTest::keyClick(edit, Qt::Key_Return);
    else
        next->setFocus();
    QTRY_VERIFY(!edit->hasFocus());

    QCOMPARE(edit->text(), shown);
    QCOMPARE(spy.count(), reported.isEmpty() ? 0 : 1);
    if (!reported.isEmpty())
        QCOMPARE(spy.at(0).at(0).toString(), reported);
    QCOMPARE(edit->styleSheet(), QString(reported.isEmpty() ? "" : "color:red;"));
}

void TstFieldWidgets::showingNeverReportsNorMarks()
{
    QLineEditWgt edit;
    QComboWgt combo;
    combo.fill({{QStringLiteral("a"), 1.0}, {QStringLiteral("b"), 2.0}});
    QCheckBoxWgt check;
    QSignalSpy s1(&edit, &QLineEditWgt::signalValueChanged);
    QSignalSpy s2(&combo, &QComboWgt::signalValueChanged);
    QSignalSpy s3(&check, &QCheckBoxWgt::signalValueChanged);
    edit.slotFromParamOnValueChange(QVariant::fromValue(quint8(7)));
    combo.slotFromParamOnValueChange(QVariant::fromValue(quint8(2)));
    check.slotFromParamOnValueChange(-128);
    QCOMPARE(s1.count() + s2.count() + s3.count(), 0);
    QCOMPARE(edit.styleSheet() + combo.styleSheet() + check.styleSheet(), QString());
    QVERIFY(check.isChecked());
}

void TstFieldWidgets::comboFillSortsAndShowsByValue()
{
    QComboWgt combo;
    QSignalSpy spy(&combo, &QComboWgt::signalValueChanged);
    const QList<CommonValue> values = {{QStringLiteral("b"), 2.0},
                                       {QStringLiteral("a"), 1.0},
                                       {QStringLiteral("B"), 3.0},
                                       {QStringLiteral("a"), 4.0}};
    combo.fill(values);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(combo.count(), 4);
    QStringList texts;
    QList<double> data;
    for (int i = 0; i < combo.count(); ++i) {
        texts << combo.itemText(i);
        data << combo.itemData(i).toDouble();
    }
    // Case-sensitive order; equal texts in the reverse of the list.
    QCOMPARE(texts, QStringList({"B", "a", "a", "b"}));
    QCOMPARE(data, QList<double>({3.0, 4.0, 1.0, 2.0}));
    QCOMPARE(combo.commonValues().size(), 4);

    // Values read from the device are integers; the file's values are doubles.
    combo.slotFromParamOnValueChange(QVariant::fromValue(quint8(1)));
    QCOMPARE(combo.currentText(), QStringLiteral("a"));
    QCOMPARE(combo.currentData().toDouble(), 1.0);
    combo.slotFromParamOnValueChange(QVariant::fromValue(quint8(9)));
    QCOMPARE(combo.currentIndex(), -1);
    QCOMPARE(spy.count(), 0);
}

void TstFieldWidgets::comboUserChoiceReportsItemValue()
{
    QComboWgt combo;
    combo.fill({{QStringLiteral("one"), 1.0}, {QStringLiteral("two"), 2.0}});
    combo.slotFromParamOnValueChange(QVariant::fromValue(quint8(1)));
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    QSignalSpy spy(&combo, &QComboWgt::signalValueChanged);
    combo.setFocus();
    QTest::keyClick(&combo, Qt::Key_Down);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toDouble(), 2.0);
    QCOMPARE(combo.styleSheet(), QStringLiteral("color:red;"));
}

void TstFieldWidgets::checkBoxClickReportsAndMarksBackground()
{
    QCheckBoxWgt check;
    check.setText(QStringLiteral("x"));
    check.show();
    QVERIFY(QTest::qWaitForWindowExposed(&check));
    QSignalSpy spy(&check, &QCheckBoxWgt::signalValueChanged);
    QTest::mouseClick(&check, Qt::LeftButton, {}, check.rect().center());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0), QVariant(true));
    QCOMPARE(check.styleSheet(), QStringLiteral("background-color: red;"));
    // The parameter's mark replaces the background with red text, or clears it.
    check.slotChangeSelection(true);
    QCOMPARE(check.styleSheet(), QStringLiteral("color:red;"));
    check.slotChangeSelection(false);
    QCOMPARE(check.styleSheet(), QString());
}

void TstFieldWidgets::checkBoxPartialReportsFalse()
{
    QCheckBoxWgt check;
    check.setTristate(true);
    QSignalSpy spy(&check, &QCheckBoxWgt::signalValueChanged);
    check.setCheckState(Qt::PartiallyChecked);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0), QVariant(false));
}

QTEST_MAIN(TstFieldWidgets)
#include "tst_fieldwidgets.moc"
