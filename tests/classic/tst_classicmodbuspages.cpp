// The XML pages over a real Modbus server on loopback: loading with register
// values, loading the same device again, edits written to the registers, and
// the binary parameter file through the pages.
#include "link/connectionsettings.h"
#include "modbustestserver.h"
#include "pagesfixture.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "records.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include <cstring>

using namespace pagesfixture;
using MapSetup = std::function<void(ParamEntryMap&)>;
using Edit = std::function<void(ClassicPages&, QtProperty*)>;
Q_DECLARE_METATYPE(MapSetup)
Q_DECLARE_METATYPE(Edit)

namespace {
const int kFunctionRead = 3;
const int kFunctionWrite = 16;

// A Modbus server, the settings pointing at it, and pages connected to it,
// with the fixture device in their application folder.
struct ServerRig {
    ServerRig() : f(app.path())
    {
        started = server.startTcp();
        connectionSettings().ipAddress = QStringLiteral("127.0.0.1");
        connectionSettings().tcpPort = server.tcpPort();
        connected = started && f.pages->modbusLink().connectModbus();
        server.clearRequests();
    }
    ~ServerRig() { connectionSettings() = ConnectionSettings(); }
    QList<quint16> registers(int first, int count) const
    {
        QList<quint16> out;
        for (int i = 0; i < count; ++i)
            out << server.registerValue(first + i);
        return out;
    }
    bool ready() const { return app.ok && connected; }
    // The main page's records read from the server, as a load reads them.
    void readMainRegisters()
    {
        ClassicPageData& page = f.pages->data().main;
        page.registers.clear();
        registerList(page.map, page.registers);
        sortRegisterList(page.registers);
        f.pages->modbusLink().readRegisterParams(page.map, page.registers, kRegisterRun);
    }
    // The main page on screen, so that its editors open.
    bool showMainPage()
    {
        f.pages->InitMainBrowser();
        f.widgets.root.resize(1000, 700);
        f.widgets.form.MainParamsWgt->resize(900, 600);
        f.widgets.root.show();
        return QTest::qWaitForWindowExposed(&f.widgets.root);
    }
    // The text the page's row of `caption` shows as its value.
    QString rowText(const QString& caption) const
    {
        auto* view = f.pages->mainBrowser()->findChild<QTreeWidget*>();
        const QList<QTreeWidgetItem*> rows = view->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive, 0);
        return rows.isEmpty() ? QStringLiteral("<no row>") : rows.first()->text(1);
    }
    // Opens the editor of `property` in the main page; the widget, or null.
    QWidget* openEditor(QtProperty* property)
    {
        QtTreePropertyBrowser* browser = f.pages->mainBrowser();
        browser->editItem(browser->items(property).value(0));
        auto* view = browser->findChild<QTreeWidget*>();
        for (QWidget* child : view->viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                return child;
        return nullptr;
    }
    int writeRequests() const
    {
        int n = 0;
        for (const ModbusTestServer::Request& r : server.requests())
            n += r.function == kFunctionWrite ? 1 : 0;
        return n;
    }
    AppDir app;
    ModbusTestServer server;
    PagesFixture f;
    bool started = false;
    bool connected = false;
};

quint64 bitsOf(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A double as the four registers that hold it, the first register holding
// bits 0..15.
QList<quint16> wordsOf(double value)
{
    const quint64 bits = bitsOf(value);
    return {quint16(bits), quint16(bits >> 16), quint16(bits >> 32), quint16(bits >> 48)};
}

// The record "r" of the page with registers from 100 on.
MapSetup record(int editor, int kind, int end = -1)
{
    return [=](ParamEntryMap& map) {
        ParamEntry& e = addRecord(map, "r", kind, 100, end);
        e.caption = "cap r";
        e.editorType = editor;
    };
}
}

class TstClassicModbusPages : public QObject {
    Q_OBJECT
private slots:
    void loadShowsTheRegisters()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(6, 0xFFFB);
        rig.server.setRegister(39, 0x0000);
        rig.server.setRegister(40, 0x3FC0);
        rig.server.setRegister(999, 0x1234);
        rig.server.setRegister(1000, 0xabcd);
        rig.server.setRegister(1001, 7);
        ClassicPages& p = *rig.f.pages;
        QVERIFY(p.loadDeviceConfiguration(kDevice, 1));
        ParamEntryMap& info = p.data().info.map;
        QCOMPARE(p.intManager()->value(rig.f.property("Speed")), -5);
        QCOMPARE(p.stringManager()->value(rig.f.property("Calc")), QStringLiteral("1.5"));
        QCOMPARE(p.stringManager()->value(rig.f.property("Serial", &info)), QStringLiteral("1234abcd"));
        QCOMPARE(p.intManager()->value(rig.f.property("Version", &info)), 7);
        QVERIFY(p.mainBrowser() && p.extraBrowser() && p.infoBrowser());
    }

    // The same device again: its registers are read, its records and pages stay.
    void sameDeviceOnlyRereadsRegisters()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        ClassicPages& p = *rig.f.pages;
        QVERIFY(p.loadDeviceConfiguration(kDevice, 1));
        const ParamEntry* speed = rig.f.mainMap().find("Speed");
        QtProperty* speedProperty = rig.f.property("Speed");
        const int properties = p.propertyCount();
        rig.server.clearRequests();
        rig.server.setRegister(6, 12);

        QVERIFY(p.loadDeviceConfiguration(kDevice, 1));
        const QList<ModbusTestServer::Request> requests = rig.server.requests();
        QVERIFY(!requests.isEmpty());
        for (const ModbusTestServer::Request& r : requests)
            QCOMPARE(r.function, kFunctionRead);
        // Main first (tab 0), info last.
        QCOMPARE(requests.first().address, 4);
        QCOMPARE(requests.last().address, 999);
        QCOMPARE(rig.f.mainMap().find("Speed"), speed);
        QCOMPARE(rig.f.property("Speed"), speedProperty);
        QCOMPARE(p.propertyCount(), properties);
        QCOMPARE(p.mainBrowser()->properties().size(), 1);
        QCOMPARE(p.intManager()->value(speedProperty), 12);
        QVERIFY(p.operationMode().isEmpty());

        // Another number is another device: read and built anew.
        QVERIFY(p.loadDeviceConfiguration(kDevice, 2));
        QVERIFY(rig.f.mainMap().find("Speed") != nullptr);
        QCOMPARE(p.mainBrowser()->properties().size(), 1);
    }

    // Each edit is the inverse of reading the registers.
    void editsReachTheRegisters_data()
    {
        QTest::addColumn<MapSetup>("setup");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QList<quint16>>("words"); // registers 100.. afterwards
        using E = ParamEntry;
        QTest::newRow("int over two registers")
            << record(E::TextBox, E::Int, 101)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.intManager()->valueUpdated(r, -2); })
            << QList<quint16>{0xFFFE, 0xFFFF};
        QTest::newRow("uint typed in a spin editor")
            << record(E::Spin, E::UInt)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.stringManager()->valueUpdated(r, "65535"); })
            << QList<quint16>{0xFFFF};
        QTest::newRow("float bits")
            << record(E::TextBox, E::Float, 101)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.doubleManager()->valueUpdated(r, 1.5); })
            << QList<quint16>{0x0000, 0x3FC0};
        QTest::newRow("simplefloat times ten, rounded")
            << record(E::TextBox, E::SimpleFloat)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.doubleManager()->valueUpdated(r, 12.34); })
            << QList<quint16>{123};
        QTest::newRow("bool")
            << record(E::CheckBox, E::Bool)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.boolManager()->valueUpdated(r, true); })
            << QList<quint16>{1};
        QTest::newRow("combobox: the chosen pair's key")
            << MapSetup([](ParamEntryMap& map) {
                   record(E::ComboBox, E::Int)(map);
                   map.find("r")->valueList = {{"5", "пять"}, {"9", "девять"}};
               })
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.enumManager()->valueUpdated(r, 1); })
            << QList<quint16>{9};
        QTest::newRow("hex text")
            << record(E::TextBox, E::Hex, 101)
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.stringManager()->valueUpdated(r, "12ab34cd"); })
            << QList<quint16>{0x12ab, 0x34cd};
        QTest::newRow("bit: the parent's registers")
            << MapSetup([](ParamEntryMap& map) {
                   ParamEntry& parent = addRecord(map, "p", E::Binary, 100);
                   parent.childNames = QStringList{"r"};
                   parent.currentRaw = 1;
                   ParamEntry& b = addRecord(map, "r", E::Bool);
                   b.editorType = E::CheckBox;
                   b.parentName = "p";
                   b.bitIndex = 3;
               })
            << Edit([](ClassicPages& p, QtProperty* r) { emit p.boolManager()->valueUpdated(r, true); })
            << QList<quint16>{0x0009};
    }
    void editsReachTheRegisters()
    {
        QFETCH(MapSetup, setup);
        QFETCH(Edit, edit);
        QFETCH(QList<quint16>, words);
        ServerRig rig;
        QVERIFY(rig.ready());
        setup(rig.f.mainMap());
        rig.f.pages->InitMainBrowser();
        QtProperty* r = rig.f.property("r");
        QVERIFY(r);
        edit(*rig.f.pages, r);
        QCOMPARE(rig.registers(100, words.size()), words);
        QCOMPARE(rig.f.host.texts(true), QStringList{"Параметр 'r' сохранен."});
        QVERIFY(rig.f.host.errors().isEmpty());
    }

    // An unsigned record over two registers holds the whole 32-bit range: it
    // shows the device's number, Return in the untouched editor writes the
    // same registers back, and a number too wide for them is refused.
    void wideUnsignedThroughItsEditor_data()
    {
        QTest::addColumn<QString>("typed"); // empty: the editor as it opened
        QTest::addColumn<QList<quint16>>("words");
        QTest::addColumn<int>("writes");
        QTest::newRow("untouched") << "" << QList<quint16>{0x0000, 0xC000} << 1;
        QTest::newRow("the largest") << "4294967295" << QList<quint16>{0xFFFF, 0xFFFF} << 1;
        QTest::newRow("too wide for two registers") << "4294967296" << QList<quint16>{0x0000, 0xC000} << 0;
    }
    void wideUnsignedThroughItsEditor()
    {
        QFETCH(QString, typed);
        QFETCH(QList<quint16>, words);
        QFETCH(int, writes);
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(101, 0xC000);
        record(ParamEntry::TextBox, ParamEntry::UInt, 101)(rig.f.mainMap());
        rig.readMainRegisters();
        QVERIFY(rig.showMainPage());
        QCOMPARE(rig.rowText("cap r"), QStringLiteral("3221225472"));

        auto* editor = qobject_cast<QtLineEditWidget2*>(rig.openEditor(rig.f.property("r")));
        QVERIFY(editor);
        QLineEdit* line = editor->lineEdit();
        QCOMPARE(line->text(), QStringLiteral("3221225472"));
        if (!typed.isEmpty()) {
            line->selectAll();
            QTest::keyClicks(line, typed);
        }
        rig.server.clearRequests();
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(rig.registers(100, 2), words);
        QCOMPARE(rig.writeRequests(), writes);
        QVERIFY(rig.f.host.errors().isEmpty());
        if (writes == 0)
            QCOMPARE(rig.f.pages->stringManager()->value(rig.f.property("r")), QStringLiteral("3221225472"));
    }

    // A float over two registers shows every digit it needs; Return in the
    // untouched editor writes the registers back bit for bit, and a number
    // typed into it is written as typed.
    void floatThroughItsEditor_data()
    {
        QTest::addColumn<QList<quint16>>("held");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed"); // empty: the editor as it opened
        QTest::addColumn<QList<quint16>>("words");
        const QList<quint16> allBits{0xFFFF, 0x3F7F};
        const QList<quint16> small{0x9A4F, 0x3404};
        QTest::newRow("all 24 mantissa bits, untouched") << allBits << "0.99999994" << "" << allBits;
        QTest::newRow("all 24 mantissa bits, typed 1") << allBits << "0.99999994" << "1"
                                                       << QList<quint16>{0x0000, 0x3F80};
        QTest::newRow("1.2349595e-07, untouched") << small << "1.2349595e-07" << "" << small;
        QTest::newRow("a quiet NaN with a payload, untouched")
            << QList<quint16>{0x0123, 0x7FC0} << "nan" << "" << QList<quint16>{0x0123, 0x7FC0};
    }
    void floatThroughItsEditor()
    {
        QFETCH(QList<quint16>, held);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QList<quint16>, words);
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(100, held[0]);
        rig.server.setRegister(101, held[1]);
        record(ParamEntry::TextBox, ParamEntry::Float, 101)(rig.f.mainMap());
        rig.readMainRegisters();
        QCOMPARE(rig.f.mainMap().find("r")->currentText, shown);
        QVERIFY(rig.showMainPage());

        auto* editor = qobject_cast<QDoubleSpinBox*>(rig.openEditor(rig.f.property("r")));
        QVERIFY(editor);
        if (!typed.isEmpty()) {
            editor->selectAll();
            QTest::keyClicks(editor, typed);
        }
        rig.server.clearRequests();
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(rig.writeRequests(), 1);
        QCOMPARE(rig.registers(100, 2), words);
        QCOMPARE(rig.f.host.texts(true), QStringList{"Параметр 'r' сохранен."});
        QVERIFY(rig.f.host.errors().isEmpty());
    }

    // A double is edited as text: a typed number is written, the text left as
    // it opened writes the registers back bit for bit, and what does not read
    // as a number writes nothing. The row shows what the record then holds.
    void doubleThroughItsEditor_data()
    {
        QTest::addColumn<QString>("typed"); // empty: the editor as it opened
        QTest::addColumn<double>("held");   // by the registers afterwards
        QTest::addColumn<int>("writes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("typed 2") << "2" << 2.0 << 1 << "2";
        QTest::newRow("typed with every digit") << "0.12345678901234566" << 0.12345678901234566 << 1
                                                << "0.12345678901234566";
        QTest::newRow("untouched") << "" << 2.5e-300 << 1 << "2.5e-300";
        QTest::newRow("a decimal comma") << "2,5" << 2.5e-300 << 0 << "2.5e-300";
        QTest::newRow("too large for a double") << "1e400" << 2.5e-300 << 0 << "2.5e-300";
    }
    void doubleThroughItsEditor()
    {
        QFETCH(QString, typed);
        QFETCH(double, held);
        QFETCH(int, writes);
        QFETCH(QString, shown);
        ServerRig rig;
        QVERIFY(rig.ready());
        const QList<quint16> before = wordsOf(2.5e-300);
        for (int i = 0; i < 4; ++i)
            rig.server.setRegister(100 + i, before[i]);
        record(ParamEntry::TextBox, ParamEntry::Double, 103)(rig.f.mainMap());
        rig.readMainRegisters();
        QVERIFY(rig.showMainPage());
        QCOMPARE(rig.rowText("cap r"), QStringLiteral("2.5e-300"));

        auto* editor = qobject_cast<QtLineEditWidget2*>(rig.openEditor(rig.f.property("r")));
        QVERIFY(editor);
        QLineEdit* line = editor->lineEdit();
        QCOMPARE(line->text(), QStringLiteral("2.5e-300"));
        if (!typed.isEmpty()) {
            line->selectAll();
            QTest::keyClicks(line, typed);
        }
        rig.server.clearRequests();
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(rig.writeRequests(), writes);
        QCOMPARE(rig.registers(100, 4), wordsOf(held));
        const ParamEntry* r = rig.f.mainMap().find("r");
        QCOMPARE(quint64(r->currentRaw), bitsOf(held));
        QCOMPARE(r->currentText, shown);
        QCOMPARE(rig.rowText("cap r"), shown);
        QCOMPARE(rig.f.host.texts(true), writes ? QStringList{"Параметр 'r' сохранен."} : QStringList());
        QVERIFY(rig.f.host.errors().isEmpty());
    }

    // A re-read shows what the registers hold, in full, in the editable and
    // in the read-only row of a double.
    void doubleRowsShowTheRegisters()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        const auto hold = [&](int first, double value) {
            const QList<quint16> words = wordsOf(value);
            for (int i = 0; i < 4; ++i)
                rig.server.setRegister(first + i, words[i]);
        };
        hold(100, 1.00000000000001);
        hold(110, 0.12345678901234566);
        record(ParamEntry::TextBox, ParamEntry::Double, 103)(rig.f.mainMap());
        ParamEntry& ro = addRecord(rig.f.mainMap(), "ro", ParamEntry::Double, 110, 113);
        ro.caption = "cap ro";
        ro.readOnly = true;
        rig.readMainRegisters();
        QVERIFY(rig.showMainPage());
        QCOMPARE(rig.rowText("cap r"), QStringLiteral("1.00000000000001"));
        QCOMPARE(rig.rowText("cap ro"), QStringLiteral("0.12345678901234566"));

        hold(100, 2.5e-300);
        hold(110, 3.0000000000000004);
        rig.f.pages->slotRefreshProperties();
        QCOMPARE(rig.rowText("cap r"), QStringLiteral("2.5e-300"));
        QCOMPARE(rig.rowText("cap ro"), QStringLiteral("3.0000000000000004"));
        QVERIFY(rig.f.host.lines.isEmpty());
    }

    // A value in no pair shows no selection, in the row and in the editor,
    // also after a refresh from a value in a pair; the blank chosen writes nothing.
    void comboValueInNoPair()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(100, 7);
        record(ParamEntry::ComboBox, ParamEntry::Int)(rig.f.mainMap());
        rig.f.mainMap().find("r")->valueList = {{"5", "пять"}, {"9", "девять"}};
        rig.readMainRegisters();
        QVERIFY(rig.showMainPage());
        QCOMPARE(rig.rowText("cap r"), QString());

        ClassicPages& p = *rig.f.pages;
        rig.server.setRegister(100, 9);
        p.slotRefreshProperties();
        QCOMPARE(rig.rowText("cap r"), QStringLiteral("девять"));
        rig.server.setRegister(100, 7);
        p.slotRefreshProperties();
        QCOMPARE(rig.rowText("cap r"), QString());

        auto* combo = qobject_cast<QComboBox*>(rig.openEditor(rig.f.property("r")));
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), QString());
        QCOMPARE(combo->count(), 3);
        rig.server.clearRequests();
        emit p.enumManager()->valueUpdated(rig.f.property("r"), 2); // as the factory tells a chosen blank
        QCOMPARE(rig.writeRequests(), 0);
        QCOMPARE(rig.server.registerValue(100), quint16(7));
        QCOMPARE(rig.rowText("cap r"), QString());
        QVERIFY(rig.f.host.lines.isEmpty());
    }

    // A refused write: a red line naming the record, the value of before.
    void refusedWriteRestoresTheValue()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        record(ParamEntry::TextBox, ParamEntry::Int)(rig.f.mainMap());
        rig.f.mainMap().find("r")->currentRaw = 4;
        rig.f.pages->InitMainBrowser();
        rig.server.setExceptionRange(100, 100);
        QtProperty* r = rig.f.property("r");
        rig.f.pages->intManager()->setValue(r, 8);
        emit rig.f.pages->intManager()->valueUpdated(r, 8);
        QCOMPARE(rig.f.host.errors(), QStringList{"Не удалось сохранить параметр r."});
        QCOMPARE(rig.f.pages->intManager()->value(r), 4);
        QCOMPARE(canValueOf(*rig.f.mainMap().find("r")).raw, qint64(4));
    }

    void blockMemberWritesItsBlock()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(51, 77);
        QVERIFY(rig.f.pages->loadDeviceConfiguration(kDevice, 1));
        emit rig.f.pages->stringManager()->valueUpdated(rig.f.property("TB1"), "5");
        QCOMPARE(rig.registers(50, 2), (QList<quint16>{5, 77}));
        QCOMPARE(rig.f.host.texts(true).last(), QStringLiteral("Блок параметров \"Верхний блок\" успешно обновлен."));
    }

    void missingFolderClosesTheLink()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        QVERIFY(rig.f.pages->loadDeviceConfiguration(kDevice, 1));
        QVERIFY(!rig.f.pages->loadDeviceConfiguration({"Nope", "7"}, 1));
        QCOMPARE(rig.f.host.errors().last(), QStringLiteral("Настрока устройства Nope недоступна в данной версии приложения."));
        QVERIFY(!rig.f.host.link);
        QVERIFY(!rig.f.pages->modbusLink().isOpen());
        QVERIFY(rig.f.mainMap().isEmpty() && rig.f.pages->data().extra.map.isEmpty());
        QCOMPARE(rig.f.pages->propertyCount(), 0);
    }

    // Export, the device changes, import: the registers get the file's values
    // and the pages show them.
    void exportThenImport()
    {
        ServerRig rig;
        QVERIFY(rig.ready());
        rig.server.setRegister(6, 0xFFFB);
        ClassicPages& p = *rig.f.pages;
        QVERIFY(p.loadDeviceConfiguration(kDevice, 1));
        const QString file = rig.app.path() + "/params.bin";
        rig.f.host.saveAnswers << file;
        p.onExport();
        QVERIFY(QFile::exists(file));

        rig.server.setRegister(6, 99);
        QVERIFY(p.loadDeviceConfiguration(kDevice, 1));
        QCOMPARE(p.intManager()->value(rig.f.property("Speed")), 99);

        rig.f.host.openAnswers << file;
        p.onImport();
        QCOMPARE(rig.f.host.texts(true).last(), QStringLiteral("Импорт завершен!"));
        QCOMPARE(rig.server.registerValue(6), quint16(0xFFFB));
        QCOMPARE(p.intManager()->value(rig.f.property("Speed")), -5);
        QVERIFY(p.operationMode().isEmpty());
    }
};

QTEST_MAIN(TstClassicModbusPages)
#include "tst_classicmodbuspages.moc"
