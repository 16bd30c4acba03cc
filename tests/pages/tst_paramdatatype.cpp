#include "pages/paramdatatype.h"

#include <QTest>
#include <QtEndian>

namespace {

ParamDataType typeWith(const QString &typeName, int start, int end, int size = 0)
{
    ParamDataType type(QStringLiteral("T"), 4, 7);
    ParamDataField f;
    f.name = QStringLiteral("f");
    f.type = dataTypeCode(typeName);
    f.startbit = start;
    f.endbit = end;
    f.size = size;
    type.setField(f);
    return type;
}

// The columns that describe the field under test, and the type built from them.
void addFieldColumns()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("size");
}

ParamDataType fieldTypeOfRow()
{
    QFETCH(QString, type);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, size);
    return typeWith(type, start, end, size);
}

QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

quint32 swap32(quint32 v) { return qbswap(v); }

} // namespace

class TstParamDataType : public QObject
{
    Q_OBJECT
private slots:
    void typeCodes_data();
    void typeCodes();
    void readField_data();
    void readField();
    void writeField_data();
    void writeField();
    void writeRefused_data();
    void writeRefused();
    void undefinedFieldIsNotWritten();
    void everyRangeOfAWord();
    void everyBitPosition();
    void valueToText_data();
    void valueToText();
};

void TstParamDataType::typeCodes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("can");
    QTest::newRow("int8") << "int8" << 0 << 0x02;
    QTest::newRow("Uint8") << "Uint8" << 1 << 0x05;
    QTest::newRow("int16") << "int16" << 2 << 0x03;
    QTest::newRow("uint16") << "uint16" << 3 << 0x06;
    QTest::newRow("INT32 takes the unsigned code") << "INT32" << 4 << 0x07;
    QTest::newRow("uint32") << "uint32" << 5 << 0x07;
    QTest::newRow("int64 takes the unsigned code") << "Int64" << 6 << 0x1B;
    QTest::newRow("uint64") << "uint64" << 7 << 0x1B;
    QTest::newRow("real32") << "real32" << 8 << 0x08;
    QTest::newRow("real64") << "REAL64" << 9 << 0x11;
    QTest::newRow("hex") << "hex" << 10 << 0x01;
    QTest::newRow("string") << "String" << 11 << 0x09;
    QTest::newRow("bit") << "bit" << 12 << 0x01;
    QTest::newRow("unknown") << "uint12" << 12 << 0x01;
    QTest::newRow("empty") << "" << 12 << 0x01;
}

void TstParamDataType::typeCodes()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QFETCH(int, can);
    QCOMPARE(dataTypeCode(name), field);
    QCOMPARE(canTypeCode(name), can);
}

void TstParamDataType::readField_data()
{
    addFieldColumns();
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("uint16 little-endian")
        << "uint16" << 0 << 15 << 0 << hex("3412") << QVariant::fromValue(quint16(0x1234));
    QTest::newRow("uint8 second byte")
        << "uint8" << 8 << 15 << 0 << hex("3412") << QVariant::fromValue(quint8(0x12));
    QTest::newRow("uint32 upper half")
        << "uint32" << 16 << 31 << 0 << hex("01020304") << QVariant::fromValue(quint32(0x0403));
    QTest::newRow("int8 negative")
        << "int8" << 0 << 7 << 0 << hex("ff") << QVariant::fromValue(qint8(-1));
    QTest::newRow("int16 negative")
        << "int16" << 0 << 15 << 0 << hex("feff") << QVariant::fromValue(qint16(-2));
    QTest::newRow("int32 negative")
        << "int32" << 0 << 31 << 0 << hex("00000080") << QVariant::fromValue(qint32(INT32_MIN));
    QTest::newRow("int64 negative")
        << "int64" << 0 << 63 << 0 << hex("0100000000000080")
        << QVariant::fromValue(qlonglong(INT64_MIN + 1));
    QTest::newRow("uint64 max")
        << "uint64" << 0 << 63 << 0 << hex("ffffffffffffffff")
        << QVariant::fromValue(qulonglong(UINT64_MAX));
    QTest::newRow("uint8 across bytes")
        << "uint8" << 4 << 11 << 0 << hex("0a5f00") << QVariant::fromValue(quint8(0xa5));
    QTest::newRow("narrow field is left-aligned")
        << "uint8" << 4 << 7 << 0 << hex("05") << QVariant::fromValue(quint8(80));
    QTest::newRow("field wider than its type keeps the first bits")
        << "uint8" << 0 << 15 << 0 << hex("abcd") << QVariant::fromValue(quint8(0xab));
    QTest::newRow("field past the value reads zeros")
        << "uint16" << 8 << 23 << 0 << hex("12") << QVariant::fromValue(quint16(0));
    QTest::newRow("bit set reads -128") << "bit" << 0 << 0 << 0 << hex("80") << QVariant(-128);
    QTest::newRow("bit clear reads 0") << "bit" << 0 << 0 << 0 << hex("7f") << QVariant(0);
    QTest::newRow("bit in second byte") << "bit" << 9 << 9 << 0 << hex("0040") << QVariant(-128);
    QTest::newRow("real32 with decimal comma")
        << "real32" << 0 << 31 << 0 << hex("0000c03f") << QVariant(QStringLiteral("1,5000"));
    QTest::newRow("real64 negative")
        << "real64" << 0 << 63 << 0 << hex("00000000000002c0") << QVariant(QStringLiteral("-2,2500"));
    QTest::newRow("hex lower case") << "hex" << 0 << 15 << 2 << hex("abcd") << QVariant(QStringLiteral("abcd"));
    QTest::newRow("hex across bytes") << "hex" << 4 << 11 << 1 << hex("abcd") << QVariant(QStringLiteral("bc"));
    QTest::newRow("string up to zero")
        << "string" << 0 << 31 << 4 << hex("41420043") << QVariant(QStringLiteral("AB"));
    QTest::newRow("empty value uint32")
        << "uint32" << 0 << 31 << 0 << QByteArray() << QVariant::fromValue(quint32(0));
    QTest::newRow("empty value real32")
        << "real32" << 0 << 31 << 0 << QByteArray() << QVariant(QStringLiteral("0,0000"));
    QTest::newRow("empty value hex") << "hex" << 0 << 15 << 2 << QByteArray() << QVariant(QStringLiteral("0000"));
    QTest::newRow("empty value string") << "string" << 0 << 31 << 4 << QByteArray() << QVariant(QString());
    QTest::newRow("empty value bit") << "bit" << 3 << 3 << 0 << QByteArray() << QVariant(0);
}

void TstParamDataType::readField()
{
    QFETCH(QByteArray, value);
    QFETCH(QVariant, expected);

    ParamDataType t = fieldTypeOfRow();
    const QVariant got = t.readField(QStringLiteral("f"), value);
    QCOMPARE(got.userType(), expected.userType());
    QCOMPARE(got, expected);
}

void TstParamDataType::writeField_data()
{
    addFieldColumns();
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("uint16 number") << "uint16" << 0 << 15 << 0 << hex("0000") << QVariant(0x1234) << hex("3412");
    QTest::newRow("uint16 text") << "uint16" << 0 << 15 << 0 << hex("0000") << QVariant("4660") << hex("3412");
    QTest::newRow("uint8 keeps the other byte") << "uint8" << 8 << 15 << 0 << hex("3412") << QVariant(0xab) << hex("34ab");
    QTest::newRow("uint8 across bytes") << "uint8" << 4 << 11 << 0 << hex("0000") << QVariant(0xa5) << hex("0a50");
    QTest::newRow("bits outside stay") << "uint8" << 4 << 11 << 0 << hex("ffff") << QVariant(0) << hex("f00f");
    QTest::newRow("narrow field takes the high bits") << "uint8" << 4 << 7 << 0 << hex("ff") << QVariant(80) << hex("f5");
    QTest::newRow("int8 -1") << "int8" << 0 << 7 << 0 << hex("00") << QVariant("-1") << hex("ff");
    QTest::newRow("int16 -2") << "int16" << 0 << 15 << 0 << hex("0000") << QVariant(" -2 ") << hex("feff");
    QTest::newRow("int32 min") << "int32" << 0 << 31 << 0 << hex("00000000") << QVariant("-2147483648") << hex("00000080");
    QTest::newRow("uint32 max") << "uint32" << 0 << 31 << 0 << hex("00000000") << QVariant("4294967295") << hex("ffffffff");
    QTest::newRow("int64 min") << "int64" << 0 << 63 << 0 << QByteArray(8, '\0')
                               << QVariant("-9223372036854775808") << hex("0000000000000080");
    QTest::newRow("uint64 max") << "uint64" << 0 << 63 << 0 << QByteArray(8, '\0')
                                << QVariant("18446744073709551615") << hex("ffffffffffffffff");
    QTest::newRow("uint64 from a JSON number") << "uint64" << 0 << 63 << 0 << QByteArray(8, '\0')
                                               << QVariant(4294967296.0) << hex("0000000001000000");
    QTest::newRow("uint8 from a bool") << "uint8" << 0 << 7 << 0 << hex("00") << QVariant(true) << hex("01");
    QTest::newRow("bit true") << "bit" << 0 << 0 << 0 << hex("00") << QVariant(true) << hex("80");
    QTest::newRow("bit false") << "bit" << 0 << 0 << 0 << hex("ff") << QVariant(false) << hex("7f");
    QTest::newRow("bit takes the read -128") << "bit" << 0 << 0 << 0 << hex("00") << QVariant(-128) << hex("80");
    QTest::newRow("bit ignores endbit") << "bit" << 3 << 7 << 0 << hex("00") << QVariant(1) << hex("10");
    QTest::newRow("bit in second byte") << "bit" << 9 << 9 << 0 << hex("0000") << QVariant("1") << hex("0040");
    QTest::newRow("real32 comma") << "real32" << 0 << 31 << 0 << hex("00000000") << QVariant("2,25") << hex("00001040");
    QTest::newRow("real32 point") << "real32" << 0 << 31 << 0 << hex("00000000") << QVariant("2.25") << hex("00001040");
    QTest::newRow("real32 as read") << "real32" << 0 << 31 << 0 << hex("00000000") << QVariant("1,5000") << hex("0000c03f");
    QTest::newRow("real32 number") << "real32" << 0 << 31 << 0 << hex("00000000") << QVariant(1.5) << hex("0000c03f");
    QTest::newRow("real64 comma") << "real64" << 0 << 63 << 0 << QByteArray(8, '\0') << QVariant("-2,25")
                                  << hex("00000000000002c0");
    QTest::newRow("hex 0x1 fills from the start") << "hex" << 0 << 15 << 2 << hex("ffff") << QVariant("0x1") << hex("0100");
    QTest::newRow("hex short") << "hex" << 0 << 15 << 2 << hex("ffff") << QVariant("ab") << hex("ab00");
    QTest::newRow("hex full") << "hex" << 0 << 15 << 2 << hex("0000") << QVariant("abcd") << hex("abcd");
    QTest::newRow("hex odd digits") << "hex" << 0 << 15 << 2 << hex("0000") << QVariant("abc") << hex("0abc");
    QTest::newRow("hex upper case with a space") << "hex" << 0 << 15 << 2 << hex("0000") << QVariant("AB CD") << hex("abcd");
    QTest::newRow("string shorter than the field") << "string" << 0 << 31 << 4 << hex("ffffffff") << QVariant("AB")
                                                   << hex("41420000");
    QTest::newRow("string filling the field") << "string" << 0 << 31 << 4 << hex("00000000") << QVariant("ABCD")
                                              << hex("41424344");
    QTest::newRow("string emptied") << "string" << 0 << 31 << 4 << hex("41424344") << QVariant(QString())
                                    << hex("00000000");
}

void TstParamDataType::writeField()
{
    QFETCH(QByteArray, before);
    QFETCH(QVariant, input);
    QFETCH(QByteArray, after);

    ParamDataType t = fieldTypeOfRow();
    QByteArray value = before;
    QString error;
    QVERIFY2(t.writeField(value, input, QStringLiteral("f"), &error), qPrintable(error));
    QCOMPARE(value.toHex(), after.toHex());
}

void TstParamDataType::writeRefused_data()
{
    addFieldColumns();
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QVariant>("input");

    QTest::newRow("value never read") << "uint8" << 0 << 7 << 0 << QByteArray() << QVariant(5);
    QTest::newRow("field past the value") << "uint16" << 0 << 15 << 0 << hex("12") << QVariant(5);
    QTest::newRow("bit past the value") << "bit" << 8 << 8 << 0 << hex("ff") << QVariant(1);
    QTest::newRow("field wider than its type") << "uint8" << 0 << 15 << 0 << hex("0000") << QVariant(1);
    QTest::newRow("endbit before startbit") << "uint8" << 7 << 0 << 0 << hex("00") << QVariant(1);
    QTest::newRow("uint8 300") << "uint8" << 0 << 7 << 0 << hex("11") << QVariant("300");
    QTest::newRow("uint8 -1") << "uint8" << 0 << 7 << 0 << hex("11") << QVariant(-1);
    QTest::newRow("int8 128") << "int8" << 0 << 7 << 0 << hex("11") << QVariant(128);
    QTest::newRow("int8 -129") << "int8" << 0 << 7 << 0 << hex("11") << QVariant("-129");
    QTest::newRow("uint16 65536") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant("65536");
    QTest::newRow("int32 2^31") << "int32" << 0 << 31 << 0 << hex("11111111") << QVariant("2147483648");
    QTest::newRow("uint32 -1") << "uint32" << 0 << 31 << 0 << hex("11111111") << QVariant("-1");
    QTest::newRow("uint64 2^64") << "uint64" << 0 << 63 << 0 << QByteArray(8, '\x11')
                                 << QVariant("18446744073709551616");
    QTest::newRow("int64 2^63") << "int64" << 0 << 63 << 0 << QByteArray(8, '\x11')
                                << QVariant("9223372036854775808");
    QTest::newRow("int64 below min") << "int64" << 0 << 63 << 0 << QByteArray(8, '\x11')
                                     << QVariant("-9223372036854775809");
    QTest::newRow("uint64 from a negative JSON number") << "uint64" << 0 << 63 << 0 << QByteArray(8, '\x11')
                                                        << QVariant(-1.0);
    QTest::newRow("letters") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant("12a");
    QTest::newRow("empty text") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant("");
    QTest::newRow("fraction text") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant("2.5");
    QTest::newRow("fraction number") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant(2.5);
    QTest::newRow("invalid variant") << "uint16" << 0 << 15 << 0 << hex("1111") << QVariant();
    QTest::newRow("real32 letters") << "real32" << 0 << 31 << 0 << hex("11111111") << QVariant("abc");
    QTest::newRow("real32 two marks") << "real32" << 0 << 31 << 0 << hex("11111111") << QVariant("1,5.2");
    QTest::newRow("real32 overflow") << "real32" << 0 << 31 << 0 << hex("11111111") << QVariant("1e40");
    QTest::newRow("real32 empty") << "real32" << 0 << 31 << 0 << hex("11111111") << QVariant("");
    QTest::newRow("real64 infinity") << "real64" << 0 << 63 << 0 << QByteArray(8, '\x11') << QVariant("inf");
    QTest::newRow("hex not hexadecimal") << "hex" << 0 << 15 << 2 << hex("1111") << QVariant("zz");
    QTest::newRow("hex empty") << "hex" << 0 << 15 << 2 << hex("1111") << QVariant("");
    QTest::newRow("hex prefix only") << "hex" << 0 << 15 << 2 << hex("1111") << QVariant("0x");
    QTest::newRow("hex longer than the field") << "hex" << 0 << 15 << 2 << hex("1111") << QVariant("abcdef");
    QTest::newRow("string longer than the field") << "string" << 0 << 31 << 4 << hex("11111111") << QVariant("ABCDE");
    QTest::newRow("bit not a number") << "bit" << 0 << 0 << 0 << hex("11") << QVariant("yes");
}

void TstParamDataType::writeRefused()
{
    QFETCH(QByteArray, before);
    QFETCH(QVariant, input);

    ParamDataType t = fieldTypeOfRow();
    QByteArray value = before;
    QString error;
    QVERIFY(!t.writeField(value, input, QStringLiteral("f"), &error));
    QCOMPARE(value.toHex(), before.toHex());
    QVERIFY(!error.isEmpty());
}

void TstParamDataType::undefinedFieldIsNotWritten()
{
    ParamDataType t = typeWith(QStringLiteral("uint8"), 0, 7);
    const QByteArray before = hex("1234");

    // Reading an undefined name leaves a default entry; it still must not be written.
    QCOMPARE(t.readField(QStringLiteral("ghost"), before), QVariant::fromValue(qint8(0)));
    QVERIFY(t.fields().contains(QStringLiteral("ghost")));
    QVERIFY(!t.hasField(QStringLiteral("ghost")));

    QByteArray value = before;
    QString error;
    QVERIFY(!t.writeField(value, QVariant(-1), QStringLiteral("ghost"), &error));
    QCOMPARE(value, before);
    QVERIFY(error.contains(QStringLiteral("ghost")));
}

// Every run of positions inside a 4-byte value, checked against the value taken as a
// big-endian 32-bit number: the field is bits (31 - end)..(31 - start) of it.
void TstParamDataType::everyRangeOfAWord()
{
    const quint32 word = 0x5A3C96F1;
    const quint32 written = 0xDEADBEEF;
    QByteArray original(4, '\0');
    qToBigEndian(word, original.data());

    for (int start = 0; start < 32; ++start) {
        for (int end = start; end < 32; ++end) {
            const int n = end - start + 1;
            const quint64 mask = (quint64(1) << n) - 1;
            const int shift = 31 - end;
            ParamDataType t = typeWith(QStringLiteral("uint32"), start, end);
            const QString where = QStringLiteral("bits %1..%2").arg(start).arg(end);

            // Reading: the field's bits left-aligned, the buffer taken little-endian.
            const quint32 fieldBits = quint32((word >> shift) & mask);
            const quint32 expectedRead = swap32(quint32(quint64(fieldBits) << (32 - n)));
            QVERIFY2(t.readField(QStringLiteral("f"), original).toUInt() == expectedRead,
                     qPrintable(where));

            // Writing: the first n bits of the little-endian bytes of the number.
            QByteArray value = original;
            QVERIFY(t.writeField(value, QVariant::fromValue(written), QStringLiteral("f")));
            const quint32 incoming = quint32(swap32(written) >> (32 - n));
            const quint32 expectedWord = quint32((word & ~(mask << shift)) | (quint64(incoming) << shift));
            QVERIFY2(qFromBigEndian<quint32>(value.constData()) == expectedWord, qPrintable(where));
            QVERIFY2(t.readField(QStringLiteral("f"), value).toUInt()
                         == swap32(quint32(quint64(incoming) << (32 - n))),
                     qPrintable(where));
        }
    }
}

void TstParamDataType::everyBitPosition()
{
    for (int p = 0; p < 24; ++p) {
        ParamDataType t = typeWith(QStringLiteral("bit"), p, p);
        const QString where = QStringLiteral("bit %1").arg(p);
        QByteArray value = hex("000000");
        QVERIFY(t.writeField(value, true, QStringLiteral("f")));
        QByteArray expected = hex("000000");
        expected[p / 8] = char(0x80 >> (p % 8));
        QVERIFY2(value == expected, qPrintable(where));
        QVERIFY2(t.readField(QStringLiteral("f"), value) == QVariant(-128), qPrintable(where));

        value = hex("ffffff");
        QVERIFY(t.writeField(value, false, QStringLiteral("f")));
        expected = hex("ffffff");
        expected[p / 8] = char(~(0x80 >> (p % 8)));
        QVERIFY2(value == expected, qPrintable(where));
        QVERIFY2(t.readField(QStringLiteral("f"), value) == QVariant(0), qPrintable(where));
    }
}

void TstParamDataType::valueToText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");

    QTest::newRow("int8") << QVariant::fromValue(qint8(-5)) << int(FieldType::Int8) << "-5";
    QTest::newRow("uint8") << QVariant::fromValue(quint8(200)) << int(FieldType::UInt8) << "200";
    QTest::newRow("uint32") << QVariant::fromValue(quint32(4294967295u)) << int(FieldType::UInt32) << "4294967295";
    QTest::newRow("int64") << QVariant::fromValue(qlonglong(INT64_MIN)) << int(FieldType::Int64)
                           << "-9223372036854775808";
    QTest::newRow("uint64") << QVariant::fromValue(qulonglong(UINT64_MAX)) << int(FieldType::UInt64)
                            << "18446744073709551615";
    QTest::newRow("bit set") << QVariant(-128) << int(FieldType::Bit) << "-128";
    QTest::newRow("real32 as read") << QVariant("1,5000") << int(FieldType::Real32) << "1.5";
    QTest::newRow("real64 as read") << QVariant("-2,2500") << int(FieldType::Real64) << "-2.25";
    QTest::newRow("real32 six digits") << QVariant("3,1416") << int(FieldType::Real32) << "3.1416";
    QTest::newRow("hex") << QVariant("abcd") << int(FieldType::Hex) << "abcd";
    QTest::newRow("string") << QVariant("AB") << int(FieldType::String) << "AB";
}

void TstParamDataType::valueToText()
{
    QFETCH(QVariant, value);
    QFETCH(int, type);
    QFETCH(QString, text);
    QCOMPARE(::valueToText(value, type), text);
}

QTEST_GUILESS_MAIN(TstParamDataType)
#include "tst_paramdatatype.moc"
