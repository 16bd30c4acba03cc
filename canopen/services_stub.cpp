#include "canopen/services.h"

void processSyncFrame(CanOpenNode*, const CanFrame*) {}
void handleEmcyFrame(CanOpenNode*, const CanFrame*) {}
void handlePdoFrame(CanOpenNode*, const CanFrame*) {}
void handleLssMasterFrame(CanOpenNode*, const CanFrame*) {}
void handleLssSlaveFrame(CanOpenNode*, const CanFrame*) {}
void startEmcy(CanOpenNode*) {}
void startPdo(CanOpenNode*) {}
void stopPdo(CanOpenNode*) {}
