// The classic parameter record, its map and the register lists built from it.
#include "classic/paramentry.h"
#include "records.h"

#include <QTest>

namespace {
// One record at `begin`..`end` of the given kind, in a map of its own.
void addKind(ParamEntryMap& map, const QString& name, int begin, int end, const QString& kind)
{
    ParamEntry& e = addRecord(map, name, 0, begin, end);
    e.readOnly = kind == QLatin1String("read-only");
    e.constant = kind == QLatin1String("constant");
    e.bitIndex = kind == QLatin1String("bit") ? 2 : -1;
}

QList<int> addresses(const RegisterList& list)
{
    QList<int> out;
    for (const RegisterEntry& entry : list)
        out << entry.address;
    return out;
}
}

class TstParamEntry : public QObject {
    Q_OBJECT
private slots:
    void defaults()
    {
        const ParamEntry e;
        QVERIFY(e.name.isNull());
        QVERIFY(e.caption.isNull());
        QVERIFY(e.minValue.isNull());
        QVERIFY(e.maxValue.isNull());
        QVERIFY(e.valueText.isNull());
        QVERIFY(!e.description.isNull() && e.description.isEmpty());
        QVERIFY(!e.currentText.isNull() && e.currentText.isEmpty());
        QVERIFY(!e.parentName.isNull() && e.parentName.isEmpty());
        QCOMPARE(e.objectSubIndex, QStringLiteral("0"));
        QVERIFY(e.expanded);
        QVERIFY(e.visible);
        QCOMPARE(e.addressBegin, -1);
        QCOMPARE(e.addressEnd, -1);
        QCOMPARE(e.bitIndex, -1);
        QCOMPARE(e.channelIndex, -1);
    }

    void lookUpNeverInserts()
    {
        ParamEntryMap map;
        map.insert(QStringLiteral("A"));
        QVERIFY(!map.find(QStringLiteral("missing")));
        QVERIFY(!static_cast<const ParamEntryMap&>(map).find(QStringLiteral("missing")));
        QVERIFY(!map.contains(QStringLiteral("missing")));
        QCOMPARE(map.size(), 1);
    }

    void replacingKeepsTheRecordInPlace()
    {
        ParamEntryMap map;
        ParamEntry& first = map.insert(QStringLiteral("A"));
        first.caption = QStringLiteral("old");
        first.childNames << QStringLiteral("x");

        ParamEntry other;
        other.caption = QStringLiteral("new");
        ParamEntry& second = map.insert(QStringLiteral("A"), other);
        QCOMPARE(&second, &first); // pointers held elsewhere stay valid
        QCOMPARE(second.caption, QStringLiteral("new"));
        QVERIFY(second.childNames.isEmpty()); // replaced whole
        QCOMPARE(second.ownerMap, &map);
    }

    void keyOrderIsCodeUnitOrder()
    {
        ParamEntryMap map;
        for (const char* key : {"b", "B", "a", "0100A", "Ä"})
            map.insert(QString::fromUtf8(key));
        QCOMPARE(map.keys(), (QStringList{"0100A", "B", "a", "b", QString::fromUtf8("Ä")}));
    }

    void registerLists_data()
    {
        QTest::addColumn<int>("begin");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<int>>("all");
        QTest::addColumn<QList<int>>("writable");
        QTest::newRow("one register") << 5 << -1 << "plain" << QList<int>{5} << QList<int>{5};
        QTest::newRow("range") << 5 << 7 << "plain" << QList<int>{5, 6, 7} << QList<int>{5, 6, 7};
        QTest::newRow("end below begin") << 5 << 3 << "plain" << QList<int>{5} << QList<int>{5};
        QTest::newRow("no register") << -1 << 4 << "plain" << QList<int>{} << QList<int>{};
        QTest::newRow("read-only") << 5 << 6 << "read-only" << QList<int>{5, 6} << QList<int>{};
        QTest::newRow("constant") << 5 << -1 << "constant" << QList<int>{5} << QList<int>{};
        QTest::newRow("bit child") << 5 << -1 << "bit" << QList<int>{5} << QList<int>{};
    }
    void registerLists()
    {
        QFETCH(int, begin);
        QFETCH(int, end);
        QFETCH(QString, kind);
        QFETCH(QList<int>, all);
        QFETCH(QList<int>, writable);
        ParamEntryMap map;
        addKind(map, QStringLiteral("P"), begin, end, kind);
        RegisterList list;
        registerList(map, list);
        QCOMPARE(addresses(list), all);
        for (const RegisterEntry& entry : list)
            QCOMPARE(entry.name, QStringLiteral("P"));
        RegisterList writableList;
        writableRegisterList(map, writableList);
        QCOMPARE(addresses(writableList), writable);
    }

    void blockCarriesItsMembersRange()
    {
        ParamEntryMap map;
        addKind(map, QStringLiteral("Blk"), 10, 11, QStringLiteral("plain"));
        map.find(QStringLiteral("Blk"))->blockMembers << QStringLiteral("M");
        addKind(map, QStringLiteral("M"), 10, 11, QStringLiteral("plain"));
        map.find(QStringLiteral("M"))->blockName = QStringLiteral("Blk");
        addKind(map, QStringLiteral("Z"), 2, -1, QStringLiteral("plain"));
        RegisterList list;
        registerList(map, list);
        sortRegisterList(list);
        QCOMPARE(addresses(list), (QList<int>{2, 10, 11}));
        QCOMPARE(list[1].name, QStringLiteral("Blk"));
    }
};

QTEST_GUILESS_MAIN(TstParamEntry)
#include "tst_paramentry.moc"
