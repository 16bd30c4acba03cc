// The EDS a device may carry: compressed (libzpaq) in object 0x1021, its
// checksum in 0x2000 sub-index 6. The decompressed text is kept as
// "<application folder>/ConfigurationData/<device name>/<checksum>.eds", so a
// device whose EDS did not change is not read again; or the user picks a file.
//
// GUI thread. The device reads go through the synchronous SDO access and wait
// as long as the transfer keeps going (a whole 102,400-byte upload takes about
// 15 s); a silent device ends each try after the link's own time-out.
#pragma once

#include "classic/edsunpack.h"

#include <QString>

struct ClassicHost;

// The device's EDS into its cache file; edsPath becomes the cache path once
// the checksum is known. True when that file exists or was written whole and
// verified. A failed checksum read switches the tools off; a failed EDS read
// also drops the CAN link. Each failure is one red line. The decompression
// runs in the host's helper, ended as damaged once it has had the host's
// limit of CPU time. Work folders that no running copy of the application
// uses go from the device's folder; those in use stay.
bool readEdsFromDevice(const ClassicHost& host, QString& edsPath);

// Where the EDS comes from: the device when the host's get-EDS-from-device
// option is on and that read succeeded, else a file the user picks (edsPath
// empty when cancelled). True when edsPath names an EDS to read.
bool chooseEds(const ClassicHost& host, QString& edsPath);
