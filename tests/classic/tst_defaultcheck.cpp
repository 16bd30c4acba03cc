// The texts the check against defaults compares, by CANopen data type.
#include "classic/defaultcheck.h"
#include "classic/paramentry.h"

#include <QTest>

#include <cstring>

class TstDefaultCheck : public QObject {
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        QTest::newRow("INTEGER8 0xFF against -1") << 2 << qint64(0xFF) << "" << "-1" << "-1" << "-1";
        QTest::newRow("INTEGER8 against hex 0xFF") << 2 << qint64(0xFF) << "" << "0xFF" << "-1" << "-1";
        QTest::newRow("INTEGER16 against hex, cut to 16 bits") << 3 << qint64(0xFFFE) << "" << "0x1FFFE" << "-2"
                                                               << "-2";
        QTest::newRow("INTEGER32") << 4 << qint64(0xFFFFFFFF) << "" << "7" << "-1" << "7";
        QTest::newRow("BOOLEAN") << 1 << qint64(1) << "" << "1" << "1" << "1";
        QTest::newRow("UNSIGNED8") << 5 << qint64(200) << "" << "200" << "200" << "200";
        QTest::newRow("UNSIGNED16 against hex") << 6 << qint64(16) << "" << "0x10" << "16" << "16";
        QTest::newRow("UNSIGNED32 16 against 0x10") << 7 << qint64(16) << "00000010" << "0x10" << "10" << "10";
        QTest::newRow("UNSIGNED32 decimal default") << 7 << qint64(16) << "00000010" << "16" << "10" << "10";
        QTest::newRow("UNSIGNED32 $NODEID+180 on node 5") << 7 << qint64(0x185) << "00000185" << "$NODEID+180" << "185"
                                                          << "185";
        QTest::newRow("UNSIGNED32 $NODEID+, all zeros") << 7 << qint64(0) << "00000000" << "$NODEID+0x80" << "0"
                                                        << "85";
        QTest::newRow("UNSIGNED64 against hex") << 0x1B << qint64(0x2010010200100000) << "2010010200100000"
                                                << "0x2010010200100000" << "2010010200100000" << "2010010200100000";
        QTest::newRow("INTEGER64 negative default") << 0x15 << qint64(-1) << "ffffffffffffffff" << "-1"
                                                    << "ffffffffffffffff" << "ffffffffffffffff";
        QTest::newRow("REAL32") << 8 << qint64(0x3FC00000) << "" << "1.5" << "1.5" << "1.5";
        QTest::newRow("REAL64") << 0x11 << qint64(0x4004000000000000) << "" << "2.5000001" << "2.5" << "2.5";
        QTest::newRow("VISIBLE_STRING") << 9 << qint64(0) << "Тест" << "Тест" << "" << "Тест";
        QTest::newRow("VISIBLE_STRING, no default") << 9 << qint64(0) << "Тест" << "" << "" << "";
    }
    void texts()
    {
        QFETCH(int, type);
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        QFETCH(QString, defaultText);
        QFETCH(QString, current);
        QFETCH(QString, expected);
        ParamEntry record;
        record.canDataType = type;
        record.valueText = defaultText;
        const DefaultCheckTexts t = defaultCheckTexts(record, CanValue{raw, text, raw != 0}, 5);
        QCOMPARE(t.current, current);
        QCOMPARE(t.defaultValue, expected);
    }
};

QTEST_GUILESS_MAIN(TstDefaultCheck)
#include "tst_defaultcheck.moc"
