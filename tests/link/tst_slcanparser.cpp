#include "link/slcanparser.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<QByteArray>)

namespace {
CanFrame frame(uint16_t id, QByteArray data)
{
    CanFrame f;
    f.id = id;
    f.len = uint8_t(data.size());
    for (int i = 0; i < data.size() && i < 8; ++i)
        f.data[i] = uint8_t(data[i]);
    return f;
}

// "id:hexdata" per frame, for compact tables.
QStringList describe(const CanFrame* frames, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QString::number(frames[i].id, 16) + ":"
                + QByteArray(reinterpret_cast<const char*>(frames[i].data), frames[i].len).toHex();
    return out;
}
}

class TstSlcanParser : public QObject {
    Q_OBJECT
private slots:
    void encode_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("sdo request") << 0x601 << QByteArray::fromHex("4000100000000000")
                                     << QByteArray("t60184000100000000000\r");
        QTest::newRow("empty") << 0x080 << QByteArray() << QByteArray("t0800\r");
        QTest::newRow("boot-up") << 0x701 << QByteArray::fromHex("00") << QByteArray("t701100\r");
        QTest::newRow("upper-case hex") << 0x7ff << QByteArray::fromHex("abcdef") << QByteArray("t7FF3ABCDEF\r");
    }
    void encode()
    {
        QFETCH(int, id);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, line);
        char out[SLCAN_MAX_LINE + 2];
        const CanFrame f = frame(uint16_t(id), data);
        QCOMPARE(slcanEncodeFrame(&f, out), line.size());
        QCOMPARE(QByteArray(out), line);
    }
    void encodeRefusesLength9()
    {
        CanFrame f;
        f.len = 9;
        char out[SLCAN_MAX_LINE + 2];
        QCOMPARE(slcanEncodeFrame(&f, out), -1);
    }

    // Each chunk is fed as one read; frames are taken after every read.
    void receive_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("frames");
        QTest::newRow("two lines in one read")
            << QList<QByteArray>{"t5818" + QByteArray(16, '0') + "\rt070105\r"}
            << QStringList{"581:0000000000000000", "70:05"};
        QTest::newRow("lower-case hex") << QList<QByteArray>{"t58a2beef\r"} << QStringList{"58a:beef"};
        QTest::newRow("length 9 dropped") << QList<QByteArray>{"t5819000000000000000000\rt0800\r"}
                                          << QStringList{"80:"};
        QTest::newRow("split across reads") << QList<QByteArray>{"t5814de", "adbe", "ef\r"}
                                            << QStringList{"581:deadbeef"};
        QTest::newRow("acks, bells and glued lines")
            << QList<QByteArray>{"z\r\a\rt1231aa\rz\rt4560\r"} << QStringList{"123:aa", "456:"};
        QTest::newRow("bell cuts a partial line") << QList<QByteArray>{"t12", "\at0011ff\r"} << QStringList{"1:ff"};
        QTest::newRow("short line dropped") << QList<QByteArray>{"t5812aa\rt5811bb\r"} << QStringList{"581:bb"};
        QTest::newRow("long line dropped") << QList<QByteArray>{"t5811bbcc\r"} << QStringList{};
        QTest::newRow("non-hex dropped") << QList<QByteArray>{"t58g1bb\rt5811zz\r"} << QStringList{};
        QTest::newRow("other line kinds") << QList<QByteArray>{"T0000058110\rr1230\rV1013\r"} << QStringList{};
        QTest::newRow("runaway noise then a frame")
            << QList<QByteArray>{QByteArray(3000, 'x'), "\rt0011ff\r"} << QStringList{"1:ff"};
        QTest::newRow("noise without line end before a frame")
            << QList<QByteArray>{QByteArray(40, '5') + "t0011ff\r", "t0021ee\r"} << QStringList{"2:ee"};
        QTest::newRow("cr lf tolerated") << QList<QByteArray>{"t0011ff\r\nt0021ee\r\n"} << QStringList{"1:ff", "2:ee"};
        QTest::newRow("nothing") << QList<QByteArray>{""} << QStringList{};
    }
    void receive()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, frames);
        SlcanLineParser parser;
        QStringList got;
        CanFrame out[50];
        for (const QByteArray& r : reads) {
            parser.feed(r.constData(), size_t(r.size()));
            got += describe(out, parser.takeFrames(out, 50));
        }
        QCOMPARE(got, frames);
        QVERIFY(parser.buffered() <= SLCAN_BUFFER_CAP);
    }

    void takeKeepsWhatDoesNotFit()
    {
        SlcanLineParser parser;
        const QByteArray three = "t0010\rt0020\rt0030\r";
        parser.feed(three.constData(), size_t(three.size()));
        CanFrame out[2];
        QCOMPARE(parser.takeFrames(out, 2), 2);
        QVERIFY(parser.hasLine());
        QCOMPARE(parser.takeFrames(out, 2), 1);
        QCOMPARE(out[0].id, uint16_t(3));
        QVERIFY(!parser.hasLine());
    }
};

QTEST_GUILESS_MAIN(TstSlcanParser)
#include "tst_slcanparser.moc"
