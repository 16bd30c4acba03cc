// The stack names its static node record toolNode, the same name as the
// accessor of link/sdoaccess.h; this file alone sees the record itself.
#include "canopen/tooldict.h"

CanOpenNode* linkToolNodeRecord(void)
{
    return &toolNode;
}
