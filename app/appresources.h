#pragma once

// Registers the compiled-in images (":/images/..."). The resources sit in a
// static library, whose automatic registration the linker may drop.
void initAppResources();
