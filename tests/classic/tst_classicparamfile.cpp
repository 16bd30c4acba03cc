// The classic binary parameter file: its bytes against files typed from the
// format, imports that must change nothing, and the export and import flows.
#include "classic/modbuslink.h"
#include "classic/paramfile.h"
#include "filesizelimit.h"
#include "hostfixture.h"
#include "modbustestserver.h"
#include "records.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kData = QStringLiteral(QUILL_CLASSIC_DATA_DIR "/");
const QString kNotWritten = QStringLiteral("Значения из файла не записаны в устройство: нет связи с устройством.");

// Hex bytes of a fixture; "#" starts a comment.
QByteArray hexFile(const QString& name)
{
    QFile file(kData + name);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray hex;
    for (const QByteArray& line : file.readAll().split('\n'))
        hex += line.left(line.indexOf('#') < 0 ? line.size() : line.indexOf('#'));
    return QByteArray::fromHex(hex.simplified().replace(' ', ""));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An application folder with the device's folder, the classic data and a
// file service on a recording host.
struct FileFixture {
    QTemporaryDir appDir;
    ClassicData data;
    HostFixture host{appDir.path()};
    ModbusLink link{host.host};
    ClassicParamFile files{data, host.host, link};

    FileFixture()
    {
        QDir(appDir.path()).mkpath(QStringLiteral("ConfigurationData/Dev"));
        files.setClock([] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5)); });
    }
    QString path(const QString& name) const { return appDir.path() + QLatin1Char('/') + name; }

    bool exportTo(const QString& file)
    {
        host.saveAnswers << file;
        return files.exportParams(false);
    }
    bool importFrom(const QString& file)
    {
        host.openAnswers << file;
        return files.importParams();
    }
    // The three maps holding the records of three-sections.hex, with other values.
    void threeMaps()
    {
        addRecord(data.main.map, "P").caption = QStringLiteral("old");
        addRecord(data.extra.map, "E").caption = QStringLiteral("old");
        addRecord(data.calibration.map, "K").caption = QStringLiteral("old");
    }
};
}

class TstClassicParamFile : public QObject {
    Q_OBJECT
private slots:
    void init() { connectionSettings() = ConnectionSettings(); }

    void defaultRecordNamedA()
    {
        FileFixture f;
        addRecord(f.data.main.map, "A");
        QVERIFY(f.exportTo(f.path("a.bin")));
        const QByteArray golden = hexFile("default-a.hex");
        QCOMPARE(golden.size(), 163);
        QCOMPARE(readAll(f.path("a.bin")).toHex(' '), golden.toHex(' '));
    }

    void fullFileRoundTrips()
    {
        FileFixture f;
        f.threeMaps();
        const QByteArray golden = hexFile("three-sections.hex");
        QVERIFY(writeFile(f.path("in.bin"), golden));
        QVERIFY(f.importFrom(f.path("in.bin"))); // read, with no link to write it to
        QCOMPARE(f.host.errors(), QStringList{kNotWritten});
        QCOMPARE(f.host.refreshed, (QList<ClassicPage>{ClassicPage::Main, ClassicPage::Extra, ClassicPage::Calibration}));

        const ParamEntry& p = *f.data.main.map.find("P");
        QCOMPARE(p.caption, QStringLiteral("Скор"));
        QVERIFY(p.minValue.isNull());
        QVERIFY(p.scriptActionTitle.isNull());
        QVERIFY(!p.description.isNull() && p.description.isEmpty());
        QCOMPARE(p.valueList, (ValueList{{"1", "On"}}));
        QCOMPARE(p.childNames.size(), 2);
        QVERIFY(p.childNames[1].isNull());
        QCOMPARE(p.currentRaw, qint64(-2));
        QCOMPARE(p.auxValue, qint64(0x0102030405060708));
        QCOMPARE(p.ownerMap, &f.data.main.map);
        QCOMPARE(f.data.extra.map.find("E")->caption, QString());

        QVERIFY(f.exportTo(f.path("out.bin")));
        QCOMPARE(readAll(f.path("out.bin")).toHex(' '), golden.toHex(' '));
    }

    void importReplacesInPlaceAndAdds()
    {
        FileFixture f;
        ParamEntry& kept = addRecord(f.data.main.map, "Z");
        kept.caption = QStringLiteral("not in the file");
        QVERIFY(writeFile(f.path("in.bin"), hexFile("default-a.hex")));
        f.importFrom(f.path("in.bin"));
        ParamEntry* added = f.data.main.map.find("A");
        QVERIFY(added);
        QCOMPARE(f.data.main.map.size(), 2);

        added->caption = QStringLiteral("changed");
        f.importFrom(f.path("in.bin"));
        QCOMPARE(f.data.main.map.find("A"), added); // the same record, now the file's again
        QVERIFY(added->caption.isNull());
        QCOMPARE(kept.caption, QStringLiteral("not in the file"));
    }

    // A file that does not fit the maps changes nothing.
    void brokenFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("threeMaps");
        QTest::addColumn<QString>("reason");
        const QByteArray full = hexFile("three-sections.hex");
        QTest::newRow("truncated") << full.left(full.size() - 3) << true << "файл обрывается посреди записи";
        QByteArray hugeCount = full;
        hugeCount.replace(0, 4, QByteArray::fromHex("7fffffff"));
        QTest::newRow("huge record count") << hugeCount << true
                                           << "число элементов 2147483647 больше, чем помещается в остатке файла";
        QByteArray hugeList = full;
        hugeList.replace(14, 4, QByteArray::fromHex("40000000")); // P's blockMembers
        QTest::newRow("huge list") << hugeList << true
                                   << "число элементов 1073741824 больше, чем помещается в остатке файла";
        QByteArray hugeText = full;
        hugeText.replace(24, 4, QByteArray::fromHex("7ffffffe")); // P's caption
        QTest::newRow("huge text") << hugeText << true << "длина текста 2147483646 байт больше остатка файла";
        QByteArray oddText = full;
        oddText.replace(24, 4, QByteArray::fromHex("00000007"));
        QTest::newRow("odd text length") << oddText << true << "длина текста 7 байт больше остатка файла";
        QTest::newRow("fewer sections than maps") << hexFile("default-a.hex") << true
                                                  << "файл обрывается посреди записи";
        QTest::newRow("more sections than maps") << full << false
                                                 << QString("после разделов остались лишние данные (%1 байт)")
                                                        .arg(2 * 163); // extra and calibration
        QTest::newRow("empty file") << QByteArray() << true << "файл обрывается посреди записи";
        // Whole records whose numbers would drive a register loop or a shift.
        const int pAddresses = full.indexOf(QByteArray::fromHex("000000090000000a00000008")); // P's range 9..10
        QByteArray hugeRange = full;
        hugeRange.replace(pAddresses + 4, 4, QByteArray::fromHex("7fffffff"));
        QTest::newRow("register range past Modbus") << hugeRange << true
                                                    << "регистры 9..2147483647 записи P вне диапазона 0..65535";
        QByteArray negativeRegister = full;
        negativeRegister.replace(pAddresses, 4, QByteArray::fromHex("fffffffb"));
        QTest::newRow("negative register") << negativeRegister << true
                                           << "регистры -5..10 записи P вне диапазона 0..65535";
        QByteArray wideBit = full;
        wideBit.replace(10, 4, QByteArray::fromHex("00000040")); // P's bitIndex
        QTest::newRow("bit past the value") << wideBit << true << "номер бита 64 записи P вне диапазона 0..63";
    }
    void brokenFileChangesNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, threeMaps);
        QFETCH(QString, reason);
        FileFixture f;
        if (threeMaps)
            f.threeMaps();
        else
            addRecord(f.data.main.map, "P").caption = QStringLiteral("old");
        QVERIFY(writeFile(f.path("in.bin"), bytes));
        QVERIFY(!f.importFrom(f.path("in.bin")));
        QCOMPARE(f.host.errors(), QStringList{"Файл импорта повреждён: " + reason});
        QCOMPARE(f.data.main.map.size(), 1);
        QCOMPARE(f.data.main.map.find("P")->caption, QStringLiteral("old"));
        if (threeMaps)
            QCOMPARE(f.data.calibration.map.find("K")->caption, QStringLiteral("old"));
    }

    void exportProposesItsFolderAndName()
    {
        FileFixture f;
        addRecord(f.data.main.map, "A");
        const QString folder = f.path("ConfigurationData/Dev/data/");
        QVERIFY(!QDir(folder).exists());
        QVERIFY(!f.files.exportParams(false)); // dialog cancelled
        QVERIFY(QDir(folder).exists());
        QCOMPARE(f.host.dialogs,
                 (QList<QStringList>{{"save", "Укажите папку для выгрузки", folder + "Dev_export_09.03.2024 14-05"}}));
        QCOMPARE(f.host.errors(), QStringList{"Ошибка создания файла."});
    }

    void failedExportKeepsTheOldFile()
    {
        FileFixture f;
        for (int i = 0; i < 20; ++i)
            addRecord(f.data.main.map, QStringLiteral("R%1").arg(i));
        QVERIFY(writeFile(f.path("old.bin"), "old"));
        {
            FileSizeLimit limit(1000);
            QVERIFY(!f.exportTo(f.path("old.bin")));
        }
        QCOMPARE(readAll(f.path("old.bin")), QByteArray("old"));
        QCOMPARE(f.host.errors().size(), 1);
        QVERIFY(f.host.errors()[0].startsWith("Ошибка записи файла "));
        QCOMPARE(QDir(f.appDir.path()).entryList(QDir::Files), QStringList{"old.bin"});
    }

    void importChoosesItsFile()
    {
        FileFixture f;
        addRecord(f.data.main.map, "A");
        const QString folder = f.path("ConfigurationData/Dev/data/");
        QVERIFY(!f.files.importParams()); // cancelled: no line
        QCOMPARE(f.host.dialogs.last(), (QStringList{"open", "Выберите файл данных для импорта", folder}));
        QVERIFY(f.host.lines.isEmpty());

        f.host.options.alwaysImportLastFile = true; // nothing remembered: the dialog opens
        QVERIFY(!f.importFrom(f.path("missing.bin")));
        QCOMPARE(f.host.dialogs.size(), 2);
        QCOMPARE(f.host.lastImport, f.path("missing.bin"));
        QCOMPARE(f.host.errors(), QStringList{"Ошибка:файл не найден."});

        QVERIFY(writeFile(f.path("in.bin"), hexFile("default-a.hex")));
        f.host.lastImport = f.path("in.bin");
        f.files.importParams(); // remembered: no dialog
        QCOMPARE(f.host.dialogs.size(), 2);

        f.host.options.alwaysImportLastFile = false;
        f.host.openAnswers << f.appDir.path(); // a folder cannot be read
        QVERIFY(!f.files.importParams());
        QCOMPARE(f.host.dialogs.last()[2], f.path("in.bin")); // starts at the last file
        QCOMPARE(f.host.errors().last(), QStringLiteral("Ошибка открытия файла."));
    }

    void failedBackupStopsTheImport()
    {
        FileFixture f;
        addRecord(f.data.main.map, "A");
        f.host.options.backupBeforeImport = true;
        QVERIFY(!f.files.importParams());
        QCOMPARE(f.host.dialogs.size(), 1);
        QCOMPARE(f.host.dialogs[0][1], QStringLiteral("Укажите папку для backup-a"));
        QCOMPARE(f.host.errors(), (QStringList{"Ошибка создания файла.", "Ошибка backup-а."}));
    }

    // Imported values go to the device's writable registers and are read back.
    void importWritesAndReadsBack()
    {
        ModbusTestServer server;
        QVERIFY(server.startTcp());
        connectionSettings().ipAddress = QStringLiteral("127.0.0.1");
        connectionSettings().tcpPort = server.tcpPort();
        FileFixture f;
        QVERIFY(f.link.connectModbus());

        ParamEntry& w = addRecord(f.data.main.map, "W");
        w.dataType = ParamEntry::UInt;
        w.addressBegin = 10;
        ParamEntry& r = addRecord(f.data.main.map, "R");
        r.dataType = ParamEntry::UInt;
        r.addressBegin = 11;
        r.readOnly = true;
        w.currentRaw = 55;
        r.currentRaw = 66;
        QVERIFY(f.exportTo(f.path("in.bin")));
        w.currentRaw = r.currentRaw = 0;
        registerList(f.data.main.map, f.data.main.registers);
        sortRegisterList(f.data.main.registers);
        server.setRegister(11, 99);
        server.clearRequests();

        f.host.openAnswers << f.path("in.bin");
        f.host.lines.clear();
        f.files.onImport();
        QCOMPARE(server.registerValue(10), quint16(55));
        QCOMPARE(server.registerValue(11), quint16(99));
        QCOMPARE(server.requests(), (QList<ModbusTestServer::Request>{{16, 10, 1}, {3, 10, 2}}));
        QCOMPARE(w.currentText, QStringLiteral("55"));
        QCOMPARE(r.currentText, QStringLiteral("99"));
        QCOMPARE(f.host.refreshed, QList<ClassicPage>{ClassicPage::Main});
        QCOMPARE(f.host.texts(true), (QStringList{"Импорт...", "Импорт завершен!"}));
        QCOMPARE(f.host.tools, (QList<bool>{false, true}));
        QVERIFY(f.data.operationMode.isEmpty());
    }

    void flowsReportTheirEnd()
    {
        FileFixture f;
        addRecord(f.data.main.map, "A");
        f.host.saveAnswers << f.path("a.bin");
        f.files.onExport();
        QCOMPARE(f.host.texts(true), (QStringList{"Экспорт...", "Экспорт завершен!"}));
        QCOMPARE(f.host.tools, (QList<bool>{false, false})); // no link: the tools stay off
        f.host.lines.clear();
        f.files.onExport(); // cancelled
        QCOMPARE(f.host.errors(), (QStringList{"Ошибка создания файла.", "Ошибка экспорта!"}));
        f.host.lines.clear();
        f.host.openAnswers << f.path("a.bin");
        f.files.onImport(); // read, with no link: done, and the line says what was not
        QCOMPARE(f.host.errors(), QStringList{kNotWritten});
        QCOMPARE(f.host.texts(true), (QStringList{"Импорт...", "Импорт завершен!"}));
        QVERIFY(f.data.operationMode.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstClassicParamFile)
#include "tst_classicparamfile.moc"
