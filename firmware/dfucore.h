// What every layer of the DFU engine shares: the error exit, the messages to
// the caller, the trace output and the time seam.
//
// Error exit. An entry runs its body through dfu_run_guarded, which installs a
// guard for the calling thread (the previous one is restored when it leaves).
// engine_exit(code) stores the code and, while a guard is installed, leaves
// the body at once; without a guard it returns, so every caller returns a
// failure right after it. Layers that can fail this way must run inside a
// guard; tests and the fuzz target do the same.
//
// Messages are formatted whole (no length limit) and handed to the log
// callback of the run. A failure that ends a run is one line of kind
// DFU_LOG_FAILURE; information is DFU_LOG_INFO.
#pragma once

#include "firmware/dfuengine.h"

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#define DFU_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Codes of the error exit. DFU_NO_EXIT: no error exit has happened.
enum : int {
    DFU_NO_EXIT = 0x5A5A5A5A,
    DFU_EXIT_OK = 0,            // the run ended as asked (help, read unprotect)
    DFU_EXIT_FAILED = 1,        // ended without an exit code of its own
    DFU_EXIT_USAGE = 64,
    DFU_EXIT_DATA = 65,
    DFU_EXIT_NO_INPUT = 66,
    DFU_EXIT_SOFTWARE = 70,
    DFU_EXIT_CANT_CREATE = 73,
    DFU_EXIT_IO = 74,
    DFU_EXIT_PROTOCOL = 76,
};

// Little-endian fields of descriptors and files.
inline uint16_t dfu_le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t dfu_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Stores the code and leaves the guarded body; returns only without a guard.
void engine_exit(int code);
// Runs body under the error exit: the exit code when engine_exit left it,
// else DFU_NO_EXIT. An exception of any other kind ends the body too
// (DFU_EXIT_SOFTWARE), so nothing escapes.
int dfu_run_guarded(const std::function<void()>& body);

// The callbacks of the run in progress (any may be null).
void dfu_set_callbacks(DfuLogFn log, DfuProgressFn progress, DfuAskFn ask);
DfuProgressFn dfu_progress_callback(void);

std::string dfu_vformat(const char* format, va_list args);
std::string dfu_format(const char* format, ...) DFU_PRINTF(1, 2);
// Information line (kind 1).
void dfu_info(const char* format, ...) DFU_PRINTF(1, 2);
// Failure line (kind 0) without leaving the run.
void dfu_error(const char* format, ...) DFU_PRINTF(1, 2);
// Failure line (kind 0), then the error exit with code; returns -1 only when
// no guard is installed.
int dfu_fatal(int code, const char* format, ...) DFU_PRINTF(2, 3);
// The question through the ask callback; 0 (stop) when there is none.
int dfu_ask(const char* question);
// Sets the buffer's size; a failed allocation is "Cannot allocate memory of
// size %zu bytes" and the error exit (false only without a guard).
bool dfu_resize_buffer(std::vector<uint8_t>& buffer, size_t size);

// Trace detail of the run (-v): 1 poll time-outs and chunks, 2 erases, 3 more.
int dfu_verbose(void);
void dfu_set_verbose(int level);

// Trace output: standard output and standard error.
void dfu_out(const char* format, ...) DFU_PRINTF(1, 2);
void dfu_err(const char* format, ...) DFU_PRINTF(1, 2);

// Time, through the seam of dfuengine.h. A single wait is cut to DFU_WAIT_BOUND_MS.
void dfu_sleep_ms(uint64_t ms);
uint64_t dfu_now_ms(void);
int64_t dfu_wall_second(void);

// The bound of one polling loop: DFU_WAIT_BOUND_MS from its start.
class DfuDeadline {
public:
    DfuDeadline();
    bool expired() const;
    // Sleeps ms, cut to what is left of the bound.
    void wait(uint64_t ms) const;

private:
    uint64_t m_end;
};
