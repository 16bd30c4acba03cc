// The PDO, SYNC, EMCY and LSS services as the NMT state switch and the frame
// dispatch reach them (pdo.cpp, sync.cpp, emcy.cpp, lss.cpp, lssslave.cpp).
#pragma once

#include "canopen/canframe.h"

struct CanOpenNode;

// Received frames, routed by function code while the service is on.
void processSyncFrame(CanOpenNode* node, const CanFrame* frame);
void handleEmcyFrame(CanOpenNode* node, const CanFrame* frame);
void handlePdoFrame(CanOpenNode* node, const CanFrame* frame);
void handleLssMasterFrame(CanOpenNode* node, const CanFrame* frame); // 0x7E4, slave answers
void handleLssSlaveFrame(CanOpenNode* node, const CanFrame* frame);  // 0x7E5, master requests

// Switched by the NMT state: EMCY start registers the error-history callback
// and clears the error count; PDO start registers the transmit-PDO callbacks
// and sends the event-driven PDOs, PDO stop cancels their alarms.
void startEmcy(CanOpenNode* node);
void startPdo(CanOpenNode* node);
void stopPdo(CanOpenNode* node);
