// quillbex-edsunpack: decompresses a device's EDS for the application, which
// ends it when a damaged stream keeps it busy. Packed stream on standard
// input, the output file first on the command line (classic/edsunpack.h).
#include "classic/edsunpack.h"

int main(int argc, char** argv)
{
    return runEdsUnpacker(argc, argv);
}
