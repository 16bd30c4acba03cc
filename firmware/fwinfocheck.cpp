// The check before a download: the device's flash and the file, their records,
// and the user's answers.
#include "firmware/fwinfo.h"

#include "firmware/dfucore.h"
#include "firmware/dfufrontend.h"
#include "firmware/dfuse.h"
#include "firmware/dfusession.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

const DfuEntryErrors kPreflashErrors = {414, 435, 468, 475, 488};
constexpr uint32_t kFlashStart = 0x08000000;

const char kEraseProgram[] = "Вы загружаете стирающую программу, продолжить?";
const char kNoFileRecord[] =
    "Не удалось прочитать информацию об устройстве в загружаемой программе, продолжить?";
const char kBlankDevice[] = "В устройство не загружена программа, поэтому информация недоступна, продолжить?";
const char kNoDeviceRecord[] = "Не удалось прочитать информацию об устройстве, продолжить?";
const char kDeviceHash[] = "Ошибка: некорректное значение hash информации об устройстве, продолжить?";
const char kFileHash[] =
    "Ошибка: некорректное значение hash информации об устройстве в загружаемом файле, продолжить?";
const char kOtherType[] = "Ошибка: в загружаемой прошивке и в устройстве разные идентификаторы, продолжить?";
const char kOtherVersion[] = "Ошибка: в загружаемой прошивке и в устройстве не совпадают номера версий, продолжить?";
const char kOlderFile[] = "Ошибка: время компиляции загружаемой программы меньше времени текущей, продолжить?";

bool allErased(const uint8_t* begin, const uint8_t* end)
{
    return std::all_of(begin, end, [](uint8_t b) { return b == 0xFF; });
}

// The flash from 0x08000000 to the end of its segment; false when the device
// did not come back to dfuIDLE (logged). Layout errors take the error exit.
bool readDeviceImage(DfuInterface* dif, int xferSize, std::vector<uint8_t>* image)
{
    MemoryLayout& layout = dfuse_settings().layout;
    if (!parse_memory_layout(dif->altName.c_str(), &layout)) {
        dfu_fatal(DFU_EXIT_SOFTWARE, "Failed to parse memory layout");
        return false;
    }
    const MemorySegment* seg = find_segment(layout, kFlashStart);
    if (!seg || !(seg->memtype & DFUSE_READABLE)) {
        dfu_fatal(DFU_EXIT_SOFTWARE, "Page at 0x%08x is not readable", kFlashStart);
        return false;
    }
    const uint32_t length = seg->end - kFlashStart + 1;
    dfu_out("Limiting upload to end of memory segment, %u bytes\n", length);
    return dfuse_read_memory(dif, xferSize, kFlashStart, length, image);
}

// One image's record: taken and logged, or the question when it has none.
// False when the user answered No.
bool takeRecord(const std::vector<uint8_t>& image, bool fromFile, FwInfoRecord* record, bool* present)
{
    *present = fwinfo_find(image.data(), image.size(), record);
    if (*present) {
        dfu_info("%s", fwinfo_summary(*record, fromFile).c_str());
        return true;
    }
    return dfu_ask(fromFile ? kNoFileRecord : kNoDeviceRecord) != 0;
}

} // namespace

int fwinfo_check(DfuInterface* dif, int xferSize, const char* backupPath, const char* filePath)
{
    (void)backupPath;
    const int fd = ::open(filePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // The download that follows reports the file itself.
        dfu_error("Cannot open file %s for reading", filePath);
        return 1;
    }
    ::close(fd);

    std::vector<uint8_t> device;
    if (!readDeviceImage(dif, xferSize, &device))
        return 0;

    DfuFile file;
    file.name = filePath;
    if (!load_firmware_file(file, DFU_OPTIONAL, DFU_OPTIONAL))
        return 0;
    const std::vector<uint8_t>& bytes = file.contents;
    const size_t dataEnd = bytes.size() - file.suffixLength;

    FwInfoRecord fileRecord;
    bool filePresent = false;
    if (dataEnd <= FWINFO_DFUSE_DATA_OFFSET
        || allErased(bytes.data() + FWINFO_DFUSE_DATA_OFFSET, bytes.data() + dataEnd)) {
        if (!dfu_ask(kEraseProgram))
            return 0;
    } else if (!takeRecord(bytes, true, &fileRecord, &filePresent)) {
        return 0;
    }

    FwInfoRecord deviceRecord;
    bool devicePresent = false;
    if (allErased(device.data(), device.data() + device.size())) {
        if (!dfu_ask(kBlankDevice))
            return 0;
    } else if (!takeRecord(device, false, &deviceRecord, &devicePresent)) {
        return 0;
    }

    const std::string summary =
        fwinfo_question(devicePresent ? &deviceRecord : nullptr, filePresent ? &fileRecord : nullptr);
    if (!dfu_ask(summary.c_str()))
        return 0;
    if (devicePresent && !deviceRecord.hashValid && !dfu_ask(kDeviceHash))
        return 0;
    if (filePresent && !fileRecord.hashValid && !dfu_ask(kFileHash))
        return 0;
    if (devicePresent && filePresent) {
        if (deviceRecord.deviceType != fileRecord.deviceType && !dfu_ask(kOtherType))
            return 0;
        if (deviceRecord.deviceVersion != fileRecord.deviceVersion && !dfu_ask(kOtherVersion))
            return 0;
        if (deviceRecord.compileTime > fileRecord.compileTime && !dfu_ask(kOlderFile))
            return 0;
    }

    dfu_abort_to_idle(dif);
    if (dfuse_settings().leave)
        dfuse_leave(dif);
    return 1;
}

int fwinfo_preflash(const char* backupPath, const char* filePath, DfuLogFn log, DfuAskFn ask)
{
    const DfuEntryOutcome outcome = dfu_run_entry(log, nullptr, ask, [&]() -> int {
        dfu_session().settings.altIndex = 0;
        if (!dfu_open_usb(kPreflashErrors))
            return 0;
        DfuInterface* dif = dfu_single_interface(kPreflashErrors);
        if (!dif)
            return 0;
        const int xferSize = dfu_enter_dfu_mode(dif, kPreflashErrors);
        if (xferSize <= 0)
            return 0;
        return fwinfo_check(dif, xferSize, backupPath, filePath);
    });
    return outcome.exitCode == DFU_NO_EXIT ? outcome.result : 0;
}
