// A transfer broken by a device fault ends with one red line naming it, no
// done line, a failed result, and nothing left open.
#include "dfufixture.h"

#include <QTest>

using dfutest::Bytes;

namespace {

enum Operation { DfuseUpload, DfuseDownload, PlainUploadExpected, PlainUpload, PlainDownload };
enum Knob { Stall, WrongState, BusyForever, ErrorStatus, ShortStatus, ShortUpload, Disconnect, ManifestError,
            ErrorStallClear, MoreThanExpected };
enum : uint8_t { DNLOAD = 1, UPLOAD = 2, CLRSTATUS = 4, ABORT = 6 };

const int kPlainSize = 5000; // five 1024-byte blocks, the last one short

} // namespace

class TstDfuFaults : public QObject {
    Q_OBJECT
private slots:
    void brokenTransfer_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("knob");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("red");

        QTest::newRow("DfuSe upload: upload stalls") << int(DfuseUpload) << int(Stall) << int(UPLOAD) << 3
                                                     << "dfuse_upload: libusb_control_msg returned -9";
        QTest::newRow("DfuSe upload: short block") << int(DfuseUpload) << int(ShortUpload) << 2 << 100
                                                   << "Upload cut short: 6044 of 131072 bytes received";
        // One status, the set-address command (3), abort and status (2): the 15th upload finds no device.
        QTest::newRow("DfuSe upload: unplugged") << int(DfuseUpload) << int(Disconnect) << 20 << 0
                                                 << "dfuse_upload: libusb_control_msg returned -4";
        QTest::newRow("DfuSe upload: wrong state") << int(DfuseUpload) << int(WrongState) << 5 << 0
                                                   << "Wrong state after command \"SET_ADDRESS\" download";
        QTest::newRow("DfuSe upload: busy for ever") << int(DfuseUpload) << int(BusyForever) << 0 << 0
                                                     << "Device stayed in state dfuDNBUSY (status 0) for more "
                                                        "than 120 s";
        QTest::newRow("DfuSe upload: short status") << int(DfuseUpload) << int(ShortStatus) << 3 << 4
                                                    << "Internal error #358";
        QTest::newRow("DfuSe upload: abort stalls") << int(DfuseUpload) << int(Stall) << int(ABORT) << 0
                                                    << "Internal error #347";
        QTest::newRow("DfuSe upload: dfuERROR stays") << int(DfuseUpload) << int(ErrorStallClear) << 0 << 0
                                                      << "err_callback_ret";

        QTest::newRow("DfuSe download: write fails") << int(DfuseDownload) << int(ErrorStatus) << 1 << 3
                                                     << "Failed to write whole chunk: -1 of 2048 bytes, state(10) "
                                                        "= dfuERROR, status(3) = Device is unable to write memory";
        QTest::newRow("DfuSe download: erase stalls") << int(DfuseDownload) << int(Stall) << int(DNLOAD) << 3
                                                      << "Error during special command \"ERASE_PAGE\" download";
        QTest::newRow("DfuSe download: wrong state") << int(DfuseDownload) << int(WrongState) << 5 << 0
                                                     << "Wrong state after command \"ERASE_PAGE\" download";
        QTest::newRow("DfuSe download: busy for ever") << int(DfuseDownload) << int(BusyForever) << 0 << 0
                                                       << "Device stayed in state dfuDNBUSY (status 0) for more "
                                                          "than 120 s";
        QTest::newRow("DfuSe download: short status") << int(DfuseDownload) << int(ShortStatus) << 2 << 4
                                                      << "ERASE_PAGE not correctly executed";
        // One status, an erase and a set-address command (3 each): the data block finds no device.
        QTest::newRow("DfuSe download: unplugged") << int(DfuseDownload) << int(Disconnect) << 7 << 0
                                                   << "Error during download";

        QTest::newRow("plain upload -Z: short block") << int(PlainUploadExpected) << int(ShortUpload) << 1 << 100
                                                      << "Unexpected number of bytes uploaded from device, 1948 of "
                                                         "5000 bytes received";
        QTest::newRow("plain upload -Z: upload stalls") << int(PlainUploadExpected) << int(Stall) << int(UPLOAD)
                                                        << 2 << "Error during upload, 2048 of 5000 bytes received";
        QTest::newRow("plain upload -Z: more than expected") << int(PlainUploadExpected) << int(MoreThanExpected)
                                                            << 2048 << 0
                                                            << "Unexpected number of bytes uploaded from device, "
                                                               "3072 of 2048 bytes received";
        QTest::newRow("plain upload: upload stalls") << int(PlainUpload) << int(Stall) << int(UPLOAD) << 2
                                                     << "Error during upload, 2048 bytes received";

        QTest::newRow("plain download: write fails") << int(PlainDownload) << int(ErrorStatus) << 1 << 6
                                                     << "Download failed: state(10) = dfuERROR, status(6) = "
                                                        "Program memory function failed";
        QTest::newRow("plain download: download stalls") << int(PlainDownload) << int(Stall) << int(DNLOAD) << 2
                                                         << "Error during download, 2048 of 5000 bytes sent";
        QTest::newRow("plain download: manifestation fails") << int(PlainDownload) << int(ManifestError) << 10 << 0
                                                             << "Manifestation failed: state(10) = dfuERROR";
        QTest::newRow("plain download: busy for ever") << int(PlainDownload) << int(BusyForever) << 0 << 0
                                                       << "Device stayed in state dfuDNBUSY (status 0) for more "
                                                          "than 120 s";
        QTest::newRow("plain download: short status") << int(PlainDownload) << int(ShortStatus) << 2 << 4
                                                      << "Download failed: state(10) = dfuERROR, status(14)";
        // One status, then download and two statuses for the first block.
        QTest::newRow("plain download: unplugged") << int(PlainDownload) << int(Disconnect) << 4 << 0
                                                   << "Error during download, 1024 of 5000 bytes sent";
    }
    void brokenTransfer()
    {
        QFETCH(int, operation);
        QFETCH(int, knob);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, red);
        DfuFixture f;
        const bool plain = operation >= PlainUploadExpected;
        SimDfuConfig config = plain ? DfuFixture::plainDevice(dfutest::pattern(kPlainSize, 1)) : SimDfuConfig();
        config.pollTimeout = 10;
        SimDfuDevice& device = f.bus.plug(config);
        if (!plain)
            DfuFixture::fill(device, 2);
        switch (knob) {
        case Stall:
            device.stallRequest(uint8_t(a), b);
            break;
        case WrongState:
            device.wrongStateAfterCommand(uint8_t(a));
            break;
        case BusyForever:
            device.busyPolls(-1);
            break;
        case ErrorStatus:
            device.errorStatus(uint8_t(b), a);
            break;
        case ShortStatus:
            device.shortStatusReply(a, b);
            break;
        case ShortUpload:
            device.shortUploadBlock(a, b);
            break;
        case Disconnect:
            device.disconnectAfter(a);
            break;
        case ManifestError:
            device.failManifestation(uint8_t(a));
            break;
        case ErrorStallClear:
            device.setState(SimDfuDevice::DFU_ERROR, SimDfuDevice::ERR_WRITE);
            device.stallRequest(CLRSTATUS);
            break;
        case MoreThanExpected:
            break;
        }

        const std::string out = f.path("out.bin");
        int result = 0;
        switch (operation) {
        case DfuseUpload:
            result = DfuFixture::upload(out);
            break;
        case DfuseDownload:
            result = DfuFixture::download(f.writeFile(
                "in.dfu", dfutest::dfuseFile({dfutest::Target{0, "", {{kFlashBase, dfutest::pattern(5000, 3)}}}})));
            break;
        case PlainUploadExpected:
            result = DfuFixture::engine(
                {"dsf", "-a", "0", "-Z", std::to_string(knob == MoreThanExpected ? a : kPlainSize), "-U", out});
            break;
        case PlainUpload:
            result = DfuFixture::engine({"dsf", "-a", "0", "-U", out});
            break;
        case PlainDownload:
            result = DfuFixture::download(
                f.writeFile("in.dfu", dfutest::withSuffix(dfutest::pattern(kPlainSize, 4), dfutest::Suffix())));
            break;
        }

        DfuRecorder& r = DfuRecorder::instance();
        QVERIFY(result != 0);
        const std::vector<std::string> failures = r.failures();
        QCOMPARE(failures.size(), size_t(1));
        QVERIFY2(QString::fromStdString(failures[0]).contains(red), failures[0].c_str());
        QCOMPARE(r.count("done."), 0);
        QVERIFY(r.steps().empty() || r.steps().back() < 25);
        QVERIFY(f.nothingOpen());
    }
};

QTEST_GUILESS_MAIN(TstDfuFaults)
#include "tst_dfufaults.moc"
