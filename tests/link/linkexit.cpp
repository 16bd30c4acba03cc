// Opens the link to the adapter on the path given, reads one object so that
// the port, timer and writer threads all run, and leaves main with the link
// still open. It must end without anyone closing the link.
//
//   linkexit <port path> <device node id>
#include "canopen/node.h"
#include "link/canlink.h"
#include "link/sdoaccess.h"

#include <QString>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const uint8_t device = uint8_t(std::atoi(argv[2]));
    if (openCanLink(QString::fromLocal8Bit(argv[1]), 0, "250000", nullptr) != CAN_LINK_OPEN)
        return 3;
    pointSdoClientAt(device);
    if (!sdoReadOnce(device, 0x2001, 0, CO_UNSIGNED8, 800).ok)
        return 4;
    return 0;
}
