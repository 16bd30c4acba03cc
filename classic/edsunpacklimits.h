// The bounds of the EDS helper, for the helper and for whoever runs it. The
// limit and the quiet bound count the helper's own CPU time, so a busy machine
// never turns a good stream into a damaged one; the wall clock only bounds a
// helper that gets no CPU at all.
#pragma once

// The helper's CPU time at most: the application's limit, and the helper's
// own when its command line names none. EDS text that fills the device's
// 102,400-byte buffer takes 10 to 14 s at libzpaq's slowest level (5), the
// more the busier the machine's caches, and well under 1 s at levels 1 to 3;
// output near the writer's cap takes far longer at levels 4 and 5
// (bench_edsunpack) and runs into the limit.
enum { kEdsUnpackLimitMs = 20000 };
// The helper's CPU time without a progress mark: a damaged stream whose model
// loops makes no progress, and is ended after this rather than at the limit.
// A stream at work marks at least every kEdsUnpackMarkMs, however little it
// writes.
enum { kEdsUnpackStallMs = 3000 };
enum { kEdsUnpackMarkMs = 50 };
// The wall-clock safety net, as a multiple of the CPU limit. Twelve busy
// processes on the helper's two cores slow it about sevenfold; only a helper
// that is stopped, or gets almost no CPU, runs into this.
enum { kEdsUnpackWallFactor = 10 };
// The memory a stream's block asks for its model, as libzpaq reckons it, at
// most: libzpaq takes and fills it before the first byte, so a damaged header
// could take gigabytes. EDS text that fills the buffer at libzpaq's largest
// level (5) asks for 107 MB, and the helper peaks at 120 to 140 MB with it;
// text of 8 MiB at that level, which fits the buffer when repetitive, asks
// for 195 MB.
enum { kEdsUnpackModelBytes = 256 * 1024 * 1024 };
// The helper's address space at most, a net under that check for anything
// else that could grow: the model's bound and room for the program itself
// (about 50 MB) and its buffers. Left open in a sanitized build, whose
// sanitizer reserves terabytes of address space up front.
enum { kEdsUnpackAddressSpaceBytes = kEdsUnpackModelBytes + 128 * 1024 * 1024 };
