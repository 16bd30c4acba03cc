// The bounds of the EDS helper, for the helper and for whoever runs it.
#pragma once

// How long the helper may take when its command line names no limit, and the
// application's own limit. EDS text that fills the device's 102,400-byte
// buffer takes about 10 s at libzpaq's slowest level (5) and well under 1 s
// at levels 1 to 3; output near the writer's cap takes far longer at levels 4
// and 5 (bench_edsunpack) and runs into the limit.
enum { kEdsUnpackLimitMs = 20000 };
// How long the application lets the helper go without a progress mark: a
// damaged stream whose model loops writes nothing, and is ended after this
// rather than at the limit. The slowest level writes a mark every 0.1 s here.
enum { kEdsUnpackStallMs = 3000 };
