// The Modbus register layout of classic records: merging registers read from
// the device, the words written back, and how a register list is cut into
// requests.
#include "classic/registervalues.h"
#include "records.h"

#include <QTest>

namespace {
void mergeWords(ParamEntryMap& map, const QString& name, const QList<int>& words)
{
    const int begin = map.find(name)->addressBegin;
    for (int i = 0; i < words.size(); ++i)
        mergeRegisterWord(map, name, quint16(words[i]), begin + i);
}

// "10-37" lists registers 10..37 each as a record of its own; "B38-41" lists
// 38..41 as the one record B.
RegisterList listOf(const QString& layout)
{
    RegisterList list;
    for (const QString& token : layout.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool one = token[0].isLetter();
        const QStringList range = (one ? token.mid(1) : token).split(QLatin1Char('-'));
        const int first = range[0].toInt();
        const int last = range.value(1, range[0]).toInt();
        for (int a = first; a <= last; ++a)
            list.append({one ? token.left(1) : QString::number(a), a, 0});
    }
    return list;
}

QString runsText(const QVector<RegisterRun>& runs)
{
    QStringList out;
    for (const RegisterRun& run : runs)
        out << QStringLiteral("%1+%2%3").arg(run.address).arg(run.count).arg(run.tooLong ? "!" : "");
    return out.join(QLatin1Char(' '));
}
}

class TstRegisterValues : public QObject {
    Q_OBJECT
private slots:
    void merge_data()
    {
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("registers");
        QTest::addColumn<QList<int>>("words");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<bool>("flag");
        QTest::newRow("int 2 regs -1") << 2 << 2 << QList<int>{0xFFFF, 0xFFFF} << "-1" << qint64(0xFFFFFFFF) << false;
        QTest::newRow("uint 2 regs") << 3 << 2 << QList<int>{0xFFFF, 0xFFFF} << "4294967295" << qint64(0xFFFFFFFF)
                                     << false;
        QTest::newRow("int 1 reg -1") << 2 << 1 << QList<int>{0xFFFF} << "-1" << qint64(0xFFFF) << false;
        QTest::newRow("int 3 regs whole 64 bits") << 2 << 3 << QList<int>{0xFFFF, 0xFFFF, 0xFFFF} << "281474976710655"
                                                  << qint64(0xFFFFFFFFFFFF) << false;
        QTest::newRow("int 4 regs -2") << 2 << 4 << QList<int>{0xFFFE, 0xFFFF, 0xFFFF, 0xFFFF} << "-2" << qint64(-2)
                                       << false;
        QTest::newRow("int before its last register") << 2 << 2 << QList<int>{0xFFFF} << "65535" << qint64(0xFFFF)
                                                      << false;
        QTest::newRow("simplefloat 123") << 5 << 1 << QList<int>{123} << "12.3" << qint64(123) << false;
        QTest::newRow("hex 2 regs") << 1 << 2 << QList<int>{0x1234, 0xABCD} << "1234abcd" << qint64(0) << false;
        QTest::newRow("hex pads") << 1 << 1 << QList<int>{0x00a} << "000a" << qint64(0) << false;
        QTest::newRow("float 1.5") << 4 << 2 << QList<int>{0x0000, 0x3FC0} << "1.5" << qint64(0x3FC00000) << false;
        // Every digit that tells the value from its neighbours, no more.
        QTest::newRow("float, all 24 mantissa bits") << 4 << 2 << QList<int>{0xFFFF, 0x3F7F} << "0.99999994"
                                                     << qint64(0x3F7FFFFF) << false;
        QTest::newRow("float 1.2349595e-07") << 4 << 2 << QList<int>{0x9A4F, 0x3404} << "1.2349595e-07"
                                             << qint64(0x34049A4F) << false;
        QTest::newRow("double, 14 digits") << 6 << 4 << QList<int>{0xF4C6, 0x3746, 0x9ADD, 0x3FBF} << "0.12345678901234"
                                           << qint64(0x3FBF9ADD3746F4C6) << false;
        QTest::newRow("double 2.5") << 6 << 4 << QList<int>{0, 0, 0, 0x4004} << "2.5" << qint64(0x4004000000000000)
                                    << false;
        QTest::newRow("binary") << 8 << 1 << QList<int>{5} << "5" << qint64(5) << false;
        QTest::newRow("bool 1") << 7 << 1 << QList<int>{1} << "" << qint64(0) << true;
        QTest::newRow("bool 2 is not true") << 7 << 1 << QList<int>{2} << "" << qint64(0) << false;
        QTest::newRow("no type") << 0 << 1 << QList<int>{77} << "" << qint64(77) << false;
    }
    void merge()
    {
        QFETCH(int, dataType);
        QFETCH(int, registers);
        QFETCH(QList<int>, words);
        QFETCH(QString, text);
        QFETCH(qint64, raw);
        QFETCH(bool, flag);
        ParamEntryMap map;
        ParamEntry& e = addRecord(map, QStringLiteral("P"), dataType, 20, registers > 1 ? 20 + registers - 1 : -1);
        // A stale value is cleared at the first register.
        e.currentText = QStringLiteral("stale");
        e.currentRaw = 0x7777777777777777;
        e.currentBool = true;
        mergeWords(map, QStringLiteral("P"), words);
        QCOMPARE(e.currentText, text);
        QCOMPARE(e.currentRaw, raw);
        QCOMPARE(e.currentBool, flag);
    }

    void mergeSetsBitChildren()
    {
        ParamEntryMap map;
        ParamEntry& parent = addRecord(map, QStringLiteral("P"), 8, 0, 3);
        const QList<int> bits{0, 1, 33, 63};
        for (int bit : bits) {
            const QString name = QStringLiteral("Pbi%1").arg(bit);
            ParamEntry& child = addRecord(map, name, 7, -1, -1);
            child.bitIndex = bit;
            child.currentBool = true;
            parent.childNames << name;
        }
        mergeWords(map, QStringLiteral("P"), {0x0001, 0x0000, 0x0002, 0x8000});
        QCOMPARE(map.find("Pbi0")->currentBool, true);
        QCOMPARE(map.find("Pbi1")->currentBool, false);
        QCOMPARE(map.find("Pbi33")->currentBool, true);
        QCOMPARE(map.find("Pbi63")->currentBool, true);
        QCOMPARE(map.find("Pbi63")->currentRaw, qint64(1));
        QCOMPARE(map.find("Pbi1")->currentRaw, qint64(0));
    }

    void blockRegistersGoToTheirMembers()
    {
        ParamEntryMap map;
        ParamEntry& block = addRecord(map, QStringLiteral("Blk"), 0, 10, 13);
        block.blockMembers << QStringLiteral("M1") << QStringLiteral("M2");
        addRecord(map, QStringLiteral("M1"), 3, 11, -1);
        addRecord(map, QStringLiteral("M2"), 2, 12, 13);
        for (int a = 10; a <= 13; ++a)
            mergeRegisterWord(map, QStringLiteral("Blk"), quint16(a == 10 ? 9 : 0xFFFF), a);
        QCOMPARE(map.find("M1")->currentText, QStringLiteral("65535"));
        QCOMPARE(map.find("M2")->currentText, QStringLiteral("-1"));
        QCOMPARE(block.currentRaw, qint64(9)); // register 10 belongs to no member
    }

    void mergeIntoMissingRecordChangesNothing()
    {
        ParamEntryMap map;
        addRecord(map, QStringLiteral("P"), 2, 1, -1);
        mergeRegisterWord(map, QStringLiteral("gone"), 5, 1);
        QCOMPARE(map.size(), 1);
        QCOMPARE(map.find("P")->currentRaw, qint64(0));
    }

    void words_data()
    {
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QVector<quint16>>("words");
        QTest::newRow("hex") << 1 << 21 << "1234abcd" << qint64(0) << QVector<quint16>{0x1234, 0xABCD};
        QTest::newRow("hex short text") << 1 << 21 << "12" << qint64(0) << QVector<quint16>{0x12, 0};
        QTest::newRow("int low word first") << 2 << 21 << "" << qint64(0x00010002) << QVector<quint16>{2, 1};
        QTest::newRow("one register") << 3 << -1 << "" << qint64(0x00010002) << QVector<quint16>{2};
        QTest::newRow("past 64 bits") << 3 << 24 << "" << qint64(-1)
                                      << QVector<quint16>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0};
    }
    void words()
    {
        QFETCH(int, dataType);
        QFETCH(int, end);
        QFETCH(QString, text);
        QFETCH(qint64, raw);
        QFETCH(QVector<quint16>, words);
        ParamEntryMap map;
        ParamEntry& e = addRecord(map, QStringLiteral("P"), dataType, 20, end);
        e.currentText = text;
        e.currentRaw = raw;
        const RegisterWords out = recordWords(e);
        QCOMPARE(out.address, 20);
        QCOMPARE(out.words, words);
    }

    void blockWordsPlaceMembersByAddress()
    {
        ParamEntryMap map;
        ParamEntry& block = addRecord(map, QStringLiteral("Blk"), 0, 10, 13);
        block.blockMembers << QStringLiteral("M2") << QStringLiteral("M1") << QStringLiteral("gone");
        addRecord(map, QStringLiteral("M1"), 3, 11, -1).currentRaw = 7;
        addRecord(map, QStringLiteral("M2"), 2, 12, 13).currentRaw = 0x00050006;
        const RegisterWords out = wordsOf(block);
        QCOMPARE(out.address, 10);
        QCOMPARE(out.words, (QVector<quint16>{0, 7, 6, 5}));
        QCOMPARE(map.size(), 3); // the missing member was not made
    }

    void runs_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("maxRun");
        QTest::addColumn<int>("longest");
        QTest::addColumn<QString>("runs");
        QTest::newRow("two runs") << "10-45" << 30 << 125 << "10+30 40+6";
        QTest::newRow("block moves the cut") << "10-37 B38-41 42-45" << 30 << 125 << "10+28 38+8";
        QTest::newRow("record ending the run") << "10-38 R39-40" << 30 << 125 << "10+29 39+2";
        QTest::newRow("gap ends a run") << "10-11 20" << 30 << 125 << "10+2 20+1";
        QTest::newRow("overlap ends a run") << "10-11 11" << 30 << 125 << "10+2 11+1";
        QTest::newRow("long record goes alone") << "10-12 B13-17 18" << 3 << 125 << "10+3 13+5 18+1";
        QTest::newRow("longest read") << "B0-124" << 30 << 125 << "0+125";
        QTest::newRow("too long to read") << "1 B2-127 128" << 30 << 125 << "1+1 2+126! 128+1";
        QTest::newRow("too long to write") << "B0-123" << 30 << 123 << "0+124!";
        QTest::newRow("run bound above the protocol's") << "0-199" << 500 << 125 << "0+125 125+75";
        QTest::newRow("empty") << "" << 30 << 125 << "";
    }
    void runs()
    {
        QFETCH(QString, list);
        QFETCH(int, maxRun);
        QFETCH(int, longest);
        QFETCH(QString, runs);
        QCOMPARE(runsText(registerRuns(listOf(list), maxRun, longest)), runs);
    }
};

QTEST_GUILESS_MAIN(TstRegisterValues)
#include "tst_registervalues.moc"
