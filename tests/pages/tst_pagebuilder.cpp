#include "fakedatasource.h"
#include "pagefixture.h"
#include "inboxdrained.h"
#include "pages/datasourceworker.h"
#include "pages/pagebuilder.h"
#include "pages/pagecontainers.h"
#include "pages/paramfielduicontroller.h"
#include "pages/paramsgroupctl.h"
#include "pages/qcheckboxwgt.h"
#include "pages/qcombowgt.h"
#include "pages/qdatatypewgt.h"
#include "pages/qgroupbtnwgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"
#include "pages/singleparamuicontroller.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace pagefixture;

namespace {

const char *kTypes = R"({"types":[
 {"name":"Ctl","size":4,"cantype":"uint32","fields":[
   {"name":"mode","datatype":"uint8","startbit":0,"endbit":7,
    "commonvalues":[{"name":"Выкл","value":0},{"name":"Авто","value":1},{"name":"Ручной","value":2}]},
   {"name":"run","datatype":"bit","startbit":8,"endbit":8},
   {"name":"lock","datatype":"bit","startbit":9,"endbit":9},
   {"name":"limit","datatype":"uint16","startbit":16,"endbit":31}]},
 {"name":"Word","size":2,"cantype":"uint16","fields":[
   {"name":"value","datatype":"uint16","startbit":0,"endbit":15}]},
 {"name":"NoForm","size":1,"cantype":"uint8","fields":[
   {"name":"v","datatype":"uint8","startbit":0,"endbit":7}]}
]})";

const char *kTree = R"({"nodes":[
 {"name":"main","caption":"Главная"},
 {"name":"head","caption":"Дополнительно","nodes":[
   {"name":"extra","caption":"Ещё","nodes":[{"name":"ignored","caption":"x"}]},
   {"name":"absent","caption":"Нет формы"},
   {"caption":"Без имени"}]}
]})";

// Data-type forms, page forms and the tree of a device, or only what a test names.
void writeDevice(const QString &dir)
{
    QVERIFY(writeFile(dir + "/datatypes.json", kTypes));
    QVERIFY(writeFile(dir + "/tree.json", kTree));
    const QString readOnly = boolProp(QStringLiteral("CReadOnly"), true);
    QVERIFY(writeFile(dir + "/ctl.ui",
                      form(field("QComboWgt", "cbMode", "mode") + field("QCheckBoxWgt", "chkRun", "run")
                           + field("QCheckBoxWgt", "chkLock", "lock", readOnly)
                           + field("QLineEditWgt", "edLimit", "limit")
                           + field("QLabelWgt", "lblLimit", "limit")
                           + groupButton("btnSaveG1", "g1", "save"))));
    QVERIFY(writeFile(dir + "/word.ui",
                      form(field("QLineEditWgt", "edValue", "value") + field("QLabelWgt", "lblValue", "value"))));

    const QString onMode = rule("2000", "1", "mode", "enable", {"1", "2"});
    const QString showManual = rule("2000", "1", "mode", "Enable", {"2"});
    const QString boxRules = rules({rule("2000", "1", "mode", "show", {"0"}), rule("2000", "1", "run", "enable", {"-128"})});
    const QString numeric = R"({"dependences":[{"index":2000,"subindex":"1","fieldname":"mode","action":"enable","values":["9"]}]})";
    QVERIFY(writeFile(dir + "/main.ui",
                      form(param("ctl", "Ctl", "2000", "1", "g1") + param("speed", "Word", "2000", "2", "g1", rules({onMode}))
                           + param("manual", "Word", "2000", "3", "g1", rules({showManual}))
                           + groupBox("box", boxRules, param("inner", "Word", "2001", "1", "g2"))
                           + groupButton("btnCancelG2", "g2", "cancel") + groupButton("btnSaveG3", "g3", "save")
                           + param("missingType", "Missing", "2005", "0", "g2")
                           + param("noForm", "NoForm", "2006", "0", "g2")
                           + param("badRule", "Word", "2007", "0", "g2", "{oops")
                           + groupBox("badBox", "[1", QString())
                           + param("numeric", "Word", "2008", "0", "g2", numeric))));
    QVERIFY(writeFile(dir + "/extra.ui", form(param("ext", "Word", "2002", "0", "g3"))));
}

struct Host
{
    Host()
    {
        registerCustomParamMetaType();
        auto *layout = new QHBoxLayout(&window);
        tree = new QTreeWidget;
        pages = new QStackedWidget;
        layout->addWidget(tree);
        layout->addWidget(pages, 1);
        window.resize(1000, 900);
        builder = std::make_unique<PageBuilder>(tree, pages, &ds);
        builder->setBeforeTeardown([this] { ++ds.teardowns; });
        QObject::connect(builder.get(), &PageBuilder::toLog,
                         [this](const QString &msg, bool ok) { (ok ? blue : red) << msg; });
    }
    ~Host() { builder->clearCustomUi(); }

    QDataTypeWgt *param(const QString &name) const { return pages->findChild<QDataTypeWgt *>(name); }
    template <class W> W *in(const QString &paramName, const QString &name) const
    {
        return param(paramName)->findChild<W *>(name);
    }
    // Completes the loads of one parameter as the load worker does after a read.
    void deliver(const QString &key, const QByteArray &bytes)
    {
        const SPCustomParam p = paramCtlMap.value(key);
        QVERIFY2(p, qPrintable(key));
        for (const auto &r : qAsConst(ds.loads)) {
            if (r.param == p)
                FakeDataSource::deliver(r, bytes);
        }
        QCoreApplication::processEvents();
    }
    // Through the window, as a user clicks: on the indicator of a check box.
    void clickAt(QWidget *w)
    {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          w->mapTo(&window, QPoint(6, w->height() / 2)));
    }

    FakeDataSource ds;
    QWidget window;
    QTreeWidget *tree;
    QStackedWidget *pages;
    std::unique_ptr<PageBuilder> builder;
    QStringList red;
    QStringList blue;
};

bool allContainersEmpty()
{
    return pageGroupMap.empty() && groupCtlMap.isEmpty() && paramFieldCtlList.empty() && paramCtlList.empty()
        && paramCtlMap.isEmpty() && dataTypeMap.isEmpty() && dataTypeWgtList.isEmpty();
}

} // namespace

class TstPageBuilder : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void buildFillsTreePagesAndContainers();
    void faultyItemsAreSkippedWithRedLines();
    void badPageDataGivesOneLine_data();
    void badPageDataGivesOneLine();
    void editThroughWidgetsMarksAndCancels();
    void saveAllWritesEditedParametersOnly();
    void groupButtonsDriveTheirGroup();
    void rulesFollowValues();
    void teardownEmptiesEverything();
    void everyBuildStartsClean_data();
    void everyBuildStartsClean();

private:
    QTemporaryDir m_dir;
};

void TstPageBuilder::init()
{
    QVERIFY(m_dir.isValid());
    writeDevice(m_dir.path());
}

void TstPageBuilder::buildFillsTreePagesAndContainers()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    QVERIFY(h.builder->isBuilt());
    QCOMPARE(h.builder->builtFolder(), m_dir.path());

    QCOMPARE(h.tree->topLevelItemCount(), 2);
    QCOMPARE(h.tree->topLevelItem(1)->childCount(), 3);
    QCOMPARE(h.tree->topLevelItem(1)->child(0)->childCount(), 0); // a child's nodes are ignored
    QStringList pageNames;
    for (int i = 0; i < h.pages->count(); ++i)
        pageNames << h.pages->widget(i)->objectName();
    QCOMPARE(pageNames, QStringList({"main", "extra", "absent"}));

    QCOMPARE(QStringList(paramCtlMap.keys()),
             QStringList({"2000-1-ctl", "2000-2-speed", "2000-3-manual", "2001-1-inner", "2002-0-ext",
                          "2007-0-badRule", "2008-0-numeric"}));
    QCOMPARE(int(paramCtlList.size()), 7);
    QCOMPARE(paramCtlList.front()->param(), paramCtlMap.value("2000-1-ctl"));
    QCOMPARE(int(paramFieldCtlList.size()), 5 + 6 * 2);
    QCOMPARE(QStringList(groupCtlMap.keys()), QStringList({"g1", "g2", "g3"}));
    QCOMPARE(QStringList(dataTypeMap.keys()), QStringList({"Ctl", "NoForm", "Word"}));
    QCOMPARE(dataTypeWgtList.size(), 1); // of "extra": "absent" has no form
    QCOMPARE(dataTypeWgtList.first().data(), h.param("ext"));
    QCOMPARE(int(pageGroupMap.size()), 1);
    const PageGroupRecord &record = *pageGroupMap.begin()->second;
    QCOMPARE(record.groupBox->objectName(), QStringLiteral("box"));
    QCOMPARE(record.rule.fieldname, QStringLiteral("run")); // the last rule of its list
    QCOMPARE(record.paramController, paramCtlList.front().get());

    const SPCustomParam ctl = paramCtlMap.value("2000-1-ctl");
    QCOMPARE(ctl->dataType(), dataTypeMap.value("Ctl"));
    QCOMPARE(h.param("ctl")->frameShape(), QFrame::NoFrame);
    QCOMPARE(h.in<QComboWgt>("ctl", "cbMode")->count(), 3);
    QVERIFY(h.in<QLineEditWgt>("ctl", "edLimit")->validator());
    const QCheckBoxWgt *lock = h.in<QCheckBoxWgt>("ctl", "chkLock");
    QVERIFY(lock->testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(lock->focusPolicy(), Qt::NoFocus);

    // Tree selection: a page shows its form; a heading keeps the page shown.
    h.tree->setCurrentItem(h.tree->topLevelItem(1)->child(0));
    QCOMPARE(h.pages->currentWidget()->objectName(), QStringLiteral("extra"));
    h.tree->setCurrentItem(h.tree->topLevelItem(1));
    QCOMPARE(h.pages->currentWidget()->objectName(), QStringLiteral("extra"));
    h.tree->setCurrentItem(h.tree->topLevelItem(0));
    QCOMPARE(h.pages->currentWidget()->objectName(), QStringLiteral("main"));

    h.builder->readAll();
    QCOMPARE(h.ds.loads.size(), 7);
}

void TstPageBuilder::faultyItemsAreSkippedWithRedLines()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    const QString all = h.red.join(QLatin1Char('\n'));
    QCOMPARE(h.red.size(), 6);
    QVERIFY2(all.contains("\"Missing\" не описан: пропущено параметров: 1"), qPrintable(all));
    QVERIFY2(all.contains("noform.ui"), qPrintable(all));
    QVERIFY2(all.contains("absent.ui"), qPrintable(all));
    QVERIFY2(all.contains("\"badRule\""), qPrintable(all));
    QVERIFY2(all.contains("\"badBox\""), qPrintable(all));
    // Its index is a JSON number, so it names no object.
    QVERIFY2(all.contains("\"numeric\" (2008:0): правило зависимости указывает на объект \":1\""), qPrintable(all));
    QVERIFY(h.blue.isEmpty());
    // The parameter with the broken rule is there, without rules.
    QVERIFY(paramCtlMap.contains("2007-0-badRule"));
    // Without a tree nothing is built, and that is said too.
    QTemporaryDir empty;
    h.red.clear();
    h.builder->buildCustomUiPages(empty.path());
    QVERIFY(h.builder->isBuilt());
    QCOMPARE(h.pages->count(), 0);
    QCOMPARE(h.red.size(), 2); // datatypes.json and tree.json
}

void TstPageBuilder::badPageDataGivesOneLine_data()
{
    QTest::addColumn<QString>("types");  // more entries of "types"
    QTest::addColumn<QString>("params"); // more items of the page "p"
    QTest::addColumn<QString>("line");   // the one red line
    const QString wide = R"({"name":"Wide","size":2,"cantype":"uint16","fields":[
        {"name":"v","datatype":"unit16","startbit":0,"endbit":15}]})";
    const QString narrow = R"({"name":"Narrow","size":1,"cantype":"uint8","fields":[
        {"name":"flag","datatype":"boolean","startbit":0,"endbit":0}]})";
    QTest::newRow("unknown field type, wide field") << wide << QString()
        << "тип \"Wide\" не загружен: поле \"v\": неизвестный тип данных \"unit16\"";
    QTest::newRow("unknown field type, one bit") << narrow << QString()
        << "тип \"Narrow\" не загружен: поле \"flag\": неизвестный тип данных \"boolean\"";
    const auto threeOf = [](const QString &type) {
        return param("m1", type, "2101", "0", "g") + param("m2", type, "2102", "0", "g")
            + param("m3", type, "2103", "0", "g");
    };
    const QString firstOfThree = ": пропущено параметров: 3, первый: страница \"p\", параметр \"m1\" (2101:0)";
    QTest::newRow("one missing type, three parameters") << QString() << threeOf("Gone")
        << "Тип данных \"Gone\" не описан" + firstOfThree;
    const QString bare = R"({"name":"Bare","size":2,"cantype":"uint16","fields":[
        {"name":"value","datatype":"uint16","startbit":0,"endbit":15}]})";
    QTest::newRow("one missing data-type form, three parameters") << bare << threeOf("Bare")
        << "Не удалось открыть форму типа данных %dir%/bare.ui: " + QString::fromLocal8Bit(std::strerror(ENOENT))
               + firstOfThree;
    QTest::newRow("index not a number") << QString() << param("r", "Word", "zz", "0", "g")
        << "Страница \"p\", параметр \"r\": индекс объекта \"zz\" не является шестнадцатеричным числом до FFFF; "
           "параметр пропущен";
    QTest::newRow("sub-index not a number") << QString() << param("r", "Word", "2100", "1g", "g")
        << "Страница \"p\", параметр \"r\": субиндекс объекта \"1g\" не является шестнадцатеричным числом до FF; "
           "параметр пропущен";
    QTest::newRow("rule on an object no page has") << QString()
        << param("r", "Word", "2100", "1", "g", rules({rule("2109", "0", "value", "enable", {"1"})}))
        << "Страница \"p\", параметр \"r\" (2100:1): правило зависимости указывает на объект \"2109:0\", "
           "которого нет на страницах";
    QTest::newRow("rule on a field the type lacks") << QString()
        << param("r", "Word", "2100", "1", "g", rules({rule("2100", "0", "mode", "show", {"1"})}))
        << "Страница \"p\", параметр \"r\" (2100:1): правило зависимости указывает на поле \"mode\", "
           "которого нет в типе данных объекта \"2100:0\"";
    QTest::newRow("group box rule on a missing field") << QString()
        << groupBox("box", rules({rule("2100", "0", "valeu", "show", {"1"})}), QString())
        << "Страница \"p\", группа \"box\": правило зависимости указывает на поле \"valeu\", "
           "которого нет в типе данных объекта \"2100:0\"";
}

// Each fault of the page data gives one red line of its own, and everything
// else is built.
void TstPageBuilder::badPageDataGivesOneLine()
{
    QFETCH(QString, types);
    QFETCH(QString, params);
    QFETCH(QString, line);
    QTemporaryDir dir;
    QString typeList = R"({"name":"Word","size":2,"cantype":"uint16","fields":[
        {"name":"value","datatype":"uint16","startbit":0,"endbit":15}]})";
    if (!types.isEmpty())
        typeList += "," + types;
    QVERIFY(writeFile(dir.path() + "/datatypes.json", QString(R"({"types":[%1]})").arg(typeList).toUtf8()));
    QVERIFY(writeFile(dir.path() + "/tree.json", R"({"nodes":[{"name":"p","caption":"P"}]})"));
    QVERIFY(writeFile(dir.path() + "/word.ui", form(field("QLineEditWgt", "edValue", "value"))));
    QVERIFY(writeFile(dir.path() + "/p.ui", form(param("base", "Word", "2100", "0", "g") + params)));
    Host h;
    h.builder->buildCustomUiPages(dir.path());
    QCOMPARE(h.red.size(), 1);
    line.replace("%dir%", dir.path());
    QVERIFY2(h.red[0].endsWith(line), qPrintable(h.red[0]));
    QVERIFY(paramCtlMap.contains("2100-0-base"));
    // No field is left that would never be read.
    for (const SPCustomParam &p : qAsConst(paramCtlMap)) {
        uint16_t index = 0;
        uint8_t sub = 0;
        QVERIFY2(parseObjectAddress(p->index(), p->subindex(), &index, &sub), qPrintable(p->name()));
    }
    QVERIFY(h.param("base")->findChild<QLineEditWgt *>("edValue"));
    QVERIFY(dataTypeMap.contains("Word"));
}

void TstPageBuilder::editThroughWidgetsMarksAndCancels()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    h.builder->readAll();
    const SPCustomParam ctl = paramCtlMap.value("2000-1-ctl");
    // mode 1, lock set, limit 1000
    h.deliver("2000-1-ctl", QByteArray::fromHex("0140e803"));

    auto *mode = h.in<QComboWgt>("ctl", "cbMode");
    auto *run = h.in<QCheckBoxWgt>("ctl", "chkRun");
    auto *lock = h.in<QCheckBoxWgt>("ctl", "chkLock");
    auto *limit = h.in<QLineEditWgt>("ctl", "edLimit");
    auto *limitLabel = h.in<QLabelWgt>("ctl", "lblLimit");
    QCOMPARE(mode->currentText(), QStringLiteral("Авто"));
    QVERIFY(!run->isChecked());
    QVERIFY(lock->isChecked());
    QCOMPARE(limit->text(), QStringLiteral("1000"));
    QCOMPARE(limitLabel->text(), QStringLiteral("1000"));
    QVERIFY(!ctl->edited());
    QCOMPARE(limit->styleSheet() + mode->styleSheet() + run->styleSheet(), QString());

    limit->setFocus();
    limit->selectAll();
    QTest::keyClicks(limit, QStringLiteral("65535"));
    QTest::keyClick(limit, Qt::Key_Return);
    QCOMPARE(ctl->value(), QByteArray::fromHex("0140ffff"));
    QVERIFY(ctl->edited());
    QCOMPARE(limit->styleSheet(), QStringLiteral("color:red;"));
    QCOMPARE(limitLabel->text(), QStringLiteral("1000")); // other widgets keep what they show

    h.clickAt(run);
    QCOMPARE(ctl->value(), QByteArray::fromHex("01c0ffff"));
    QCOMPARE(run->styleSheet(), QStringLiteral("background-color: red;"));
    h.clickAt(lock); // read-only: the click goes through it
    QVERIFY(lock->isChecked());
    QCOMPARE(ctl->value(), QByteArray::fromHex("01c0ffff"));

    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down); // Авто -> Выкл
    QCOMPARE(ctl->value(), QByteArray::fromHex("00c0ffff"));
    QCOMPARE(mode->styleSheet(), QStringLiteral("color:red;"));

    // Other parameters are untouched.
    QCOMPARE(paramCtlMap.value("2000-2-speed")->value(), QByteArray());

    h.builder->slotBtnCancelAllClick();
    QVERIFY(!ctl->edited());
    QCOMPARE(limit->styleSheet() + mode->styleSheet() + run->styleSheet(), QString());
    // The device's value is back at once, in the record and on every widget.
    QCOMPARE(ctl->value(), QByteArray::fromHex("0140e803"));
    QCOMPARE(limit->text(), QStringLiteral("1000"));
    QCOMPARE(mode->currentText(), QStringLiteral("Авто"));
    QVERIFY(!run->isChecked());
}

void TstPageBuilder::saveAllWritesEditedParametersOnly()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    h.builder->readAll();
    h.deliver("2000-1-ctl", QByteArray::fromHex("0140e803"));
    h.deliver("2002-0-ext", QByteArray::fromHex("0500"));
    auto *ext = h.in<QLineEditWgt>("ext", "edValue");
    QCOMPARE(ext->text(), QStringLiteral("5"));
    ext->setText(QStringLiteral("258"));
    emit ext->editingFinished();

    h.builder->slotBtnSaveAllClick();
    QCOMPARE(h.ds.saves.size(), 1);
    QCOMPARE(h.ds.saves.at(0).param->index(), QStringLiteral("2002"));
    QCOMPARE(h.ds.saves.at(0).param->value(), QByteArray::fromHex("0201"));
    FakeDataSource::completeOnWorker(h.ds.saves.at(0), true);
    QTRY_COMPARE(ext->styleSheet(), QString());
    QVERIFY(!paramCtlMap.value("2002-0-ext")->edited());
    h.builder->slotBtnSaveAllClick();
    QCOMPARE(h.ds.saves.size(), 1);
}

void TstPageBuilder::groupButtonsDriveTheirGroup()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    h.builder->readAll();
    h.deliver("2000-1-ctl", QByteArray::fromHex("0140e803"));
    h.deliver("2001-1-inner", QByteArray::fromHex("0100"));
    h.deliver("2002-0-ext", QByteArray::fromHex("0100"));
    for (const QString &name : {QStringLiteral("inner"), QStringLiteral("ext")}) {
        auto *edit = h.in<QLineEditWgt>(name, "edValue");
        edit->setText(QStringLiteral("7"));
        emit edit->editingFinished();
    }
    auto *limit = h.in<QLineEditWgt>("ctl", "edLimit");
    limit->setText(QStringLiteral("7"));
    emit limit->editingFinished();

    // g2 is named before its button on the same page: connected.
    h.pages->findChild<QGroupBtnWgt *>("btnCancelG2")->click();
    QVERIFY(!paramCtlMap.value("2001-1-inner")->edited());
    QVERIFY(paramCtlMap.value("2000-1-ctl")->edited());
    // g3 is first named on a later page: its button on this page stays unconnected.
    h.pages->findChild<QGroupBtnWgt *>("btnSaveG3")->click();
    QCOMPARE(h.ds.saves.size(), 0);
    // A button inside a data-type form drives the group too.
    h.in<QGroupBtnWgt>("ctl", "btnSaveG1")->click();
    QCOMPARE(h.ds.saves.size(), 1);
    QCOMPARE(h.ds.saves.at(0).param->index(), QStringLiteral("2000"));
}

void TstPageBuilder::rulesFollowValues()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    h.builder->readAll();
    QDataTypeWgt *speed = h.param("speed");
    QDataTypeWgt *manual = h.param("manual");
    QDataTypeWgt *numeric = h.param("numeric");
    QGroupBox *box = h.pages->findChild<QGroupBox *>("box");
    QVERIFY(speed->isEnabled() && !manual->isHidden() && !box->isHidden());

    struct Step { const char *bytes; bool speedEnabled; bool manualShown; bool boxShown; };
    const Step steps[] = {
        {"0000e803", false, false, false}, // mode 0, run clear
        {"0100e803", true, false, false},  // mode 1
        {"0280e803", true, true, true},    // mode 2, run set
        {"0300e803", false, false, false}, // a mode no rule lists
    };
    for (const Step &s : steps) {
        h.deliver("2000-1-ctl", QByteArray::fromHex(s.bytes));
        QCOMPARE(speed->isEnabled(), s.speedEnabled);
        QCOMPARE(!manual->isHidden(), s.manualShown);
        QCOMPARE(manual->isEnabled(), true); // "Enable" shows and hides, never disables
        QCOMPARE(!box->isHidden(), s.boxShown);
        QVERIFY(numeric->isEnabled()); // its rule's index is a number: it never matches
    }

    // A user's edit applies the rules at once.
    h.deliver("2000-1-ctl", QByteArray::fromHex("0000e803"));
    auto *mode = h.in<QComboWgt>("ctl", "cbMode");
    mode->setCurrentIndex(mode->findText(QStringLiteral("Ручной")));
    QVERIFY(speed->isEnabled());
    QVERIFY(!manual->isHidden());
    h.in<QCheckBoxWgt>("ctl", "chkRun")->click();
    QVERIFY(!box->isHidden());
}

void TstPageBuilder::teardownEmptiesEverything()
{
    Host h;
    h.builder->buildCustomUiPages(m_dir.path());
    h.builder->readAll();
    QPointer<QWidget> page = h.pages->widget(0);
    QPointer<QDataTypeWgt> ext = h.param("ext");
    QPointer<SingleParamUIController> controller = paramCtlList.front().get();
    QPointer<ParamFieldUIController> fieldController = paramFieldCtlList.front().get();
    h.builder->clearCustomUi();
    QCOMPARE(h.ds.teardowns, 1);
    QVERIFY(allContainersEmpty());
    QCOMPARE(h.tree->topLevelItemCount(), 0);
    QCOMPARE(h.pages->count(), 0);
    QVERIFY(!page && !ext && !controller && !fieldController);
    QVERIFY(!h.builder->isBuilt());
    // A completion of a request made before the teardown finds nothing to touch
    // (under the address sanitizer a touch of a gone controller fails).
    for (const auto &r : qAsConst(h.ds.loads))
        FakeDataSource::deliver(r, QByteArray::fromHex("01020304"));
    QVERIFY(inboxDrained());
    for (const auto &r : qAsConst(h.ds.loads))
        QCOMPARE(r.param->value(), QByteArray::fromHex("01020304")); // delivered, to the record only
    // The tree no longer drives the stack.
    auto *first = new QWidget;
    auto *second = new QWidget;
    second->setObjectName("x");
    h.pages->addWidget(first);
    h.pages->addWidget(second);
    h.pages->setCurrentWidget(first);
    auto *item = new QTreeWidgetItem(QStringList("x"));
    item->setData(0, Qt::UserRole, QStringLiteral("x"));
    h.tree->addTopLevelItem(item);
    h.tree->setCurrentItem(item);
    QCOMPARE(h.pages->currentWidget(), first);
}

void TstPageBuilder::everyBuildStartsClean_data()
{
    QTest::addColumn<bool>("firstHasParams");
    QTest::newRow("after a device with parameters") << true;
    QTest::newRow("after a device without parameters") << false;
}

void TstPageBuilder::everyBuildStartsClean()
{
    QFETCH(bool, firstHasParams);
    QTemporaryDir other;
    QVERIFY(writeFile(other.path() + "/datatypes.json", kTypes));
    QVERIFY(writeFile(other.path() + "/tree.json", R"({"nodes":[{"name":"info","caption":"Сведения"}]})"));
    QVERIFY(writeFile(other.path() + "/info.ui",
                      form(item("QLabel", "note", prop("text", "Только текст")))));
    Host h;
    h.builder->buildCustomUiPages(firstHasParams ? m_dir.path() : other.path());
    QVERIFY(h.builder->isBuilt());
    QCOMPARE(paramCtlMap.isEmpty(), !firstHasParams);

    h.builder->buildCustomUiPages(firstHasParams ? other.path() : m_dir.path());
    QCOMPARE(h.ds.teardowns, 1);
    const int expectedPages = firstHasParams ? 1 : 3;
    QCOMPARE(h.pages->count(), expectedPages);
    QCOMPARE(h.tree->topLevelItemCount(), firstHasParams ? 1 : 2);
    QCOMPARE(int(paramCtlList.size()), firstHasParams ? 0 : 7);
    QCOMPARE(paramCtlMap.size(), firstHasParams ? 0 : 7);
}

QTEST_MAIN(TstPageBuilder)
#include "tst_pagebuilder.moc"
