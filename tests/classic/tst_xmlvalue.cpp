// An XML record's value shown in its property.
#include "classic/paramentry.h"
#include "classic/xmlvalue.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"

#include <QTest>

class TstXmlValue : public QObject {
    Q_OBJECT
private slots:
    void shows_data()
    {
        QTest::addColumn<QString>("manager");
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("editorType");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("int low 32 bits") << "int" << 2 << 1 << qint64(0xFFFFFFFF) << false << QVariant(-1);
        QTest::newRow("uint low 32 bits") << "int" << 3 << 2 << qint64(0x100000007) << false << QVariant(7);
        QTest::newRow("int combo box") << "enum" << 2 << 4 << qint64(2) << false << QVariant(1);
        QTest::newRow("int combo box no such key") << "enum" << 2 << 4 << qint64(5) << false << QVariant(0);
        QTest::newRow("float") << "double" << 4 << 1 << qint64(0x3FC00000) << false << QVariant(1.5);
        QTest::newRow("simplefloat") << "double" << 5 << 1 << qint64(123) << false << QVariant(12.3);
        QTest::newRow("bool") << "bool" << 7 << 3 << qint64(0) << true << QVariant(true);
        QTest::newRow("double shows nothing") << "double" << 6 << 1 << qint64(0x4004000000000000) << false
                                              << QVariant(0.0);
        QTest::newRow("hex shows nothing") << "int" << 1 << 1 << qint64(7) << false << QVariant(0);
        QTest::newRow("another manager's property") << "double" << 2 << 1 << qint64(7) << false << QVariant(0.0);
    }
    void shows()
    {
        QFETCH(QString, manager);
        QFETCH(int, dataType);
        QFETCH(int, editorType);
        QFETCH(qint64, raw);
        QFETCH(bool, flag);
        QFETCH(QVariant, shown);
        QtIntPropertyManager ints;
        QtDoublePropertyManager doubles;
        QtEnumPropertyManager enums;
        QtBoolPropertyManager bools;
        QtProperty* property = manager == "int"      ? ints.addProperty("p")
                             : manager == "double"   ? doubles.addProperty("p")
                             : manager == "enum"     ? enums.addProperty("p")
                                                     : bools.addProperty("p");
        enums.setEnumNames(property, {"zero", "two", "three"});
        ParamEntry record;
        record.dataType = dataType;
        record.editorType = editorType;
        record.currentRaw = raw;
        record.currentBool = flag;
        record.valueList = {{"0", "zero"}, {"2", "two"}, {"3", "three"}};
        showXmlValue(property, record);
        const QVariant value = manager == "int"    ? QVariant(ints.value(property))
                             : manager == "double" ? QVariant(doubles.value(property))
                             : manager == "enum"   ? QVariant(enums.value(property))
                                                   : QVariant(bools.value(property));
        QCOMPARE(value, shown);
        if (manager == "double" && shown != QVariant(0.0))
            QCOMPARE(doubles.decimals(property), 13); // as many as the manager allows
    }

    void equalValueIsNotAnnouncedAgain()
    {
        QtIntPropertyManager ints;
        QtProperty* property = ints.addProperty("p");
        ParamEntry record;
        record.dataType = ParamEntry::UInt;
        record.currentRaw = 4;
        int changes = 0;
        connect(&ints, &QtIntPropertyManager::valueChanged, [&changes] { ++changes; });
        showXmlValue(property, record);
        showXmlValue(property, record);
        QCOMPARE(changes, 1);
    }
};

QTEST_MAIN(TstXmlValue)
#include "tst_xmlvalue.moc"
