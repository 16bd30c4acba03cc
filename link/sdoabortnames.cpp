#include "link/sdoaccess.h"

namespace {
struct AbortName {
    uint32_t code;
    const char* name;
};

// CiA 301 abort codes and the stack's own codes as users see them named.
const AbortName abortNames[] = {
    {0x06010001u, "OD_READ_NOT_ALLOWED"},
    {0x06010002u, "OD_WRITE_NOT_ALLOWED"},
    {0x06020000u, "OD_NO_SUCH_OBJECT"},
    {0x06040041u, "OD_NOT_MAPPABLE"},
    {0x06070010u, "OD_LENGTH_DATA_INVALID"},
    {0x06090011u, "OD_NO_SUCH_SUBINDEX"},
    {0x06090030u, "OD_VALUE_RANGE_EXCEEDED"},
    {0x06090031u, "OD_VALUE_TOO_LOW"},
    {0x06090032u, "OD_VALUE_TOO_HIGH"},
    {0x05030000u, "SDOABT_TOGGLE_NOT_ALTERNED"},
    {0x05040000u, "SDOABT_TIMED_OUT"},
    {0x05040005u, "SDOABT_OUT_OF_MEMORY"},
    {0x08000000u, "SDOABT_GENERAL_ERROR"},
    {0x08000021u, "SDOABT_LOCAL_CTRL_ERROR"},
};
}

QString sdoAbortCodeName(uint32_t abortCode)
{
    for (const AbortName& a : abortNames) {
        if (a.code == abortCode)
            return QString::fromLatin1(a.name);
    }
    return QString();
}
