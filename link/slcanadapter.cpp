#include "link/slcanadapter.h"

#include "canopen/port.h"
#include "link/slcanparser.h"
#include "platform/boundedthread.h"
#include "platform/serialport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <map>
#include <string>
#include <thread>

namespace {

// One open adapter. The handle the stack holds is the address of this record;
// it stays valid until close has seen every reader leave.
struct SlcanPort {
    SerialPort serial;
    SlcanLineParser parser;
    int readers = 0;        // threads using the port now (receive, send, writer), guarded by registryMutex
    bool closing = false;   // guarded by registryMutex
};

struct QueuedLine {
    char text[SLCAN_MAX_LINE + 2];
    int length;
    SlcanPort* port;
};

std::mutex registryMutex;
std::condition_variable registryCond;
std::map<SlcanPort*, std::unique_ptr<SlcanPort>> livePorts;

using Clock = std::chrono::steady_clock;
// The adapter takes at most one line per millisecond.
constexpr auto kLineGap = std::chrono::milliseconds(1);

// Writer state; the queue itself is guarded by the stack mutex.
std::deque<QueuedLine> writerQueue;
BoundedThread writerThread;
std::atomic<bool> writerRunning{false};
// The writer's wake-up, apart from the stack mutex so that the writer sleeps
// on it without holding anything a sender needs. Taken after the stack
// mutex, never before.
std::mutex wakeMutex;
std::condition_variable wakeCond;
bool linesWaiting = false; // wakeMutex
bool writerStop = false;   // wakeMutex
// When the last write to any adapter completed (commands included).
std::atomic<Clock::rep> lastWriteDone{Clock::time_point::min().time_since_epoch().count()};
std::atomic<SlcanWriteObserver> writeObserver{nullptr};
// Why the last open on this thread failed: the stack's port layer passes on
// only a null handle.
thread_local std::string lastOpenError;

SlcanPort* acquire(CanHandle h)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    auto* port = reinterpret_cast<SlcanPort*>(h);
    if (!livePorts.count(port) || port->closing)
        return nullptr;
    ++port->readers;
    return port;
}

void release(SlcanPort* port)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    --port->readers;
    registryCond.notify_all();
}

Clock::time_point lastWriteDoneAt()
{
    return Clock::time_point(Clock::duration(lastWriteDone.load()));
}

void noteWriteDone(Clock::time_point at)
{
    lastWriteDone.store(at.time_since_epoch().count());
}

// Takes the oldest queued line; *more tells whether others wait behind it.
bool takeLine(QueuedLine* line, bool* more)
{
    CanOpenLock lock;
    if (writerQueue.empty()) {
        *more = false;
        return false;
    }
    *line = writerQueue.front();
    writerQueue.pop_front();
    *more = !writerQueue.empty();
    return true;
}

void writeLine(const QueuedLine& line)
{
    SlcanPort* port = acquire(reinterpret_cast<CanHandle>(line.port));
    if (!port)
        return;
    const Clock::time_point began = Clock::now();
    port->serial.write(line.text, size_t(line.length), SLCAN_WAIT_MS);
    const Clock::time_point completed = Clock::now();
    noteWriteDone(completed);
    release(port);
    if (SlcanWriteObserver observer = writeObserver.load())
        observer(began, completed);
}

// Sleeps until a line is queued or it is told to stop; sends a line at once
// when the last write completed at least 1 ms ago, else at that mark.
void writerLoop()
{
    std::unique_lock<std::mutex> wake(wakeMutex);
    for (;;) {
        wakeCond.wait(wake, [] { return linesWaiting || writerStop; });
        if (writerStop)
            return;
        linesWaiting = false;
        const Clock::time_point mark = lastWriteDoneAt() + kLineGap;
        if (Clock::now() < mark && wakeCond.wait_until(wake, mark, [] { return writerStop; }))
            return;
        wake.unlock();
        QueuedLine line;
        bool more = false;
        if (takeLine(&line, &more))
            writeLine(line);
        wake.lock();
        if (more)
            linesWaiting = true;
    }
}

void stopWriter()
{
    {
        std::lock_guard<std::mutex> wake(wakeMutex);
        writerStop = true;
    }
    wakeCond.notify_all();
    writerThread.join(1000);
    writerRunning.store(false);
    CanOpenLock lock;
    writerQueue.clear();
}

void startWriter()
{
    {
        std::lock_guard<std::mutex> wake(wakeMutex);
        writerStop = false;
        linesWaiting = false;
    }
    writerThread.start(writerLoop, "slcan-writer");
}

void wakeWriter()
{
    {
        std::lock_guard<std::mutex> wake(wakeMutex);
        linesWaiting = true;
    }
    wakeCond.notify_one();
}

bool writeCommand(SlcanPort* port, const char* text, size_t n)
{
    const bool written = port->serial.write(text, n, SLCAN_WAIT_MS);
    noteWriteDone(Clock::now());
    return written;
}

} // namespace

int bindCanAdapterDriver(void)
{
    static const CanAdapterDriver driver = {
        slcanAdapterReceive, slcanAdapterSend, slcanAdapterOpen, slcanAdapterClose, slcanAdapterSetBitRate,
    };
    return setCanAdapterDriver(&driver);
}

CanHandle slcanAdapterOpen(const CanBoard* board)
{
    lastOpenError.clear();
    if (!board) {
        lastOpenError = "no board";
        return 0;
    }
    char* end = nullptr;
    const unsigned long speed = std::strtoul(board->baudrate.c_str(), &end, 10);
    if (board->baudrate.empty() || *end != '\0') {
        lastOpenError = "unsupported speed '" + board->baudrate + "'";
        return 0;
    }
    auto port = std::make_unique<SlcanPort>();
    if (!port->serial.open(board->busname, uint32_t(speed))) {
        lastOpenError = port->serial.error();
        std::printf("%s\n", lastOpenError.c_str());
        return 0;
    }
    if (!writeCommand(port.get(), "O\r", 2)) {
        lastOpenError = board->busname + ": the adapter took no open command";
        std::printf("q1\n");
        return 0;
    }
    std::printf("333\n");
    SlcanPort* raw = port.get();
    std::lock_guard<std::mutex> lock(registryMutex);
    livePorts.emplace(raw, std::move(port));
    return reinterpret_cast<CanHandle>(raw);
}

std::string slcanAdapterOpenError()
{
    return lastOpenError;
}

uint8_t slcanAdapterSend(CanHandle h, const CanFrame* frame)
{
    if (!frame)
        return 1;
    // Holding the port as a user keeps a close from stopping the writer until
    // this send is through, so no writer is ever started behind a close.
    SlcanPort* port = acquire(h);
    if (!port)
        return 1;
    QueuedLine line;
    line.length = slcanEncodeFrame(frame, line.text);
    line.port = port;
    if (line.length >= 0) {
        if (!writerRunning.exchange(true))
            startWriter();
        {
            CanOpenLock lock;
            writerQueue.push_back(line);
        }
        wakeWriter();
    }
    release(port);
    return line.length < 0 ? 1 : 0;
}

uint8_t slcanAdapterReceive(CanHandle h, CanFrame* out)
{
    SlcanPort* port = acquire(h);
    if (!port)
        return 0;
    uint8_t count = 0;
    if (!port->parser.hasLine()) {
        char buf[250];
        int n = port->serial.read(buf, sizeof buf, SLCAN_WAIT_MS);
        if (n > 0) {
            port->parser.feed(buf, size_t(n));
        } else if (n < 0) {
            // The line is gone (adapter unplugged): wait a little instead of
            // spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    count = uint8_t(port->parser.takeFrames(out, SLCAN_FRAMES_PER_RECEIVE));
    release(port);
    return count;
}

uint8_t slcanAdapterSetBitRate(CanHandle h, const char* code)
{
    if (!code || !code[0])
        return 1;
    SlcanPort* port = acquire(h);
    if (!port)
        return 1;
    const char line[3] = {'S', code[0], '\r'};
    const bool ok = writeCommand(port, line, 3);
    release(port);
    return ok ? 0 : 1;
}

uint8_t slcanAdapterClose(CanHandle h)
{
    auto* port = reinterpret_cast<SlcanPort*>(h);
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        if (!h || !livePorts.count(port) || port->closing)
            return 0;
        port->closing = true;
    }
    // No new user gets the port now. Wake a waiting read and wait until every
    // user (reader, sender, the writer's current line) has left; then stop the
    // writer, so nothing is written after C (queued lines are dropped).
    {
        std::unique_lock<std::mutex> lock(registryMutex);
        port->serial.wake();
        while (port->readers > 0) {
            if (registryCond.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout)
                port->serial.wake();
        }
    }
    stopWriter();
    const bool sent = writeCommand(port, "C\r", 2);
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        livePorts.erase(port); // closes the descriptor
    }
    return sent ? 1 : 0;
}

void setSlcanWriteObserver(SlcanWriteObserver observer)
{
    writeObserver.store(observer);
}
