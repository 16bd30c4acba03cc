// Routing of received frames to the services by function code (identifier
// bits 7 to 10), each only while the node's state has the service on.
#include "canopen/port.h"

#include "canopen/lifeguard.h"
#include "canopen/nmt.h"
#include "canopen/node.h"
#include "canopen/sdo.h"
#include "canopen/services.h"

void dispatchCanFrame(CanOpenNode* node, const CanFrame* frame)
{
    if (!node || !frame || frame->id >= 0x800 || frame->len > 8)
        return;
    switch (frame->id >> 7) {
    case 0:
        if (node->slave)
            handleNmtCommand(node, frame);
        break;
    case 1:
        if (frame->id == 0x080) {
            if (node->comm.sync)
                processSyncFrame(node, frame);
        } else if (node->comm.emcy) {
            handleEmcyFrame(node, frame);
        }
        break;
    case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10:
        if (node->comm.pdo)
            handlePdoFrame(node, frame);
        break;
    case 11:
    case 12:
        if (node->comm.sdo)
            handleSdoFrame(node, frame);
        break;
    case 14:
        if (node->comm.lifeGuard)
            handleNodeGuardFrame(node, frame);
        break;
    case 15:
        if (!node->comm.lss)
            break;
        if (!node->slave && frame->id == 0x7E4)
            handleLssMasterFrame(node, frame);
        else if (node->slave && frame->id == 0x7E5)
            handleLssSlaveFrame(node, frame);
        break;
    default:
        break; // 2 (0x100-0x17F) and 13 (0x680-0x6FF) carry nothing for us
    }
}
