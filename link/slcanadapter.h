// The USB-CAN adapter driver: SLCAN lines over a serial port.
//
// Open sends "O", close sends "C", the bit-rate command is "S" + code. Send only
// queues a line; one writer thread for the whole driver ("slcan-writer")
// writes the queued lines in queue order, one write completed before the next
// begins and never two within 1 ms: a line queued on an idle link leaves at
// once, the next one 1 ms after the previous write completed. The writer
// sleeps while nothing is queued. The writer queue is guarded by the stack
// mutex, held only to take a line off it; the writer's wake-up has a lock of
// its own, always taken after the stack mutex, never before. Receive waits at
// most 500 ms for bytes and keeps partial lines until the rest arrives.
#pragma once

#include "canopen/canframe.h"

#include <chrono>
#include <string>

// Binds the five operations below into the stack's port layer. Returns 1.
int bindCanAdapterDriver(void);

uint8_t slcanAdapterReceive(CanHandle h, CanFrame* out);
uint8_t slcanAdapterSend(CanHandle h, const CanFrame* frame);
CanHandle slcanAdapterOpen(const CanBoard* board);
// Why the last slcanAdapterOpen on the calling thread failed, as the system
// words it ("/dev/ttyUSB0: Permission denied"); empty after a success.
std::string slcanAdapterOpenError();
uint8_t slcanAdapterClose(CanHandle h);
uint8_t slcanAdapterSetBitRate(CanHandle h, const char* code);

// The receive wait and the command write wait, in ms.
enum { SLCAN_WAIT_MS = 500 };
// Most frames one receive stores; the caller's array must hold this many.
enum { SLCAN_FRAMES_PER_RECEIVE = 50 };

// Test seam: called on the writer thread for every line it writes, with the
// time the write began and the time it completed. Null removes it.
typedef void (*SlcanWriteObserver)(std::chrono::steady_clock::time_point began,
                                   std::chrono::steady_clock::time_point completed);
void setSlcanWriteObserver(SlcanWriteObserver observer);
