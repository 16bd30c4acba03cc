#include "pages/customparam.h"
#include "pairtype.h"

#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <thread>

namespace {

SPCustomParam makeParam(const QSharedPointer<ParamDataType> &type = pairType())
{
    return SPCustomParam::create(QStringLiteral("2000"), QStringLiteral("1"), QStringLiteral("p"), type,
                                 true, false);
}

class Sender : public QObject
{
    Q_OBJECT
signals:
    void sent(SPCustomParam param);
};

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void take(SPCustomParam param) { received = param; }

public:
    SPCustomParam received;
};

} // namespace

Q_DECLARE_METATYPE(CustomParam::ReadResult)

class TstCustomParam : public QObject
{
    Q_OBJECT
private slots:
    void fieldEditMarksAndKeepsOtherFields();
    void refusedEditChangesNothing_data();
    void refusedEditChangesNothing();
    void storeReadValue_data();
    void storeReadValue();
    void copyForWriteKeepsIdentity();
    void editsAgainstDeviceValue_data();
    void editsAgainstDeviceValue();
    void travelsInQueuedSignals();
    void concurrentEditsAndReads();
};

void TstCustomParam::fieldEditMarksAndKeepsOtherFields()
{
    const SPCustomParam p = makeParam();
    QVERIFY(p->value().isEmpty());
    QVERIFY(!p->edited());
    QCOMPARE(p->storeReadValue(QByteArray::fromHex("1122")), CustomParam::ReadResult::Changed);

    QString error;
    QVERIFY2(p->writeField(QStringLiteral("hi"), QStringLiteral("255"), &error), qPrintable(error));
    QCOMPARE(p->value().toHex(), QByteArray("11ff"));
    QVERIFY(p->edited());
    QCOMPARE(p->readField(QStringLiteral("lo")), QVariant::fromValue(quint8(0x11)));
    QCOMPARE(p->readField(QStringLiteral("hi")), QVariant::fromValue(quint8(0xff)));
}

void TstCustomParam::refusedEditChangesNothing_data()
{
    QTest::addColumn<bool>("withType");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("input");

    QTest::newRow("never read") << true << QByteArray() << "lo" << QVariant(1);
    QTest::newRow("not a number") << true << QByteArray::fromHex("1122") << "lo" << QVariant("x1");
    QTest::newRow("out of range") << true << QByteArray::fromHex("1122") << "hi" << QVariant("256");
    QTest::newRow("undefined field") << true << QByteArray::fromHex("1122") << "mid" << QVariant(1);
    QTest::newRow("value shorter than the field") << true << QByteArray::fromHex("11") << "hi" << QVariant(1);
    QTest::newRow("no data type") << false << QByteArray::fromHex("1122") << "lo" << QVariant(1);
}

void TstCustomParam::refusedEditChangesNothing()
{
    QFETCH(bool, withType);
    QFETCH(QByteArray, value);
    QFETCH(QString, field);
    QFETCH(QVariant, input);

    const SPCustomParam p = makeParam(withType ? pairType() : QSharedPointer<ParamDataType>());
    p->setValue(value);
    QString error;
    QVERIFY(!p->writeField(field, input, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(p->value(), value);
    QVERIFY(!p->edited());
}

void TstCustomParam::storeReadValue_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<CustomParam::ReadResult>("result");
    QTest::addColumn<QByteArray>("after");

    const QByteArray ab = QByteArray::fromHex("0a0b");
    QTest::newRow("first read, no bytes") << QByteArray() << false << QByteArray()
                                          << CustomParam::ReadResult::Changed << QByteArray();
    QTest::newRow("first read") << QByteArray() << false << ab << CustomParam::ReadResult::Changed << ab;
    QTest::newRow("same bytes") << ab << false << ab << CustomParam::ReadResult::Unchanged << ab;
    QTest::newRow("other bytes") << ab << false << QByteArray::fromHex("0a0c")
                                 << CustomParam::ReadResult::Changed << QByteArray::fromHex("0a0c");
    QTest::newRow("other length") << ab << false << QByteArray::fromHex("0a")
                                  << CustomParam::ReadResult::Changed << QByteArray::fromHex("0a");
    QTest::newRow("edited value stays") << ab << true << QByteArray::fromHex("ffff")
                                        << CustomParam::ReadResult::SkippedEdited << ab;
}

void TstCustomParam::storeReadValue()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, edited);
    QFETCH(QByteArray, read);
    QFETCH(CustomParam::ReadResult, result);
    QFETCH(QByteArray, after);

    const SPCustomParam p = makeParam();
    p->setValue(stored);
    p->setEdited(edited);
    QCOMPARE(p->storeReadValue(read), result);
    QCOMPARE(p->value(), after);
    QCOMPARE(p->edited(), edited);
}

void TstCustomParam::copyForWriteKeepsIdentity()
{
    const SPCustomParam p = makeParam();
    QCOMPARE(p->storeReadValue(QByteArray::fromHex("0000")), CustomParam::ReadResult::Changed);
    QVERIFY(p->writeField(QStringLiteral("lo"), 1));

    QByteArray pending;
    QVERIFY(p->editedValue(&pending));
    const std::unique_ptr<CustomParam> copy = p->cloneForWrite();
    QCOMPARE(copy->index(), p->index());
    QCOMPARE(copy->subindex(), p->subindex());
    QCOMPARE(copy->name(), p->name());
    QCOMPARE(copy->dataType(), p->dataType());
    QCOMPARE(copy->loggingEnabled(), p->loggingEnabled());
    QCOMPARE(copy->exportEnabled(), p->exportEnabled());
    QCOMPARE(copy->value(), pending);
    QCOMPARE(copy->deviceValue(), QByteArray::fromHex("0000"));
    QCOMPARE(copy->writeShare().changed, p->writeShare().changed);
    QVERIFY(!copy->edited());
    QByteArray untouched("keep");
    QVERIFY(!copy->editedValue(&untouched));
    QCOMPARE(untouched, QByteArray("keep"));
}

// The record against the last value known from the device: read 00 00, then
// the steps of a row ("lo=N"/"hi=N" field edits, "import XXXX", "cancel",
// "fail", "wrote XXXX" for a write that left XXXX in the object, "edit after
// save" edits that come while the write saved before them is in flight).
void TstCustomParam::editsAgainstDeviceValue_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QByteArray>("changed"); // what a save now would carry

    QTest::newRow("field edit changes its whole field") << QStringList{"lo=1"} << QByteArray::fromHex("0100")
        << QByteArray::fromHex("0000") << true << QByteArray::fromHex("ff00");
    QTest::newRow("edit back to the device value still counts") << QStringList{"lo=1", "lo=0"}
        << QByteArray::fromHex("0000") << QByteArray::fromHex("0000") << true << QByteArray::fromHex("ff00");
    QTest::newRow("import changes the differing bits") << QStringList{"import 0300"} << QByteArray::fromHex("0300")
        << QByteArray::fromHex("0000") << false << QByteArray::fromHex("0300");
    QTest::newRow("cancel puts the device value back") << QStringList{"lo=7", "cancel"}
        << QByteArray::fromHex("0000") << QByteArray::fromHex("0000") << false << QByteArray::fromHex("0000");
    QTest::newRow("cancel, then another field") << QStringList{"lo=7", "cancel", "hi=9"}
        << QByteArray::fromHex("0009") << QByteArray::fromHex("0000") << true << QByteArray::fromHex("00ff");
    QTest::newRow("saved, edited, cancelled") << QStringList{"lo=7", "save", "wrote 0700", "hi=9", "cancel"}
        << QByteArray::fromHex("0700") << QByteArray::fromHex("0700") << false << QByteArray::fromHex("0000");
    QTest::newRow("failed write puts the device value back") << QStringList{"lo=7", "save", "fail"}
        << QByteArray::fromHex("0000") << QByteArray::fromHex("0000") << false << QByteArray::fromHex("0000");
    QTest::newRow("write carrying another record's edit") << QStringList{"lo=7", "save", "wrote 0709"}
        << QByteArray::fromHex("0709") << QByteArray::fromHex("0709") << false << QByteArray::fromHex("0000");
    QTest::newRow("edit during the write keeps it over the new value")
        << QStringList{"lo=7", "save", "hi=2", "wrote 0709"} << QByteArray::fromHex("0702")
        << QByteArray::fromHex("0709") << true << QByteArray::fromHex("ffff");
    QTest::newRow("failed write keeps a later edit") << QStringList{"lo=7", "save", "hi=2", "fail"}
        << QByteArray::fromHex("0702") << QByteArray::fromHex("0000") << true << QByteArray::fromHex("ffff");
}

void TstCustomParam::editsAgainstDeviceValue()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, device);
    QFETCH(bool, edited);
    QFETCH(QByteArray, changed);
    const SPCustomParam p = makeParam();
    p->storeReadValue(QByteArray::fromHex("0000"));
    QByteArray saved;
    for (const QString &step : steps) {
        if (step.contains('=')) {
            QVERIFY(p->writeField(step.section('=', 0, 0), step.section('=', 1).toInt()));
        } else if (step.startsWith("import ")) {
            p->setValue(QByteArray::fromHex(step.mid(7).toLatin1()));
        } else if (step == "cancel") {
            p->revertToDeviceValue();
        } else if (step == "save") {
            saved = p->value();
        } else if (step == "fail") {
            p->revertIfValue(saved);
        } else if (step.startsWith("wrote ")) {
            p->wroteValue(saved, QByteArray::fromHex(step.mid(6).toLatin1()), nextDeviceValueStamp());
        }
    }
    QCOMPARE(p->value().toHex(), value.toHex());
    QCOMPARE(p->deviceValue().toHex(), device.toHex());
    QCOMPARE(p->edited(), edited);
    QCOMPARE(p->writeShare().changed.toHex(), changed.toHex());
}

void TstCustomParam::travelsInQueuedSignals()
{
    registerCustomParamMetaType();
    registerCustomParamMetaType();
    QVERIFY(QMetaType::type("SPCustomParam") != QMetaType::UnknownType);

    Sender sender;
    Receiver receiver;
    QVERIFY(connect(&sender, SIGNAL(sent(SPCustomParam)), &receiver, SLOT(take(SPCustomParam)),
                    Qt::QueuedConnection));

    // Emitted on a worker thread, as the data source's workers do.
    const SPCustomParam p = makeParam();
    std::thread worker([&sender, p] { emit sender.sent(p); });
    worker.join();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.received, p, 5000);
}

// The load worker stores reads while the GUI thread writes fields; the mutex keeps each
// value whole (run under ThreadSanitizer to see the locking).
void TstCustomParam::concurrentEditsAndReads()
{
    const SPCustomParam p = makeParam();
    p->setValue(QByteArray::fromHex("0000"));
    std::atomic<bool> stop{false};

    std::thread reader([&] {
        const QByteArray a = QByteArray::fromHex("aaaa");
        const QByteArray b = QByteArray::fromHex("bbbb");
        for (int i = 0; !stop; ++i) {
            p->storeReadValue(i % 2 ? a : b);
            p->wroteValue(a, a, nextDeviceValueStamp());
        }
    });
    // Stops the reader also when a check below fails and returns early.
    const auto stopReader = qScopeGuard([&] {
        stop = true;
        reader.join();
    });
    for (int i = 0; i < 2000; ++i) {
        QVERIFY(p->writeField(QStringLiteral("lo"), i % 256));
        const QByteArray v = p->value();
        QCOMPARE(v.size(), 2);
    }
}

QTEST_GUILESS_MAIN(TstCustomParam)
#include "tst_customparam.moc"
