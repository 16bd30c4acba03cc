// The readers of a device's XML configuration, on hand-written files.
#include "classic/modbuslink.h"
#include "classic/xmlconfig.h"
#include "hostfixture.h"

#include <QDomDocument>
#include <QFile>
#include <QTest>

namespace {
const QString kDevice = QStringLiteral(QUILL_CLASSIC_DATA_DIR "/xmldevice/");
const QString kBad = QStringLiteral(QUILL_CLASSIC_DATA_DIR "/bad/");

QDomElement parse(const QString& path)
{
    QFile file(path);
    QDomDocument doc;
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return QDomElement();
    return doc.documentElement();
}

// A field of a record as text, for the tables.
QString field(const ParamEntry& e, const QString& name)
{
    const QMap<QString, QString> fields{
        {"caption", e.caption},
        {"parentName", e.parentName},
        {"addressBegin", QString::number(e.addressBegin)},
        {"addressEnd", QString::number(e.addressEnd)},
        {"dataType", QString::number(e.dataType)},
        {"editorType", QString::number(e.editorType)},
        {"readOnly", e.readOnly ? "true" : "false"},
        {"constant", e.constant ? "true" : "false"},
        {"visible", e.visible ? "true" : "false"},
        {"updatable", e.updatable ? "true" : "false"},
        {"expanded", e.expanded ? "true" : "false"},
        {"hasChildren", e.hasChildren ? "true" : "false"},
        {"bitIndex", QString::number(e.bitIndex)},
        {"channelIndex", QString::number(e.channelIndex)},
        {"valueText", e.valueText},
        {"rawValue", QString::number(e.rawValue)},
        {"boolValue", e.boolValue ? "true" : "false"},
        {"minValue", e.minValue},
        {"maxValue", e.maxValue},
        {"coeffNumberAddress", QString::number(e.coeffNumberAddress)},
        {"scriptFormula", e.scriptFormula},
        {"scriptAction", e.scriptAction},
        {"scriptActionTitle", e.scriptActionTitle},
        {"scriptOnChange", e.scriptOnChange},
        {"scriptOnInit", e.scriptOnInit},
        {"childNames", e.childNames.join(',')},
        {"blockMembers", e.blockMembers.join(',')},
        {"blockName", e.blockName},
    };
    return fields.value(name, QStringLiteral("<no such field>"));
}

struct XmlFixture {
    ClassicData data;
    HostFixture host;
    ModbusLink link{host.host};
    XmlConfigReader reader{data, host.host, link};

    void page(ClassicPage which, const QString& folder)
    {
        ClassicPageData& p = data.page(which);
        p.path = folder + ClassicData::fileName(which);
        p.root = parse(p.path);
    }
    void listsAndScripts()
    {
        data.listsRoot = parse(kDevice + "lists.xml");
        data.scriptsRoot = parse(kDevice + "scripts.xml");
        reader.loadLists();
        reader.loadScripts();
    }
    // The device's main page, read after its lists and scripts.
    void readMain()
    {
        listsAndScripts();
        page(ClassicPage::Main, kDevice);
        QVERIFY(reader.loadParameterSection(ClassicPage::Main));
    }
};
}

class TstXmlConfig : public QObject {
    Q_OBJECT
private slots:
    void records_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("first group A") << "0100A" << "caption" << "First A";
        QTest::newRow("group lists a repeated name twice") << "0100A" << "childNames" << "Speed,Dup,Dup";
        QTest::newRow("second group A") << "0101A" << "caption" << "Second A";
        QTest::newRow("IsConst present") << "0101A" << "constant" << "true";
        QTest::newRow("group member's parent") << "Mode" << "parentName" << "0101A";
        QTest::newRow("int default") << "Speed" << "rawValue" << "-5";
        QTest::newRow("min as written") << "Speed" << "minValue" << "-10";
        QTest::newRow("Address 7") << "Speed" << "addressBegin" << "6";
        QTest::newRow("Address 7 no end") << "Speed" << "addressEnd" << "-1";
        QTest::newRow("textbox") << "Speed" << "editorType" << "1";
        QTest::newRow("later duplicate wins") << "Dup" << "caption" << "second";
        QTest::newRow("later duplicate whole") << "Dup" << "updatable" << "true";
        QTest::newRow("Address 7: begin") << "Mode" << "addressBegin" << "6";
        QTest::newRow("Address 7: end") << "Mode" << "addressEnd" << "-1";
        QTest::newRow("combobox") << "Mode" << "editorType" << "4";
        QTest::newRow("Expanded false") << "Mode" << "expanded" << "false";
        QTest::newRow("HEX is hex") << "Hex" << "dataType" << "1";
        QTest::newRow("hex default") << "Hex" << "valueText" << "00ff";
        QTest::newRow("TRUE is not read-only") << "Hex" << "readOnly" << "false";
        QTest::newRow("Type Constant") << "Hex" << "constant" << "true";
        QTest::newRow("Visible false") << "Unlisted" << "visible" << "false";
        QTest::newRow("set instances") << "Ch" << "childNames" << "Chi0,Chi1,Chi2";
        QTest::newRow("instance caption") << "Chi2" << "caption" << "Канал( №3) ";
        QTest::newRow("instance members in order") << "Chi2" << "childNames" << "Limi2,Flagsi2,Blki2,M1i2,M2i2";
        QTest::newRow("10:13 channel 2 begin") << "Limi2" << "addressBegin" << "49";
        QTest::newRow("10:13 channel 2 end") << "Limi2" << "addressEnd" << "52";
        QTest::newRow("caption on channel 2") << "Limi2" << "caption" << "Speed (№3)";
        QTest::newRow("channel") << "Limi2" << "channelIndex" << "2";
        QTest::newRow("bits in a set") << "Flagsi1" << "childNames" << "B0i1,B1i1";
        QTest::newRow("bit index") << "B1i1" << "bitIndex" << "1";
        QTest::newRow("bit read-only") << "B1i1" << "readOnly" << "true";
        QTest::newRow("bit invisible") << "B1i1" << "visible" << "false";
        QTest::newRow("bit updatable") << "B1i1" << "updatable" << "true";
        QTest::newRow("bit visible by default") << "B0i1" << "visible" << "true";
        QTest::newRow("bit is a check box") << "B0i1" << "editorType" << "3";
        QTest::newRow("bit is bool") << "B0i1" << "dataType" << "7";
        QTest::newRow("bit's parent") << "B0i1" << "parentName" << "Flagsi1";
        QTest::newRow("set block") << "Blki1" << "blockMembers" << "M1i1";
        QTest::newRow("set block range") << "Blki1" << "addressBegin" << "70";
        QTest::newRow("set block member") << "M1i1" << "blockName" << "Blki1";
        QTest::newRow("set block member's parent") << "M1i1" << "parentName" << "Chi1";
        QTest::newRow("ChannelCount 0") << "Empty" << "childNames" << "";
        QTest::newRow("no ChannelCount") << "NoCount" << "childNames" << "";
        QTest::newRow("BitRange bits") << "Status" << "childNames" << "Statusbi0,Statusbi1,Statusbi2,Statusbi3";
        QTest::newRow("BitRange caption") << "Statusbi3" << "caption" << "Состояние №4";
        QTest::newRow("BitRange bit") << "Statusbi3" << "bitIndex" << "3";
        QTest::newRow("BitRange copies read-only") << "Statusbi0" << "readOnly" << "true";
        QTest::newRow("missing formula script") << "Calc" << "scriptFormula" << "";
        QTest::newRow("action script text") << "Calc" << "scriptAction" << "run(1);";
        QTest::newRow("action title") << "Calc" << "scriptActionTitle" << "Считать";
        QTest::newRow("later script wins") << "Calc" << "scriptOnChange" << "second";
        QTest::newRow("init script") << "Calc" << "scriptOnInit" << "run(1);";
        QTest::newRow("float default") << "Calc" << "valueText" << "1.5";
        QTest::newRow("ChannelIndex") << "Calc" << "channelIndex" << "4";
        QTest::newRow("CoeffNumberAddress") << "Calc" << "coeffNumberAddress" << "77";
        QTest::newRow("top block members") << "TopBlk" << "blockMembers" << "TB1,TB2";
        QTest::newRow("members beside the block") << "TB1" << "parentName" << "";
        QTest::newRow("bool default") << "Flag" << "boolValue" << "true";
        QTest::newRow("address not a number") << "Bad" << "addressBegin" << "-1";
        QTest::newRow("int not a number") << "Bad" << "rawValue" << "0";
    }
    void records()
    {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(QString, value);
        XmlFixture f;
        f.readMain();
        const ParamEntry* e = f.data.main.map.find(key);
        QVERIFY2(e, qPrintable(key));
        QCOMPARE(e->name, key);
        QCOMPARE(e->ownerMap, &f.data.main.map);
        QCOMPARE(field(*e, name), value);
    }

    void mainPageAsAWhole()
    {
        XmlFixture f;
        f.readMain();
        const ParamEntryMap& map = f.data.main.map;
        for (const char* absent : {"Ignored", "Inner", "NoType", "Emptyi0", "Chi3"})
            QVERIFY2(!map.contains(absent), absent);
        QVERIFY(f.host.lines.isEmpty());

        QCOMPARE(f.data.lists.value("modes"),
                 (ValueList{{"0", "Выкл"}, {"1", "Вкл"}, {"2", QString()}}));
        QVERIFY(f.data.lists.value("modes").last().second.isNull());
        QCOMPARE(f.data.lists.value("dup"), (ValueList{{"y", QString()}}));
        QCOMPARE(map.find("Mode")->valueList, f.data.lists.value("modes"));
        QVERIFY(f.data.lists.contains("nosuch"));

        QCOMPARE(f.data.formulaRecords, QList<ParamEntry*>{const_cast<ParamEntry*>(map.find("Calc"))});
        QCOMPARE(f.data.main.buttons.size(), 2);
        QCOMPARE(f.data.main.buttons[0].caption, QStringLiteral("Пуск"));
        QCOMPARE(f.data.main.buttons[0].script, QStringLiteral("run(1);"));
        QCOMPARE(f.data.main.buttons[1].script, QString());

        const RegisterList& registers = f.data.main.registers;
        QVERIFY(std::is_sorted(registers.begin(), registers.end(),
                               [](const RegisterEntry& a, const RegisterEntry& b) { return a.address < b.address; }));
        QCOMPARE(registers.first().address, 4); // Flagsi0
        QCOMPARE(registers.last().address, 204); // Flagsi2
        for (const RegisterEntry& r : registers)
            QVERIFY2(!r.name.startsWith("M1") && !r.name.startsWith("TB"), qPrintable(r.name)); // block members
    }

    void infoHasNoButtons()
    {
        XmlFixture f;
        f.listsAndScripts();
        f.page(ClassicPage::Info, kDevice);
        QVERIFY(f.reader.loadParameterSection(ClassicPage::Info));
        QVERIFY(f.data.info.buttons.isEmpty());
        QCOMPARE(f.data.info.map.find("Serial")->addressEnd, 1000);
    }

    void pageWithoutParameters()
    {
        XmlFixture f;
        f.listsAndScripts();
        f.page(ClassicPage::Extra, kDevice);
        QVERIFY(!f.reader.loadParameterSection(ClassicPage::Extra));
        QCOMPARE(f.host.errors(),
                 QStringList{"Ошибка! Не удалось получить список параметров (основные параметры) из конфигурационного "
                             "файла " + kDevice + "extra.xml"});
        QVERIFY(f.data.extra.buttons.isEmpty());
        QVERIFY(f.data.extra.map.isEmpty());
    }

    // With no scripts and no lists every attribute naming one says so once.
    void missingScriptsAndLists()
    {
        XmlFixture f;
        f.page(ClassicPage::Main, kDevice);
        QVERIFY(f.reader.loadParameterSection(ClassicPage::Main));
        QStringList expected;
        expected << "Не найден модуль 'lists'" << "Не найден модуль 'lists'";      // Mode, Unlisted
        for (int i = 0; i < 4 + 2; ++i) // Calc's action, change, formula and init; the two buttons
            expected << "Не найден модуль 'scripts'";
        QCOMPARE(f.host.errors(), expected);
        const ParamEntry* calc = f.data.main.map.find("Calc");
        QCOMPARE(calc->scriptFormula, QStringLiteral("missing")); // left as it was
        QCOMPARE(calc->scriptActionTitle, QString(""));
        QVERIFY(f.data.main.map.find("Mode")->valueList.isEmpty());
        QCOMPARE(f.data.main.buttons.size(), 2);
    }

    // Names that would hang a record under itself, and counts, bits and
    // registers out of range, make nothing and say why.
    void malformedDescriptions()
    {
        XmlFixture f;
        f.page(ClassicPage::Main, kBad);
        QVERIFY(f.reader.loadParameterSection(ClassicPage::Main));
        const QString file = kBad + "main.xml";
        const auto bad = [&](const QString& name, const QString& reason) {
            return QStringLiteral("Ошибка в описании параметра %1 (%2): %3").arg(name, file, reason);
        };
        const QString nested = QStringLiteral("имя совпадает с именем записи, в которую он вложен");
        QCOMPARE(f.host.errors(),
                 (QStringList{bad("Self", nested), bad("High", "номер бита 64 вне диапазона 0..63"),
                              bad("0101G", nested), bad("B", "имя совпадает с именем его блока"),
                              bad("Many", "число каналов 5000 больше 1024"), bad("Si0", nested),
                              bad("Range", "биты 60:70 вне диапазона 0..63"),
                              bad("Far", "адрес 1:2000000000 вне диапазона регистров 1..65536"),
                              bad("Zero", "адрес 65537 вне диапазона регистров 1..65536")}));

        const ParamEntryMap& map = f.data.main.map;
        QCOMPARE(map.find("Self")->childNames, QStringList{"Ok"});
        QCOMPARE(map.find("Self")->parentName, QString(""));
        QVERIFY(map.find("Many")->childNames.isEmpty());
        QVERIFY(map.find("Si0")->childNames.isEmpty());
        QCOMPARE(map.find("B")->blockMembers, QStringList{"B4"});
        QVERIFY(!map.contains("Rangebi0"));
        QCOMPARE(map.find("Far")->addressBegin, -1);
        // Every record's chain of parents ends.
        for (const auto& [key, e] : map) {
            QString up = e.parentName;
            for (int steps = 0; !up.isEmpty(); ++steps) {
                QVERIFY2(steps < map.size() && up != key, qPrintable(key));
                up = map.find(up) ? map.find(up)->parentName : QString();
            }
        }
        QVERIFY(f.data.main.registers.size() < 10);
    }
};

QTEST_GUILESS_MAIN(TstXmlConfig)
#include "tst_xmlconfig.moc"
