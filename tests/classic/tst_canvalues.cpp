// A classic CAN record's value between the device's bytes, the edited text
// and the page's property.
#include "classic/canvalues.h"
#include "classic/paramentry.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <cstring>
#include <thread>

namespace {
ParamEntry record(int type, qint64 raw = 0, const QString& text = QString())
{
    ParamEntry r;
    r.canDataType = type;
    r.byteSize = canTypeSize(type);
    r.currentRaw = raw;
    r.currentText = text;
    return r;
}

qint64 floatBits(float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return qint64(bits);
}

qint64 doubleBits(double d)
{
    qint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

QByteArray bytesOf(qint64 bits, int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(quint64(bits) >> (8 * i)));
    return b;
}
}

class TstCanValues : public QObject {
    Q_OBJECT
private slots:
    void typeTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("editor");
        const int sizes[][2] = {{0x01, 1}, {0x02, 1}, {0x03, 2}, {0x04, 4}, {0x05, 1}, {0x06, 2}, {0x07, 4},
                                {0x08, 4}, {0x11, 8}, {0x15, 8}, {0x1B, 8}, {0x09, -1}, {0x0F, -1}, {0x00, -1}};
        for (const auto& s : sizes)
            QTest::addRow("0x%02x", s[0]) << s[0] << s[1] << (s[0] == 1 ? 3 : 1);
    }
    void typeTable()
    {
        QFETCH(int, code);
        QFETCH(int, size);
        QFETCH(int, editor);
        QCOMPARE(canTypeSize(code), size);
        QCOMPARE(editorTypeForCanType(code), editor);
    }

    void receivedBytes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("oldRaw");
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length"); // -1: all of bytes
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("changed");
        const QByteArray none;
        QTest::newRow("UNSIGNED32 78 56 34 12") << 7 << qint64(0) << "" << QByteArray::fromHex("78563412") << -1
                                                << true << qint64(0x12345678) << "12345678" << true;
        QTest::newRow("UNSIGNED32 padded lower case") << 7 << qint64(0) << "" << QByteArray::fromHex("cdab") << -1
                                                      << true << qint64(0xABCD) << "0000abcd" << true;
        QTest::newRow("INTEGER16 FF FF keeps unsigned text") << 3 << qint64(0) << "" << QByteArray::fromHex("ffff")
                                                             << -1 << true << qint64(0xFFFF) << "65535" << true;
        QTest::newRow("short value leaves no stale bytes")
            << 7 << qint64(0x12345678) << "12345678" << QByteArray::fromHex("3412") << -1 << true << qint64(0x1234)
            << "00001234" << true;
        QTest::newRow("UNSIGNED8 in 4 bytes without size") << 5 << qint64(0x55) << "85"
                                                           << QByteArray::fromHex("07aabbcc") << -1 << true
                                                           << qint64(7) << "7" << true;
        QTest::newRow("UNSIGNED64 all 8 bytes") << 0x1B << qint64(0) << "" << QByteArray::fromHex("0102030405060708")
                                                << -1 << true << qint64(0x0807060504030201) << "0807060504030201"
                                                << true;
        QTest::newRow("9 bytes are no number") << 0x1B << qint64(5) << "old" << QByteArray(9, '\1') << -1 << false
                                               << qint64(5) << "old" << false;
        QTest::newRow("negative length") << 7 << qint64(5) << "old" << none << -5 << false << qint64(5) << "old"
                                         << false;
        QTest::newRow("REAL32 1.5") << 8 << qint64(0) << "" << bytesOf(floatBits(1.5f), 4) << -1 << true
                                    << floatBits(1.5f) << "1.5" << true;
        QTest::newRow("REAL32 every digit it needs") << 8 << qint64(0) << "" << bytesOf(floatBits(3.14159265f), 4)
                                                     << -1 << true << floatBits(3.14159265f) << "3.1415927" << true;
        QTest::newRow("REAL64 every digit it needs") << 0x11 << qint64(0) << "" << bytesOf(doubleBits(0.12345678901234), 8)
                                                     << -1 << true << doubleBits(0.12345678901234) << "0.12345678901234"
                                                     << true;
        QTest::newRow("REAL64 small") << 0x11 << qint64(0) << "" << bytesOf(doubleBits(1e-7), 8) << -1 << true
                                      << doubleBits(1e-7) << "1e-07" << true;
        QTest::newRow("BOOLEAN") << 1 << qint64(0) << "0" << QByteArray::fromHex("01") << -1 << true << qint64(1)
                                 << "1" << true;
        QTest::newRow("same text: no change") << 7 << qint64(0x1234) << "00001234" << QByteArray::fromHex("34120000")
                                              << -1 << true << qint64(0x1234) << "00001234" << false;
        QTest::newRow("Latin-1 string, raw untouched") << 9 << qint64(5) << "" << QByteArray("Gr\xfc\xdf") << -1
                                                       << true << qint64(5) << QString::fromUtf8("Grüß") << true;
        QTest::newRow("string ends at its zero") << 9 << qint64(0) << "" << QByteArray("ab\0cd", 5) << -1 << true
                                                 << qint64(0) << "ab" << true;
        QTest::newRow("string ends at its length") << 9 << qint64(0) << "" << QByteArray("abcdef") << 3 << true
                                                   << qint64(0) << "abc" << true;
    }
    void receivedBytes()
    {
        QFETCH(int, type);
        QFETCH(qint64, oldRaw);
        QFETCH(QString, oldText);
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        QFETCH(bool, ok);
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        QFETCH(bool, changed);
        ParamEntry r = record(type, oldRaw, oldText);
        bool wasChanged = !changed;
        QCOMPARE(setValueFromRaw(r, length == -1 ? bytes.size() : length, bytes.constData(), &wasChanged), ok);
        QCOMPARE(r.currentRaw, raw);
        QCOMPARE(r.currentText, text);
        QCOMPARE(wasChanged, changed);
    }

    void bytesToWrite_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused
        QTest::newRow("UNSIGNED16 low 2 bytes") << 6 << qint64(0x71234) << "" << QByteArray::fromHex("3412");
        QTest::newRow("INTEGER8 -1") << 2 << qint64(-1) << "-1" << QByteArray::fromHex("ff");
        QTest::newRow("UNSIGNED64") << 0x1B << qint64(0x0102030405060708) << ""
                                    << QByteArray::fromHex("0807060504030201");
        QTest::newRow("REAL32 low 4 bytes") << 8 << floatBits(2.5f) << "2.5" << bytesOf(floatBits(2.5f), 4);
        QTest::newRow("Latin-1 string, length in bytes") << 9 << qint64(0) << QString::fromUtf8("Grüße")
                                                         << QByteArray("Gr\xfc\xdf" "e");
        QTest::newRow("70 bytes") << 9 << qint64(0) << QString(70, 'a') << QByteArray(70, 'a');
        QTest::newRow("71 bytes refused") << 9 << qint64(0) << QString(71, 'a') << QByteArray();
        QTest::newRow("Cyrillic refused") << 9 << qint64(0) << QString::fromUtf8("Привет") << QByteArray();
        QTest::newRow("empty string refused") << 9 << qint64(0) << "" << QByteArray();
        QTest::newRow("DOMAIN has no size") << 0x0F << qint64(7) << "7" << QByteArray();
        QTest::newRow("no type") << 0 << qint64(7) << "7" << QByteArray();
    }
    void bytesToWrite()
    {
        QFETCH(int, type);
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const ParamEntry r = record(type, raw, text);
        char out[CAN_STRING_MAX_BYTES];
        std::memset(out, 0x5A, sizeof out);
        int length = -7;
        QString refusal;
        const bool ok = rawFromValue(r, &length, out, &refusal);
        QCOMPARE(ok, !bytes.isEmpty());
        if (ok) {
            QCOMPARE(QByteArray(out, length), bytes);
            QVERIFY(refusal.isEmpty());
        } else {
            QCOMPARE(length, -7);
            QVERIFY(!refusal.isEmpty());
            QCOMPARE(QByteArray(out, sizeof out), QByteArray(sizeof out, 0x5A));
        }
    }

    void editedText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("number");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("shown"); // currentText after the edit
        const qint64 kept = 0x77;           // the record's value before every edit
        QTest::newRow("INTEGER8 0x10") << 2 << 0.0 << false << "0x10" << true << qint64(16) << "16";
        QTest::newRow("INTEGER8 b101") << 2 << 0.0 << false << "b101" << true << qint64(5) << "5";
        QTest::newRow("INTEGER8 0xFF as written") << 2 << 0.0 << false << "0xFF" << true << qint64(255) << "255";
        QTest::newRow("INTEGER8 -128") << 2 << 0.0 << false << "-128" << true << qint64(-128) << "-128";
        QTest::newRow("INTEGER8 300 outside") << 2 << 0.0 << false << "300" << false << kept << "old";
        QTest::newRow("INTEGER8 128 outside") << 2 << 0.0 << false << "128" << false << kept << "old";
        QTest::newRow("INTEGER8 0x100 too wide") << 2 << 0.0 << false << "0x100" << false << kept << "old";
        QTest::newRow("INTEGER8 b + 9 bits") << 2 << 0.0 << false << "b100000000" << false << kept << "old";
        QTest::newRow("UNSIGNED8 255") << 5 << 0.0 << false << "255" << true << qint64(255) << "255";
        QTest::newRow("UNSIGNED8 256 outside") << 5 << 0.0 << false << "256" << false << kept << "old";
        QTest::newRow("UNSIGNED8 -1 outside") << 5 << 0.0 << false << "-1" << false << kept << "old";
        QTest::newRow("UNSIGNED16 leading zeros") << 6 << 0.0 << false << "0x0000FFFF" << true << qint64(0xFFFF)
                                                  << "65535";
        QTest::newRow("INTEGER16 no number") << 3 << 0.0 << false << "12a" << false << kept << "old";
        QTest::newRow("INTEGER32 empty") << 4 << 0.0 << false << "" << false << kept << "old";
        QTest::newRow("INTEGER32 bare b") << 4 << 0.0 << false << "b" << false << kept << "old";
        QTest::newRow("INTEGER32 0x bad digit") << 4 << 0.0 << false << "0x1G" << false << kept << "old";
        QTest::newRow("UNSIGNED32 0x00A") << 7 << 0.0 << false << "0x00A" << true << qint64(10) << "0000000A";
        QTest::newRow("UNSIGNED32 0") << 7 << 0.0 << false << "0" << true << qint64(0) << "00000000";
        QTest::newRow("UNSIGNED32 9 digits too wide") << 7 << 0.0 << false << "0x123456789" << false << kept
                                                      << "old";
        QTest::newRow("UNSIGNED32 not hex") << 7 << 0.0 << false << "12G4" << false << kept << "old";
        QTest::newRow("UNSIGNED32 empty") << 7 << 0.0 << false << "" << false << kept << "old";
        QTest::newRow("UNSIGNED32 0x, no zeros") << 7 << 0.0 << false << "0x1A" << true << qint64(0x1A)
                                                 << "0000001A";
        QTest::newRow("UNSIGNED64 16 digits") << 0x1B << 0.0 << false << "0x1122334455667788" << true
                                              << qint64(0x1122334455667788) << "1122334455667788";
        QTest::newRow("BOOLEAN keeps its text") << 1 << 0.0 << true << "" << true << qint64(1) << "old";
        QTest::newRow("REAL32") << 8 << 2.5 << false << "" << true << floatBits(2.5f) << "2.5";
        QTest::newRow("REAL64") << 0x11 << 1.0 / 3 << false << "" << true << doubleBits(1.0 / 3) << "0.3333333333333333";
        QTest::newRow("VISIBLE_STRING") << 9 << 0.0 << false << "Grüß" << true << kept << "Grüß";
        QTest::newRow("DOMAIN has no rule") << 0x0F << 0.0 << false << "12" << false << kept << "old";
    }
    void editedText()
    {
        QFETCH(int, type);
        QFETCH(double, number);
        QFETCH(bool, flag);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, raw);
        QFETCH(QString, shown);
        ParamEntry r = record(type, 0x77, QStringLiteral("old"));
        QCOMPARE(parseCanValueText(r, number, flag, text), ok);
        QCOMPARE(r.currentRaw, raw);
        QCOMPARE(r.currentText, shown);
        QCOMPARE(r.currentBool, ok && type == 1 && flag);
    }

    void digitsAndBits()
    {
        bool ok = false;
        QCOMPARE(parseHexDigits("0xFFFFFFFFFFFFFFFF", 0x1B, &ok), qint64(-1));
        QVERIFY(ok);
        parseHexDigits("0x1FFFFFFFFFFFFFFFF", 0x1B, &ok);
        QVERIFY(!ok);
        QCOMPARE(parseBinaryDigits("b1b01", 2, &ok), qint64(5));
        QVERIFY(ok);
        parseBinaryDigits("b102", 2, &ok);
        QVERIFY(!ok);
        QCOMPARE(setBit(0, true, 0), qint64(1));
        QCOMPARE(setBit(0, true, 30), qint64(1) << 30);
        QCOMPARE(setBit(0, true, 63), std::numeric_limits<qint64>::min());
        QCOMPARE(setBit(-1, false, 31), qint64(~(qint64(1) << 31)));
        QCOMPARE(setBit(5, true, 64), qint64(5));
    }

    void shownInItsProperty_data()
    {
        QTest::addColumn<QString>("manager");
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("BOOLEAN") << "bool" << 1 << qint64(1) << "1" << QVariant(true);
        QTest::newRow("INTEGER16 FF FF as -1") << "string" << 3 << qint64(0xFFFF) << "65535" << QVariant("-1");
        QTest::newRow("INTEGER8 low byte") << "string" << 2 << qint64(0x180) << "384" << QVariant("-128");
        QTest::newRow("INTEGER32") << "string" << 4 << qint64(0xFFFFFFFE) << "" << QVariant("-2");
        QTest::newRow("UNSIGNED8 low byte") << "string" << 5 << qint64(0x1FF) << "" << QVariant("255");
        QTest::newRow("UNSIGNED16") << "string" << 6 << qint64(0xFFFF) << "" << QVariant("65535");
        QTest::newRow("UNSIGNED32 0x and text") << "string" << 7 << qint64(0) << "12345678" << QVariant("0x12345678");
        QTest::newRow("UNSIGNED64") << "string" << 0x1B << qint64(0) << "00000000000000ff"
                                    << QVariant("0x00000000000000ff");
        QTest::newRow("REAL32 from its text") << "double" << 8 << qint64(0) << "1.5" << QVariant(1.5);
        QTest::newRow("REAL64") << "double" << 0x11 << qint64(0) << "-0.25" << QVariant(-0.25);
        QTest::newRow("VISIBLE_STRING") << "string" << 9 << qint64(0) << "Grüß" << QVariant("Grüß");
        QTest::newRow("DOMAIN text") << "string" << 0x0F << qint64(0) << "abc" << QVariant("abc");
        QTest::newRow("another manager's property") << "bool" << 7 << qint64(1) << "00000001" << QVariant(false);
    }
    void shownInItsProperty()
    {
        QFETCH(QString, manager);
        QFETCH(int, type);
        QFETCH(qint64, raw);
        QFETCH(QString, text);
        QFETCH(QVariant, shown);
        QtBoolPropertyManager bools;
        QtDoublePropertyManager doubles;
        QtStringPropertyManager strings;
        QtProperty* property = manager == "bool"     ? bools.addProperty("p")
                             : manager == "double"   ? doubles.addProperty("p")
                                                     : strings.addProperty("p");
        ParamEntry r = record(type, raw, text);
        showCanValue(r, property);
        const QVariant value = manager == "bool"   ? QVariant(bools.value(property))
                             : manager == "double" ? QVariant(doubles.value(property))
                                                   : QVariant(strings.value(property));
        QCOMPARE(value, shown);
    }

    void unchangedValueLeavesThePropertyAlone()
    {
        QtStringPropertyManager strings;
        QtDoublePropertyManager doubles;
        QtProperty* text = strings.addProperty("t");
        QtProperty* number = doubles.addProperty("n");
        QSignalSpy textChanges(&strings, &QtStringPropertyManager::valueChanged);
        QSignalSpy numberChanges(&doubles, &QtDoublePropertyManager::valueChanged);
        ParamEntry u32 = record(7);
        ParamEntry real = record(8);
        for (int i = 0; i < 2; ++i) {
            bool changed = false;
            QVERIFY(setValueFromRaw(u32, 4, "\x78\x56\x34\x12", &changed));
            QCOMPARE(changed, i == 0);
            showCanValue(u32, text);
            QVERIFY(setValueFromRaw(real, 4, bytesOf(floatBits(0.5f), 4).constData(), &changed));
            showCanValue(real, number);
        }
        QCOMPARE(textChanges.count(), 1);
        QCOMPARE(numberChanges.count(), 1);
    }

    // The load worker stores while the page reads: a reader never sees the
    // number of one value beside the text of another.
    void readersNeverSeeHalfAValue()
    {
        ParamEntry r = record(7);
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (quint32 i = 0; !stop.load(); ++i) {
                const QByteArray bytes = bytesOf(qint64(i), 4);
                setValueFromRaw(r, 4, bytes.constData());
            }
        });
        int torn = 0;
        for (int i = 0; i < 20000; ++i) {
            const CanValue v = canValueOf(r);
            if (!v.text.isEmpty() && v.text != QString::number(v.raw, 16).rightJustified(8, '0'))
                ++torn;
        }
        stop = true;
        writer.join();
        QCOMPARE(torn, 0);
    }
};

QTEST_MAIN(TstCanValues)
#include "tst_canvalues.moc"
