#include "pages/singleparamuicontroller.h"
#include "pages/stdependence.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QSharedPointer<ParamDataType> ruleType()
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("T"), 3, 0x07);
    auto add = [&](const char *name, int type_, int start, int end, int size = 0) {
        ParamDataField f;
        f.name = QLatin1String(name);
        f.type = type_;
        f.startbit = start;
        f.endbit = end;
        f.size = size;
        type->setField(f);
    };
    add("a", FieldType::UInt8, 0, 7);
    add("b", FieldType::Bit, 8, 8);
    add("h", FieldType::Hex, 16, 23, 1);
    return type;
}

SPCustomParam paramAt(const QString &index, const QString &sub, const QByteArray &value)
{
    auto p = SPCustomParam::create(index, sub, QStringLiteral("p"), ruleType(), true, true);
    p->setValue(value);
    return p;
}

stDependence rule(const QString &index, const QString &sub, const QString &field, int action,
                  const QStringList &values)
{
    stDependence r;
    r.index = index;
    r.subindex = sub;
    r.fieldname = field;
    r.action = action;
    r.values = values;
    return r;
}

} // namespace

class TstRules : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void evaluate_data();
    void evaluate();
    void enableRulesCombineAcrossObjects_data();
    void enableRulesCombineAcrossObjects();
};

void TstRules::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("first"); // index|subindex|field|action|values of rule 0

    QTest::newRow("empty") << "" << 0 << 0 << "";
    QTest::newRow("no json") << "{dependences: [" << 0 << 1 << "";
    QTest::newRow("array on top") << "[]" << 0 << 1 << "";
    QTest::newRow("no list") << "{\"rules\": []}" << 0 << 1 << "";
    QTest::newRow("empty list") << "{\"dependences\": []}" << 0 << 0 << "";
    QTest::newRow("enable")
        << R"({"dependences":[{"index":"2000","subindex":"1","fieldname":"a","action":"enable","values":["1","2"]}]})"
        << 1 << 0 << "2000|1|a|0|1,2";
    QTest::newRow("Enable shows")
        << R"({"dependences":[{"index":"2000","subindex":"1","fieldname":"a","action":"Enable","values":["1"]}]})"
        << 1 << 0 << "2000|1|a|1|1";
    QTest::newRow("no action shows")
        << R"({"dependences":[{"index":"2000","subindex":"1","fieldname":"a","values":[]}]})" << 1 << 0
        << "2000|1|a|1|";
    QTest::newRow("numbers read empty")
        << R"({"dependences":[{"index":2000,"subindex":"1","fieldname":"a","action":"enable","values":[1,"2"]}]})"
        << 1 << 0 << "|1|a|0|,2";
    QTest::newRow("bad element skipped")
        << R"({"dependences":[5,{"index":"2001","subindex":"2","fieldname":"b","action":"show","values":["0"]}]})"
        << 1 << 1 << "2001|2|b|1|0";
}

void TstRules::parse()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(int, errors);
    QFETCH(QString, first);
    QStringList faults;
    const QList<stDependence> rules = parseDependences(text, &faults);
    QCOMPARE(rules.size(), count);
    QCOMPARE(faults.size(), errors);
    if (count > 0) {
        const stDependence &r = rules.first();
        QCOMPARE(QStringList({r.index, r.subindex, r.fieldname, QString::number(r.action),
                              r.values.join(QLatin1Char(','))})
                     .join(QLatin1Char('|')),
                 first);
        QVERIFY(r.visibleResult && r.enableResult);
    }
}

void TstRules::evaluate_data()
{
    QTest::addColumn<QByteArray>("value"); // of object 2000 sub 1
    QTest::addColumn<QString>("ruleText");
    QTest::addColumn<int>("expectEnabled"); // -1: no signal, 0 false, 1 true
    QTest::addColumn<int>("expectVisible");

    auto one = [](const QString &index, const QString &field, const QString &action,
                  const QString &values) {
        return QStringLiteral(R"({"dependences":[{"index":"%1","subindex":"1","fieldname":"%2","action":"%3","values":[%4]}]})")
            .arg(index, field, action, values);
    };
    const QByteArray v1 = QByteArray::fromHex("0100ab");
    const QByteArray v3 = QByteArray::fromHex("0380cd");
    QTest::newRow("uint8 in list") << v1 << one("2000", "a", "enable", R"("1","2")") << 1 << -1;
    QTest::newRow("uint8 not in list") << v3 << one("2000", "a", "enable", R"("1","2")") << 0 << -1;
    QTest::newRow("text 01 is not 1") << v1 << one("2000", "a", "enable", R"("01")") << 0 << -1;
    QTest::newRow("bit set is -128") << v3 << one("2000", "b", "show", R"("-128")") << -1 << 1;
    QTest::newRow("bit clear is 0") << v1 << one("2000", "b", "show", R"("-128")") << -1 << 0;
    QTest::newRow("hex lower case") << v1 << one("2000", "h", "show", R"("ab")") << -1 << 1;
    QTest::newRow("hex upper never") << v1 << one("2000", "h", "show", R"("AB")") << -1 << 0;
    QTest::newRow("Enable shows") << v1 << one("2000", "a", "Enable", R"("1")") << -1 << 1;
    QTest::newRow("visible hides") << v3 << one("2000", "a", "visible", R"("1")") << -1 << 0;
    QTest::newRow("numeric index never")
        << v1 << QStringLiteral(R"({"dependences":[{"index":2000,"subindex":"1","fieldname":"a","action":"enable","values":["1"]}]})")
        << -1 << -1;
    QTest::newRow("other object") << v1 << one("2001", "a", "enable", R"("1")") << -1 << -1;
}

void TstRules::evaluate()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, ruleText);
    QFETCH(int, expectEnabled);
    QFETCH(int, expectVisible);

    const SPCustomParam watched = paramAt(QStringLiteral("2000"), QStringLiteral("1"), value);
    SingleParamUIController ctl(paramAt(QStringLiteral("3000"), QStringLiteral("0"), QByteArray(3, 0)),
                                parseDependences(ruleText));
    QSignalSpy enabled(&ctl, &SingleParamUIController::signalSetWgtEnabled);
    QSignalSpy visible(&ctl, &SingleParamUIController::signalSetWgtVisible);
    ctl.slotExecDependentAction(watched);

    QCOMPARE(enabled.count(), expectEnabled < 0 ? 0 : 1);
    QCOMPARE(visible.count(), expectVisible < 0 ? 0 : 1);
    if (expectEnabled >= 0)
        QCOMPARE(enabled.at(0).at(0).toBool(), expectEnabled == 1);
    if (expectVisible >= 0)
        QCOMPARE(visible.at(0).at(0).toBool(), expectVisible == 1);
    const int expected = qMax(expectEnabled, expectVisible);
    QCOMPARE(ctl.isActive(), expected != 0);
}

void TstRules::enableRulesCombineAcrossObjects_data()
{
    QTest::addColumn<QString>("secondSub");
    QTest::addColumn<QList<bool>>("results");
    // Sequence: second object 0, first object 1, second object 1.
    QTest::newRow("other index and sub-index combine") << "2" << QList<bool>{false, false, true};
    QTest::newRow("same sub-index does not combine") << "1" << QList<bool>{false, true, true};
}

void TstRules::enableRulesCombineAcrossObjects()
{
    QFETCH(QString, secondSub);
    QFETCH(QList<bool>, results);
    const QList<stDependence> rules = {
        rule(QStringLiteral("2000"), QStringLiteral("1"), QStringLiteral("a"), RuleActionEnable, {"1"}),
        rule(QStringLiteral("2001"), secondSub, QStringLiteral("a"), RuleActionEnable, {"1"}),
        rule(QStringLiteral("2000"), QStringLiteral("1"), QStringLiteral("a"), 2, {"1"}), // does nothing
    };
    SingleParamUIController ctl(paramAt(QStringLiteral("3000"), QStringLiteral("0"), QByteArray(3, 0)), rules);
    QSignalSpy enabled(&ctl, &SingleParamUIController::signalSetWgtEnabled);
    QSignalSpy visible(&ctl, &SingleParamUIController::signalSetWgtVisible);
    const SPCustomParam first = paramAt(QStringLiteral("2000"), QStringLiteral("1"), QByteArray::fromHex("010000"));
    const SPCustomParam second = paramAt(QStringLiteral("2001"), secondSub, QByteArray::fromHex("000000"));

    ctl.slotExecDependentAction(second);
    ctl.slotExecDependentAction(first);
    second->setValue(QByteArray::fromHex("010000"));
    ctl.slotExecDependentAction(second);

    QCOMPARE(enabled.count(), 3);
    QList<bool> got;
    for (const auto &args : enabled)
        got << args.at(0).toBool();
    QCOMPARE(got, results);
    QCOMPARE(visible.count(), 0);
}

QTEST_MAIN(TstRules)
#include "tst_rules.moc"
