#include "pages/datatypes.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kGood = R"({"name": "Good", "size": 2, "cantype": "uint16",
    "fields": [{"name": "v", "datatype": "uint16", "startbit": 0, "endbit": 15}]})";

QByteArray withGood(const QByteArray &badType)
{
    return "{\"types\": [" + badType + ", " + kGood + "]}";
}

} // namespace

class TstDataTypes : public QObject
{
    Q_OBJECT
private slots:
    void readsTypesAndFields();
    void malformed_data();
    void malformed();
    void loadsFromFolder();
};

void TstDataTypes::readsTypesAndFields()
{
    const QByteArray json = R"({"types": [
      {"name": "Mode", "size": 4, "cantype": "Int32", "unknown": 1, "fields": [
        {"name": "speed", "datatype": "UINT16", "startbit": 0, "endbit": 15},
        {"name": "flag", "datatype": "bit", "startbit": 16, "endbit": 16,
         "commonvalues": [{"name": "Вкл", "value": -128}, {"name": "Выкл", "value": 0}]},
        {"name": "tag", "datatype": "hex", "size": 1, "startbit": 24, "endbit": 31},
        {"name": "speed", "datatype": "uint8", "startbit": 8, "endbit": 15}
      ]},
      {"name": "Text", "size": 8, "cantype": "string",
       "fields": [{"name": "s", "datatype": "string", "size": 8, "startbit": 0, "endbit": 63}]},
      {"name": "Empty", "size": 0, "cantype": "hex"}
    ]})";

    DataTypeMap types;
    const QStringList errors = parseDataTypes(json, types, QStringLiteral("datatypes.json"));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    QCOMPARE(types.keys(), (QStringList{"Empty", "Mode", "Text"}));

    const QSharedPointer<ParamDataType> mode = types.value(QStringLiteral("Mode"));
    QCOMPARE(mode->name(), QStringLiteral("Mode"));
    QCOMPARE(mode->size(), 4);
    QCOMPARE(mode->canType(), 0x07);
    QCOMPARE(mode->fields().keys(), (QStringList{"flag", "speed", "tag"}));

    // The later of two fields with one name counts.
    const ParamDataField speed = mode->fields().value(QStringLiteral("speed"));
    QCOMPARE(speed.type, int(FieldType::UInt8));
    QCOMPARE(speed.startbit, 8);
    QCOMPARE(speed.endbit, 15);

    const ParamDataField flag = mode->fields().value(QStringLiteral("flag"));
    QCOMPARE(flag.type, int(FieldType::Bit));
    QCOMPARE(flag.commonValues.size(), 2);
    QCOMPARE(flag.commonValues.at(0).name, QStringLiteral("Вкл"));
    QCOMPARE(flag.commonValues.at(0).value, QVariant(-128.0));
    QCOMPARE(flag.commonValues.at(1).name, QStringLiteral("Выкл"));

    QCOMPARE(mode->fields().value(QStringLiteral("tag")).size, 1);
    QCOMPARE(types.value(QStringLiteral("Text"))->canType(), 0x09);
    QCOMPARE(types.value(QStringLiteral("Empty"))->canType(), 0x01);
    QVERIFY(types.value(QStringLiteral("Empty"))->fields().isEmpty());
}

void TstDataTypes::malformed_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("not JSON") << QByteArray("{\"types\": [") << QStringList() << "JSON";
    QTest::newRow("empty file") << QByteArray() << QStringList() << "JSON";
    QTest::newRow("no types") << QByteArray("{\"typez\": []}") << QStringList() << "types";
    QTest::newRow("types not an array") << QByteArray("{\"types\": {}}") << QStringList() << "types";
    QTest::newRow("top level an array") << QByteArray("[" + kGood + "]") << QStringList() << "types";

    const QStringList good{"Good"};
    QTest::newRow("type not an object") << withGood("7") << good << "№1";
    QTest::newRow("type without name")
        << withGood(R"({"size": 1, "cantype": "uint8"})") << good << "\"name\"";
    QTest::newRow("type with empty name")
        << withGood(R"({"name": "", "size": 1, "cantype": "uint8"})") << good << "пустое имя";
    QTest::newRow("size missing") << withGood(R"({"name": "Bad", "cantype": "uint8"})") << good << "\"size\"";
    QTest::newRow("size a fraction")
        << withGood(R"({"name": "Bad", "size": 2.5, "cantype": "uint8"})") << good << "\"size\"";
    QTest::newRow("size negative")
        << withGood(R"({"name": "Bad", "size": -1, "cantype": "uint8"})") << good << "\"size\"";
    QTest::newRow("cantype a number")
        << withGood(R"({"name": "Bad", "size": 1, "cantype": 7})") << good << "\"cantype\"";
    QTest::newRow("fields not an array")
        << withGood(R"({"name": "Bad", "size": 1, "cantype": "uint8", "fields": {}})") << good << "\"fields\"";

    const auto typeWithField = [](const char *field) {
        return withGood(QByteArray(R"({"name": "Bad", "size": 4, "cantype": "uint32", "fields": [)")
                        + R"({"name": "ok", "datatype": "uint8", "startbit": 0, "endbit": 7}, )" + field + "]}");
    };
    QTest::newRow("field not an object") << typeWithField("[]") << good << "№2";
    QTest::newRow("field without name")
        << typeWithField(R"({"datatype": "uint8", "startbit": 0, "endbit": 7})") << good << "\"name\"";
    QTest::newRow("field without datatype")
        << typeWithField(R"({"name": "f", "startbit": 0, "endbit": 7})") << good << "\"datatype\"";
    QTest::newRow("field without endbit")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 0})") << good << "\"endbit\"";
    QTest::newRow("startbit negative")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": -1, "endbit": 6})") << good << "\"startbit\"";
    QTest::newRow("startbit huge")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 1e12, "endbit": 7})") << good << "\"startbit\"";
    QTest::newRow("startbit a text")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": "0", "endbit": 7})") << good << "\"startbit\"";
    QTest::newRow("endbit before startbit")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 5, "endbit": 3})") << good
        << "endbit (3) меньше startbit (5)";
    QTest::newRow("field wider than its field type")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 0, "endbit": 15})") << good << "шире";
    QTest::newRow("bit field over two positions")
        << typeWithField(R"({"name": "f", "datatype": "bit", "startbit": 0, "endbit": 8})") << good << "шире";
    QTest::newRow("field past the type's size")
        << typeWithField(R"({"name": "f", "datatype": "uint16", "startbit": 24, "endbit": 39})") << good
        << "за размер типа";
    QTest::newRow("hex without size")
        << typeWithField(R"({"name": "f", "datatype": "hex", "startbit": 0, "endbit": 7})") << good << "\"size\"";
    QTest::newRow("hex wider than its size")
        << typeWithField(R"({"name": "f", "datatype": "hex", "size": 1, "startbit": 0, "endbit": 15})") << good
        << "шире";
    QTest::newRow("common values not an array")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 0, "endbit": 7, "commonvalues": 1})")
        << good << "commonvalues";
    QTest::newRow("common value without value")
        << typeWithField(R"({"name": "f", "datatype": "uint8", "startbit": 0, "endbit": 7,
                             "commonvalues": [{"name": "a"}]})")
        << good << "\"value\"";
}

void TstDataTypes::malformed()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, loaded);
    QFETCH(QString, mentions);

    DataTypeMap types;
    const QStringList errors = parseDataTypes(json, types, QStringLiteral("/cfg/datatypes.json"));
    QCOMPARE(types.keys(), loaded);
    QVERIFY(!errors.isEmpty());
    for (const QString &e : errors)
        QVERIFY2(e.startsWith(QLatin1String("/cfg/datatypes.json")), qPrintable(e));
    QVERIFY2(errors.join('\n').contains(mentions), qPrintable(errors.join('\n')));
}

void TstDataTypes::loadsFromFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    dataTypeMap.clear();

    // Without the file: one clear line naming it, nothing loaded.
    QStringList errors = loadDataTypes(dir.path());
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains(dir.path() + QStringLiteral("/datatypes.json")));
    QVERIFY(dataTypeMap.isEmpty());

    QFile file(dir.filePath(QStringLiteral("datatypes.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"types\": [" + kGood + "]}");
    file.close();
    errors = loadDataTypes(dir.path());
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    QCOMPARE(dataTypeMap.keys(), QStringList{"Good"});
    const QSharedPointer<ParamDataType> first = dataTypeMap.value(QStringLiteral("Good"));

    // A second load replaces by name and drops nothing; a broken type keeps the old one.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"types": [{"name": "Good", "size": 2, "cantype": "uint16",
        "fields": [{"name": "v", "datatype": "uint8", "startbit": 9, "endbit": 3}]},
        {"name": "Other", "size": 1, "cantype": "uint8"}]})");
    file.close();
    errors = loadDataTypes(dir.path());
    QCOMPARE(errors.size(), 1);
    QCOMPARE(dataTypeMap.keys(), (QStringList{"Good", "Other"}));
    QCOMPARE(dataTypeMap.value(QStringLiteral("Good")), first);
    dataTypeMap.clear();
}

QTEST_GUILESS_MAIN(TstDataTypes)
#include "tst_datatypes.moc"
