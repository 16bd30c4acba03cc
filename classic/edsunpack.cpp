#include "classic/edsunpack.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

// libzpaq reports what it cannot decompress through this hook of its user:
// the message (a literal of the library's) comes back as the exception.
void libzpaq::error(const char* msg)
{
    throw msg;
}

namespace {
// Far more than the 102,400-byte buffer a device's EDS arrives in.
const qint64 kMaxPackedBytes = 1024 * 1024;
// A killed helper is gone at once; the bound only guards the wait for it.
const int kKillWaitMs = 5000;
// How often the application looks at the helper's CPU time.
const int kPollMs = 50;
// Bytes decoded between two looks at whether a mark is due: a few, so that
// a slow model is seen at work after each of them. A model that takes a
// millisecond a byte (busier caches, a sanitized build: several) still looks
// many times within the quiet bound.
const int kDecodeStep = 16;
// Bytes written between two such looks, while a post-processor writes.
const int kWriteStep = 1024;
const int kMiB = 1024 * 1024;

// A whole positive decimal number that fits an int, or 0.
int positiveArgument(const char* text)
{
    bool ok = false;
    const int value = QByteArray(text).toInt(&ok);
    return ok && value > 0 ? value : 0;
}

// SIGXCPU once the CPU time reaches the limit rounded up to whole seconds,
// SIGKILL a second later should that signal be caught; no core file for it.
bool limitCpuTime(int limitMs)
{
    const rlim_t seconds = rlim_t(limitMs / 1000 + (limitMs % 1000 != 0));
    const rlimit cpu{seconds, seconds + 1};
    const rlimit core{0, 0};
    return ::setrlimit(RLIMIT_CPU, &cpu) == 0 && ::setrlimit(RLIMIT_CORE, &core) == 0;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILL_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QUILL_SANITIZED_BUILD 1
#endif
#endif

// The address space at most kEdsUnpackAddressSpaceBytes, or less where a
// lower limit is set already.
bool limitAddressSpace()
{
#ifdef QUILL_SANITIZED_BUILD
    return true;
#else
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) != 0)
        return false;
    const rlim_t bound = kEdsUnpackAddressSpaceBytes;
    space.rlim_cur = std::min(space.rlim_cur, bound);
    space.rlim_max = std::min(space.rlim_max, bound);
    return ::setrlimit(RLIMIT_AS, &space) == 0;
#endif
}

// The CPU time, user and system, that process `pid` has had, in ms; -1 when
// it cannot be read.
qint64 cpuTimeMs(qint64 pid)
{
    static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (ticksPerSecond <= 0 || !file.open(QIODevice::ReadOnly))
        return -1;
    // The command name may hold spaces; the fields after it do not. utime
    // and stime are the 12th and 13th after the name.
    const QByteArray stat = file.readAll();
    const int end = stat.lastIndexOf(')');
    const QList<QByteArray> fields = end < 0 ? QList<QByteArray>() : stat.mid(end + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    bool userOk = false;
    bool systemOk = false;
    const qint64 ticks = fields[11].toLongLong(&userOk) + fields[12].toLongLong(&systemOk);
    return userOk && systemOk ? ticks * 1000 / ticksPerSecond : -1;
}
}

int InZpaq::get()
{
    return m_position < m_length ? quint8(m_data[m_position++]) : -1;
}

OutZpaq::OutZpaq(const QString& path) : m_file(path)
{
    m_file.open(QIODevice::WriteOnly);
}

void OutZpaq::advanced()
{
    if (!m_progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastMark < std::chrono::milliseconds(kEdsUnpackMarkMs))
        return;
    m_lastMark = now;
    std::fputc('+', m_progress);
    std::fflush(m_progress);
}

void OutZpaq::put(int c)
{
    if (m_size >= kMaxBytes)
        throw EdsTooLarge();
    m_file.putChar(char(c));
    ++m_size;
    if (m_size % kWriteStep == 0)
        advanced();
}

QString unpackEds(InZpaq& in, OutZpaq& out)
{
    try {
        libzpaq::Decompresser d;
        libzpaq::SHA1 sha1;
        d.setInput(&in);
        // The block's header sizes its model, which libzpaq takes and fills
        // before the first byte: a damaged one may ask for gigabytes.
        double modelBytes = 0;
        while (d.findBlock(&modelBytes)) {
            if (modelBytes > kEdsUnpackModelBytes)
                return QStringLiteral("модели распаковки нужно %1 МиБ памяти, допустимо %2 МиБ")
                    .arg(QString::number(std::round(modelBytes / kMiB), 'f', 0))
                    .arg(kEdsUnpackModelBytes / kMiB);
            while (d.findFilename()) {
                d.readComment();
                d.setOutput(&out);
                d.setSHA1(&sha1);
                while (d.decompress(kDecodeStep))
                    out.advanced();
                char stored[21];
                d.readSegmentEnd(stored);
                const char* computed = sha1.result();
                if (stored[0] == 1 && std::memcmp(computed, stored + 1, 20) != 0)
                    return QStringLiteral("контрольная сумма не совпала");
            }
        }
    } catch (const char* message) {
        return QString::fromLatin1(message);
    } catch (const OutZpaq::EdsTooLarge&) {
        return QStringLiteral("больше %1 МиБ после распаковки").arg(OutZpaq::kMaxBytes / (1024 * 1024));
    } catch (const std::bad_alloc&) {
        return QStringLiteral("не хватило памяти для распаковки");
    }
    return out.size() == 0 ? QStringLiteral("нет данных") : QString();
}

int runEdsUnpacker(int argc, char** argv)
{
    // First of all, so that no moment passes in which the parent could go
    // unnoticed; the check against the pid it gave covers a parent gone before.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc < 2 || argc > 4)
        return kUnpackUsage;
    const int limitMs = argc > 2 ? positiveArgument(argv[2]) : int(kEdsUnpackLimitMs);
    const int parent = argc > 3 ? positiveArgument(argv[3]) : 0;
    if (limitMs == 0 || (argc > 3 && parent == 0))
        return kUnpackUsage;
    if (parent != 0 && ::getppid() != parent)
        return kUnpackParentGone;
    if (!limitCpuTime(limitMs) || !limitAddressSpace())
        return kUnpackUsage;
    // The whole input, up to its end: a pipe hands it over in pieces.
    QByteArray packed;
    char chunk[65536];
    size_t n = 0;
    while (packed.size() <= kMaxPackedBytes && (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
        packed.append(chunk, int(n));
    if (packed.size() > kMaxPackedBytes || std::ferror(stdin))
        return kUnpackUsage;

    OutZpaq out(QFile::decodeName(argv[1]));
    if (!out.isOpen())
        return kUnpackNotSaved;
    // Marks for whoever watches; with no one reading they cost nothing.
    ::signal(SIGPIPE, SIG_IGN);
    out.reportProgressTo(stdout);
    InZpaq in(packed.constData(), packed.size());
    const QString failure = unpackEds(in, out);
    if (!failure.isEmpty()) {
        std::fputs(failure.toUtf8().constData(), stderr);
        return kUnpackDamaged;
    }
    return out.commit() ? kUnpackWritten : kUnpackNotSaved;
}

EdsUnpackOutcome unpackEdsInHelper(const QString& program, const QByteArray& packed, const QString& path,
                                   int limitMs, int stallMs)
{
    EdsUnpackOutcome outcome;
    const QDeadlineTimer deadline(qint64(limitMs) * kEdsUnpackWallFactor);
    QProcess helper;
    helper.setProgram(program);
    helper.setArguments({path, QString::number(limitMs), QString::number(::getpid())});
    helper.start();
    if (!helper.waitForStarted(int(deadline.remainingTime()))) {
        outcome.reason = helper.errorString();
        if (helper.state() == QProcess::NotRunning)
            return outcome;
        helper.kill();
        helper.waitForFinished(kKillWaitMs);
        outcome.result = EdsUnpackOutcome::WallTimedOut;
        return outcome;
    }
    helper.write(packed);
    helper.closeWriteChannel();
    const qint64 pid = helper.processId();
    // The helper's CPU time, and what it was at the last progress mark.
    qint64 cpuMs = 0;
    qint64 markedAtMs = 0;
    while (helper.state() != QProcess::NotRunning) {
        const qint64 sampled = cpuTimeMs(pid);
        if (sampled >= 0)
            cpuMs = sampled;
        // Marks are taken after the sample, so one written before it counts.
        helper.waitForReadyRead(0);
        if (!helper.readAllStandardOutput().isEmpty())
            markedAtMs = cpuMs;
        if (helper.state() == QProcess::NotRunning)
            break;
        const bool overLimit = cpuMs >= limitMs;
        const bool stalled = cpuMs - markedAtMs >= stallMs;
        if (overLimit || stalled || deadline.hasExpired()) {
            helper.kill();
            helper.waitForFinished(kKillWaitMs);
            outcome.result = overLimit ? EdsUnpackOutcome::TimedOut
                             : stalled ? EdsUnpackOutcome::Stalled
                                       : EdsUnpackOutcome::WallTimedOut;
            return outcome;
        }
        helper.waitForReadyRead(int(std::min<qint64>(kPollMs, deadline.remainingTime())));
    }
    // The reason is the helper's first line; anything after it is not ours to show.
    const QString said = QString::fromUtf8(helper.readAllStandardError()).section(QLatin1Char('\n'), 0, 0);
    if (helper.exitStatus() != QProcess::NormalExit) {
        // Its own CPU limit may end it a moment before this process sees it there.
        if (helper.exitCode() == SIGXCPU) {
            outcome.result = EdsUnpackOutcome::TimedOut;
            return outcome;
        }
        outcome.result = EdsUnpackOutcome::Damaged;
        outcome.reason = QStringLiteral("распаковка прервана");
        return outcome;
    }
    switch (helper.exitCode()) {
    case kUnpackWritten:
        outcome.result = EdsUnpackOutcome::Written;
        break;
    case kUnpackDamaged:
        outcome.result = EdsUnpackOutcome::Damaged;
        outcome.reason = said;
        break;
    case kUnpackNotSaved:
        outcome.result = EdsUnpackOutcome::NotSaved;
        break;
    default:
        outcome.reason = QStringLiteral("%1 завершилась с кодом %2").arg(program).arg(helper.exitCode());
        break;
    }
    return outcome;
}
