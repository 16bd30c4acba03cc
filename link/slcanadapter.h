// The USB-CAN adapter driver: SLCAN lines over a serial port.
//
// Open sends "O", close sends "C", the bit-rate command is "S" + code. Send only
// queues a line; one writer thread for the whole driver puts at most one queued
// line per millisecond on the wire, in queue order. The writer queue is guarded
// by the stack mutex. Receive waits at most 500 ms for bytes and keeps partial
// lines until the rest arrives.
#pragma once

#include "canopen/canframe.h"

// Binds the five operations below into the stack's port layer. Returns 1.
int bindCanAdapterDriver(void);

uint8_t slcanAdapterReceive(CanHandle h, CanFrame* out);
uint8_t slcanAdapterSend(CanHandle h, const CanFrame* frame);
CanHandle slcanAdapterOpen(const CanBoard* board);
uint8_t slcanAdapterClose(CanHandle h);
uint8_t slcanAdapterSetBitRate(CanHandle h, const char* code);

// The receive wait and the command write wait, in ms.
enum { SLCAN_WAIT_MS = 500 };
// Most frames one receive stores; the caller's array must hold this many.
enum { SLCAN_FRAMES_PER_RECEIVE = 50 };
