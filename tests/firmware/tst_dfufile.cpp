// The DFU file: CRC, suffix, prefixes, and the writer and printer.
#include "firmware/dfufile.h"

#include "dfuenginekit.h"
#include "dfufilebuilder.h"

#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

using dfutest::Bytes;

Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes suffixed(const Bytes& payload, dfutest::Suffix s)
{
    return dfutest::withSuffix(payload, s);
}

dfutest::Suffix ids(uint16_t vendor, uint16_t product, uint16_t bcdDFU = 0x0100)
{
    dfutest::Suffix s;
    s.idVendor = vendor;
    s.idProduct = product;
    s.bcdDFU = bcdDFU;
    s.bcdDevice = 0x0200;
    return s;
}

} // namespace

class TstDfuFile : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    // Writes the bytes to a new file and loads it: the exit code.
    int load(const Bytes& bytes, DfuFile& file, int suffix = DFU_OPTIONAL, int prefix = DFU_OPTIONAL)
    {
        file.name = m_dir.filePath(QString("f%1.dfu").arg(++m_serial)).toStdString();
        dfutest::writeFile(file.name, bytes);
        return runDfuLayer([&] { load_firmware_file(file, suffix, prefix); });
    }

private slots:
    void crcKnownValue()
    {
        const char* text = "123456789";
        QCOMPARE(dfu_crc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(text), 9), 0x340BC6D9u);
    }

    void crcAgainstZlib_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 7, 1000, 65537})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void crcAgainstZlib()
    {
        QFETCH(int, size);
        const Bytes b = dfutest::pattern(size_t(size), uint32_t(size) + 3);
        const uint32_t zlibCrc = uint32_t(crc32(0L, b.data(), uInt(b.size()))) ^ 0xFFFFFFFFu;
        QCOMPARE(dfu_crc32(0xFFFFFFFFu, b.data(), b.size()), zlibCrc);
    }

    void suffixes_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("requirement");
        QTest::addColumn<QString>("red");       // the failure line, empty when the load goes on
        QTest::addColumn<QString>("stderrHas"); // why there is no suffix
        QTest::addColumn<int>("suffixLength");
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("bcdDFU");

        const Bytes payload = dfutest::pattern(100, 1);
        dfutest::Suffix badSig = ids(0x0483, 0xDF11);
        badSig.signature = "UFX";
        dfutest::Suffix badCrc = ids(0x0483, 0xDF11);
        badCrc.wrongCrc = true;
        dfutest::Suffix shortLen = ids(0x0483, 0xDF11);
        shortLen.bLength = 10;
        dfutest::Suffix longLen = ids(0x0483, 0xDF11);
        longLen.bLength = 200;
        dfutest::Suffix extended = ids(0x0483, 0xDF11);
        extended.bLength = 20;

        QTest::newRow("valid") << suffixed(payload, ids(0x0483, 0xDF11, 0x011A)) << int(DFU_OPTIONAL) << ""
                               << "" << 16 << 0x0483 << 0x011A;
        QTest::newRow("extended bLength") << suffixed(payload, extended) << int(DFU_OPTIONAL) << "" << "" << 20
                                          << 0x0483 << 0x0100;
        QTest::newRow("none") << payload << int(DFU_OPTIONAL) << "" << "Invalid DFU suffix signature" << 0
                              << 0xFFFF << 0;
        QTest::newRow("too short") << Bytes(10, 0x55) << int(DFU_OPTIONAL) << "" << "File too short for DFU suffix"
                                   << 0 << 0xFFFF << 0;
        QTest::newRow("bad signature") << suffixed(payload, badSig) << int(DFU_OPTIONAL) << ""
                                       << "Invalid DFU suffix signature" << 0 << 0xFFFF << 0;
        QTest::newRow("bad CRC") << suffixed(payload, badCrc) << int(DFU_OPTIONAL) << ""
                                 << "DFU suffix CRC does not match" << 0 << 0xFFFF << 0;
        QTest::newRow("bLength below 16") << suffixed(payload, shortLen) << int(DFU_OPTIONAL)
                                          << "Unsupported DFU suffix length 10" << "" << 0 << 0xFFFF << 0;
        QTest::newRow("bLength past the file") << suffixed(Bytes(20, 1), longLen) << int(DFU_OPTIONAL)
                                               << "Invalid DFU suffix length 200" << "" << 0 << 0xFFFF << 0;
        QTest::newRow("needed, none") << payload << int(DFU_NEEDED) << "Valid DFU suffix needed"
                                      << "Invalid DFU suffix signature" << 0 << 0xFFFF << 0;
        QTest::newRow("must not be, there") << suffixed(payload, ids(1, 2)) << int(DFU_MUST_NOT_BE)
                                            << "Please remove existing DFU suffix before adding a new one.\n" << ""
                                            << 16 << 1 << 0x0100;
    }
    void suffixes()
    {
        QFETCH(Bytes, bytes);
        QFETCH(int, requirement);
        QFETCH(QString, red);
        QFETCH(QString, stderrHas);
        QFETCH(int, suffixLength);
        QFETCH(int, vendor);
        QFETCH(int, bcdDFU);
        DfuTestScope scope;
        DfuFile file;
        const int code = load(bytes, file, requirement);
        const std::string mismatch = dfuOutcomeMismatch(code, red.toStdString());
        QVERIFY2(mismatch.empty(), mismatch.c_str());
        if (red.isEmpty()) {
            QCOMPARE(int(file.suffixLength), suffixLength);
            QCOMPARE(int(file.idVendor), vendor);
            QCOMPARE(int(file.bcdDFU), bcdDFU);
            if (suffixLength == 0)
                QCOMPARE(int(file.idProduct), 0xFFFF);
        }
        QCOMPARE(file.size(), bytes.size());
        if (!stderrHas.isEmpty())
            QVERIFY(QString::fromStdString(DfuRecorder::instance().standardError()).contains(stderrHas));
    }

    void prefixes_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("requirement");
        QTest::addColumn<QString>("red");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<uint>("address");

        const Bytes payload = dfutest::pattern(64, 2);
        const Bytes loadAddress = dfutest::concat(dfutest::loadAddressPrefix(0x00404000, 64), payload);
        Bytes blockCount = dfutest::concat(dfutest::blockCountPrefix(64), payload);
        Bytes highBits = blockCount;
        highBits[0] = 0xDA; // only the low six bits count
        highBits[1] = 0x7F;
        // A bare suffix whose bcdDevice reads as a block-count prefix: no room for both.
        dfutest::Suffix s = ids(0xFFFF, 0xFFFF);
        s.bcdDevice = 0x3F1A;
        const Bytes bareSuffix = dfutest::withSuffix(Bytes(), s);

        QTest::newRow("load address") << loadAddress << int(DFU_OPTIONAL) << "" << 1 << 8 << 0x00404000u;
        QTest::newRow("load address, suffixed") << dfutest::withSuffix(loadAddress, ids(1, 2)) << int(DFU_NEEDED)
                                                << "" << 1 << 8 << 0x00404000u;
        QTest::newRow("block count") << blockCount << int(DFU_OPTIONAL) << "" << 2 << 16 << 0u;
        QTest::newRow("block count, high bits set") << highBits << int(DFU_OPTIONAL) << "" << 2 << 16 << 0u;
        QTest::newRow("none") << payload << int(DFU_OPTIONAL) << "" << 0 << 0 << 0u;
        QTest::newRow("shorter than 8") << Bytes{0x01, 0x00, 0x20} << int(DFU_OPTIONAL) << "" << 0 << 0 << 0u;
        QTest::newRow("no room beside the suffix") << bareSuffix << int(DFU_OPTIONAL) << "" << 0 << 0 << 0u;
        QTest::newRow("needed, none") << payload << int(DFU_NEEDED) << "Valid DFU prefix needed" << 0 << 0 << 0u;
        QTest::newRow("must not be, there") << loadAddress << int(DFU_MUST_NOT_BE)
                                            << "A prefix already exists, please delete it first" << 1 << 8 << 0u;
    }
    void prefixes()
    {
        QFETCH(Bytes, bytes);
        QFETCH(int, requirement);
        QFETCH(QString, red);
        QFETCH(int, type);
        QFETCH(int, length);
        QFETCH(uint, address);
        DfuTestScope scope;
        DfuFile file;
        const int code = load(bytes, file, DFU_OPTIONAL, requirement);
        const std::string mismatch = dfuOutcomeMismatch(code, red.toStdString());
        QVERIFY2(mismatch.empty(), mismatch.c_str());
        if (!red.isEmpty())
            return;
        QCOMPARE(file.prefixType, type);
        QCOMPARE(int(file.prefixLength), length);
        QCOMPARE(uint(file.prefixAddress), address);
    }

    void missingFileIsOneRedLine()
    {
        DfuTestScope scope;
        DfuFile file;
        file.name = m_dir.filePath("absent.dfu").toStdString();
        const int code = runDfuLayer([&] { load_firmware_file(file, DFU_OPTIONAL, DFU_OPTIONAL); });
        const std::string mismatch = dfuOutcomeMismatch(code, "Could not open file " + file.name + " for reading");
        QVERIFY2(mismatch.empty(), mismatch.c_str());
    }

    void writerRoundTrip()
    {
        DfuTestScope scope;
        DfuFile out;
        out.name = m_dir.filePath("written.dfu").toStdString();
        out.contents = dfutest::pattern(300, 9);
        out.prefixType = DFU_PREFIX_LOAD_ADDRESS;
        out.prefixAddress = 0x8000;
        out.idVendor = 0x0483;
        out.idProduct = 0xDF11;
        out.bcdDevice = 0x2200;
        out.bcdDFU = 0x0110;
        QCOMPARE(runDfuLayer([&] { dfu_store_file(out, true, true); }), int(DFU_NO_EXIT));

        DfuFile in;
        in.name = out.name;
        QCOMPARE(runDfuLayer([&] { load_firmware_file(in, DFU_NEEDED, DFU_NEEDED); }), int(DFU_NO_EXIT));
        QCOMPARE(in.size(), size_t(8 + 300 + 16));
        QCOMPARE(in.prefixAddress, 0x8000u);
        QCOMPARE(in.idVendor, uint16_t(0x0483));
        QCOMPARE(in.bcdDFU, uint16_t(0x0110));
        QCOMPARE(Bytes(in.payload(), in.payload() + in.payloadSize()), out.contents);
        QCOMPARE(in.dwCRC, dfutest::suffixCrc(in.contents.data(), in.size() - 4));
    }

    void printerShowsTheFields()
    {
        DfuTestScope scope;
        DfuFile file;
        QCOMPARE(load(dfutest::withSuffix(dfutest::concat(dfutest::loadAddressPrefix(0x0400, 4), Bytes(4, 0)),
                                          ids(0x0483, 0xDF11)),
                      file),
                 int(DFU_NO_EXIT));
        dfu_show_file(file);
        const QString out = QString::fromStdString(DfuRecorder::instance().standardOutput());
        QVERIFY(out.contains("address 0x00000400"));
        QVERIFY(out.contains("idVendor 0x0483"));
    }
};

QTEST_GUILESS_MAIN(TstDfuFile)
#include "tst_dfufile.moc"
