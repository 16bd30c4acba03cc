// The engine's entries and its argument list.
#include "firmware/dfucore.h"
#include "firmware/dfufile.h"
#include "firmware/dfufrontend.h"
#include "firmware/dfuse.h"
#include "firmware/dfusession.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char kShortOptions[] = "hVvleE:d:p:c:i:a:S:t:U:D:Rs:Z:";

const struct option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"verbose", no_argument, nullptr, 'v'},
    {"list", no_argument, nullptr, 'l'},
    {"detach", no_argument, nullptr, 'e'},
    {"detach-delay", required_argument, nullptr, 'E'},
    {"device", required_argument, nullptr, 'd'},
    {"path", required_argument, nullptr, 'p'},
    {"configuration", required_argument, nullptr, 'c'},
    {"cfg", required_argument, nullptr, 'c'},
    {"interface", required_argument, nullptr, 'i'},
    {"intf", required_argument, nullptr, 'i'},
    {"altsetting", required_argument, nullptr, 'a'},
    {"alt", required_argument, nullptr, 'a'},
    {"serial", required_argument, nullptr, 'S'},
    {"transfer-size", required_argument, nullptr, 't'},
    {"upload", required_argument, nullptr, 'U'},
    {"upload-size", required_argument, nullptr, 'Z'},
    {"download", required_argument, nullptr, 'D'},
    {"reset", no_argument, nullptr, 'R'},
    {"dfuse-address", required_argument, nullptr, 's'},
    {nullptr, 0, nullptr, 0},
};

void printUsage(const char* program)
{
    dfu_err("Usage: %s [options] ...\n"
            "  -h --help\t\t\tPrint this help message\n"
            "  -V --version\t\t\tPrint the version number\n"
            "  -v --verbose\t\t\tPrint more trace output\n"
            "  -l --list\t\t\tList the DFU capable USB devices\n"
            "  -e --detach\t\t\tDetach the device into DFU mode\n"
            "  -E --detach-delay seconds\tWait this long after a detach before looking again\n"
            "  -d --device <vendor>:<product>[,<vendor_dfu>:<product_dfu>]\n"
            "\t\t\t\tSelect the device by its ids (hexadecimal, * any)\n"
            "  -c --cfg <number>\t\tConfiguration of the DFU device\n"
            "  -i --intf <number>\t\tDFU interface number\n"
            "  -S --serial <serial>[,<serial_dfu>]\n"
            "\t\t\t\tSelect the device by its serial number\n"
            "  -a --alt <number or name>\tAlternate setting of the DFU interface\n"
            "  -t --transfer-size <bytes>\tTransfer size of the USB requests\n"
            "  -U --upload <file>\t\tRead the firmware from the device into <file>\n"
            "  -Z --upload-size <bytes>\tExpected upload size\n"
            "  -D --download <file>\t\tWrite the firmware from <file> into the device\n"
            "  -R --reset\t\t\tReset the device after the transfer\n"
            "  -s --dfuse-address address<:modifier>\n"
            "\t\t\t\tDfuSe address, with modifiers force, leave, unprotect,\n"
            "\t\t\t\tmass-erase or an upload length",
            program);
}

// One id of "-d": hexadecimal, "*" any, "-" none; anything else keeps *id.
void parseId(const std::string& text, int* id)
{
    if (text.empty())
        return;
    if (text[0] == '*') {
        *id = DFU_MATCH_ANY;
        return;
    }
    if (text[0] == '-') {
        *id = DFU_MATCH_NONE;
        return;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (end != text.c_str() && value <= 0xFFFF)
        *id = int(value);
}

// "vendor[:product]" into a pair.
void parseIdPair(const std::string& text, int* vendor, int* product)
{
    const size_t colon = text.find(':');
    parseId(text.substr(0, colon), vendor);
    if (colon != std::string::npos)
        parseId(text.substr(colon + 1), product);
}

void parseDeviceFilter(const char* text, DfuRunSettings& s)
{
    const std::string all(text);
    const size_t comma = all.find(',');
    if (comma == std::string::npos) {
        parseIdPair(all, &s.vendor, &s.product);
        return;
    }
    if (comma == 0) {
        s.vendor = s.product = DFU_MATCH_NONE;
    } else {
        parseIdPair(all.substr(0, comma), &s.vendor, &s.product);
    }
    s.vendorDfu = s.vendor;
    s.productDfu = s.product;
    parseIdPair(all.substr(comma + 1), &s.vendorDfu, &s.productDfu);
}

void parseSerialFilter(const char* text, DfuRunSettings& s)
{
    const std::string all(text);
    const size_t comma = all.find(',');
    s.serial = all.substr(0, comma);
    s.serialDfu = comma == std::string::npos ? s.serial : all.substr(comma + 1);
}

int number(const char* text)
{
    return int(std::strtol(text, nullptr, 0));
}

// The options into the session's settings; false after the run ended (help,
// a bad option: red line and the error exit).
bool parseOptions(int argc, const char* const* argv, DfuRunSettings& s)
{
    // getopt_long permutes its vector, and keeps its position from run to run
    // unless optind is 0.
    std::vector<std::string> copies(argv, argv + argc);
    std::vector<char*> args;
    for (std::string& a : copies)
        args.push_back(&a[0]);
    args.push_back(nullptr);
    const char* program = argc > 0 ? argv[0] : "dfu-engine";
    optind = 0;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, args.data(), kShortOptions, kLongOptions, nullptr);
        if (c == -1)
            return true;
        switch (c) {
        case 'V':
            s.mode = MODE_VERSION;
            break;
        case 'v':
            dfu_set_verbose(dfu_verbose() + 1);
            break;
        case 'l':
            s.mode = MODE_LIST;
            break;
        case 'e':
            s.mode = MODE_DETACH;
            s.interface = 0;
            s.altIndex = 0;
            break;
        case 'E':
            s.detachDelay = number(optarg) < 0 ? 0 : number(optarg);
            break;
        case 'd':
            parseDeviceFilter(optarg, s);
            break;
        case 'p':
            dfu_fatal(DFU_EXIT_USAGE, "USB device paths are not supported by this DFU engine.\n");
            return false;
        case 'c':
            s.config = number(optarg);
            break;
        case 'i':
            s.interface = number(optarg);
            break;
        case 'a': {
            char* end = nullptr;
            const long index = std::strtol(optarg, &end, 0);
            if (*optarg && *end == '\0') {
                s.altIndex = int(index);
                s.altName.clear();
            } else {
                s.altIndex = DFU_MATCH_ANY;
                s.altName = optarg;
            }
            break;
        }
        case 'S':
            parseSerialFilter(optarg, s);
            break;
        case 't': {
            const int size = number(optarg);
            s.transferSize = size < 0 ? 0 : size > 0xFFFF ? 0xFFFF : size;
            break;
        }
        case 'U':
            s.mode = MODE_UPLOAD;
            s.fileName = optarg;
            break;
        case 'Z':
            s.expectedSize = std::strtoll(optarg, nullptr, 0);
            break;
        case 'D':
            s.mode = MODE_DOWNLOAD;
            s.fileName = optarg;
            break;
        case 'R':
            s.finalReset = true;
            break;
        case 's':
            s.dfuseGiven = true;
            s.dfuseOptions = optarg;
            break;
        case 'h':
            printUsage(program);
            engine_exit(DFU_EXIT_OK);
            return false;
        default: {
            printUsage(program);
            const int at = optind > 0 && optind <= argc ? optind - 1 : 0;
            dfu_fatal(DFU_EXIT_USAGE, "Invalid option in the argument list: %s", args[at] ? args[at] : "");
            return false;
        }
        }
    }
}

bool pairMatches(const DfuFile& file, int vendor, int product)
{
    return (file.idVendor == DFU_ID_WILDCARD || file.idVendor == vendor)
           && (file.idProduct == DFU_ID_WILDCARD || file.idProduct == product);
}

int upload(DfuInterface* dif, int xferSize, bool dfuse)
{
    const DfuSession& session = dfu_session();
    const char* name = session.settings.fileName.c_str();
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        dfu_err("%s: %s", name, std::strerror(errno));
        dfu_error("Cannot open file %s for writing", name);
        return DFU_EXIT_CANT_CREATE;
    }
    const DfuFdCloser closer{fd};
    if (dfuse || session.settings.dfuseGiven) {
        const char* options = session.settings.dfuseGiven ? session.settings.dfuseOptions.c_str() : nullptr;
        return dfuse_upload_to_file(dif, xferSize, fd, options) < 0 ? DFU_EXIT_IO : 0;
    }
    return dfu_upload_plain(dif, xferSize, session.settings.expectedSize, fd) != 0 ? DFU_EXIT_IO : 0;
}

int download(DfuInterface* dif, int xferSize, bool dfuse)
{
    const DfuSession& session = dfu_session();
    const DfuFile& file = session.file;
    if (!pairMatches(file, session.runtimeVendor, session.runtimeProduct)
        && !pairMatches(file, dif->vendor, dif->product)) {
        dfu_error("Error: File ID %04x:%04x does not match device (%04x:%04x or %04x:%04x)", file.idVendor,
                  file.idProduct, session.runtimeVendor & 0xFFFF, session.runtimeProduct & 0xFFFF, dif->vendor,
                  dif->product);
        return DFU_EXIT_DATA;
    }
    if (dfuse || session.settings.dfuseGiven || file.bcdDFU == DFUSE_BCD) {
        const char* options = session.settings.dfuseGiven ? session.settings.dfuseOptions.c_str() : nullptr;
        return dfuse_download_entry(dif, xferSize, file, options) != 0 ? DFU_EXIT_IO : 0;
    }
    return dfu_download_plain(dif, xferSize, file) != 0 ? DFU_EXIT_IO : 0;
}

// -R: back to run-time mode.
void finalReset(DfuInterface* dif, bool quiet)
{
    if (dfu_detach(dif, DFU_DETACH_TIMEOUT) < 0)
        dfu_info("can't detach");
    dfu_out("Resetting USB to switch back to runtime mode\n");
    const int rc = libusb_reset_device(dif->handle.get());
    if (rc < 0 && rc != LIBUSB_ERROR_NOT_FOUND) {
        if (quiet)
            dfu_err("error resetting after download");
        else
            dfu_error("error resetting after download");
    }
}

int engineRun(int argc, const char* const* argv)
{
    DfuSession& session = dfu_session();
    DfuRunSettings& s = session.settings;
    if (!parseOptions(argc, argv, s))
        return DFU_EXIT_USAGE;
    dfu_out("dfu-engine 0.8\n\nThe firmware update engine of Quillbex: USB DFU 1.1 and DfuSe.\n\n");
    if (s.mode == MODE_VERSION)
        return 0;
    if (s.mode == MODE_NONE) {
        printUsage(argc > 0 ? argv[0] : "dfu-engine");
        return dfu_fatal(DFU_EXIT_USAGE, "You need to specify one of -D or -U\n");
    }
    if (s.config == 0)
        s.config = DFU_MATCH_ANY;

    if (s.mode == MODE_DOWNLOAD) {
        session.file.name = s.fileName;
        if (!load_firmware_file(session.file, DFU_OPTIONAL, DFU_OPTIONAL))
            return DFU_EXIT_DATA;
        if (s.vendor == DFU_MATCH_ANY && session.file.idVendor != DFU_ID_WILDCARD) {
            s.vendor = session.file.idVendor;
            dfu_info("Match vendor ID from file: %04x\n", s.vendor);
        }
        if (s.product == DFU_MATCH_ANY && session.file.idProduct != DFU_ID_WILDCARD) {
            s.product = session.file.idProduct;
            dfu_info("Match product ID from file: %04x\n", s.product);
        }
    }

    if (!dfu_open_usb(kEngineEntryErrors))
        return DFU_EXIT_IO;
    if (s.mode == MODE_LIST) {
        list_interfaces(session.interfaces.get());
        return 0;
    }
    DfuInterface* dif = dfu_single_interface(kEngineEntryErrors);
    if (!dif)
        return DFU_EXIT_IO;
    const int xferSize = dfu_enter_dfu_mode(dif, kEngineEntryErrors);
    if (xferSize == DFU_DETACHED)
        return 0;
    if (xferSize <= 0)
        return DFU_EXIT_IO;

    const bool dfuse = dif->func.bcdDFU == DFUSE_BCD;
    int result = 0;
    switch (s.mode) {
    case MODE_UPLOAD:
        result = upload(dif, xferSize, dfuse);
        break;
    case MODE_DOWNLOAD:
        result = download(dif, xferSize, dfuse);
        break;
    case MODE_DETACH:
        if (dfu_detach(dif, DFU_DETACH_TIMEOUT) < 0)
            dfu_info("can't detach");
        break;
    default:
        dfu_error("Unsupported mode: %u", unsigned(s.mode));
        return DFU_EXIT_SOFTWARE;
    }
    if (s.finalReset)
        finalReset(dif, result != 0);
    return result;
}

} // namespace

int dfu_engine_main(int argc, const char* const* argv, DfuLogFn log, DfuProgressFn progress)
{
    return dfu_run_entry(log, progress, nullptr, [&] { return engineRun(argc, argv); }).result;
}

int dfu_upload_entry(const char* path, DfuLogFn log, DfuProgressFn progress)
{
    const char* const argv[] = {"dsf", "-a", "0", "-s", "0x08000000", "-U", path};
    return dfu_engine_main(7, argv, log, progress);
}

int dfu_download_entry(const char* path, DfuLogFn log, DfuProgressFn progress)
{
    const char* const argv[] = {"dsf", "-a", "0", "-D", path};
    return dfu_engine_main(5, argv, log, progress);
}

bool dfu_device_check(DfuLogFn log)
{
    const DfuEntryOutcome outcome = dfu_run_entry(log, nullptr, nullptr, []() -> int {
        dfu_session().settings.altIndex = 0;
        if (!dfu_open_usb(kDeviceCheckErrors))
            return DFU_EXIT_IO;
        return dfu_single_interface(kDeviceCheckErrors) ? 0 : DFU_EXIT_IO;
    });
    return outcome.result == 0;
}
