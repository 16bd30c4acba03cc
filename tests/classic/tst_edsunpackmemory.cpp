// The memory the EDS helper takes. A stream whose block header asks for a
// model past the bound is refused as damaged before any of it is taken; a
// stream whose model just fits is written whole under the helper's address
// limit; no single-bit damage to the header of a level-5 stream takes the
// helper past its bound. Each helper's peak resident set is measured as
// peakrss (a small process of its own) sees it.
#include "boundprocess.h"
#include "classic/classichost.h"
#include "classic/edsunpack.h"
#include "zpaqpacking.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <set>

namespace {
const int kMiB = 1024 * 1024;

QByteArray fixture()
{
    QFile f(QStringLiteral(QUILL_CLASSIC_DATA_DIR "/device.eds"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct HelperRun {
    bool ended = false; // within the wait
    int exitCode = -1;  // 128 + the signal when one ended it
    QString said;       // its standard error
    qint64 peakBytes = 0;
};

// The helper on `packed`, writing `output`, with `limitMs` of CPU time, as
// the application runs it, but forked by peakrss, which tells its peak.
// Ended should it not end within 10 s more on the wall clock.
HelperRun runHelper(const QByteArray& packed, const QString& output, int limitMs)
{
    HelperRun run;
    QTemporaryDir dir;
    const QString peakFile = dir.filePath(QStringLiteral("peak"));
    BoundProcess helper;
    helper.start(QStringLiteral(QUILL_PEAK_RSS), {peakFile, QStringLiteral(QUILL_EDS_UNPACKER), output,
                                                  QString::number(limitMs)});
    if (!helper.waitForStarted(5000))
        return run;
    helper.write(packed);
    helper.closeWriteChannel();
    run.ended = helper.waitForFinished(limitMs + 10000);
    if (!run.ended) {
        helper.kill();
        helper.waitForFinished(5000);
        return run;
    }
    run.exitCode = helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1;
    run.said = QString::fromUtf8(helper.readAllStandardError());
    run.peakBytes = contents(peakFile).trimmed().toLongLong();
    return run;
}

// The memory libzpaq reports for the stream's first block, or 0 when it
// cannot read the block's header.
double modelBytes(const QByteArray& stream)
{
    InZpaq in(stream.constData(), stream.size());
    libzpaq::Decompresser d;
    d.setInput(&in);
    double bytes = 0;
    try {
        if (!d.findBlock(&bytes))
            return 0;
    } catch (const char*) {
        return 0;
    }
    return bytes;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}
}

class TstEdsUnpackMemory : public QObject {
    Q_OBJECT
private slots:
    // The header of a short stream asks for the model; the data is packed
    // with a small one. Refused before the model is taken, the helper stays
    // far below the bound, and the application hears of a damaged stream.
    void modelPastTheBoundIsRefused_data()
    {
        QTest::addColumn<QByteArray>("config"); // "%1" the number the header says
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("mebibytes"); // what the model would take
        QTest::newRow("context model of 2^28 entries")
            << QByteArray("comp 0 0 0 0 1 0 cm %1 255 hcomp halt end") << 28 << 1024;
        QTest::newRow("context model of 2^32 entries")
            << QByteArray("comp 0 0 0 0 1 0 cm %1 255 hcomp halt end") << 32 << 16384;
        QTest::newRow("model program's H of 2^28 words")
            << QByteArray("comp %1 0 0 0 1 0 cm 12 255 hcomp halt end") << 28 << 1024;
    }
    void modelPastTheBoundIsRefused()
    {
        QFETCH(QByteArray, config);
        QFETCH(int, value);
        QFETCH(int, mebibytes);
        const QByteArray packed = streamAskingFor(fixture().left(60), config.constData(), value);
        QVERIFY(!packed.isEmpty());
        const QString reason = QStringLiteral("модели распаковки нужно %1 МиБ памяти, допустимо %2 МиБ")
                                   .arg(mebibytes)
                                   .arg(kEdsUnpackModelBytes / kMiB);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.eds"));

        const HelperRun run = runHelper(packed, path, ClassicHost().edsUnpackLimitMs);
        QVERIFY(run.ended);
        const QString peak =
            megabytes(run.peakBytes) + QStringLiteral(" at the peak, a stream of %1 bytes").arg(packed.size());
        QVERIFY2(run.peakBytes < kEdsUnpackModelBytes / 4, qPrintable(peak));
        qInfo("%s", qPrintable(peak));
        QCOMPARE(run.exitCode, int(kUnpackDamaged));
        QCOMPARE(run.said, reason);

        const EdsUnpackOutcome outcome =
            unpackEdsInHelper(QStringLiteral(QUILL_EDS_UNPACKER), packed, path, ClassicHost().edsUnpackLimitMs);
        QCOMPARE(int(outcome.result), int(EdsUnpackOutcome::Damaged));
        QCOMPARE(outcome.reason, reason);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // A model as large as the bound allows still has room under the
    // helper's address limit: the text comes out whole.
    void modelJustUnderTheBoundIsWritten()
    {
        // 128 + 64 + 32 + 16 MiB
        const char* config = "comp 0 0 0 0 4 0 cm 25 255 1 icm 20 2 cm 23 255 3 cm 22 255 hcomp halt end";
        const QByteArray text = fixture();
        const QByteArray packed = packWithModel(text, config);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.eds"));
        const HelperRun run = runHelper(packed, path, ClassicHost().edsUnpackLimitMs);
        QVERIFY(run.ended);
        QCOMPARE(run.exitCode, int(kUnpackWritten));
        QCOMPARE(contents(path), text);
        QVERIFY2(run.peakBytes < kEdsUnpackAddressSpaceBytes, qPrintable(megabytes(run.peakBytes)));
        qInfo("%s at the peak", qPrintable(megabytes(run.peakBytes)));
    }

    // Every bit of a level-5 block's header flipped in turn: each model size
    // that makes, larger than the stream's own, goes to the helper, which
    // refuses it, taking none of it, when it is past the bound, and otherwise
    // stays under its address limit. The data is cut short after the header,
    // so that each run ends soon after the model is taken.
    void headerBitFlipsStayUnderTheBound()
    {
        const QByteArray full = pack(fixture(), "5");
        // The block's "zPQ", level and type; then the header's size in two
        // bytes, and the header.
        const int header = full.indexOf("zPQ") + 5;
        QVERIFY(header >= 5);
        const int headerEnd = header + 2 + quint8(full[header]) + 256 * quint8(full[header + 1]);
        QVERIFY(headerEnd < full.size());
        const QByteArray stream = full.left(headerEnd + 256);
        const double own = modelBytes(stream);
        QVERIFY(own > 0);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.eds"));
        std::set<double> sizes; // in MiB
        int refused = 0;
        qint64 peak = 0;
        for (int at = header; at < headerEnd; ++at) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray flipped = stream;
                flipped[at] = char(flipped[at] ^ (1 << bit));
                const double model = modelBytes(flipped);
                if (model <= own || !sizes.insert(std::round(model / kMiB)).second)
                    continue;
                const HelperRun run = runHelper(flipped, path, 1000);
                const QString where = QStringLiteral("byte %1 bit %2, a model of %3: ")
                                          .arg(at - header)
                                          .arg(bit)
                                          .arg(megabytes(qint64(std::min(model, 1e18))));
                QVERIFY2(run.ended, qPrintable(where + "not ended"));
                QVERIFY2(run.exitCode != kUnpackWritten, qPrintable(where + "written"));
                if (model > kEdsUnpackModelBytes) {
                    ++refused;
                    QVERIFY2(run.peakBytes < kEdsUnpackModelBytes / 4, qPrintable(where + megabytes(run.peakBytes)));
                    QVERIFY2(run.said.startsWith(QStringLiteral("модели распаковки нужно")), qPrintable(where + run.said));
                }
                QVERIFY2(run.peakBytes < kEdsUnpackAddressSpaceBytes, qPrintable(where + megabytes(run.peakBytes)));
                peak = std::max(peak, run.peakBytes);
            }
        }
        QVERIFY(refused > 0 && refused < int(sizes.size()));
        qInfo("%d flips, %d sizes of a larger model, %d past the bound; the highest peak %s",
              (headerEnd - header) * 8, int(sizes.size()), refused, qPrintable(megabytes(peak)));
    }
};

QTEST_GUILESS_MAIN(TstEdsUnpackMemory)
#include "tst_edsunpackmemory.moc"
