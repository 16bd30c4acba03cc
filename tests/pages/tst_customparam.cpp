#include "pages/customparam.h"
#include "pairtype.h"

#include <QScopeGuard>
#include <QtTest>
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
    void saveClearsMarkOnlyForTheWrittenValue();
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

void TstCustomParam::saveClearsMarkOnlyForTheWrittenValue()
{
    const SPCustomParam p = makeParam();
    p->setValue(QByteArray::fromHex("0000"));
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
    QVERIFY(!copy->edited());

    // The user edits again while the copy is being written: the new edit keeps its mark.
    QVERIFY(p->writeField(QStringLiteral("hi"), 2));
    QVERIFY(!p->clearEditedIfValue(copy->value()));
    QVERIFY(p->edited());
    QCOMPARE(p->value().toHex(), QByteArray("0102"));

    // The write of the current value clears it.
    QVERIFY(p->clearEditedIfValue(p->value()));
    QVERIFY(!p->edited());
    QByteArray untouched("keep");
    QVERIFY(!p->editedValue(&untouched));
    QCOMPARE(untouched, QByteArray("keep"));
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
            p->clearEditedIfValue(a);
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
