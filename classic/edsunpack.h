// Decompressing a device's EDS with libzpaq where it can be stopped.
//
// libzpaq's interpreter runs the model program a stream carries with no step
// limit: a damaged stream can loop for ever without writing a byte, so the
// output cap alone cannot end it. The decompression therefore runs in a
// helper process of our own (quillbex-edsunpack, beside the application),
// which the application ends once the helper has had more CPU time than a
// good stream needs (kEdsUnpackLimitMs), or has had a while of CPU time
// without progress (kEdsUnpackStallMs). Counting the helper's CPU time rather
// than the wall clock keeps a busy machine from making a good stream look
// damaged; a wall-clock net far above (kEdsUnpackWallFactor) ends a helper
// that gets no CPU at all. The helper reads the packed stream on its standard
// input, writes the EDS to the file it is given, replaced only when whole,
// and marks its progress on its standard output.
//
// The helper does not rely on the application to end it: it bounds its own
// CPU time, and the kernel kills it the moment the application goes. Its
// memory it bounds itself: a block whose header asks for a model larger than
// kEdsUnpackModelBytes is damaged before any of it is taken, and its address
// space is limited beyond that (kEdsUnpackAddressSpaceBytes).
//
//   quillbex-edsunpack OUTPUT [LIMIT-MS [PARENT-PID]]
//
// LIMIT-MS (default kEdsUnpackLimitMs) is rounded up to whole seconds of CPU
// time; past it SIGXCPU ends the helper, and SIGKILL a second later. With
// PARENT-PID the helper ends at once unless that process is still its parent,
// so one whose parent went before it could ask to die with it does not live
// on.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <chrono>
#include <cstdio>

#include "classic/edsunpacklimits.h"

#include <libzpaq.h>

// libzpaq's reader over a block of memory it does not own.
class InZpaq : public libzpaq::Reader {
public:
    InZpaq(const char* data, int length) : m_data(data), m_length(length) {}
    // The next byte (0 to 255), or -1 at the end, as often as it is asked.
    int get() override;

private:
    const char* m_data;
    int m_length;
    int m_position = 0;
};

// libzpaq's writer onto a file that is replaced only by commit(): a failed or
// partial decompression leaves whatever was there before. Every byte is kept;
// past kMaxBytes put() throws EdsTooLarge, so a stream cannot grow without end.
class OutZpaq : public libzpaq::Writer {
public:
    enum { kMaxBytes = 16 * 1024 * 1024 };
    struct EdsTooLarge {};

    explicit OutZpaq(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    // One byte on `progress`, flushed, at most every kEdsUnpackMarkMs while
    // the stream advances: a stream at work tells itself from one whose model
    // loops, however slowly it decodes and however little it writes.
    void reportProgressTo(std::FILE* progress) { m_progress = progress; }
    // The stream has advanced; a mark goes out when one is due. Writing
    // counts as well, so a post-processor that writes a whole block at its
    // end is seen at work too.
    void advanced();
    void put(int c) override;
    qint64 size() const { return m_size; }
    bool commit() { return m_file.commit(); }
    QString errorString() const { return m_file.errorString(); }

private:
    QSaveFile m_file;
    qint64 m_size = 0;
    std::FILE* m_progress = nullptr;
    std::chrono::steady_clock::time_point m_lastMark = std::chrono::steady_clock::now();
};

// Every segment of every block into `out`, each checked against the hash
// stored with it (a flipped byte may decompress without a word from the
// library), telling `out` each time a few bytes were decoded. A block whose
// model asks for more than kEdsUnpackModelBytes is refused before libzpaq
// takes it. Empty when the whole output is in `out`, else what went wrong.
// May run for ever on a damaged stream: call it in the helper only.
QString unpackEds(InZpaq& in, OutZpaq& out);

// The helper's exit codes.
enum EdsUnpackExit {
    kUnpackWritten = 0,
    kUnpackDamaged = 1,
    kUnpackNotSaved = 2,
    kUnpackUsage = 3,
    kUnpackParentGone = 4
};


// The helper's whole work, as its command line above says: the packed stream
// from standard input into OUTPUT; on kUnpackDamaged the reason, UTF-8, on
// standard error. Sets the process's own CPU and address-space limits and
// parent-death signal: for the helper's main only.
int runEdsUnpacker(int argc, char** argv);

// What the application gets from the helper.
struct EdsUnpackOutcome {
    // TimedOut and Stalled count the helper's CPU time, WallTimedOut the
    // wall clock.
    enum Result { Written, Damaged, TimedOut, Stalled, WallTimedOut, NotSaved, NoHelper } result = NoHelper;
    QString reason; // Damaged: the helper's words; NoHelper: what failed
};

// Runs `program` on `packed`, writing `path`, and ends it once it has had
// `limitMs` of CPU time (TimedOut), or `stallMs` of CPU time since its last
// progress mark (Stalled), or once kEdsUnpackWallFactor times `limitMs` has
// passed on the wall clock (WallTimedOut); the helper gets the same limit
// for its CPU time and this process as its parent. Blocks the calling thread
// for at most the wall-clock bound (and the moment a killed process takes to
// go). The helper dies with the thread that started it, which is this one,
// waiting here until the helper has ended.
EdsUnpackOutcome unpackEdsInHelper(const QString& program, const QByteArray& packed, const QString& path,
                                   int limitMs, int stallMs = kEdsUnpackStallMs);
