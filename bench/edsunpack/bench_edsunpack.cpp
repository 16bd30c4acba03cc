// How long the helper takes to decompress the largest streams a device can
// hand over, through the application's own call (process start and pipe
// included): for each libzpaq method,
//   - EDS-like text as long as still packs into the device's 102,400-byte
//     buffer;
//   - 16 MiB out, the writer's cap: a block of such text repeated (the
//     stream still fits the buffer; the model works as hard on every byte).
// Wall-clock time (the application's limit) and the helper's CPU time (its
// own limit; unlike the wall clock it hardly depends on what else the machine
// runs), printed beside the application's limit, which a good stream must
// stay well under (a few times) and a damaged one runs into. Every run keeps
// the application's quiet bound: a good stream is never taken for one that
// writes nothing (NOT WRITTEN would show it).
//
//   bench_edsunpack [method...]   libzpaq methods, default 1 2 3 4 5 54,128,1
//                                 (the last: level 5 with the text models);
//                                 levels 4 and 5 take minutes to pack and unpack
#include "classic/classichost.h"
#include "classic/edsunpack.h"
#include "zpaqpacking.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

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

struct Took {
    double wallMs = 0;
    double cpuMs = 0; // the helper's, which its own limit counts
    bool whole = false;
};

// Through the application's call, which waits for the helper.
Took unpackTime(const QByteArray& packed, const QByteArray& text, const QString& path)
{
    Took took;
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer t;
    t.start();
    // Far above any limit, so that the figure is the helper's own.
    const EdsUnpackOutcome outcome = unpackEdsInHelper(QStringLiteral(QUILL_EDS_UNPACKER), packed, path, 3600 * 1000);
    took.wallMs = t.nsecsElapsed() / 1e6;
    took.cpuMs = childrenCpuMs() - cpuBefore;
    took.whole = outcome.result == EdsUnpackOutcome::Written && QFileInfo(path).size() == text.size();
    return took;
}

void report(const QByteArray& method, const char* stream, const QByteArray& packed, const QByteArray& text,
            const Took& took, int limitMs)
{
    std::printf("%-10s %-28s %9d %9d %9.0f %9.0f %7.2f %8.2f%s%s\n", method.constData(), stream, packed.size(),
                text.size(), took.wallMs, took.cpuMs, text.size() / 1e3 / took.cpuMs, took.wallMs / limitMs,
                packed.size() > kDeviceBuffer ? "  over the buffer" : "", took.whole ? "" : "  NOT WRITTEN");
    std::fflush(stdout);
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList methods = app.arguments().mid(1);
    if (methods.isEmpty())
        methods = QStringList{"1", "2", "3", "4", "5", "54,128,1"};
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/out.eds");
    const int limitMs = ClassicHost().edsUnpackLimitMs;

    std::printf("%-10s %-28s %9s %9s %9s %9s %7s %8s\n", "method", "stream", "packed", "out", "wall ms", "CPU ms",
                "MB/s", "of limit");
    double slowestMs = 0;
    for (const QString& method : methods) {
        const QByteArray m = method.toLatin1();
        QByteArray packed;
        const QByteArray filling = fillingTheBuffer(m.constData(), packed);
        Took took = unpackTime(packed, filling, path);
        report(m, "EDS text filling the buffer", packed, filling, took, limitMs);
        slowestMs = std::max(slowestMs, took.wallMs);
        const QByteArray capped = atTheCap(m.constData(), filling.size(), packed);
        took = unpackTime(packed, capped, path);
        report(m, "16 MiB out", packed, capped, took, limitMs);
        slowestMs = std::max(slowestMs, took.wallMs);
    }
    std::printf("limit: %d ms wall clock (the helper's CPU limit: that in whole seconds, rounded up);"
                " a good stream should take a third of it at most, %d ms; slowest here %.0f ms\n",
                limitMs, limitMs / 3, slowestMs);
    std::printf("quiet bound: %d ms without a progress mark (one every %d bytes written)\n", int(kEdsUnpackStallMs),
                int(OutZpaq::kProgressBytes));
    return 0;
}
