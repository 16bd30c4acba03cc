#include "link/connectionsettings.h"

ConnectionSettings& connectionSettings()
{
    // Built on first use, so no other static initialiser can see it half made.
    static ConnectionSettings settings;
    return settings;
}
