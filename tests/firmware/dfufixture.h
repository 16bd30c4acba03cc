// One DFU engine test: a simulated USB bus, the recorder and virtual clock,
// and a temporary folder for the firmware files.
#pragma once

#include "firmware/dfuengine.h"

#include "dfuenginekit.h"
#include "dfufilebuilder.h"
#include "simusb.h"

#include <QTemporaryDir>

#include <string>
#include <vector>

// The flash of the default simulated DfuSe device: 64 pages of 2 KB.
constexpr uint32_t kFlashBase = 0x08000000;
constexpr uint32_t kFlashSize = 64 * 2048;

struct DfuFixture {
    SimUsbBus bus;
    DfuTestScope scope;
    QTemporaryDir dir;

    std::string path(const QString& name) const { return QFile::encodeName(dir.filePath(name)).toStdString(); }

    std::string writeFile(const QString& name, const dfutest::Bytes& bytes) const
    {
        const std::string p = path(name);
        dfutest::writeFile(p, bytes);
        return p;
    }

    // dfu_engine_main with this argument list.
    static int engine(const std::vector<std::string>& args)
    {
        std::vector<const char*> argv;
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        return dfu_engine_main(int(argv.size()), argv.data(), DfuRecorder::log, DfuRecorder::progress);
    }
    static int upload(const std::string& file) { return dfu_upload_entry(file.c_str(), DfuRecorder::log, DfuRecorder::progress); }
    static int download(const std::string& file)
    {
        return dfu_download_entry(file.c_str(), DfuRecorder::log, DfuRecorder::progress);
    }

    bool nothingOpen() const { return bus.openHandles() == 0 && bus.liveContexts() == 0 && bus.liveDevices() == 0; }

    static void fill(SimDfuDevice& device, uint32_t seed)
    {
        device.setMemory(kFlashBase, dfutest::pattern(kFlashSize, seed));
    }

    static SimDfuConfig plainDevice(std::vector<uint8_t> image = {})
    {
        SimDfuConfig c;
        c.bcdDFU = 0x0110;
        c.altNames = {"Application"};
        c.transferSize = 1024;
        c.memory.clear();
        c.image = std::move(image);
        return c;
    }

    static SimDfuConfig runtimeDevice()
    {
        SimDfuConfig c;
        c.startInRuntime = true;
        return c;
    }
};
