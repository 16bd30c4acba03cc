#include "classic/edsunpack.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
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
}

int InZpaq::get()
{
    return m_position < m_length ? quint8(m_data[m_position++]) : -1;
}

OutZpaq::OutZpaq(const QString& path) : m_file(path)
{
    m_file.open(QIODevice::WriteOnly);
}

void OutZpaq::put(int c)
{
    if (m_size >= kMaxBytes)
        throw EdsTooLarge();
    m_file.putChar(char(c));
    ++m_size;
    if (m_progress && m_size % kProgressBytes == 0) {
        std::fputc('+', m_progress);
        std::fflush(m_progress);
    }
}

QString unpackEds(InZpaq& in, OutZpaq& out)
{
    try {
        libzpaq::Decompresser d;
        libzpaq::SHA1 sha1;
        d.setInput(&in);
        while (d.findBlock()) {
            while (d.findFilename()) {
                d.readComment();
                d.setOutput(&out);
                d.setSHA1(&sha1);
                d.decompress();
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
    if (!limitCpuTime(limitMs))
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
    const QDeadlineTimer deadline(limitMs);
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
        outcome.result = EdsUnpackOutcome::TimedOut;
        return outcome;
    }
    helper.write(packed);
    helper.closeWriteChannel();
    // Each progress mark gives the helper stallMs more, up to the limit.
    QDeadlineTimer quiet(stallMs);
    while (helper.state() != QProcess::NotRunning) {
        const qint64 waitMs = std::min(deadline.remainingTime(), quiet.remainingTime());
        if (waitMs <= 0) {
            helper.kill();
            helper.waitForFinished(kKillWaitMs);
            outcome.result = deadline.hasExpired() ? EdsUnpackOutcome::TimedOut : EdsUnpackOutcome::Stalled;
            return outcome;
        }
        if (helper.waitForReadyRead(int(waitMs)) && !helper.readAllStandardOutput().isEmpty())
            quiet.setRemainingTime(stallMs);
    }
    // The reason is the helper's first line; anything after it is not ours to show.
    const QString said = QString::fromUtf8(helper.readAllStandardError()).section(QLatin1Char('\n'), 0, 0);
    if (helper.exitStatus() != QProcess::NormalExit) {
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
