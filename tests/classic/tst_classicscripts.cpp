// Formulas of the classic pages: references rewritten to "<name>.value" and
// the records they read collected.
#include "classic/classicscripts.h"
#include "records.h"

#include <QTest>

class TstClassicScripts : public QObject {
    Q_OBJECT
private slots:
    void entryFormula_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("expanded");
        QTest::addColumn<QStringList>("refs");
        QTest::newRow("same map") << "[&U1&]*2" << "U1.value*2" << QStringList{"U1"};
        QTest::newRow("own channel") << "{&U&}+1" << "Ui2.value+1" << QStringList{"Ui2"};
        QTest::newRow("channel copy missing") << "{&V&}+1" << "" << QStringList();
        QTest::newRow("no references") << "3*x" << "3*x" << QStringList();
        QTest::newRow("one reference twice, then another")
            << "[&U1&]+[&U1&]*{&U&}" << "U1.value+U1.value*Ui2.value" << QStringList{"U1", "Ui2"};
        QTest::newRow("a name missing after a found one") << "[&U1&]+[&W&]" << "" << QStringList();
    }
    void entryFormula()
    {
        QFETCH(QString, formula);
        QFETCH(QString, expanded);
        QFETCH(QStringList, refs);
        ParamEntryMap map;
        addRecord(map, "U1");
        addRecord(map, "Ui2");
        ParamEntry& r = addRecord(map, "R");
        r.channelIndex = 2;
        r.formulaRefs = {map.find("R")}; // rebuilt, not appended to
        QCOMPARE(expandEntryFormula(r, formula), expanded);
        QStringList names;
        for (const ParamEntry* e : r.formulaRefs)
            names << e->name;
        QCOMPARE(names, refs);
    }

    void scriptFormula_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("records");
        QTest::newRow("same map") << "[&U1&]*2" << true << "U1.value*2" << 1;
        QTest::newRow("channel form never resolves") << "[&U1&]+{&U&}" << false << "[&U1&]+{&U&}" << 0;
        QTest::newRow("missing name") << "[&W&]" << false << "[&W&]" << 0;
        QTest::newRow("no references") << "7" << true << "7" << 0;
    }
    void scriptFormula()
    {
        QFETCH(QString, formula);
        QFETCH(bool, ok);
        QFETCH(QString, after);
        QFETCH(int, records);
        ParamEntryMap map;
        addRecord(map, "U1");
        addRecord(map, "Ui2");
        QList<ParamEntry*> refs;
        QCOMPARE(expandScriptFormula(refs, map, formula), ok);
        QCOMPARE(formula, after);
        QCOMPARE(refs.size(), records);
    }
};

QTEST_GUILESS_MAIN(TstClassicScripts)
#include "tst_classicscripts.moc"
