// The tool's own node and its dictionary of 20 entries: a master with an SDO
// client (0x1280), one receive and one transmit PDO, a SYNC producer entry
// and a heartbeat consumer entry, and no SDO server.
#pragma once

#include "canopen/node.h"

enum { TOOL_DICTIONARY_SIZE = 20 };

extern CanOpenNode toolNode;

// Puts every dictionary value back to its start value and the node record to
// its program-start state (lines freed, NMT state unknown, id 0); the port is
// kept. Tests use it between cases.
void resetToolNode(void);
