// How long the helper takes to decompress the streams a device can hand over,
// through the application's own call (process start and pipe included): for
// each libzpaq method,
//   - EDS-like text of 3.9 KB, 30 KB and 311 KB, and as long as still packs
//     into the device's 102,400-byte buffer;
//   - 16 MiB out, the writer's cap: a block of such text repeated (the
//     stream still fits the buffer; the model works as hard on every byte;
//     at level 5 the model is past the helper's memory bound, so Damaged);
// then a small EDS under a slow model, and a stream whose model loops.
// Wall-clock time and the helper's CPU time (which the application's limit
// and quiet bound count), printed beside the limit, which a good stream must
// stay well under (a few times) and a damaged one runs into.
//
// Alone, the limit is lifted, so that each figure is the helper's own; the
// quiet bound holds (a good stream taken for one that loops would show
// Stalled). With --busy N, N processes spin on the two cores this process
// and its helpers are pinned to, and every stream runs under the
// application's own bounds: a good one must still be Written, and the one
// that loops ended within a few seconds of its CPU time (16 MiB out is left
// out there: at levels 4 and 5 it runs into the limit by design).
//
//   bench_edsunpack [--busy N] [method...]
//                                 libzpaq methods, default 1 2 3 4 5 54,128,1
//                                 (the last: level 5 with the text models);
//                                 levels 4 and 5 take minutes to pack and unpack
#include "classic/classichost.h"
#include "classic/edsunpack.h"
#include "busycores.h"
#include "zpaqpacking.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {
const int kDeviceBuffer = 102400;


// Objects with sub-indices as an EDS lists them, names and values varied.
QByteArray edsText(int size)
{
    static const char* const words[] = {"Motor", "Speed", "Current", "Limit", "Voltage", "Torque", "Position",
                                        "Encoder", "Brake", "Fault", "Mode", "Control", "Status", "Word", "Ramp",
                                        "Acceleration", "Deceleration", "Gain", "Offset", "Filter", "Temperature",
                                        "Sensor", "Input", "Output", "Digital", "Analog", "Timeout", "Counter"};
    const int nWords = int(sizeof words / sizeof *words);
    QRandomGenerator random(61);
    const auto word = [&] { return words[random.bounded(nWords)]; };
    QByteArray text;
    text.reserve(size + 512);
    for (int index = 0x2000; text.size() < size; ++index) {
        const int subs = 1 + random.bounded(8);
        text += QStringLiteral("[%1]\nParameterName=%2 %3 %4\nObjectType=0x9\nSubNumber=%5\n\n")
                    .arg(index, 0, 16).arg(word()).arg(word()).arg(word()).arg(subs).toUpper().toLatin1();
        for (int s = 0; s < subs; ++s) {
            text += QStringLiteral("[%1sub%2]\nParameterName=%3 %4\nObjectType=0x7\nDataType=0x%5\n"
                                   "AccessType=%6\nDefaultValue=%7\nLowLimit=%8\nHighLimit=%9\nPDOMapping=%10\n\n")
                        .arg(index, 0, 16).arg(s).arg(word()).arg(word())
                        .arg(1 + random.bounded(9), 4, 10, QLatin1Char('0'))
                        .arg(random.bounded(2) ? "rw" : "ro").arg(random.bounded(100000)).arg(random.bounded(100))
                        .arg(100 + random.bounded(60000)).arg(random.bounded(2))
                        .toLatin1();
        }
    }
    text.truncate(size);
    return text;
}

// The longest text (up to the writer's cap) whose stream fits the buffer.
QByteArray fillingTheBuffer(const char* method, QByteArray& packed)
{
    const int sample = 256 * 1024;
    const double ratio = double(sample) / pack(edsText(sample), method).size();
    int size = std::min(int(OutZpaq::kMaxBytes), int(kDeviceBuffer * ratio * 0.98));
    for (;;) {
        const QByteArray text = edsText(size);
        packed = pack(text, method);
        if (packed.size() <= kDeviceBuffer)
            return text;
        size = int(size * 0.95);
    }
}

// The writer's cap in repeats of the largest block, starting from half the
// text that fills the buffer, with which the stream still fits it.
QByteArray atTheCap(const char* method, int fillingSize, QByteArray& packed)
{
    for (int blockSize = fillingSize / 2;; blockSize /= 2) {
        const QByteArray block = edsText(blockSize);
        QByteArray text;
        text.reserve(OutZpaq::kMaxBytes + blockSize);
        while (text.size() < OutZpaq::kMaxBytes)
            text += block;
        text.truncate(OutZpaq::kMaxBytes);
        packed = pack(text, method);
        if (packed.size() <= kDeviceBuffer || blockSize < 4096)
            return text;
    }
}

// CPU time of the children this process has waited for, in ms.
double childrenCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

const char* resultName(EdsUnpackOutcome::Result result)
{
    switch (result) {
    case EdsUnpackOutcome::Written: return "Written";
    case EdsUnpackOutcome::Damaged: return "Damaged";
    case EdsUnpackOutcome::TimedOut: return "TimedOut";
    case EdsUnpackOutcome::Stalled: return "Stalled";
    case EdsUnpackOutcome::WallTimedOut: return "WallTimedOut";
    case EdsUnpackOutcome::NotSaved: return "NotSaved";
    case EdsUnpackOutcome::NoHelper: return "NoHelper";
    }
    return "?";
}

struct Took {
    double wallMs = 0;
    double cpuMs = 0; // the helper's, which both bounds count
    EdsUnpackOutcome::Result result = EdsUnpackOutcome::NoHelper;
    bool whole = false;
};

// Through the application's call, which waits for the helper.
Took unpackTime(const QByteArray& packed, const QByteArray& text, const QString& path, int limitMs)
{
    Took took;
    QFile::remove(path);
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer t;
    t.start();
    const EdsUnpackOutcome outcome = unpackEdsInHelper(QStringLiteral(QUILL_EDS_UNPACKER), packed, path, limitMs);
    took.wallMs = t.nsecsElapsed() / 1e6;
    took.cpuMs = childrenCpuMs() - cpuBefore;
    took.result = outcome.result;
    took.whole = outcome.result == EdsUnpackOutcome::Written && QFileInfo(path).size() == text.size();
    return took;
}

void report(const QByteArray& method, const char* stream, const QByteArray& packed, const QByteArray& text,
            const Took& took, int limitMs)
{
    const bool written = took.result == EdsUnpackOutcome::Written;
    std::printf("%-10s %-28s %9d %9d %9.0f %9.0f %7.2f %8.2f  %s%s%s\n", method.constData(), stream, packed.size(),
                text.size(), took.wallMs, took.cpuMs, text.size() / 1e3 / took.cpuMs, took.cpuMs / limitMs,
                resultName(took.result), packed.size() > kDeviceBuffer ? "  over the buffer" : "",
                written && !took.whole ? "  NOT WHOLE" : "");
    std::fflush(stdout);
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList methods = app.arguments().mid(1);
    int busy = 0;
    if (methods.size() >= 2 && methods[0] == QStringLiteral("--busy")) {
        busy = methods[1].toInt();
        methods = methods.mid(2);
    }
    if (methods.isEmpty())
        methods = QStringList{"1", "2", "3", "4", "5", "54,128,1"};
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/out.eds");
    const int limitMs = ClassicHost().edsUnpackLimitMs;
    // Alone, far above any limit, so that the figure is the helper's own.
    const int runLimitMs = busy > 0 ? limitMs : 3600 * 1000;

    // All packed first: packing is no part of the figures, nor of the load.
    struct Stream {
        QByteArray method;
        QByteArray name;
        QByteArray text;
        QByteArray packed;
        bool filling = false;
    };
    std::vector<Stream> streams;
    for (const QString& method : methods) {
        const QByteArray m = method.toLatin1();
        for (const int size : {3900, 30000, 311000}) {
            const QByteArray text = edsText(size);
            streams.push_back({m, QByteArray::number(size / 1000.0) + " KB of EDS text", text, pack(text, m.constData()), false});
        }
        Stream filling{m, "EDS text filling the buffer", {}, {}, true};
        filling.text = fillingTheBuffer(m.constData(), filling.packed);
        streams.push_back(filling);
        if (busy == 0) {
            Stream capped{m, "16 MiB out", {}, {}, false};
            capped.text = atTheCap(m.constData(), filling.text.size(), capped.packed);
            streams.push_back(capped);
        }
    }
    const QByteArray small = edsText(3900);
    streams.push_back({"own", "3.9 KB under a slow model", small, slowModelStream(small), false});
    streams.push_back({"own", "model loops", small, selfJumpingStream(small), false});

    std::unique_ptr<BusyCores> load;
    if (busy > 0) {
        load = std::make_unique<BusyCores>(2, busy);
        std::printf("%d busy processes with the helper on CPUs %s; the application's own bounds\n", busy,
                    qPrintable(load->cores()));
    }
    std::printf("%-10s %-28s %9s %9s %9s %9s %7s %8s  %s\n", "method", "stream", "packed", "out", "wall ms", "CPU ms",
                "MB/s", "of limit", "outcome");
    double slowestMs = 0;
    for (const Stream& stream : streams) {
        const Took took = unpackTime(stream.packed, stream.text, path, runLimitMs);
        report(stream.method, stream.name.constData(), stream.packed, stream.text, took, limitMs);
        if (stream.filling)
            slowestMs = std::max(slowestMs, took.cpuMs);
    }

    std::printf("limit: %d ms of the helper's CPU time (its own limit: that in whole seconds, rounded up); a good"
                " stream filling the buffer should take a third of it at most, %d ms; slowest here %.0f ms\n",
                limitMs, limitMs / 3, slowestMs);
    std::printf("quiet bound: %d ms of CPU time without a progress mark (one at most every %d ms while the stream"
                " advances); wall-clock net: %d ms\n",
                int(kEdsUnpackStallMs), int(kEdsUnpackMarkMs), limitMs * int(kEdsUnpackWallFactor));
    std::printf("memory: a block's model of %d MiB at most, the helper's address space %d MiB\n",
                int(kEdsUnpackModelBytes / (1024 * 1024)), int(kEdsUnpackAddressSpaceBytes / (1024 * 1024)));
    return 0;
}
