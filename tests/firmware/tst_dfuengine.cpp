// The engine end to end against simulated devices: the worker's two argument
// lists, the way into DFU mode, file ids, device selection, the device check.
#include "firmware/dfufrontend.h"
#include "firmware/dfuse.h"
#include "firmware/dfusession.h"

#include "dfufixture.h"

#include <QFile>
#include <QTest>

#include <atomic>
#include <thread>

using dfutest::Bytes;

namespace {

enum Start { InDfuMode, RuntimeReset, RuntimeSelfDetach, InDownloadIdle, InDfuError, DescriptorInConfig,
             DescriptorByRequest, DescriptorAbsent, ProtocolZero };

dfutest::Target target0(std::vector<dfutest::Element> elements)
{
    dfutest::Target t;
    t.alt = 0;
    t.name = "ST...";
    t.elements = std::move(elements);
    return t;
}

// Reads device memory as an entry of another module would: the first interface,
// into DFU mode, then the read.
DfuEntryOutcome readMemoryThroughEntry(uint32_t address, uint32_t length, std::vector<uint8_t>* buffer)
{
    return dfu_run_entry(DfuRecorder::log, nullptr, nullptr, [&] {
        dfu_session().settings.altIndex = 0;
        if (!dfu_open_usb(kEngineEntryErrors))
            return 1;
        DfuInterface* dif = dfu_single_interface(kEngineEntryErrors);
        const int xfer = dif ? dfu_enter_dfu_mode(dif, kEngineEntryErrors) : 0;
        if (xfer <= 0)
            return 1;
        return dfuse_read_memory(dif, xfer, address, length, buffer) ? 0 : 1;
    });
}

} // namespace

class TstDfuEngine : public QObject {
    Q_OBJECT
private slots:
    void uploadReadsTheFlashSegment_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("logHas");
        QTest::newRow("in DFU mode") << int(InDfuMode) << "dfuIDLE, continuing\n";
        QTest::newRow("run-time, detach and reset") << int(RuntimeReset) << "Resetting USB";
        QTest::newRow("run-time, detaches itself") << int(RuntimeSelfDetach) << "Device will detach and reattach";
        QTest::newRow("in dfuDNLOAD-IDLE") << int(InDownloadIdle) << "state = dfuDNLOAD-IDLE, status = 0\n";
        QTest::newRow("in dfuERROR") << int(InDfuError) << "dfuERROR, clearing status";
        QTest::newRow("descriptor in the configuration") << int(DescriptorInConfig) << "dfuIDLE, continuing\n";
        QTest::newRow("descriptor only by request") << int(DescriptorByRequest) << "dfuIDLE, continuing\n";
        QTest::newRow("DfuSe with protocol 0") << int(ProtocolZero) << "dfuIDLE, continuing\n";
    }
    void uploadReadsTheFlashSegment()
    {
        QFETCH(int, start);
        QFETCH(QString, logHas);
        DfuFixture f;
        SimDfuConfig config = start == RuntimeReset || start == RuntimeSelfDetach ? DfuFixture::runtimeDevice()
                                                                                  : SimDfuConfig();
        if (start == RuntimeSelfDetach)
            config.attributes |= 0x08;
        if (start == DescriptorInConfig)
            config.functional = SimDfuConfig::Functional::InConfiguration;
        if (start == DescriptorByRequest)
            config.functional = SimDfuConfig::Functional::ByRequestOnly;
        if (start == ProtocolZero)
            config.dfuProtocol = 0;
        SimDfuDevice& device = f.bus.plug(config);
        DfuFixture::fill(device, 7);
        if (start == InDownloadIdle)
            device.setState(SimDfuDevice::DNLOAD_IDLE);
        if (start == InDfuError)
            device.setState(SimDfuDevice::DFU_ERROR, SimDfuDevice::ERR_WRITE);
        const uint8_t firstAddress = device.address();

        const std::string file = f.path("flash.bin");
        QCOMPARE(DfuFixture::upload(file), 0);

        QCOMPARE(dfutest::readFile(file), device.memory(kFlashBase, kFlashSize));
        DfuRecorder& r = DfuRecorder::instance();
        QVERIFY(r.failures().empty());
        QVERIFY(r.count(logHas.toStdString()) >= 1);
        QCOMPARE(r.count("\nUpload done.\n"), 1);
        QCOMPARE(r.count(std::to_string(kFlashSize) + " bytes"), 1);
        QCOMPARE(r.steps().back(), 25);
        QVERIFY(device.inDfuMode());
        if (start == RuntimeReset || start == RuntimeSelfDetach)
            QVERIFY(device.address() != firstAddress);
        if (start == InDownloadIdle)
            QCOMPARE(device.requests(6 /* DFU_ABORT */), 3); // the stale download, before and after the upload
        QVERIFY(f.nothingOpen());
    }

    void dfuseFileLandsExactly()
    {
        DfuFixture f;
        SimDfuConfig config;
        config.pollTimeout = 5;
        SimDfuDevice& device = f.bus.plug(config);
        device.busyPolls(3);
        // Flash left at zero, so a page written without its erase keeps zeros.
        device.setMemory(kFlashBase, Bytes(kFlashSize, 0x00));
        const Bytes a = dfutest::pattern(3000, 1); // pages 2 and 3: a chunk crosses into page 3
        const Bytes b = dfutest::pattern(2048, 2); // mid-page start: pages 0 and 1
        const Bytes c = dfutest::pattern(1024, 3); // rest of page 1, erased already by b
        const std::string file = f.writeFile(
            "image.dfu", dfutest::dfuseFile({target0({{kFlashBase + 0x1000, a}, {kFlashBase + 0x400, b},
                                                      {kFlashBase + 0xC00, c}})},
                                            0x0483, 0xDF11));

        QCOMPARE(DfuFixture::download(file), 0);

        QCOMPARE(device.memory(kFlashBase + 0x1000, 3000), a);
        QCOMPARE(device.memory(kFlashBase + 0x400, 2048), b);
        QCOMPARE(device.memory(kFlashBase + 0xC00, 1024), c);
        QCOMPARE(device.memory(kFlashBase, 0x400), Bytes(0x400, 0xFF));               // erased, not written
        QCOMPARE(device.memory(kFlashBase + 0x1BB8, 0x2000 - 0x1BB8), Bytes(0x448, 0xFF));
        QCOMPARE(device.memory(kFlashBase + 0x2000, 2048), Bytes(2048, 0x00));        // never touched
        const std::vector<uint32_t> erased = device.erasedPages();
        QCOMPARE(erased, (std::vector<uint32_t>{kFlashBase + 0x1000, kFlashBase + 0x1800, kFlashBase,
                                                kFlashBase + 0x800}));
        DfuRecorder& r = DfuRecorder::instance();
        QVERIFY(r.failures().empty());
        QCOMPARE(r.count("\nDownload done.\n"), 1);
        QCOMPARE(r.steps().back(), 25);
        QCOMPARE(r.count("Match vendor ID from file: 0483\n"), 1);
        QVERIFY(f.nothingOpen());
    }

    void fileWithoutTargetForAlternateSetting0()
    {
        DfuFixture f;
        SimDfuDevice& device = f.bus.plug();
        dfutest::Target other = target0({{kFlashBase, dfutest::pattern(100, 1)}});
        other.alt = 1;
        QVERIFY(DfuFixture::download(f.writeFile("alt1.dfu", dfutest::dfuseFile({other}))) != 0);
        QCOMPARE(DfuRecorder::instance().failures(),
                 std::vector<std::string>{"Warning: Image does not match current alternate setting.\n"
                                          "Please rerun with the correct -a option setting to download this image!"});
        QCOMPARE(device.requests(1 /* DFU_DNLOAD */), 0);
        QCOMPARE(DfuRecorder::instance().count("done."), 0);
        QVERIFY(f.nothingOpen());
    }

    void absentFunctionalDescriptor()
    {
        DfuFixture f;
        SimDfuConfig config;
        config.functional = SimDfuConfig::Functional::Absent;
        SimDfuDevice& device = f.bus.plug(config);
        DfuFixture::fill(device, 11);
        // Taken as a DFU 1.0 descriptor without a transfer size.
        QVERIFY(DfuFixture::upload(f.path("a.bin")) != 0);
        QCOMPARE(DfuRecorder::instance().failures(), std::vector<std::string>{"Transfer size must be specified"});
        DfuRecorder::instance().clear();
        QCOMPARE(DfuFixture::engine({"dsf", "-a", "0", "-t", "2048", "-s", "0x08000000", "-U", f.path("b.bin")}), 0);
        QCOMPARE(dfutest::readFile(f.path("b.bin")), device.memory(kFlashBase, kFlashSize));
        QVERIFY(f.nothingOpen());
    }

    void plainDownloadManifests_data()
    {
        QTest::addColumn<int>("attributes");
        QTest::addColumn<bool>("goneAfterLastBlock");
        QTest::newRow("manifestation tolerant") << 0x07 << false;
        QTest::newRow("waits for a reset") << 0x03 << false;
        QTest::newRow("silent after the zero-length block") << 0x03 << true;
    }
    void plainDownloadManifests()
    {
        QFETCH(int, attributes);
        QFETCH(bool, goneAfterLastBlock);
        DfuFixture f;
        SimDfuConfig config = DfuFixture::plainDevice();
        config.attributes = uint8_t(attributes);
        SimDfuDevice& device = f.bus.plug(config);
        // 5000 bytes in 1024-byte blocks: one status to reach dfuIDLE, then per
        // block the download and two statuses, then the zero-length block.
        if (goneAfterLastBlock)
            device.disconnectAfter(1 + 5 * 3 + 1);
        const Bytes payload = dfutest::pattern(5000, 4);
        const std::string file = f.writeFile("plain.dfu", dfutest::withSuffix(payload, dfutest::Suffix()));

        QCOMPARE(DfuFixture::download(file), 0);

        DfuRecorder& r = DfuRecorder::instance();
        QVERIFY(r.failures().empty());
        QCOMPARE(r.count("\nDownload done.\n"), 1);
        if (!goneAfterLastBlock) {
            QCOMPARE(device.image(), payload);
            QCOMPARE(device.manifestations(), 1);
        }
        QVERIFY(f.nothingOpen());
    }

    void plainUploadEndsOnShortBlock()
    {
        DfuFixture f;
        const Bytes image = dfutest::pattern(5000, 5);
        f.bus.plug(DfuFixture::plainDevice(image));
        const std::string file = f.path("plain.bin");
        QCOMPARE(DfuFixture::engine({"dsf", "-a", "0", "-U", file}), 0);
        QCOMPARE(dfutest::readFile(file), image);
        QCOMPARE(DfuRecorder::instance().count("\nUpload done.\n"), 1);
        QVERIFY(f.nothingOpen());
    }

    void fileIds_data()
    {
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<int>("fileVendor");
        QTest::addColumn<int>("fileProduct");
        QTest::addColumn<QStringList>("extra"); // before "-D"
        QTest::addColumn<QString>("red");
        QTest::newRow("DFU mode takes any ids") << false << 0x1234 << 0x5678 << QStringList() << "";
        QTest::newRow("no suffix, refused by a DfuSe device") << false << -1 << -1 << QStringList()
                                                              << "(for raw binary download, use the --dfuse-address option)";
        QTest::newRow("run-time device, its own ids") << true << 0x0483 << 0x5740 << QStringList() << "";
        QTest::newRow("run-time device, other ids") << true << 0x1234 << 0x5678 << QStringList()
                                                    << "Нет доступных устройств, запущенных в режиме dfu.";
        QTest::newRow("device filter, other ids")
            << false << 0x1234 << 0x5678 << QStringList{"-d", "0483:df11"}
            << "Error: File ID 1234:5678 does not match device (0483:df11 or 0483:df11)";
    }
    void fileIds()
    {
        QFETCH(bool, runtime);
        QFETCH(int, fileVendor);
        QFETCH(int, fileProduct);
        QFETCH(QStringList, extra);
        QFETCH(QString, red);
        DfuFixture f;
        SimDfuDevice& device = f.bus.plug(runtime ? DfuFixture::runtimeDevice() : SimDfuConfig());
        const Bytes data = dfutest::pattern(100, 6);
        const Bytes image = dfutest::dfuseImage({target0({{kFlashBase, data}})});
        dfutest::Suffix suffix;
        suffix.bcdDFU = 0x011A;
        suffix.idVendor = uint16_t(fileVendor);
        suffix.idProduct = uint16_t(fileProduct);
        const std::string file = f.writeFile("ids.dfu", fileVendor < 0 ? image : dfutest::withSuffix(image, suffix));
        std::vector<std::string> args = {"dsf", "-a", "0"};
        for (const QString& e : extra)
            args.push_back(e.toStdString());
        args.insert(args.end(), {"-D", file});

        const int result = DfuFixture::engine(args);

        const auto failures = DfuRecorder::instance().failures();
        if (red.isEmpty()) {
            QCOMPARE(result, 0);
            QVERIFY(failures.empty());
            QCOMPARE(device.memory(kFlashBase, 100), data);
        } else {
            QVERIFY(result != 0);
            QCOMPARE(failures.size(), size_t(1));
            QCOMPARE(QString::fromStdString(failures[0]), red);
            QCOMPARE(device.requests(1 /* DFU_DNLOAD */), 0);
        }
        QVERIFY(f.nothingOpen());
    }

    void deviceCount_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("engineRed");
        QTest::addColumn<QString>("checkRed");
        QTest::newRow("none") << 0 << "Нет доступных устройств, запущенных в режиме dfu."
                              << "Нет доступных устройств, запущенных в режиме dfu.";
        QTest::newRow("one") << 1 << "" << "";
        QTest::newRow("two") << 2 << "Internal error #969" << "Internal error #361";
    }
    void deviceCount()
    {
        QFETCH(int, devices);
        QFETCH(QString, engineRed);
        QFETCH(QString, checkRed);
        DfuFixture f;
        for (int i = 0; i < devices; ++i)
            f.bus.plug();
        DfuRecorder& r = DfuRecorder::instance();

        QCOMPARE(dfu_device_check(DfuRecorder::log), checkRed.isEmpty());
        const auto checkLines = r.lines();
        QCOMPARE(checkLines.size(), size_t(checkRed.isEmpty() ? 0 : 1));
        if (!checkRed.isEmpty()) {
            QCOMPARE(QString::fromStdString(checkLines[0].text), checkRed);
            QCOMPARE(checkLines[0].kind, int(DFU_LOG_FAILURE));
        }
        r.clear();
        const int result = DfuFixture::upload(f.path("up.bin"));
        QCOMPARE(result == 0, engineRed.isEmpty());
        if (!engineRed.isEmpty())
            QCOMPARE(r.failures(), std::vector<std::string>{engineRed.toStdString()});
        QVERIFY(f.nothingOpen());
    }

    void twoRunsInOneProcess()
    {
        DfuFixture f;
        SimDfuDevice& device = f.bus.plug();
        DfuFixture::fill(device, 8);
        // A run with other options between the two: its settings must not stay behind.
        QCOMPARE(DfuFixture::engine({"dsf", "-v", "-v", "-d", "0483:df11", "-s", "0x08000000:256", "-U", f.path("a.bin")}), 0);
        QCOMPARE(dfutest::readFile(f.path("a.bin")), device.memory(kFlashBase, 256));
        QCOMPARE(DfuFixture::upload(f.path("b.bin")), 0);
        QCOMPARE(dfutest::readFile(f.path("b.bin")), device.memory(kFlashBase, kFlashSize));
        QCOMPARE(DfuFixture::upload(f.path("c.bin")), 0);
        QCOMPARE(dfutest::readFile(f.path("c.bin")).size(), size_t(kFlashSize));
        QVERIFY(DfuRecorder::instance().failures().empty());
        QVERIFY(f.nothingOpen());
    }

    void existingTargetWithLongCyrillicPath()
    {
        DfuFixture f;
        f.bus.plug();
        // Far longer than a message buffer of 100 bytes, within a file name's 255.
        const QString name = QString("прошивка устройства ").repeated(6) + ".bin";
        const std::string file = f.writeFile(name, Bytes{1, 2, 3});
        QVERIFY(DfuFixture::upload(file) != 0);
        QCOMPARE(DfuRecorder::instance().failures(),
                 std::vector<std::string>{"Cannot open file " + file + " for writing"});
        QCOMPARE(dfutest::readFile(file), (Bytes{1, 2, 3}));
        QVERIFY(f.nothingOpen());
    }

    void argumentErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("red");
        QTest::newRow("no mode") << QStringList{"dsf", "-a", "0"} << 64 << "You need to specify one of -D or -U\n";
        QTest::newRow("unknown option") << QStringList{"dsf", "-q"} << 64 << "Invalid option in the argument list: -q";
        QTest::newRow("path option") << QStringList{"dsf", "-p", "1-1", "-U", "x"} << 64
                                     << "USB device paths are not supported by this DFU engine.\n";
        QTest::newRow("help") << QStringList{"dsf", "-h"} << 0 << "";
        QTest::newRow("version") << QStringList{"dsf", "-V"} << 0 << "";
    }
    void argumentErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, result);
        QFETCH(QString, red);
        DfuFixture f;
        f.bus.plug();
        std::vector<std::string> list;
        for (const QString& a : args)
            list.push_back(a.toStdString());
        QCOMPARE(DfuFixture::engine(list), result);
        const auto failures = DfuRecorder::instance().failures();
        QCOMPARE(failures.size(), size_t(red.isEmpty() ? 0 : 1));
        if (!red.isEmpty())
            QCOMPARE(QString::fromStdString(failures[0]), red);
        QVERIFY(f.nothingOpen());
    }

    void usbStartFails()
    {
        DfuFixture f;
        f.bus.plug();
        f.bus.failInit(-99);
        QVERIFY(!dfu_device_check(DfuRecorder::log));
        QVERIFY(DfuFixture::upload(f.path("x.bin")) != 0);
        int code = DFU_NO_EXIT;
        QVERIFY(runDfuLayer([&] { dfu_usb_startup(); }) != DFU_NO_EXIT);
        dfu_session_reset();
        QCOMPARE(DfuRecorder::instance().failures(),
                 (std::vector<std::string>{"Internal error #341", "Internal error #943",
                                           "unable to initialize libusb: -99"}));
        f.bus.failInit(0);
        QCOMPARE(runDfuLayer([&] { code = dfu_usb_startup(); }), int(DFU_NO_EXIT));
        QCOMPARE(code, 1);
        dfu_session_reset();
        QVERIFY(f.nothingOpen());
    }

    // As a worker runs it: the engine on a thread of its own while the test
    // watches the device.
    void runsOnAnotherThread()
    {
        DfuFixture f;
        SimDfuDevice& device = f.bus.plug(DfuFixture::runtimeDevice());
        DfuFixture::fill(device, 10);
        std::atomic<bool> done{false};
        int result = -1;
        const std::string file = f.path("thread.bin");
        std::thread worker([&] {
            result = DfuFixture::upload(file);
            done = true;
        });
        int seen = 0;
        while (!done)
            seen = std::max(seen, device.controlTransfers());
        worker.join();
        QCOMPARE(result, 0);
        QVERIFY(device.controlTransfers() >= seen);
        QCOMPARE(dfutest::readFile(file), device.memory(kFlashBase, kFlashSize));
        QVERIFY(f.nothingOpen());
    }

    // The pieces an entry of another module is built from, as it would use them.
    void readMemoryIntoBuffer()
    {
        DfuFixture f;
        SimDfuDevice& device = f.bus.plug(DfuFixture::runtimeDevice());
        DfuFixture::fill(device, 9);
        std::vector<uint8_t> buffer;
        const DfuEntryOutcome out = readMemoryThroughEntry(kFlashBase + 0x100, 5000, &buffer);
        QCOMPARE(out.exitCode, int(DFU_NO_EXIT));
        QCOMPARE(out.result, 0);
        QCOMPARE(buffer, device.memory(kFlashBase + 0x100, 5000));
        QVERIFY(f.nothingOpen());
    }

    // A layout that claims far more memory than the device serves: the buffer
    // holds what came, not the claim.
    void readMemoryHoldsWhatCame()
    {
        DfuFixture f;
        SimDfuConfig config = DfuFixture::runtimeDevice();
        config.altNames = {"@Internal Flash  /0x08000000/256*1Mg"};
        config.memory = {SimSegment{kFlashBase, 1000, 1}};
        SimDfuDevice& device = f.bus.plug(config);
        device.setMemory(kFlashBase, dfutest::pattern(1000, 5));
        std::vector<uint8_t> buffer;
        const DfuEntryOutcome out = readMemoryThroughEntry(kFlashBase, 256u << 20, &buffer);
        QCOMPARE(out.result, 0);
        QCOMPARE(buffer, device.memory(kFlashBase, 1000));
        QVERIFY2(buffer.capacity() <= 4096, qPrintable(QString::number(buffer.capacity())));
        QVERIFY(f.nothingOpen());
    }
};

QTEST_GUILESS_MAIN(TstDfuEngine)
#include "tst_dfuengine.moc"
