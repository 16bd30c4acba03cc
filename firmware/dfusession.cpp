#include "firmware/dfusession.h"

#include "firmware/dfucore.h"
#include "firmware/dfuse.h"

namespace {
DfuSession g_session;
}

DfuSession& dfu_session(void)
{
    return g_session;
}

void dfu_session_reset(void)
{
    // Devices and handles go before the context that owns them.
    g_session.interfaces.reset();
    g_session.context.reset();
    g_session.settings = DfuRunSettings();
    g_session.file = DfuFile();
    g_session.runtimeVendor = DFU_MATCH_NONE;
    g_session.runtimeProduct = DFU_MATCH_NONE;
    dfuse_reset_settings();
    dfu_set_verbose(0);
}
