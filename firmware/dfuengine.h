// The DFU engine: reads a device's firmware into a file (upload) or writes a
// firmware file into a device (download) over USB DFU 1.1 and its DfuSe
// extension. It is driven like a command-line tool by an argument list and
// reports through three plain C callbacks; it never touches a window.
//
// Threads: an entry runs on the caller's thread from start to end and calls
// the callbacks there. The engine keeps its state in process-wide variables,
// so one entry runs at a time.
//
// Every wait on the device (status polls, manifestation, busy loops) is bounded
// by DFU_WAIT_BOUND_MS, so an entry always returns. Nothing escapes an entry:
// a failure deep inside logs one red line (kind 0), leaves the run through the
// error exit and the entry closes the device and the USB context before it
// returns.
#pragma once

#include <cstdint>

// One log line: UTF-8 text; kind DFU_LOG_INFO (shown in blue) or DFU_LOG_FAILURE (red).
typedef void (*DfuLogFn)(const char* text, int kind);
// Progress from 0 to DFU_PROGRESS_STEPS.
typedef void (*DfuProgressFn)(int step);
// A yes/no question (UTF-8, may hold HTML): nonzero continues, 0 stops.
typedef int (*DfuAskFn)(const char* question);

enum { DFU_LOG_FAILURE = 0, DFU_LOG_INFO = 1, DFU_PROGRESS_STEPS = 25 };
// Longest time any one wait or polling loop may take before the run fails.
enum { DFU_WAIT_BOUND_MS = 120000 };

// The option-driven engine (see the usage text: -h). 0 only on success.
int dfu_engine_main(int argc, const char* const* argv, DfuLogFn log, DfuProgressFn progress);
// "dsf -a 0 -s 0x08000000 -U path": the flash from 0x08000000 to the end of its
// segment into a new file (an existing file is not overwritten).
int dfu_upload_entry(const char* path, DfuLogFn log, DfuProgressFn progress);
// "dsf -a 0 -D path".
int dfu_download_entry(const char* path, DfuLogFn log, DfuProgressFn progress);
// True when exactly one DFU-capable interface is present (run-time interfaces of
// any alternate setting, DFU-mode interfaces with alternate setting 0); else
// one red line says why.
bool dfu_device_check(DfuLogFn log);

// The one seam for time: every wait of the engine sleeps through sleepMs, the
// bounds are measured on monotonicMs and the progress throttle reads the
// wall-clock second from wallSeconds. Null puts the real clocks back. Set it
// before a run, not during one.
struct DfuTiming {
    void (*sleepMs)(uint32_t ms);
    uint64_t (*monotonicMs)(void);
    int64_t (*wallSeconds)(void);
};
void dfu_set_timing(const DfuTiming* timing);

// Trace output (what a command-line tool would print; the user never sees it)
// goes to standard output (stream 1) and standard error (stream 2) unless a
// sink is set; null puts the standard streams back.
typedef void (*DfuTraceFn)(int stream, const char* text);
void dfu_set_trace(DfuTraceFn sink);
