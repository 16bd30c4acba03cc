// The EDS a device carries in 0x1021 (packed with libzpaq, its checksum in
// 0x2000 sub-index 6), read from a simulated device over a pty into a cache
// in a temporary application folder, decompressed by the helper; the bounds
// on the helper's CPU time, on a busy machine too, and its own (its command
// line, its CPU limit, dying with its parent); work folders with a second
// copy of the application at work; and the choice between it and a file.
#include "busycores.h"
#include "classic/edsdevice.h"
#include "hostfixture.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"
#include "zpaqpacking.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const uint8_t kNode = 0x23;
const quint32 kChecksum = 0x1234ABCD;

QByteArray fixture()
{
    QFile f(QStringLiteral(QUILL_CLASSIC_DATA_DIR "/device.eds"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}


// What the library itself says of a stream; empty when it says nothing.
QString libraryMessage(const QByteArray& packed)
{
    InZpaq in(packed.constData(), packed.size());
    ByteWriter out;
    try {
        libzpaq::decompress(&in, &out);
    } catch (const char* message) {
        return QString::fromLatin1(message);
    }
    return QString();
}

// A device carrying `packed` with its checksum, the link open to it, and a
// host whose application folder is a temporary one with ConfigurationData/Dev.
struct EdsRig {
    EdsRig(quint32 checksum, const QByteArray& packed)
    {
        host.host.edsUnpacker = QStringLiteral(QUILL_EDS_UNPACKER);
        sim.device.addObject(0x2000, 6, CO_UNSIGNED32, littleEndian(checksum, 4));
        sim.device.addObject(0x1021, 0, CO_DOMAIN, packed);
        QDir(dir.path()).mkpath(QStringLiteral("ConfigurationData/Dev"));
        open = openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) == CAN_LINK_OPEN;
        pointSdoClientAt(kNode);
        connectionSettings().nodeId = kNode;
    }
    ~EdsRig()
    {
        closeCanLink(nullptr);
        connectionSettings().nodeId = kNodeIdUnset;
    }
    QString folder() const { return dir.path() + QStringLiteral("/ConfigurationData/Dev"); }
    QString cache() const { return folder() + QStringLiteral("/1234abcd.eds"); }
    // Everything in the device's folder, hidden and work folders too.
    QStringList files() const
    {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    int edsUploads() const { return sim.device.uploadsOf(0x1021, 0); }

    QTemporaryDir dir;
    HostFixture host{dir.path()};
    SimDeviceOnPty sim{kNode};
    bool open = false;
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The fields of /proc/<pid>/stat after the command name (state first), or
// none when the process is gone.
QList<QByteArray> procStat(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = f.readAll();
    const int end = stat.lastIndexOf(')');
    return end < 0 ? QList<QByteArray>() : stat.mid(end + 2).split(' ');
}

// Neither gone nor a zombie that nobody has reaped yet.
bool running(qint64 pid)
{
    const QList<QByteArray> stat = procStat(pid);
    return !stat.isEmpty() && stat[0] != "Z";
}

// User and system time the process has had, in clock ticks.
qint64 cpuTicks(qint64 pid)
{
    const QList<QByteArray> stat = procStat(pid);
    return stat.size() > 12 ? stat[11].toLongLong() + stat[12].toLongLong() : 0;
}

// A child of `parent` running `program`, or 0.
qint64 childRunning(qint64 parent, const QString& program)
{
    const QString target = QFileInfo(program).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong();
        const QList<QByteArray> stat = pid > 0 ? procStat(pid) : QList<QByteArray>();
        if (stat.size() > 1 && stat[1].toLongLong() == parent
            && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == target)
            return pid;
    }
    return 0;
}

// CPU time of the children this process has waited for (the helpers), in ms.
qint64 childrenCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// An executable shell script at `path`.
bool writeScript(const QString& path, const QByteArray& body)
{
    return writeFile(path, "#!/bin/sh\n" + body + "\n")
           && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Kills a helper a failed test would leave spinning.
struct HelperReaper {
    qint64 pid = 0;
    ~HelperReaper()
    {
        if (pid > 0 && running(pid))
            ::kill(pid_t(pid), SIGKILL);
    }
};
}

class TstEdsDevice : public QObject {
    Q_OBJECT
private slots:
    void checksumZeroReadsNoEds()
    {
        EdsRig rig(0, pack(fixture(), "1"));
        QVERIFY(rig.open);
        QString path = QStringLiteral("before");
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        QCOMPARE(path, QStringLiteral("before"));
        QCOMPARE(rig.sim.device.uploadsOf(0x2000, 6), 1);
        QCOMPARE(rig.edsUploads(), 0);
        QVERIFY(rig.host.lines.isEmpty());
    }

    void existingCacheIsTaken()
    {
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        QFile old(rig.cache());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        QString path;
        QVERIFY(readEdsFromDevice(rig.host.host, path));
        QCOMPARE(path, rig.cache());
        QCOMPARE(rig.edsUploads(), 0);
        QCOMPARE(contents(path), QByteArray("kept"));
    }

    void freshReadStoresTheEdsWhole_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("leastSegments");
        QTest::newRow("compressed") << fixture() << QByteArray("1") << 0 << 0;
        // Stored uncompressed: over 100 segments, the device slow on each.
        QTest::newRow("every answer 50 ms late") << fixture().left(720) << QByteArray("0") << 50 << 101;
    }
    void freshReadStoresTheEdsWhole()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, method);
        QFETCH(int, delayMs);
        QFETCH(int, leastSegments);
        const QByteArray packed = pack(text, method.constData());
        QVERIFY(packed.size() > 7 * leastSegments);
        EdsRig rig(kChecksum, packed);
        QVERIFY(rig.open);
        rig.sim.device.setDelay(0x1021, 0, delayMs);
        QString path;
        QVERIFY(readEdsFromDevice(rig.host.host, path));
        QCOMPARE(path, rig.cache());
        QCOMPARE(contents(path), text);
        QVERIFY(text.contains('\xff')); // an EDS byte the writer once dropped
        QCOMPARE(rig.edsUploads(), 1);
        QVERIFY(rig.host.lines.isEmpty());
        QCOMPARE(rig.files(), QStringList{"1234abcd.eds"});
    }

    void damagedStreamLeavesNoCache_data()
    {
        QTest::addColumn<QByteArray>("packed");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("line");
        const QByteArray stored = pack(fixture(), "0");
        const QByteArray cut = stored.left(stored.size() / 2);
        QByteArray flipped = stored;
        flipped[flipped.size() / 2] = char(flipped.at(flipped.size() / 2) ^ 0x10);
        const QString damaged = QStringLiteral("EDS из устройства повреждён: ");
        QVERIFY(libraryMessage(flipped).isEmpty());
        QTest::newRow("truncated: the library's message") << cut << true << damaged + libraryMessage(cut);
        // The library decompresses it without a word; only the hash tells.
        QTest::newRow("flipped byte: the hash") << flipped << true << damaged + "контрольная сумма не совпала";
        QTest::newRow("no stream at all") << QByteArray("not a packed EDS") << true << damaged + "нет данных";
        QTest::newRow("no device folder") << stored << false << "Не удалось сохранить eds в файл.";
    }
    void damagedStreamLeavesNoCache()
    {
        QFETCH(QByteArray, packed);
        QFETCH(bool, folder);
        QFETCH(QString, line);
        QVERIFY(line != QStringLiteral("EDS из устройства повреждён: "));
        EdsRig rig(kChecksum, packed);
        QVERIFY(rig.open);
        if (!folder)
            QVERIFY(QDir(rig.folder()).removeRecursively());
        QString path;
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        QCOMPARE(rig.host.errors(), QStringList{line});
        QVERIFY(!QFile::exists(rig.cache()));
        QVERIFY(rig.files().isEmpty()); // no part and no temporary file either
        QVERIFY(rig.host.tools.isEmpty());
        QCOMPARE(rig.host.canDrops, 0);
    }

    // A stream that keeps the decompressor busy for ever is ended once it has
    // had a while of CPU time without progress, or at the limit of CPU time
    // when that comes first, and reported as damaged; a good one is still
    // read whole after it.
    void endlessStreamIsEndedAsDamaged_data()
    {
        QTest::addColumn<QByteArray>("packed");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("line");
        const QByteArray jumping = selfJumpingStream(fixture());
        QVERIFY(!jumping.isEmpty());
        const QString damaged = QStringLiteral("EDS из устройства повреждён: ");
        const QString stalled = damaged + "распаковка не выдала данных за 3 с процессорного времени";
        const int limit = ClassicHost().edsUnpackLimitMs;
        QTest::newRow("model program jumps to itself") << jumping << limit << stalled;
        QTest::newRow("model program jumps to itself, limit first")
            << jumping << 1500 << damaged + "распаковка не закончилась за 1.5 с процессорного времени";
        // The helper's own limit falls on the same moment and may end it first.
        QTest::newRow("model program jumps to itself, limit in whole seconds")
            << jumping << 2000 << damaged + "распаковка не закончилась за 2 с процессорного времени";
        // Found by trying random one-byte damages of this very stream.
        QByteArray changed = pack(fixture(), "1");
        QCOMPARE(changed.size(), 1275);
        changed[241] = char(88);
        QTest::newRow("one byte changed") << changed << limit << stalled;
    }
    void endlessStreamIsEndedAsDamaged()
    {
        QFETCH(QByteArray, packed);
        QFETCH(int, limitMs);
        QFETCH(QString, line);
        EdsRig rig(kChecksum, packed);
        QVERIFY(rig.open);
        rig.host.host.edsUnpackLimitMs = limitMs;
        QString path;
        const qint64 cpuBefore = childrenCpuMs();
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        // Ended on its CPU time, about the bound (the clocks differ a little in
        // what they count), however busy the machine.
        const qint64 boundMs = std::min<qint64>(limitMs, kEdsUnpackStallMs);
        const qint64 cpuMs = childrenCpuMs() - cpuBefore;
        QVERIFY2(cpuMs > boundMs - 200 && cpuMs < boundMs + 1000, qPrintable(QString::number(cpuMs)));
        QCOMPARE(rig.host.errors(), QStringList{line});
        QVERIFY(rig.files().isEmpty());

        rig.sim.device.setValue(0x1021, 0, pack(fixture(), "1"));
        rig.host.host.edsUnpackLimitMs = ClassicHost().edsUnpackLimitMs;
        QVERIFY(readEdsFromDevice(rig.host.host, path));
        QCOMPARE(contents(rig.cache()), fixture());
        QCOMPARE(rig.files(), QStringList{"1234abcd.eds"});
    }

    // Good streams slow to show progress are not taken for ones that loop:
    // libzpaq's slowest level builds a large model before its first byte,
    // here with twelve busy processes on the helper's two cores (the quiet
    // bound as the application has it); a model slow on every byte, on a
    // quiet machine, writing far less than a block (a quiet bound of its
    // scale).
    void slowGoodStreamIsWritten_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("packed");
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("stallMs");
        QByteArray eds;
        while (eds.size() < 30000)
            eds += fixture();
        QTest::newRow("level 5, twelve busy processes") << eds << pack(eds, "5") << 12 << int(kEdsUnpackStallMs);
        const QByteArray small = (fixture() + fixture()).left(3000);
        QTest::newRow("slow model, quiet machine") << small << slowModelStream(small) << 0 << 300;
    }
    void slowGoodStreamIsWritten()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, packed);
        QFETCH(int, busy);
        QFETCH(int, stallMs);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slow.eds"));
        const BusyCores load(2, busy);
        QVERIFY(load.busy());
        const qint64 cpuBefore = childrenCpuMs();
        QElapsedTimer wall;
        wall.start();
        const EdsUnpackOutcome outcome = unpackEdsInHelper(QStringLiteral(QUILL_EDS_UNPACKER), packed, path,
                                                           ClassicHost().edsUnpackLimitMs, stallMs);
        const qint64 wallMs = wall.elapsed();
        const qint64 cpuMs = childrenCpuMs() - cpuBefore;
        QCOMPARE(int(outcome.result), int(EdsUnpackOutcome::Written));
        QCOMPARE(contents(path), text);
        // Under load, far slower on the wall clock than in CPU time; alone,
        // longer than the quiet bound in CPU time too, marking as it goes.
        const QString took = QStringLiteral("%1 ms, CPU %2 ms").arg(wallMs).arg(cpuMs);
        QVERIFY2(busy > 0 ? wallMs > 3 * cpuMs : cpuMs > stallMs, qPrintable(took));
    }

    // A helper that gets no CPU time is ended by the wall clock, far past its
    // CPU limit, and not called damaged: it never was seen at work.
    void helperWithoutCpuTimeEndsByTheWallClock()
    {
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        const QString helper = rig.dir.filePath(QStringLiteral("idle-helper"));
        QVERIFY(writeScript(helper, "exec sleep 60"));
        rig.host.host.edsUnpacker = helper;
        rig.host.host.edsUnpackLimitMs = 300;
        QElapsedTimer wall;
        wall.start();
        QString path;
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        QVERIFY(wall.elapsed() >= 300 * kEdsUnpackWallFactor);
        QCOMPARE(rig.host.errors(), QStringList{"Не удалось распаковать eds: распаковка не закончилась за 3 с"});
        QVERIFY(rig.files().isEmpty());
    }

    // A stream as large as the device's buffer reaches the helper whole: a
    // pipe hands it over in pieces.
    void largeStreamThroughTheHelper()
    {
        QByteArray text;
        QRandomGenerator random(29);
        while (text.size() < 90000)
            text += QByteArray::number(random.generate(), 36) + '\n';
        const QByteArray packed = pack(text, "0");
        QVERIFY(packed.size() > 65536 && packed.size() <= 102400);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/large.eds");
        const EdsUnpackOutcome outcome =
            unpackEdsInHelper(QStringLiteral(QUILL_EDS_UNPACKER), packed, path, ClassicHost().edsUnpackLimitMs);
        QCOMPARE(int(outcome.result), int(EdsUnpackOutcome::Written));
        QCOMPARE(contents(path), text);
    }

    // The helper's command line: the output alone (default limit), a CPU
    // limit it ends at by itself, the parent it must still have.
    void helperCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after OUTPUT; PID: this process
        QTest::addColumn<bool>("endless");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal"); // the one that ended it, else 0
        QTest::newRow("output only, good stream") << QStringList() << false << int(kUnpackWritten) << 0;
        QTest::newRow("limit and parent, good stream") << QStringList{"1000", "PID"} << false << int(kUnpackWritten)
                                                       << 0;
        QTest::newRow("limit and parent, endless: own CPU limit")
            << QStringList{"1000", "PID"} << true << 0 << int(SIGXCPU);
        QTest::newRow("limit rounded up to a second, endless") << QStringList{"1"} << true << 0 << int(SIGXCPU);
        QTest::newRow("parent not this process") << QStringList{"1000", "1"} << true << int(kUnpackParentGone) << 0;
        QTest::newRow("limit not a number") << QStringList{"soon"} << false << int(kUnpackUsage) << 0;
        QTest::newRow("limit zero") << QStringList{"0"} << false << int(kUnpackUsage) << 0;
        QTest::newRow("parent not a number") << QStringList{"1000", "me"} << false << int(kUnpackUsage) << 0;
        QTest::newRow("too many arguments") << QStringList{"1000", "PID", "x"} << false << int(kUnpackUsage) << 0;
    }
    void helperCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, endless);
        QFETCH(int, exitCode);
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.eds"));
        arguments.replaceInStrings(QStringLiteral("PID"), QString::number(QCoreApplication::applicationPid()));
        BoundProcess helper;
        helper.start(QStringLiteral(QUILL_EDS_UNPACKER), QStringList{out} + arguments);
        QVERIFY(helper.waitForStarted(5000));
        HelperReaper reaper{helper.processId()};
        helper.write(endless ? selfJumpingStream(fixture()) : pack(fixture(), "1"));
        helper.closeWriteChannel();
        // The endless rows end by the helper's own limit, one second of CPU.
        QVERIFY(helper.waitForFinished(30000));
        if (signal != 0) {
            QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
            QCOMPARE(helper.exitCode(), signal); // QProcess gives the signal here
        } else {
            QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
            QCOMPARE(helper.exitCode(), exitCode);
        }
        QCOMPARE(contents(out), exitCode == kUnpackWritten && signal == 0 ? fixture() : QByteArray());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 exitCode == kUnpackWritten && signal == 0 ? 1 : 0);
    }

    // The application killed while its helper runs an endless stream: the
    // helper goes with it, long before its own limit (ten minutes here).
    void helperGoesWithTheApplication()
    {
        QTemporaryDir dir;
        const QString stream = dir.filePath(QStringLiteral("stream"));
        QVERIFY(writeFile(stream, selfJumpingStream(fixture())));
        BoundProcess application;
        application.start(QStringLiteral(QUILL_EDS_UNPACK_PARENT),
                          {QStringLiteral(QUILL_EDS_UNPACKER), stream, dir.filePath(QStringLiteral("out.eds")),
                           QStringLiteral("600000")});
        QVERIFY(application.waitForStarted(5000));
        const qint64 parent = application.processId();
        HelperReaper helper;
        QTRY_VERIFY_WITH_TIMEOUT((helper.pid = childRunning(parent, QStringLiteral(QUILL_EDS_UNPACKER))) != 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(cpuTicks(helper.pid) > 10, 10000); // well into the stream
        QVERIFY(running(helper.pid));
        QCOMPARE(::kill(pid_t(parent), SIGKILL), 0);
        QVERIFY(application.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(helper.pid), 2000);
    }

    // Work folders an ended run left in the device's folder go with the next
    // read, whether it writes the cache or finds it there; nothing else there
    // is touched, nor followed out of it.
    void leftoverWorkFoldersGo_data()
    {
        QTest::addColumn<bool>("cached");
        QTest::newRow("cache written") << false;
        QTest::newRow("cache found") << true;
    }
    void leftoverWorkFoldersGo()
    {
        QFETCH(bool, cached);
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        const QByteArray eds = cached ? QByteArray("kept") : fixture();
        if (cached)
            QVERIFY(writeFile(rig.cache(), eds));
        const QDir folder(rig.folder());
        QTemporaryDir outside;
        QVERIFY(writeFile(outside.filePath(QStringLiteral("kept")), "outside"));
        QVERIFY(folder.mkpath(QStringLiteral(".eds-abc123/deeper")));
        QVERIFY(writeFile(folder.filePath(QStringLiteral(".eds-abc123/deeper/1234abcd.eds")), "part"));
        QVERIFY(folder.mkdir(QStringLiteral(".eds-Z9y8X7")));
        QVERIFY(folder.mkdir(QStringLiteral(".eds-abc12")));
        QVERIFY(folder.mkdir(QStringLiteral(".eds-abc1234")));
        QVERIFY(folder.mkdir(QStringLiteral("eds-abc123")));
        QVERIFY(writeFile(folder.filePath(QStringLiteral(".eds-file01")), "a file"));
        QVERIFY(QFile::link(outside.path(), folder.filePath(QStringLiteral(".eds-link01"))));
        QString path;
        QVERIFY(readEdsFromDevice(rig.host.host, path));
        QCOMPARE(contents(rig.cache()), eds);
        QCOMPARE(rig.edsUploads(), cached ? 0 : 1);
        QVERIFY(rig.host.lines.isEmpty());
        QStringList left = rig.files();
        left.sort();
        QCOMPARE(left, (QStringList{".eds-abc12", ".eds-abc1234", ".eds-file01", ".eds-link01", "1234abcd.eds",
                                    "eds-abc123"}));
        QCOMPARE(contents(outside.filePath(QStringLiteral("kept"))), QByteArray("outside"));
    }

    // Two copies of the application read their devices' EDS into the same
    // device folder at once: the other copy cleans up while this one's work
    // folder is in use (its helper waits to start until the other is done),
    // and both reads succeed.
    void twoCopiesReadAtOnce_data()
    {
        QTest::addColumn<bool>("otherCached");
        QTest::newRow("the other copy decompresses") << false;
        QTest::newRow("the other copy finds its cache") << true;
    }
    void twoCopiesReadAtOnce()
    {
        QFETCH(bool, otherCached);
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        const QByteArray otherEds = fixture().replace("Device", "Other device");
        const QString otherCache = rig.folder() + QStringLiteral("/5678ef.eds");
        if (otherCached)
            QVERIFY(writeFile(otherCache, otherEds));
        const QString stream = rig.dir.filePath(QStringLiteral("other.stream"));
        QVERIFY(writeFile(stream, pack(otherEds, "1")));
        const QString done = rig.dir.filePath(QStringLiteral("other.done"));
        const QString helper = rig.dir.filePath(QStringLiteral("waiting-helper"));
        QVERIFY(writeScript(helper, QStringLiteral("i=0\n"
                                                   "while [ ! -e '%1' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done\n"
                                                   "exec '%2' \"$@\"")
                                        .arg(done, QStringLiteral(QUILL_EDS_UNPACKER))
                                        .toUtf8()));
        rig.host.host.edsUnpacker = helper;

        BoundProcess other;
        other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        other.setStandardOutputFile(QProcess::nullDevice());
        other.start(QStringLiteral(QUILL_EDS_READ_COPY), {QStringLiteral(QUILL_EDS_UNPACKER), rig.dir.path(), stream,
                                                          QStringLiteral("5678ef"), done});
        QVERIFY(other.waitForStarted(5000));
        QString path;
        const bool read = readEdsFromDevice(rig.host.host, path);
        QVERIFY(other.waitForFinished(30000));
        QVERIFY(QFile::exists(done));
        QCOMPARE(rig.host.errors(), QStringList());
        QVERIFY(read);
        QCOMPARE(other.exitStatus(), QProcess::NormalExit);
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(contents(rig.cache()), fixture());
        QCOMPARE(contents(otherCache), otherEds);
        QCOMPARE(rig.files(), (QStringList{"1234abcd.eds", "5678ef.eds"}));
    }

    void missingHelper()
    {
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        rig.host.host.edsUnpacker = rig.dir.path() + QStringLiteral("/no-such-helper");
        QString path;
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        QCOMPARE(rig.host.errors().size(), 1);
        QVERIFY2(rig.host.errors()[0].startsWith("Не удалось распаковать eds: "), qPrintable(rig.host.errors()[0]));
        QVERIFY(rig.files().isEmpty());
    }

    void failedDeviceReads_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("subIndex");
        QTest::addColumn<uint>("abortCode");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("drops");
        QTest::newRow("checksum") << 0x2000 << 6 << 0x06020000u << "Не удалось считать crc eds: OD_NO_SUCH_OBJECT" << 0;
        QTest::newRow("stored EDS") << 0x1021 << 0 << 0x08000000u << "Не удалось считать eds: SDOABT_GENERAL_ERROR" << 1;
    }
    void failedDeviceReads()
    {
        QFETCH(int, index);
        QFETCH(int, subIndex);
        QFETCH(uint, abortCode);
        QFETCH(QString, line);
        QFETCH(int, drops);
        EdsRig rig(kChecksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        rig.sim.device.setAbort(uint16_t(index), uint8_t(subIndex), abortCode);
        QString path;
        QVERIFY(!readEdsFromDevice(rig.host.host, path));
        QCOMPARE(rig.sim.device.uploadsOf(uint16_t(index), uint8_t(subIndex)), 3);
        QCOMPARE(rig.host.errors(), QStringList{line});
        QCOMPARE(rig.host.tools, QList<bool>{false});
        QCOMPARE(rig.host.canDrops, drops);
        QVERIFY(rig.files().isEmpty());
    }

    void chooseEds_data()
    {
        QTest::addColumn<bool>("fromDevice");
        QTest::addColumn<uint>("checksum");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("line");
        QTest::newRow("from the device") << true << uint(kChecksum) << "" << true << "";
        QTest::newRow("device holds none, file picked") << true << 0u << "/picked.eds" << true << "";
        QTest::newRow("device holds none, cancelled") << true << 0u << "" << false
                                                      << "Файл eds не найден или не выбран.";
        QTest::newRow("option off, file picked") << false << uint(kChecksum) << "/picked.eds" << true << "";
        QTest::newRow("option off, cancelled") << false << uint(kChecksum) << "" << false << "Файл eds не выбран.";
    }
    void chooseEds()
    {
        QFETCH(bool, fromDevice);
        QFETCH(uint, checksum);
        QFETCH(QString, answer);
        QFETCH(bool, ok);
        QFETCH(QString, line);
        EdsRig rig(checksum, pack(fixture(), "1"));
        QVERIFY(rig.open);
        rig.host.edsFromDevice = fromDevice;
        rig.host.openAnswers << answer;
        QString path = QStringLiteral("before");
        QCOMPARE(::chooseEds(rig.host.host, path), ok);
        const bool fromCache = fromDevice && checksum != 0;
        QCOMPARE(path, fromCache ? rig.cache() : answer);
        QCOMPARE(rig.host.dialogs.isEmpty(), fromCache);
        if (!fromCache)
            QCOMPARE(rig.host.dialogs, (QList<QStringList>{{"open", "Открытие файла eds", rig.folder()}}));
        QCOMPARE(rig.host.errors(), line.isEmpty() ? QStringList() : QStringList{line});
        QCOMPARE(rig.sim.device.uploadsOf(0x2000, 6), fromDevice ? 1 : 0);
    }

    void readerEndsForGood()
    {
        InZpaq in("\x01\xff", 2);
        QCOMPARE(in.get(), 1);
        QCOMPARE(in.get(), 255);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(in.get(), -1);
    }

    void writerStopsPast16MiB()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/big.eds");
        {
            OutZpaq out(path);
            QVERIFY(out.isOpen());
            for (int i = 0; i < OutZpaq::kMaxBytes; ++i)
                out.put('A');
            QVERIFY_EXCEPTION_THROWN(out.put('A'), OutZpaq::EdsTooLarge);
            QCOMPARE(out.size(), qint64(OutZpaq::kMaxBytes));
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstEdsDevice)
#include "tst_edsdevice.moc"
