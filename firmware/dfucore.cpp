#include "firmware/dfucore.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <new>
#include <thread>

namespace {

// Carries the code of engine_exit back to dfu_run_guarded; never leaves the engine.
struct EngineExit {
    int code;
};

// The installed guard belongs to the thread that runs the engine.
thread_local int* t_guardCode = nullptr;

int g_verbose = 0;
DfuLogFn g_log = nullptr;
DfuProgressFn g_progress = nullptr;
DfuAskFn g_ask = nullptr;

std::atomic<const DfuTiming*> g_timing{nullptr};
std::atomic<DfuTraceFn> g_trace{nullptr};

void realSleep(uint32_t ms)
{
    if (ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint64_t realMonotonic(void)
{
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

int64_t realWallSeconds(void)
{
    return int64_t(std::time(nullptr));
}

const DfuTiming kRealTiming = {realSleep, realMonotonic, realWallSeconds};

const DfuTiming& timing()
{
    const DfuTiming* t = g_timing.load();
    return t ? *t : kRealTiming;
}

void logLine(int kind, const char* format, va_list args)
{
    const std::string text = dfu_vformat(format, args);
    if (g_log)
        g_log(text.c_str(), kind);
}

void trace(int stream, const char* format, va_list args)
{
    const std::string text = dfu_vformat(format, args);
    if (DfuTraceFn sink = g_trace.load()) {
        sink(stream, text.c_str());
        return;
    }
    std::fputs(text.c_str(), stream == 1 ? stdout : stderr);
    if (stream == 2)
        std::fputc('\n', stderr);
}

} // namespace

void engine_exit(int code)
{
    if (!t_guardCode)
        return;
    *t_guardCode = code;
    throw EngineExit{code};
}

int dfu_run_guarded(const std::function<void()>& body)
{
    int code = DFU_NO_EXIT;
    int* const saved = t_guardCode;
    t_guardCode = &code;
    try {
        body();
    } catch (const EngineExit& e) {
        code = e.code;
    } catch (...) {
        code = DFU_EXIT_SOFTWARE;
    }
    t_guardCode = saved;
    return code;
}

void dfu_set_callbacks(DfuLogFn log, DfuProgressFn progress, DfuAskFn ask)
{
    g_log = log;
    g_progress = progress;
    g_ask = ask;
}

DfuProgressFn dfu_progress_callback(void)
{
    return g_progress;
}

std::string dfu_vformat(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string text(size_t(n) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(size_t(n));
    return text;
}

std::string dfu_format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = dfu_vformat(format, args);
    va_end(args);
    return text;
}

void dfu_info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logLine(DFU_LOG_INFO, format, args);
    va_end(args);
}

void dfu_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logLine(DFU_LOG_FAILURE, format, args);
    va_end(args);
}

int dfu_fatal(int code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logLine(DFU_LOG_FAILURE, format, args);
    va_end(args);
    engine_exit(code);
    return -1;
}

int dfu_ask(const char* question)
{
    return g_ask ? g_ask(question) : 0;
}

bool dfu_resize_buffer(std::vector<uint8_t>& buffer, size_t size)
{
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        dfu_fatal(DFU_EXIT_SOFTWARE, "Cannot allocate memory of size %zu bytes", size);
        return false;
    }
    return true;
}

int dfu_verbose(void)
{
    return g_verbose;
}

void dfu_set_verbose(int level)
{
    g_verbose = level;
}

void dfu_out(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    trace(1, format, args);
    va_end(args);
}

void dfu_err(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    trace(2, format, args);
    va_end(args);
}

void dfu_set_timing(const DfuTiming* t)
{
    g_timing.store(t);
}

void dfu_set_trace(DfuTraceFn sink)
{
    g_trace.store(sink);
}

void dfu_sleep_ms(uint64_t ms)
{
    if (ms > DFU_WAIT_BOUND_MS)
        ms = DFU_WAIT_BOUND_MS;
    timing().sleepMs(uint32_t(ms));
}

uint64_t dfu_now_ms(void)
{
    return timing().monotonicMs();
}

int64_t dfu_wall_second(void)
{
    return timing().wallSeconds();
}

DfuDeadline::DfuDeadline()
    : m_end(dfu_now_ms() + DFU_WAIT_BOUND_MS)
{
}

bool DfuDeadline::expired() const
{
    return dfu_now_ms() >= m_end;
}

void DfuDeadline::wait(uint64_t ms) const
{
    const uint64_t now = dfu_now_ms();
    const uint64_t left = now < m_end ? m_end - now : 0;
    dfu_sleep_ms(ms < left ? ms : left);
}
