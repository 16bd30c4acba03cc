// The record of the tool's own CANopen node; one static instance, passed first
// to every stack operation.
#pragma once

#include "canopen/canframe.h"

struct CanPort;

struct CanOpenNode {
    CanPort* port = nullptr; // the open port slot, null while closed
};
