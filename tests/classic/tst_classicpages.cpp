// The classic pages without a device: the property each record gets, the XML
// pages of the fixture device, the tabs, the import page, loading edge cases
// and the reset.
#include "classic/classicscripts.h"
#include "pagesfixture.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "records.h"

#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cstring>

using namespace pagesfixture;
using MapSetup = std::function<void(ParamEntryMap&)>;
Q_DECLARE_METATYPE(MapSetup)

namespace {
// A property as one line: its manager's kind and settings, then its value.
QString describe(ClassicPages& pages, QtProperty* p)
{
    if (!p)
        return QStringLiteral("<none>");
    const QtAbstractPropertyManager* m = p->propertyManager();
    if (m == pages.intManager()) {
        QtIntPropertyManager* i = pages.intManager();
        QString s = QStringLiteral("int %1..%2").arg(i->minimum(p)).arg(i->maximum(p));
        if (i->isBtnVisible(p))
            s += " btn:" + i->btnCaption(p);
        return s + " = " + QString::number(i->value(p));
    }
    if (m == pages.doubleManager()) {
        QtDoublePropertyManager* d = pages.doubleManager();
        return QStringLiteral("double%1 = %2").arg(d->isReadOnly(p) ? " ro" : "").arg(d->value(p));
    }
    if (m == pages.stringManager()) {
        QtStringPropertyManager* t = pages.stringManager();
        QString s = QStringLiteral("string");
        if (t->regExp(p).pattern() != QLatin1String("*"))
            s += " re:" + t->regExp(p).pattern();
        if (t->isReadOnly(p))
            s += " ro";
        if (t->isBtnVisible(p))
            s += " btn";
        return s + " = " + t->value(p);
    }
    if (m == pages.boolManager())
        return QStringLiteral("bool%1 = %2")
            .arg(pages.boolManager()->textVisible(p) ? "" : " notext")
            .arg(int(pages.boolManager()->value(p)));
    if (m == pages.enumManager())
        return "enum " + pages.enumManager()->enumNames(p).join('|') + " = "
            + QString::number(pages.enumManager()->value(p));
    return QStringLiteral("group");
}

qint64 bitsOf(double v)
{
    qint64 raw;
    std::memcpy(&raw, &v, sizeof raw);
    return raw;
}

// A page record named "r" with a caption, filled by `set`.
MapSetup record(std::function<void(ParamEntry&)> set)
{
    return [set](ParamEntryMap& map) {
        ParamEntry& e = addRecord(map, "r");
        e.caption = "cap r";
        set(e);
    };
}

// The bit "r" (bit 3) of the parameter "p" at register `begin` to `end`.
MapSetup bit(int begin, int end)
{
    return [begin, end](ParamEntryMap& map) {
        ParamEntry& p = addRecord(map, "p", ParamEntry::Binary, begin, end);
        p.caption = "cap p";
        p.childNames = QStringList{"r"};
        ParamEntry& b = addRecord(map, "r", ParamEntry::Bool);
        b.caption = "cap r";
        b.editorType = ParamEntry::CheckBox;
        b.parentName = "p";
        b.bitIndex = 3;
    };
}

QWidget* openEditor(QtTreePropertyBrowser* browser)
{
    QTreeWidget* view = browser->findChild<QTreeWidget*>();
    for (QWidget* child : view->viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            return child;
    return nullptr;
}

// Loads the fixture device over no link.
bool loadFixture(PagesFixture& f)
{
    return f.pages->loadDeviceConfiguration(kDevice, 1);
}
}

class TstClassicPages : public QObject {
    Q_OBJECT
private slots:
    void propertyOfARecord_data()
    {
        QTest::addColumn<MapSetup>("setup");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("columns");
        using E = ParamEntry;
        // As the register was read: 16 bits, sign-extended for the property.
        QTest::newRow("textbox int, one register")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::Int, e.addressBegin = 6, e.currentRaw = 0xFFFB;
               })
            << "int -32768..32767 = -5" << "7||cap r";
        QTest::newRow("textbox int, registers 4 to 5")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::Int, e.addressBegin = 3, e.addressEnd = 4;
                   e.currentRaw = 70000;
               })
            << "int -2147483647..2147483647 = 70000" << "4-5||cap r";
        QTest::newRow("textbox int with an action")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::Int, e.scriptAction = "run", e.scriptActionTitle = "Считать";
               })
            << "int -32768..32767 btn:Считать = 0" << "||cap r";
        QTest::newRow("textbox uint with an action")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::UInt, e.scriptAction = "run", e.currentRaw = 7;
               })
            << "int 0..2147483647 btn:Рассчитать = 7" << "||cap r";
        QTest::newRow("textbox uint over two registers, past 2^31")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::UInt, e.addressBegin = 3, e.addressEnd = 4;
                   e.scriptAction = "run", e.currentRaw = 0xC0000000;
               })
            << "string re:[0-9]{1,20} btn = 3221225472" << "4-5||cap r";
        QTest::newRow("textbox float")
            << record([](E& e) { e.editorType = E::TextBox, e.dataType = E::Float, e.currentText = "1.5"; })
            << "double = 1.5" << "||cap r";
        QTest::newRow("textbox simplefloat")
            << record([](E& e) { e.editorType = E::TextBox, e.dataType = E::SimpleFloat, e.currentText = "12.3"; })
            << "double = 12.3" << "||cap r";
        QTest::newRow("textbox hex, one register")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::Hex, e.addressBegin = 19, e.currentText = "00ff";
               })
            << "string re:[A-Fa-f0-9]{4} = 00ff" << "20||cap r";
        QTest::newRow("textbox hex, registers 10 to 12")
            << record([](E& e) {
                   e.editorType = E::TextBox, e.dataType = E::Hex, e.addressBegin = 9, e.addressEnd = 11;
                   e.currentText = "0123456789ab";
               })
            << "string re:[A-Fa-f0-9]{12} = 0123456789ab" << "10-12||cap r";
        QTest::newRow("textbox of another kind")
            << record([](E& e) { e.editorType = E::TextBox, e.dataType = E::Double, e.currentText = "x"; })
            << "string = x" << "||cap r";
        QTest::newRow("checkbox")
            << record([](E& e) { e.editorType = E::CheckBox, e.dataType = E::Bool, e.currentBool = true; })
            << "bool notext = 1" << "||cap r";
        QTest::newRow("combobox")
            << record([](E& e) {
                   e.editorType = E::ComboBox, e.dataType = E::Int, e.valueList = {{"0", "Выкл"}, {"1", "Вкл"}};
                   e.currentText = "1";
               })
            << "enum Выкл|Вкл = 1" << "||cap r";
        QTest::newRow("combobox, no key matches: the blank after the pairs")
            << record([](E& e) {
                   e.editorType = E::ComboBox, e.dataType = E::Int, e.valueList = {{"0", "Выкл"}, {"1", "Вкл"}};
                   e.currentText = "9";
               })
            << "enum Выкл|Вкл| = 2" << "||cap r";
        QTest::newRow("spin")
            << record([](E& e) { e.editorType = E::Spin, e.dataType = E::Int, e.currentText = "5"; })
            << "string = 5" << "||cap r";
        QTest::newRow("read-only bool")
            << record([](E& e) { e.readOnly = true, e.dataType = E::Bool, e.currentBool = true; })
            << "string ro = Да" << "||cap r";
        QTest::newRow("read-only double")
            << record([](E& e) { e.readOnly = true, e.dataType = E::Double, e.currentRaw = bitsOf(2.5); })
            << "string ro = 2.5" << "||cap r";
        QTest::newRow("read-only double, every digit it needs")
            << record([](E& e) { e.readOnly = true, e.dataType = E::Double, e.currentRaw = bitsOf(3.0000000000000004); })
            << "string ro = 3.0000000000000004" << "||cap r";
        QTest::newRow("read-only combobox, no key matches")
            << record([](E& e) {
                   e.readOnly = true, e.editorType = E::ComboBox, e.dataType = E::Int;
                   e.valueList = {{"0", "Выкл"}, {"1", "Вкл"}}, e.currentText = "9";
               })
            << "string ro = Вкл" << "||cap r";
        QTest::newRow("read-only uint")
            << record([](E& e) { e.readOnly = true, e.dataType = E::UInt, e.currentText = "42"; })
            << "string ro = 42" << "||cap r";
        QTest::newRow("bit of a parameter at register 10, to 10") << bit(9, 9) << "bool notext = 0"
                                                                 << "10-10, бит №3||cap r";
        QTest::newRow("bit of a parameter at register 10") << bit(9, -1) << "bool notext = 0" << "10, бит №3||cap r";
    }
    void propertyOfARecord()
    {
        QFETCH(MapSetup, setup);
        QFETCH(QString, property);
        QFETCH(QString, columns);
        PagesFixture f;
        setup(f.mainMap());
        f.pages->InitMainBrowser();
        QtProperty* p = f.property("r");
        QCOMPARE(describe(*f.pages, p), property);
        QCOMPARE(p->columnTexts().join('|'), columns);
        QCOMPARE(f.pages->entryOf(p), f.mainMap().find("r"));
        QVERIFY(f.pages->operationMode().isEmpty());
    }

    // A hex record takes exactly four digits a register and nothing but digits.
    void hexTakesOnlyItsDigits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::newRow("four digits") << "aB09" << true;
        QTest::newRow("a bar") << "12|4" << false;
        QTest::newRow("three") << "abc" << false;
        QTest::newRow("five") << "abcde" << false;
    }
    void hexTakesOnlyItsDigits()
    {
        QFETCH(QString, text);
        QFETCH(bool, taken);
        PagesFixture f;
        ParamEntry& e = addRecord(f.mainMap(), "r", ParamEntry::Hex, 19);
        e.editorType = ParamEntry::TextBox;
        e.currentText = "0000";
        f.pages->InitMainBrowser();
        f.pages->stringManager()->setValue(f.property("r"), text);
        QCOMPARE(f.pages->stringManager()->value(f.property("r")), taken ? text : QStringLiteral("0000"));
    }

    // The fixture device's pages, with no link.
    void fixtureDevicePages()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        ClassicPages& p = *f.pages;
        QCOMPARE(p.currentDevice(), kDevice);
        QCOMPARE(p.host().device(), kDevice);
        QVERIFY(p.mainBrowser() && p.extraBrowser() && p.infoBrowser());
        QCOMPARE(p.mainBrowser()->properties().size(), 1);
        QCOMPARE(p.mainBrowser()->properties().first()->propertyName(), QStringLiteral("Dev"));
        // Invisible records and their members stay off the page.
        QVERIFY(f.property("Speed"));
        for (const char* name : {"Unlisted", "B1i0", "B1i2"})
            QVERIFY2(!f.property(name), name);
        QVERIFY(f.property("B0i0"));
        // Read over no link, its value is in no pair: the blank after them.
        QCOMPARE(describe(p, f.property("Mode")), QStringLiteral("enum Выкл|Вкл|| = 3"));
        QCOMPARE(describe(p, f.property("Serial", &p.data().info.map)), QStringLiteral("string ro = "));

        // Script buttons from the last to the first, each owning its script.
        const QList<QAbstractButton*> buttons = f.widgets.form.buttonBoxMain->buttons();
        QCOMPARE(buttons.size(), 2);
        QCOMPARE(buttons[0]->text(), QStringLiteral("Стоп"));
        QCOMPARE(buttons[1]->text(), QStringLiteral("Пуск"));
        const auto* script = buttons[1]->findChild<ScriptMapObject*>();
        QVERIFY(script);
        QCOMPARE(script->script(), QStringLiteral("run(1);"));
        QCOMPARE(script->map(), &p.data().main.map);
    }

    // On the info page an integer opens a plain spin box; elsewhere the one
    // with the action button.
    void infoPageSpinBoxIsPlain()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        f.widgets.root.resize(1200, 900);
        for (QWidget* w : {f.widgets.form.MainParamsWgt, f.widgets.form.InfoParamsWgt})
            w->resize(1000, 800);
        f.widgets.root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.widgets.root));
        const auto editorOf = [&](QtTreePropertyBrowser* browser, QtProperty* property) {
            browser->editItem(browser->items(property).value(0));
            return openEditor(browser);
        };
        QWidget* info = editorOf(f.pages->infoBrowser(), f.property("Version", &f.pages->data().info.map));
        QVERIFY(qobject_cast<QSpinBox*>(info));
        QWidget* main = editorOf(f.pages->mainBrowser(), f.property("Speed"));
        QVERIFY(qobject_cast<QtSpinBoxEditWidget2*>(main));
    }

    void tabsSwitchTheirWidgets_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("enabled"); // main, extra, info widgets and the calibrate action
        QTest::newRow("main") << 0 << "1000";
        QTest::newRow("calibration, no file: nothing changes") << 1 << "1111";
        QTest::newRow("extra") << 2 << "0100";
        QTest::newRow("info") << 3 << "0010";
        QTest::newRow("no such tab") << 4 << "1111";
    }
    void tabsSwitchTheirWidgets()
    {
        QFETCH(int, tab);
        QFETCH(QString, enabled);
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        const ClassicForm& form = f.widgets.form;
        f.pages->onTabChanged(tab);
        const QString states = QString::number(form.MainParamsWgt->isEnabled()) + QString::number(form.ExtraParamsWgt->isEnabled())
            + QString::number(form.InfoParamsWgt->isEnabled()) + QString::number(form.m_calibrate->isEnabled());
        QCOMPARE(states, enabled);
    }

    // A page whose file is loaded is built on the first switch to its tab only.
    void tabBuildsItsPageOnce()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        ClassicData& data = f.pages->data();
        for (ClassicPage page : {ClassicPage::Main, ClassicPage::Calibration, ClassicPage::Extra, ClassicPage::Info})
            data.page(page).path = app.typeFolder() + ClassicData::fileName(page);
        data.listsPath = app.typeFolder() + "lists.xml";
        data.scriptsPath = app.typeFolder() + "scripts.xml";
        QVERIFY(f.pages->loadXmlFile());
        QVERIFY(!f.pages->extraBrowser());
        f.pages->onTabChanged(2);
        QVERIFY(f.pages->extraBrowser());
        f.pages->onTabChanged(0);
        f.pages->onTabChanged(2);
        QCOMPARE(f.pages->extraBrowser()->properties().size(), 1);
        QVERIFY(f.pages->mainBrowser());
        QVERIFY(!f.pages->infoBrowser()); // its tab was not shown
    }

    void loadingEdgeCases_data()
    {
        QTest::addColumn<QString>("remove");  // a file of the fixture device taken away
        QTest::addColumn<QByteArray>("write"); // its content instead, when not empty
        QTest::addColumn<QString>("error");   // the one red line, %1 the file's path
        QTest::addColumn<bool>("infoBuilt");
        QTest::newRow("no info.xml") << "info.xml" << QByteArray() << "Ошибка! Не удалось открыть файл %1" << false;
        QTest::newRow("info.xml not XML") << "info.xml" << QByteArray("<Parameters>") << "Ошибка! Не удалось прочитать данные из файла %1"
                                          << false;
        QTest::newRow("main.xml not XML") << "main.xml" << QByteArray("<a></b>")
                                          << "Ошибка! Не удалось прочитать данные из файла %1" << true;
    }
    void loadingEdgeCases()
    {
        QFETCH(QString, remove);
        QFETCH(QByteArray, write);
        QFETCH(QString, error);
        QFETCH(bool, infoBuilt);
        AppDir app;
        QVERIFY(app.ok);
        const QString path = app.typeFolder() + remove;
        QVERIFY(QFile::remove(path));
        if (!write.isEmpty())
            QVERIFY(writeFile(path, write));
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QCOMPARE(f.host.errors().filter(path), QStringList{error.arg(path)});
        QCOMPARE(f.pages->infoBrowser() != nullptr, infoBuilt);
        QCOMPARE(f.pages->mainBrowser() != nullptr, remove != "main.xml");
    }

    // Deep nesting is refused with one line, at once: a record past 64 levels
    // (what stands above it loads and gets its page), a whole file past 128
    // levels of elements, before Qt's document builder, which slows down with
    // the square of the depth and overflows the stack at 200,000. Files the
    // builder reads although a strict reader would not are measured alike,
    // and so are elements that an entity expands to and a file cut short.
    void deepNestingIsRefusedWithALine_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("leaf");
        QTest::addColumn<int>("levels");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("error"); // %1 the file's path
        QTest::addColumn<int>("records");
        const QByteArray leaf = "<Param Type=\"Regular\" Name=\"Leaf\" DataType=\"int\" Address=\"1\"/>";
        const QString tooDeep = QStringLiteral("Ошибка! Элементы файла %1 вложены глубже 128 уровней");
        const QByteArray xml11 = "<?xml version=\"1.1\"?>";
        QTest::newRow("70 groups") << QByteArray() << leaf << 70 << true
                                   << "Ошибка в описании параметра 6600G (%1): вложен глубже 64 уровней" << 65;
        for (int levels : {20000, 200000}) {
            const QByteArray n = QByteArray::number(levels);
            QTest::newRow(n + " groups") << QByteArray() << leaf << levels << true << tooDeep << 0;
            QTest::newRow(n + " groups, XML 1.1") << xml11 << leaf << levels << true << tooDeep << 0;
            QTest::newRow(n + " groups, undeclared prefix")
                << QByteArray() << QByteArray("<u:x/>") << levels << true << tooDeep << 0;
            QTest::newRow(n + " groups, undeclared entity")
                << QByteArray() << QByteArray("&undeclared;") << levels << true << tooDeep << 0;
            QTest::newRow(n + " groups, never closed") << QByteArray() << leaf << levels << false << tooDeep << 0;
        }
        // 200 levels that no tag of the file shows: an entity expands to them.
        QByteArray entities = "<!DOCTYPE Device [<!ENTITY e0 \"<a/>\">";
        for (int i = 1; i <= 200; ++i)
            entities += "<!ENTITY e" + QByteArray::number(i) + " \"<a>&e" + QByteArray::number(i - 1) + ";</a>\">";
        entities += "]>";
        QTest::newRow("nesting an entity expands to") << entities << QByteArray("&e200;") << 1 << true << tooDeep << 0;
    }
    void deepNestingIsRefusedWithALine()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, leaf);
        QFETCH(int, levels);
        QFETCH(bool, closed);
        QFETCH(QString, error);
        QFETCH(int, records);
        AppDir app;
        QVERIFY(app.ok);
        QByteArray xml = head + "<Device><Parameters>";
        for (int i = 0; i < levels; ++i)
            xml += "<Param Type=\"Group\" Name=\"G\" Caption=\"g\">";
        xml += leaf;
        if (closed) {
            for (int i = 0; i < levels; ++i)
                xml += "</Param>";
            xml += "</Parameters></Device>";
        }
        const QString main = app.typeFolder() + "main.xml";
        QVERIFY(writeFile(main, xml));
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QCOMPARE(f.host.errors().filter(main), QStringList{error.arg(main)});
        QCOMPARE(f.mainMap().size(), records);
        QVERIFY(!f.mainMap().find("Leaf"));
        QCOMPARE(f.pages->mainBrowser() != nullptr, records > 0);
        if (records > 0)
            QVERIFY(findProperty(f.pages->mainBrowser()->properties().value(0), "g"));
        QVERIFY(f.pages->infoBrowser()); // the other files load as before
    }

    // Entity references expand to a few times the file's size at most, and
    // to a few MB whatever the file: past that the file is refused with one
    // line, in a fraction of the time its text would take, before Qt's reader
    // holds it. References within the bound load; entities nested into too
    // much text Qt refuses itself.
    void entityTextIsBounded_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("inner"); // in the group, beside the parameter
        QTest::addColumn<QString>("error");    // %1 the file's path; empty: it loads
        const QString tooMuch = QStringLiteral("Ошибка! Сущности файла %1 раскрываются в слишком длинный текст");
        const QByteArray long10k = "<!DOCTYPE Device [<!ENTITY q \"" + QByteArray(10000, 'x') + "\">]>";
        QTest::newRow("one entity 1,000 times in text")
            << long10k << "<Note>" + QByteArray("&q;").repeated(1000) + "</Note>" << tooMuch;
        QTest::newRow("one entity 1,000 times in an attribute")
            << long10k << "<Note Caption=\"" + QByteArray("&q;").repeated(1000) + "\"/>" << tooMuch;
        QTest::newRow("a parameter entity 1,000 times")
            << "<!DOCTYPE Device [<!ENTITY % p \"<!ENTITY q '" + QByteArray(10000, 'x') + "'>\">"
                   + QByteArray(" %p;").repeated(1000) + "]>"
            << QByteArray("<Note>&q;</Note>") << tooMuch;
        QTest::newRow("one entity 1,000 times within the bound")
            << "<!DOCTYPE Device [<!ENTITY q \"" + QByteArray(100, 'x') + "\">]>"
            << "<Note>" + QByteArray("&q;").repeated(1000) + "</Note>" << QString();
        QByteArray laughs = "<!DOCTYPE Device [<!ENTITY l0 \"lol\">";
        for (int i = 1; i <= 9; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" + ("&l" + QByteArray::number(i - 1) + ";").repeated(10)
                + "\">";
        QTest::newRow("nested entities") << laughs + "]>" << QByteArray("<Note>&l9;</Note>")
                                         << QStringLiteral("Ошибка! Не удалось прочитать данные из файла %1");
        // Each declaration costs the reader a walk over those before it.
        QByteArray many = "<!DOCTYPE Device [";
        for (int i = 0; i < 8000; ++i)
            many += "<!ENTITY e" + QByteArray::number(i) + " \"v\">";
        QTest::newRow("8,000 entities declared") << many + "]>" << QByteArray("<Note>&e1;</Note>")
                                                 << QStringLiteral("Ошибка! Файл %1 объявляет больше 1000 сущностей");
        QByteArray enough = "<!DOCTYPE Device [";
        for (int i = 0; i < 1000; ++i)
            enough += "<!ENTITY e" + QByteArray::number(i) + " \"v\">";
        QTest::newRow("1,000 entities declared") << enough + "]>" << QByteArray("<Note>&e999;</Note>") << QString();
    }
    void entityTextIsBounded()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, inner);
        QFETCH(QString, error);
        AppDir app;
        QVERIFY(app.ok);
        const QString main = app.typeFolder() + "main.xml";
        QVERIFY(writeFile(main, head + "<Device><Parameters><Param Type=\"Group\" Name=\"G\" Caption=\"g\">"
                                       "<Param Type=\"Regular\" Name=\"A\" Caption=\"a\" DataType=\"int\" Address=\"1\"/>"
                                + inner + "</Param></Parameters></Device>"));
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QCOMPARE(f.host.errors().filter(main), error.isEmpty() ? QStringList() : QStringList{error.arg(main)});
        QCOMPARE(f.property("A") != nullptr, error.isEmpty());
        QCOMPARE(f.pages->mainBrowser() != nullptr, error.isEmpty());
        QVERIFY(f.pages->infoBrowser()); // the other files load as before
    }

    // What a strict reader refuses and Qt's document builder takes still
    // loads when it nests as real files do.
    void filesTheBuilderTakesStillLoad_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("extra"); // beside the parameter
        QTest::newRow("XML 1.1") << QByteArray("<?xml version=\"1.1\"?>") << QByteArray();
        QTest::newRow("undeclared prefix") << QByteArray() << QByteArray("<u:x/>");
        QTest::newRow("undeclared entity") << QByteArray() << QByteArray("<Note>&undeclared;</Note>");
        QTest::newRow("declared entity") << QByteArray("<!DOCTYPE Device [<!ENTITY n \"7\">]>")
                                         << QByteArray("<Note>&n;</Note>");
        QTest::newRow("UTF-16") << QByteArray("utf-16") << QByteArray();
    }
    void filesTheBuilderTakesStillLoad()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, extra);
        AppDir app;
        QVERIFY(app.ok);
        QByteArray xml = "<Device><Parameters><Param Type=\"Group\" Name=\"G\" Caption=\"g\">"
                         "<Param Type=\"Regular\" Name=\"A\" Caption=\"a\" DataType=\"int\" Address=\"1\"/>"
                         + extra + "</Param></Parameters></Device>";
        if (head == "utf-16") {
            const QString text = QString::fromUtf8("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + xml);
            xml = QByteArray("\xff\xfe", 2)
                + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        } else {
            xml.prepend(head);
        }
        const QString main = app.typeFolder() + "main.xml";
        QVERIFY(writeFile(main, xml));
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QVERIFY2(f.host.errors().filter(main).isEmpty(), qPrintable(f.host.errors().join('\n')));
        QVERIFY(f.mainMap().find("0100G"));
        QVERIFY(f.property("A"));
    }

    void loadingWithoutTheOptionalFilesIsSilent()
    {
        AppDir app;
        QVERIFY(app.ok);
        QVERIFY(QDir().mkpath(app.typeFolder("8")));
        QVERIFY(writeFile(app.typeFolder("8") + "main.xml",
                          "<Device><Parameters><Param Type=\"Regular\" Name=\"A\" DataType=\"int\" Address=\"1\"/>"
                          "</Parameters></Device>"));
        QVERIFY(writeFile(app.typeFolder("8") + "info.xml", "<Parameters/>"));
        PagesFixture f(app.path());
        QVERIFY(f.pages->loadDeviceConfiguration({"Dev", "8"}, 1));
        QVERIFY(f.host.lines.isEmpty());
        QVERIFY(f.property("A"));
        QVERIFY(f.pages->mainBrowser() && f.pages->infoBrowser());
        QVERIFY(!f.pages->extraBrowser());
    }

    void missingDeviceFolder()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QVERIFY(!f.pages->loadDeviceConfiguration({"Nope", "7"}, 1));
        QCOMPARE(f.host.errors().last(), QStringLiteral("Настрока устройства Nope недоступна в данной версии приложения."));
        QVERIFY(f.mainMap().isEmpty() && f.pages->data().info.map.isEmpty());
        QCOMPARE(f.pages->propertyCount(), 0);
        QCOMPARE(f.pages->currentDevice(), DeviceEntry{});
    }

    void deviceName()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QCOMPARE(f.pages->loadDeviceName(), QStringLiteral("Тестовое устройство"));
        QVERIFY(QFile::remove(app.path() + "/ConfigurationData/devname.txt"));
        QCOMPARE(f.pages->loadDeviceName(), QString());
        QVERIFY(f.host.lines.isEmpty());
    }

    void resetWithNothingBuilt()
    {
        PagesFixture f;
        addRecord(f.mainMap(), "a");
        addRecord(f.pages->data().info.map, "b");
        f.pages->resetParameterData();
        QVERIFY(f.mainMap().isEmpty() && f.pages->data().info.map.isEmpty());
        QVERIFY(!f.pages->mainBrowser() && !f.pages->boolManager());
    }

    // The pages are emptied, their browsers kept; the managers and titles are
    // made once, so a browser made by a later load has four columns.
    void resetThenLoadAgain()
    {
        AppDir app;
        QVERIFY(app.ok);
        QVERIFY(QDir().mkpath(app.typeFolder("8")));
        QVERIFY(QFile::copy(app.typeFolder() + "main.xml", app.typeFolder("8") + "main.xml"));
        PagesFixture f(app.path());
        QVERIFY(f.pages->loadDeviceConfiguration({"Dev", "8"}, 1));
        QtStringPropertyManager* strings = f.pages->stringManager();
        QtTreePropertyBrowser* main = f.pages->mainBrowser();
        QVERIFY(f.pages->propertyCount() > 0);

        f.pages->resetParameterData();
        QCOMPARE(f.pages->propertyCount(), 0);
        QVERIFY(f.mainMap().isEmpty());
        QVERIFY(main->properties().isEmpty());
        QVERIFY(strings->properties().isEmpty());
        QVERIFY(f.widgets.form.buttonBoxMain->buttons().isEmpty());
        QCOMPARE(f.pages->currentDevice(), DeviceEntry{});

        QVERIFY(loadFixture(f));
        QCOMPARE(f.pages->mainBrowser(), main);
        QCOMPARE(f.pages->stringManager(), strings);
        QCOMPARE(main->properties().size(), 1);
        QCOMPARE(f.widgets.form.buttonBoxMain->buttons().size(), 2);
        QCOMPARE(f.pages->extraColumnTitles(), (QStringList{"Ед. изм", "Описание"}));
        QCOMPARE(PagesFixture::columnCount(f.pages->extraBrowser()), 4);
        QCOMPARE(PagesFixture::columnCount(main), 4);
    }

    // An edit that cannot be written ends the edit; the next editor clears
    // the mark of the one before.
    void editMarksFollowTheEdits()
    {
        AppDir app;
        QVERIFY(app.ok);
        PagesFixture f(app.path());
        QVERIFY(loadFixture(f));
        QtProperty* speed = f.property("Speed");
        emit f.pages->intManager()->editorCreated(speed);
        QCOMPARE(f.pages->editedParamName(), QStringLiteral("Speed"));
        f.pages->intManager()->setValue(speed, 3);
        emit f.pages->intManager()->valueUpdated(speed, 3);
        QVERIFY(speed->isModified());
        QCOMPARE(f.host.errors().last(), QStringLiteral("Не удалось сохранить параметр Speed."));
        QCOMPARE(f.pages->intManager()->value(speed), 0); // no link: the value before
        QCOMPARE(f.pages->lastEditedParamName(), QStringLiteral("Speed"));
        QVERIFY(f.pages->editedParamName().isEmpty());

        emit f.pages->stringManager()->editorCreated(f.property("Calc"));
        QVERIFY(!speed->isModified());
        QCOMPARE(f.pages->editedParamName(), QStringLiteral("Calc"));
    }

    // The lazily built page: objects first, an object's sub-indices once the
    // load worker has read them after it was expanded.
    void subIndicesBuiltOnceLoaded()
    {
        PagesFixture f;
        f.load.setPauseMs(3600 * 1000); // no device: the worker waits
        f.pages->InitMainBrowser(ClassicPages::MainPageForm::ObjectDictionary);
        ParamEntryMap& map = f.mainMap();
        ParamEntry& object = addCanRecord(map, " 2010 Obj", 0, 0x2010);
        object.childNames = QStringList{"001 2010sub1 A", "002 2010sub2 B"};
        for (const QString& name : object.childNames) {
            ParamEntry& sub = addCanRecord(map, name, CanUnsigned32, 0x2010, 1);
            sub.parentName = object.name;
        }
        addCanRecord(map, " 2011 Leaf", CanUnsigned16, 0x2011);
        QtTreePropertyBrowser* browser = f.pages->mainBrowser();
        f.pages->slotCanSubindexParamsLoaded(); // nothing expanded: nothing happens
        f.pages->addTopLevelObjects(browser);
        QCOMPARE(f.pages->canParams(), QVector<ParamEntry*>{map.find(" 2011 Leaf")});
        QtProperty* obj = f.property(" 2010 Obj");
        QCOMPARE(obj->subProperties().size(), 1);
        QCOMPARE(obj->subProperties().first()->propertyName(), QStringLiteral("загрузка..."));

        browser->setExpanded(browser->items(obj).first(), true);
        QCOMPARE(f.pages->expandedProperty(), obj);
        f.pages->slotCanSubindexParamsLoaded();
        QStringList subs;
        for (QtProperty* p : obj->subProperties())
            subs << p->propertyName();
        QCOMPARE(subs, (QStringList{"cap 001 2010sub1 A", "cap 002 2010sub2 B"}));
        QCOMPARE(f.pages->expandedProperty(), obj);

        setCanValue(*map.find("001 2010sub1 A"), CanValue{0x1234, "00001234", false});
        f.pages->slotCanSubindexParamsLoaded();
        QCOMPARE(f.pages->stringManager()->value(f.property("001 2010sub1 A")), QStringLiteral("0x00001234"));
        QCOMPARE(obj->subProperties().size(), 2);
    }

    // The import page greys what an import cannot write.
    void importPageGreying_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("writable and imported") << "w" << true;
        QTest::newRow("read-only") << "ro" << false;
        QTest::newRow("not imported") << "out" << false;
        QTest::newRow("group with a writable member") << "G1" << true;
        QTest::newRow("group whose members are all greyed") << "G2" << false;
    }
    void importPageGreying()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        PagesFixture f;
        ParamEntryMap& map = f.pages->data().importMap;
        const auto leaf = [&](const QString& n, const QString& parent) -> ParamEntry& {
            ParamEntry& e = addCanRecord(map, n, CanUnsigned16, 0x2000);
            e.parentName = parent;
            return e;
        };
        addRecord(map, "G1").childNames = QStringList{"w", "ro"};
        addRecord(map, "G2").childNames = QStringList{"out", "ro2"};
        f.pages->importedList() << &leaf("w", "G1") << &leaf("ro", "G1") << &leaf("ro2", "G2");
        leaf("out", "G2");
        map.find("ro")->readOnly = true;
        map.find("ro2")->readOnly = true;
        f.pages->InitImportBrowser();
        QtProperty* p = f.property(name, &map);
        QVERIFY(p);
        QCOMPARE(p->isEnabled(), enabled);
    }
};

QTEST_MAIN(TstClassicPages)
#include "tst_classicpages.moc"
