#include "connectwarningguard.h"

#include "propertybrowser/qtboundedvalue.h"

#include <QDate>
#include <QTest>

// The bound rules over the value types the ranged managers keep; the integer and
// double managers' own tests cover the signals.
class TstBoundedValue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void dates_data();
    void dates();
    void sizes_data();
    void sizes();
};

namespace {

enum Op { SetValue, SetMinimum, SetMaximum, SetRange };

// Runs one operation; `a` is the new value or bound, `b` the second end of a range.
template <class Record, class Value>
void apply(Record &r, int op, const Value &a, const Value &b)
{
    switch (op) {
    case SetValue:
        r.value = r.bounded(a);
        break;
    case SetMinimum:
        r.setMinimum(a);
        break;
    case SetMaximum:
        r.setMaximum(a);
        break;
    default: {
        Value lo = a;
        Value hi = b;
        Record::orderRange(lo, hi);
        r.setRange(lo, hi);
    }
    }
}

QDate day(int y, int m, int d) { return QDate(y, m, d); }

} // namespace

void TstBoundedValue::dates_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QDate>("a");
    QTest::addColumn<QDate>("b");
    QTest::addColumn<QDate>("value");
    QTest::addColumn<QDate>("minimum");
    QTest::addColumn<QDate>("maximum");

    // Start: value 2020-06-15 within 2020-01-01 .. 2020-12-31.
    QTest::newRow("early date raised to the minimum")
        << int(SetValue) << day(1700, 1, 1) << QDate()
        << day(2020, 1, 1) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("late date lowered to the maximum")
        << int(SetValue) << day(2021, 1, 1) << QDate()
        << day(2020, 12, 31) << day(2020, 1, 1) << day(2020, 12, 31);
    QTest::newRow("minimum past the maximum moves it and the value")
        << int(SetMinimum) << day(2021, 3, 1) << QDate()
        << day(2021, 3, 1) << day(2021, 3, 1) << day(2021, 3, 1);
    QTest::newRow("maximum before the minimum moves it and the value")
        << int(SetMaximum) << day(2019, 3, 1) << QDate()
        << day(2019, 3, 1) << day(2019, 3, 1) << day(2019, 3, 1);
    QTest::newRow("reversed range is swapped, value kept")
        << int(SetRange) << day(2020, 12, 31) << day(2020, 6, 1)
        << day(2020, 6, 15) << day(2020, 6, 1) << day(2020, 12, 31);
    QTest::newRow("range below the value clamps it")
        << int(SetRange) << day(2020, 2, 1) << day(2020, 3, 1)
        << day(2020, 3, 1) << day(2020, 2, 1) << day(2020, 3, 1);
}

void TstBoundedValue::dates()
{
    QFETCH(int, op);
    QFETCH(QDate, a);
    QFETCH(QDate, b);

    QtBoundedValue<QDate> r{day(2020, 6, 15), day(2020, 1, 1), day(2020, 12, 31)};
    apply(r, op, a, b);
    QTEST(r.value, "value");
    QTEST(r.minimum, "minimum");
    QTEST(r.maximum, "maximum");
}

void TstBoundedValue::sizes_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QSize>("a");
    QTest::addColumn<QSize>("b");
    QTest::addColumn<QSize>("value");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    // Start: value (10, 60) within (0, 0) .. (40, 100); each component on its own.
    QTest::newRow("width raised, height kept")
        << int(SetValue) << QSize(-5, 70) << QSize()
        << QSize(0, 70) << QSize(0, 0) << QSize(40, 100);
    QTest::newRow("width kept, height lowered")
        << int(SetValue) << QSize(20, 500) << QSize()
        << QSize(20, 100) << QSize(0, 0) << QSize(40, 100);
    QTest::newRow("minimum moves the maximum's width and the value's width")
        << int(SetMinimum) << QSize(50, 50) << QSize()
        << QSize(50, 60) << QSize(50, 50) << QSize(50, 100);
    QTest::newRow("maximum moves the value's height only")
        << int(SetMaximum) << QSize(30, 30) << QSize()
        << QSize(10, 30) << QSize(0, 0) << QSize(30, 30);
    QTest::newRow("range ordered per component")
        << int(SetRange) << QSize(10, 1) << QSize(5, 20)
        << QSize(10, 20) << QSize(5, 1) << QSize(10, 20);
}

void TstBoundedValue::sizes()
{
    QFETCH(int, op);
    QFETCH(QSize, a);
    QFETCH(QSize, b);

    QtBoundedValue<QSize> r{QSize(10, 60), QSize(0, 0), QSize(40, 100)};
    apply(r, op, a, b);
    QTEST(r.value, "value");
    QTEST(r.minimum, "minimum");
    QTEST(r.maximum, "maximum");
}

QTEST_APPLESS_MAIN(TstBoundedValue)
#include "tst_boundedvalue.moc"
