// One CAN frame as the stack and the adapter driver exchange it, and what the
// link opener hands to the adapter's open operation.
#pragma once

#include <cstdint>
#include <string>

struct CanFrame {
    uint16_t id = 0;      // 11-bit identifier (COB-ID)
    uint8_t rtr = 0;      // remote-request flag; the SLCAN driver always uses 0
    uint8_t len = 0;      // 0 to 8
    uint8_t data[8] = {};
};

// Multi-byte values travel little-endian in CANopen frames and blobs.
inline uint32_t canGetU32(const uint8_t* d)
{
    return uint32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24);
}
inline void canPutU32(uint8_t* d, uint32_t v)
{
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
    d[2] = uint8_t(v >> 16);
    d[3] = uint8_t(v >> 24);
}

struct CanBoard {
    std::string busname;  // port as the user names it: "ttyUSB0" or a path
    std::string baudrate; // serial speed as decimal text, "2400" or "4800"
};

// Opaque adapter handle; 0 means none.
typedef uintptr_t CanHandle;

// The five adapter operations the port layer calls, bound once before a port is
// opened (see bindCanAdapterDriver in link/slcanadapter.h).
struct CanAdapterDriver {
    uint8_t (*receive)(CanHandle h, CanFrame* out);          // frames stored, 0 on nothing/failure
    uint8_t (*send)(CanHandle h, const CanFrame* frame);     // 0 queued, 1 refused
    CanHandle (*open)(const CanBoard* board);                // 0 on failure
    uint8_t (*close)(CanHandle h);                           // 1 when the close command went out
    uint8_t (*setBitRate)(CanHandle h, const char* code);    // 0 written, 1 failed
};

// How many frames a single receive may store: one read of 250 bytes holds at
// most 50 of the shortest lines; the receive loop passes an array of 201.
enum { CAN_RECEIVE_BATCH = 201 };
