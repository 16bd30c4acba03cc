#include "canopen/port.h"

// Placeholder until frame dispatch lands.
void dispatchCanFrame(CanOpenNode*, const CanFrame*) {}
