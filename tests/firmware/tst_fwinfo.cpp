// The device-information record and the check before a download: the hash,
// the search, the texts shown, and the questions asked against a simulated
// DfuSe device with scripted answers.
#include "firmware/fwinfo.h"

#include "dfufixture.h"

#include <QTest>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>

using dfutest::Bytes;
using dfutest::FwInfo;

Q_DECLARE_METATYPE(Bytes)

namespace {

// Sets TZ for a test's lifetime; compile times are shown in local time.
struct TimeZone {
    explicit TimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        m_had = std::getenv("TZ") != nullptr;
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }
    QByteArray m_old;
    bool m_had = false;
};

FwInfo sampleInfo()
{
    FwInfo info;
    info.deviceType = 7;
    info.deviceVersion = -3;
    info.programVersion = 12;
    info.programRevision = 4;
    info.compileTime = 1700000000;
    info.serial = 0x0123456789ABCDEFull;
    return info;
}

// Questions by a short name, in the order the check may ask them.
const QMap<QString, QString>& questionNames()
{
    static const QMap<QString, QString> names = {
        {"Вы загружаете стирающую программу, продолжить?", "erase"},
        {"Не удалось прочитать информацию об устройстве в загружаемой программе, продолжить?", "no file record"},
        {"В устройство не загружена программа, поэтому информация недоступна, продолжить?", "blank device"},
        {"Не удалось прочитать информацию об устройстве, продолжить?", "no device record"},
        {"Ошибка: некорректное значение hash информации об устройстве, продолжить?", "device hash"},
        {"Ошибка: некорректное значение hash информации об устройстве в загружаемом файле, продолжить?", "file hash"},
        {"Ошибка: в загружаемой прошивке и в устройстве разные идентификаторы, продолжить?", "type"},
        {"Ошибка: в загружаемой прошивке и в устройстве не совпадают номера версий, продолжить?", "version"},
        {"Ошибка: время компиляции загружаемой программы меньше времени текущей, продолжить?", "compile time"},
    };
    return names;
}

QString questionName(const std::string& question)
{
    const QString q = QString::fromStdString(question);
    if (q.startsWith("<h4>Информация в текущей программе:</h4>") && q.endsWith("<h4>Продолжить?<h4>"))
        return "summary";
    return questionNames().value(q, "unknown: " + q);
}

enum FileKind { FileRecord, FileNoRecord, FileErase, FileBadHash };
enum DeviceKind { DeviceRecord, DeviceNoRecord, DeviceBlank, DeviceBadHash };
enum Difference { Same, OtherType, OtherVersion, OlderFile, NewerFile, OtherProgramVersion, OtherRevision,
                  OtherSerial, AllThree };

Bytes fileData(FileKind kind, const FwInfo& info)
{
    if (kind == FileErase)
        return Bytes(4096, 0xFF);
    Bytes data = dfutest::pattern(1000, 11);
    if (kind != FileNoRecord) {
        FwInfo i = info;
        i.brokenHash = kind == FileBadHash;
        data = dfutest::concat(data, dfutest::fwinfoRecord(i));
    }
    return dfutest::concat(data, dfutest::pattern(3000, 12));
}

Bytes deviceImage(DeviceKind kind, const FwInfo& info)
{
    if (kind == DeviceBlank)
        return Bytes(kFlashSize, 0xFF);
    Bytes image = dfutest::pattern(kFlashSize, 21);
    if (kind != DeviceNoRecord) {
        FwInfo i = info;
        i.brokenHash = kind == DeviceBadHash;
        const Bytes record = dfutest::fwinfoRecord(i);
        std::copy(record.begin(), record.end(), image.begin() + 5000);
    }
    return image;
}

} // namespace

class TstFwInfo : public QObject {
    Q_OBJECT
private slots:
    void hashKnownValues_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<quint64>("hash");
        const char digits[] = "123456789";
        Bytes counting(46);
        for (size_t i = 0; i < counting.size(); ++i)
            counting[i] = uint8_t(i);
        QTest::newRow("\"123456789\"") << Bytes(digits, digits + 9) << quint64(0xe159b2b46b0208a2ull);
        QTest::newRow("bytes 0 to 45") << counting << quint64(0x88a67c465f71fcf1ull);
    }
    void hashKnownValues()
    {
        QFETCH(Bytes, bytes);
        QFETCH(quint64, hash);
        QCOMPARE(quint64(fasthash64(bytes.data(), bytes.size(), 0)), hash);
        QCOMPARE(fasthash32(bytes.data(), bytes.size(), 0), uint32_t(hash - (hash >> 32)));
        // The record writer of the tests hashes on its own; it must agree.
        QCOMPARE(quint64(dfutest::fwinfoHash(bytes.data(), bytes.size())), hash);
    }

    void findRecord_data()
    {
        QTest::addColumn<Bytes>("image");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("hashValid");
        QTest::addColumn<int>("entries");

        const FwInfo info = sampleInfo();
        const Bytes record = dfutest::fwinfoRecord(info);
        const Bytes noise = dfutest::pattern(300, 3);
        const Bytes marker = dfutest::fwinfoMarker();
        FwInfo withEntries = info;
        withEntries.entries = {dfutest::pattern(18, 5), dfutest::pattern(18, 6)};
        FwInfo version2 = info;
        version2.version = 2;
        FwInfo hugeCount = info;
        hugeCount.entryCount = 0xFFFFFFFF;
        FwInfo oneTooMany = withEntries;
        oneTooMany.entryCount = 3;
        FwInfo broken = info;
        broken.brokenHash = true;
        const Bytes cutRecord(record.begin(), record.end() - 1);

        QTest::newRow("record at 0") << dfutest::concat(record, noise) << true << true << 0;
        QTest::newRow("in the middle") << dfutest::concat(dfutest::concat(noise, record), noise) << true << true << 0;
        QTest::newRow("ending at the last byte") << dfutest::concat(noise, record) << true << true << 0;
        QTest::newRow("with entries") << dfutest::concat(noise, dfutest::fwinfoRecord(withEntries)) << true << true
                                      << 2;
        QTest::newRow("broken hash: found, not valid")
            << dfutest::concat(noise, dfutest::fwinfoRecord(broken)) << true << false << 0;
        QTest::newRow("no marker") << noise << false << false << 0;
        QTest::newRow("marker in the last eight bytes") << dfutest::concat(noise, marker) << false << false << 0;
        QTest::newRow("version 2") << dfutest::concat(noise, dfutest::fwinfoRecord(version2)) << false << false << 0;
        QTest::newRow("N far too large") << dfutest::concat(dfutest::fwinfoRecord(hugeCount), noise) << false
                                         << false << 0;
        QTest::newRow("N one too many at the end") << dfutest::concat(noise, dfutest::fwinfoRecord(oneTooMany))
                                                   << false << false << 0;
        QTest::newRow("hash cut by the end") << dfutest::concat(noise, cutRecord) << false << false << 0;
        QTest::newRow("marker with a cut header")
            << dfutest::concat(noise, Bytes(record.begin(), record.begin() + 30)) << false << false << 0;
        QTest::newRow("first marker wins") << dfutest::concat(dfutest::concat(marker, Bytes(60, 0)), record) << false
                                           << false << 0;
        for (size_t n = 0; n <= 9; ++n) {
            Bytes tiny = dfutest::concat(marker, Bytes(1, 0x01));
            tiny.resize(n, 0);
            QTest::addRow("image of %zu bytes", n) << tiny << false << false << 0;
        }
    }
    void findRecord()
    {
        QFETCH(Bytes, image);
        QFETCH(bool, found);
        QFETCH(bool, hashValid);
        QFETCH(int, entries);
        // An allocation of exactly the image's size, so a read past it shows under ASan.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size() ? image.size() : 1]);
        std::copy(image.begin(), image.end(), exact.get());

        FwInfoRecord record;
        QCOMPARE(fwinfo_find(exact.get(), image.size(), &record), found);
        QCOMPARE(record.hashValid, hashValid);
        if (!found) {
            QCOMPARE(record.deviceType, 0);
            return;
        }
        const FwInfo info = sampleInfo();
        QCOMPARE(record.version, uint16_t(1));
        QCOMPARE(record.deviceType, info.deviceType);
        QCOMPARE(record.deviceVersion, info.deviceVersion);
        QCOMPARE(record.programVersion, info.programVersion);
        QCOMPARE(record.programRevision, info.programRevision);
        QCOMPARE(record.compileTime, info.compileTime);
        QCOMPARE(quint64(record.serial), quint64(info.serial));
        QCOMPARE(record.entryCount, uint32_t(entries));
        QCOMPARE(record.header.size(), size_t(FWINFO_HEADER_SIZE));
        QCOMPARE(record.entries.size(), size_t(entries * FWINFO_ENTRY_SIZE));
        if (entries)
            QCOMPARE(Bytes(record.entries.begin(), record.entries.begin() + 18), dfutest::pattern(18, 5));
    }

    void textsShown()
    {
        TimeZone utc("UTC");
        QCOMPARE(QString::fromStdString(fwinfo_time_text(1700000000)), QString("14.11.2023 22:13:20"));
        QCOMPARE(QString::fromStdString(fwinfo_time_text(-1)), QString("31.12.1969 23:59:59"));
        {
            TimeZone east("UTC-3"); // three hours east of Greenwich
            QCOMPARE(QString::fromStdString(fwinfo_time_text(1700000000)), QString("15.11.2023 01:13:20"));
        }

        FwInfoRecord file;
        file.deviceType = 7;
        file.deviceVersion = -3;
        file.programVersion = 12;
        file.programRevision = 4;
        file.compileTime = 1700000000;
        file.serial = UINT64_MAX;
        QCOMPARE(QString::fromStdString(fwinfo_summary(file, true)),
                 QString("Информация в загружаемой программе:\n"
                         "Тип устройства:7\n"
                         "Версия устройства:-3\n"
                         " Версия программы:12\n"
                         "Ревизия программмы:4\n"
                         "Время компиляции:14.11.2023 22:13:20\n"
                         "Серийный номер устройства:0\n"));

        // Values of every width, and a serial past 2^63: the text is built whole.
        FwInfoRecord device;
        device.deviceType = INT_MIN;
        device.deviceVersion = INT_MAX;
        device.programVersion = INT_MIN;
        device.programRevision = INT_MIN;
        device.compileTime = 0;
        device.serial = 18446744073709551614ull;
        const QString both = QString::fromStdString(fwinfo_question(&device, &file));
        QCOMPARE(both,
                 QString("<h4>Информация в текущей программе:</h4>Тип устройства:&nbsp;-2147483648<br/>"
                         "Версия устройства:&nbsp;2147483647<br/> Версия программы:&nbsp;-2147483648<br/>"
                         "Ревизия программмы:&nbsp;-2147483648<br/> Время компиляции:&nbsp;01.01.1970 00:00:00<br/>"
                         "Серийный номер устройства:&nbsp;18446744073709551614<br/>"
                         "<h4>Информация в загружаемой программе:</h4>Тип устройства:&nbsp;7<br/>"
                         "Версия устройства:&nbsp;-3<br/>Версия программы:&nbsp;12<br/>Ревизия программмы:&nbsp;4<br/>"
                         "Время компиляции:&nbsp;14.11.2023 22:13:20<br/>Серийный номер устройства:0"
                         "<h4>Продолжить?<h4>"));
        QVERIFY(both.toUtf8().size() > 800);

        file.serial = 18446744073709551000ull;
        QCOMPARE(QString::fromStdString(fwinfo_question(nullptr, &file)),
                 QString("<h4>Информация в текущей программе:</h4>Тип устройства:&nbsp;0<br/>"
                         "Версия устройства:&nbsp;0<br/> Версия программы:&nbsp;0<br/>"
                         "Ревизия программмы:&nbsp;0<br/> Время компиляции:&nbsp;<br/>"
                         "Серийный номер устройства:&nbsp;0<br/>"
                         "<h4>Информация в загружаемой программе:</h4>Тип устройства:&nbsp;7<br/>"
                         "Версия устройства:&nbsp;-3<br/>Версия программы:&nbsp;12<br/>Ревизия программмы:&nbsp;4<br/>"
                         "Время компиляции:&nbsp;14.11.2023 22:13:20<br/>"
                         "Серийный номер устройства:18446744073709551000<h4>Продолжить?<h4>"));
    }

    void questionsBeforeADownload_data()
    {
        QTest::addColumn<int>("file");
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("difference");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<int>("result");
        using L = QList<int>;
        using Q = QStringList;

        QTest::newRow("both alike, equal compile times") << int(FileRecord) << int(DeviceRecord) << int(Same) << L{1}
                                            << Q{"summary"} << 1;
        QTest::newRow("summary answered No") << int(FileRecord) << int(DeviceRecord) << int(Same) << L{0}
                                             << Q{"summary"} << 0;
        QTest::newRow("file without record") << int(FileNoRecord) << int(DeviceRecord) << int(OtherType) << L{1, 1}
                                             << Q{"no file record", "summary"} << 1;
        QTest::newRow("file without record, No") << int(FileNoRecord) << int(DeviceRecord) << int(Same) << L{0}
                                                 << Q{"no file record"} << 0;
        QTest::newRow("erase program") << int(FileErase) << int(DeviceRecord) << int(Same) << L{1, 1}
                                       << Q{"erase", "summary"} << 1;
        QTest::newRow("erase program, No") << int(FileErase) << int(DeviceRecord) << int(Same) << L{0} << Q{"erase"}
                                           << 0;
        QTest::newRow("file hash broken") << int(FileBadHash) << int(DeviceRecord) << int(Same) << L{1, 1}
                                          << Q{"summary", "file hash"} << 1;
        QTest::newRow("file hash broken, No") << int(FileBadHash) << int(DeviceRecord) << int(Same) << L{1, 0}
                                              << Q{"summary", "file hash"} << 0;
        QTest::newRow("device without record") << int(FileRecord) << int(DeviceNoRecord) << int(OtherType) << L{1, 1}
                                               << Q{"no device record", "summary"} << 1;
        QTest::newRow("device without record, No") << int(FileRecord) << int(DeviceNoRecord) << int(Same) << L{0}
                                                   << Q{"no device record"} << 0;
        QTest::newRow("blank device") << int(FileRecord) << int(DeviceBlank) << int(OtherType) << L{1, 1}
                                      << Q{"blank device", "summary"} << 1;
        QTest::newRow("blank device, No") << int(FileRecord) << int(DeviceBlank) << int(Same) << L{0}
                                          << Q{"blank device"} << 0;
        QTest::newRow("no file record, blank device") << int(FileNoRecord) << int(DeviceBlank) << int(Same)
                                                      << L{1, 1, 1} << Q{"no file record", "blank device", "summary"}
                                                      << 1;
        QTest::newRow("device hash broken") << int(FileRecord) << int(DeviceBadHash) << int(Same) << L{1, 1}
                                            << Q{"summary", "device hash"} << 1;
        QTest::newRow("both hashes broken") << int(FileBadHash) << int(DeviceBadHash) << int(OtherVersion)
                                            << L{1, 1, 1, 1} << Q{"summary", "device hash", "file hash", "version"}
                                            << 1;
        QTest::newRow("device type differs") << int(FileRecord) << int(DeviceRecord) << int(OtherType) << L{1, 1}
                                             << Q{"summary", "type"} << 1;
        QTest::newRow("device type differs, No") << int(FileRecord) << int(DeviceRecord) << int(OtherType) << L{1, 0}
                                                 << Q{"summary", "type"} << 0;
        QTest::newRow("device version differs") << int(FileRecord) << int(DeviceRecord) << int(OtherVersion)
                                                << L{1, 1} << Q{"summary", "version"} << 1;
        QTest::newRow("file compiled a second earlier") << int(FileRecord) << int(DeviceRecord) << int(OlderFile)
                                                        << L{1, 0} << Q{"summary", "compile time"} << 0;
        QTest::newRow("file compiled later") << int(FileRecord) << int(DeviceRecord) << int(NewerFile) << L{1}
                                             << Q{"summary"} << 1;
        QTest::newRow("type, version and time differ") << int(FileRecord) << int(DeviceRecord) << int(AllThree)
                                                       << L{1, 1, 1, 1}
                                                       << Q{"summary", "type", "version", "compile time"} << 1;
        QTest::newRow("only the program version differs") << int(FileRecord) << int(DeviceRecord)
                                                          << int(OtherProgramVersion) << L{1} << Q{"summary"} << 1;
        QTest::newRow("only the revision differs") << int(FileRecord) << int(DeviceRecord) << int(OtherRevision)
                                                   << L{1} << Q{"summary"} << 1;
        QTest::newRow("only the serial differs") << int(FileRecord) << int(DeviceRecord) << int(OtherSerial) << L{1}
                                                 << Q{"summary"} << 1;
    }
    void questionsBeforeADownload()
    {
        QFETCH(int, file);
        QFETCH(int, device);
        QFETCH(int, difference);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, questions);
        QFETCH(int, result);

        const FwInfo deviceInfo = sampleInfo();
        FwInfo fileInfo = deviceInfo;
        switch (difference) {
        case OtherType: fileInfo.deviceType += 1; break;
        case OtherVersion: fileInfo.deviceVersion += 1; break;
        case OlderFile: fileInfo.compileTime -= 1; break;
        case NewerFile: fileInfo.compileTime += 1; break;
        case OtherProgramVersion: fileInfo.programVersion += 1; break;
        case OtherRevision: fileInfo.programRevision += 1; break;
        case OtherSerial: fileInfo.serial += 1; break;
        case AllThree:
            fileInfo.deviceType += 1;
            fileInfo.deviceVersion += 1;
            fileInfo.compileTime -= 100;
            break;
        default: break;
        }

        DfuFixture f;
        SimDfuDevice& sim = f.bus.plug();
        const Bytes flash = deviceImage(DeviceKind(device), deviceInfo);
        sim.setMemory(kFlashBase, flash);
        const std::string path =
            f.writeFile("image.dfu", dfutest::dfuseFileAt(kFlashBase, fileData(FileKind(file), fileInfo)));
        DfuRecorder::instance().answer(std::vector<int>(answers.begin(), answers.end()));

        QCOMPARE(fwinfo_preflash("", path.c_str(), DfuRecorder::log, DfuRecorder::ask), result);

        QStringList asked;
        for (const std::string& q : DfuRecorder::instance().questions())
            asked << questionName(q);
        QCOMPARE(asked, questions);
        QCOMPARE(DfuRecorder::instance().failures(), std::vector<std::string>());
        // Only reading: nothing erased or written, whatever the answers.
        QVERIFY(sim.erasedPages().empty());
        QCOMPARE(sim.massErases(), 0);
        QVERIFY(sim.memory(kFlashBase, kFlashSize) == flash);
        QVERIFY(f.nothingOpen());
        if (result)
            QCOMPARE(int(sim.state()), int(SimDfuDevice::DFU_IDLE));
    }

    void summariesAreLogged()
    {
        TimeZone utc("UTC");
        DfuFixture f;
        SimDfuDevice& sim = f.bus.plug();
        FwInfo older = sampleInfo();
        older.compileTime -= 3600;
        sim.setMemory(kFlashBase, deviceImage(DeviceRecord, older));
        const std::string path =
            f.writeFile("image.dfu", dfutest::dfuseFileAt(kFlashBase, fileData(FileRecord, sampleInfo())));
        DfuRecorder::instance().answer({1});
        QCOMPARE(fwinfo_preflash("", path.c_str(), DfuRecorder::log, DfuRecorder::ask), 1);

        std::vector<std::string> summaries;
        for (const DfuLogLine& l : DfuRecorder::instance().lines())
            if (l.text.rfind("Информация в", 0) == 0 && l.kind == DFU_LOG_INFO)
                summaries.push_back(l.text);
        QCOMPARE(summaries.size(), size_t(2));
        QVERIFY(summaries[0].rfind("Информация в загружаемой программе:\n", 0) == 0);
        QVERIFY(summaries[0].find("Время компиляции:14.11.2023 22:13:20\n") != std::string::npos);
        QVERIFY(summaries[1].rfind("Информация в текущей программе:\n", 0) == 0);
        QVERIFY(summaries[1].find("Время компиляции:14.11.2023 21:13:20\n") != std::string::npos);
        QVERIFY(summaries[1].find("Серийный номер устройства:81985529216486895\n") != std::string::npos);
    }

    void failuresEndTheCheck_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("red");
        QTest::newRow("no device") << "none" << 0 << "Нет доступных устройств, запущенных в режиме dfu.";
        QTest::newRow("two devices") << "two" << 0 << "Internal error #435";
        QTest::newRow("USB does not start") << "no usb" << 0 << "Internal error #414";
        QTest::newRow("file missing: the download tells") << "no file" << 1 << "Cannot open file %1 for reading";
        QTest::newRow("no memory layout") << "no layout" << 0 << "Failed to parse memory layout";
        QTest::newRow("flash not readable") << "unreadable" << 0 << "Page at 0x08000000 is not readable";
        QTest::newRow("device gone while read") << "gone" << 0 << "dfuse_upload: libusb_control_msg returned -4";
    }
    void failuresEndTheCheck()
    {
        QFETCH(QString, setup);
        QFETCH(int, result);
        QFETCH(QString, red);
        DfuFixture f;
        SimDfuConfig config;
        if (setup == "no layout")
            config.altNames = {"Internal Flash"};
        if (setup == "unreadable")
            config.altNames = {"@Internal Flash  /0x08000000/64*2Kf"};
        if (setup != "none" && setup != "no usb") {
            SimDfuDevice& sim = f.bus.plug(config);
            sim.setMemory(kFlashBase, deviceImage(DeviceRecord, sampleInfo()));
            if (setup == "gone")
                sim.disconnectAfter(30);
        }
        if (setup == "two")
            f.bus.plug(config);
        if (setup == "no usb")
            f.bus.failInit(-99);
        std::string path = f.writeFile("image.dfu", dfutest::dfuseFileAt(kFlashBase, fileData(FileRecord, sampleInfo())));
        if (setup == "no file")
            path = f.path("missing.dfu");
        DfuRecorder::instance().answer({1, 1, 1});

        QCOMPARE(fwinfo_preflash("", path.c_str(), DfuRecorder::log, DfuRecorder::ask), result);
        QCOMPARE(DfuRecorder::instance().failures(), std::vector<std::string>{red.arg(path.c_str()).toStdString()});
        QVERIFY(DfuRecorder::instance().questions().empty());
        QVERIFY(f.nothingOpen());
    }
};

QTEST_MAIN(TstFwInfo)
#include "tst_fwinfo.moc"
