// The EDS reader on a hand-written EDS, with a simulated device on a pty
// answering the count of dynamic sub-indices.
#include "classic/edsreader.h"
#include "classic/paramentry.h"
#include "classic/sdoaddress.h"
#include "hostfixture.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "sim/simdevice.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
const uint8_t kNode = 0x21;
const QString kEds = QStringLiteral(QUILL_CLASSIC_DATA_DIR "/device.eds");
}

class TstEdsReader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        SimDeviceOnPty sim(kNode);
        sim.device.addObject(0xA000, 0, CO_UNSIGNED8, QByteArray(1, char(3)));
        QCOMPARE(openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr), CAN_LINK_OPEN);
        pointSdoClientAt(kNode);
        connectionSettings().nodeId = kNode;
        m_map.insert(QStringLiteral("kept"));
        readEds(kEds, m_map, m_host.host);
        closeCanLink(nullptr);
        connectionSettings().nodeId = kNodeIdUnset;
        QCOMPARE(sim.device.uploadsOf(0xA000, 0), 1);
    }

    void recordsOfTheSections_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("subIndex");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("editor");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("parent");
        QTest::newRow("object") << " 1000 Device type" << "1000 Device type" << "1000" << "0" << 7 << 1 << 4 << true
                                << "0x00000191" << "";
        QTest::newRow("UTF-8 text, const is not ro")
            << " 1008 Имя устройства" << "1008 Имя устройства" << "1008" << "0" << 9 << 1 << -1 << false << "Тест" << "";
        QTest::newRow("object with sub-entries has no type")
            << " 1018 Identity" << "1018 Identity" << "1018" << "0" << 0 << 1 << -1 << false << "" << "";
        QTest::newRow("sub-entry") << "001 1018sub1 Vendor-ID" << "1018sub1 Vendor-ID" << "1018" << "1" << 7 << 1 << 4
                                   << true << "0x12345678" << " 1018 Identity";
        QTest::newRow("BOOLEAN") << " 2001 Enable" << "2001 Enable" << "2001" << "0" << 1 << 3 << 1 << false << "1"
                                 << "";
        QTest::newRow("REAL32") << " 2002 Gain" << "2002 Gain" << "2002" << "0" << 8 << 1 << 4 << false << "1.5" << "";
        QTest::newRow("default with commas") << " 2003 Limits" << "2003 Limits" << "2003" << "0" << 9 << 1 << -1
                                             << false << "10,20,30" << "";
        QTest::newRow("UNSIGNED64") << " 2004 Counter" << "2004 Counter" << "2004" << "0" << 0x1B << 1 << 8 << false
                                    << "0" << "";
        QTest::newRow("unknown type") << " 2005 Mode" << "2005 Mode" << "2005" << "0" << 0xAB << 1 << -1 << false
                                      << "3" << "";
        QTest::newRow("dynamic 1") << "001 A000sub1 Channel 1" << "A000sub1 Channel 1" << "A000" << "1" << 6 << 1 << 2
                                   << false << "0" << " A000 Channels";
        QTest::newRow("dynamic 2") << "002 A000sub2 Channel 1" << "A000sub2 Channel 2" << "A000" << "2" << 6 << 1 << 2
                                   << false << "0" << " A000 Channels";
        QTest::newRow("dynamic 3") << "003 A000sub3 Channel 1" << "A000sub3 Channel 3" << "A000" << "3" << 6 << 1 << 2
                                   << false << "0" << " A000 Channels";
    }
    void recordsOfTheSections()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, index);
        QFETCH(QString, subIndex);
        QFETCH(int, type);
        QFETCH(int, editor);
        QFETCH(int, size);
        QFETCH(bool, readOnly);
        QFETCH(QString, value);
        QFETCH(QString, parent);
        const ParamEntry* r = m_map.find(name);
        QVERIFY2(r, qPrintable(name));
        QCOMPARE(r->name, name);
        QCOMPARE(r->caption, caption);
        QCOMPARE(r->objectIndex, index);
        QCOMPARE(r->objectSubIndex, subIndex);
        QCOMPARE(r->canDataType, type);
        QCOMPARE(r->editorType, editor);
        QCOMPARE(r->byteSize, size);
        QCOMPARE(r->readOnly, readOnly);
        QCOMPARE(r->valueText, value);
        QCOMPARE(r->parentName, parent);
        QCOMPARE(r->ownerMap, &m_map);
    }

    void onlyThoseSectionsMakeRecords()
    {
        // No 1018sub0, no 1021 sections, no empty name, no foreign or
        // lower-case section; the record that was there stays.
        QCOMPARE(m_map.keys(),
                 (QStringList{" 1000 Device type", " 1008 Имя устройства", " 1018 Identity", " 1100 Outside the ranges",
                              " 2001 Enable", " 2002 Gain", " 2003 Limits", " 2004 Counter", " 2005 Mode",
                              " 2010 Limits block", " 2070 Modbus mapping", " A000 Channels", " A540 Traced object",
                              "001 1018sub1 Vendor-ID", "001 2010sub1 Lower", "001 2070sub1 Entry 1",
                              "001 A000sub1 Channel 1", "002 1018sub2 Product code", "002 2010sub2 Upper",
                              "002 2070sub2 Entry 2", "002 A000sub2 Channel 1", "003 A000sub3 Channel 1", "kept"}));
        QCOMPARE(m_map.find(" 1018 Identity")->childNames,
                 (QStringList{"001 1018sub1 Vendor-ID", "002 1018sub2 Product code"}));
        QCOMPARE(m_map.find(" A000 Channels")->childNames,
                 (QStringList{"001 A000sub1 Channel 1", "002 A000sub2 Channel 1", "003 A000sub3 Channel 1"}));
        QCOMPARE(m_map.find(" A000 Channels")->canDataType, 0);
        QCOMPARE(m_map.find("001 1018sub1 Vendor-ID")->description, QStringLiteral("Assigned by CiA"));
    }

    void diagnosticLines()
    {
        QCOMPARE(m_host.texts(true), QStringList());
        QCOMPARE(m_host.errors(), (QStringList{
                                      "index: subindex:1000 0", "index: subindex:1008 0", "index: subindex:1018 0",
                                      "index: subindex:1018 1", "index: subindex:1018 2", "index: subindex:1100 0",
                                      "index: subindex:2001 0", "index: subindex:2002 0", "index: subindex:2003 0",
                                      "index: subindex:2004 0", "index: subindex:2005 0", "index: subindex:2010 0",
                                      "index: subindex:2010 1", "index: subindex:2010 2", "index: subindex:2070 0",
                                      "index: subindex:2070 1", "index: subindex:2070 2", "index: subindex:A000 0", "index: subindex:A000 1", "index: subindex:A000 2",
                                      "index: subindex:A000 3", "КОЛИЧЕСТВО ДИНАМИЧЕСКИХ ПОДИНДЕКСОВ:0",
                                      "index: subindex:A540 0", "A540", "j----1"}));
    }

    void withoutAnswerOneChannel()
    {
        HostFixture host;
        ParamEntryMap map;
        connectionSettings().nodeId = kNode; // no link open: the count cannot be read
        readEds(kEds, map, host.host);
        connectionSettings().nodeId = kNodeIdUnset;
        QVERIFY(map.contains("001 A000sub1 Channel 1"));
        QVERIFY(!map.contains("002 A000sub2 Channel 1"));
        QVERIFY(host.errors().contains("Не удалось считать количество субиндексов для индекса: A000"));
    }

    // A section whose index or sub-index is no number, or one past what an
    // SDO address holds, would reach another object cut down: it is left out
    // with one line, and only the record of 2000sub1 reads or writes it.
    void sectionsNamingNoObjectAreLeftOut_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("kept"); // the record's name, empty when left out
        QTest::newRow("sub-index 101") << "2000sub101" << "";
        QTest::newRow("sub-index 100: the object itself cut down") << "2000sub100" << "";
        QTest::newRow("sub-index past 32 bits") << "2000sub100000001" << "";
        QTest::newRow("index no number") << "20|0sub1" << "";
        QTest::newRow("sub-index FF with a leading zero") << "2000sub0FF" << "255 2000sub0FF Other";
    }
    void sectionsNamingNoObjectAreLeftOut()
    {
        QFETCH(QString, section);
        QFETCH(QString, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("device.eds"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[2000]\nParameterName=Block\nObjectType=0x9\n\n"
                   "[2000sub1]\nParameterName=First\nDataType=0x0007\nAccessType=rw\n\n"
                   "[" + section.toLatin1() + "]\nParameterName=Other\nDataType=0x0007\nAccessType=rw\n");
        file.close();
        HostFixture host;
        ParamEntryMap map;
        readEds(path, map, host.host);

        QStringList names{" 2000 Block", "001 2000sub1 First"};
        if (!kept.isEmpty())
            names << kept;
        names.sort();
        QCOMPARE(map.keys(), names);
        names.removeOne(QStringLiteral(" 2000 Block"));
        QCOMPARE(map.find(" 2000 Block")->childNames, names);
        for (const auto& [name, record] : map) {
            SdoAddress at;
            if (sdoAddressOf(record, &at) && at.index == 0x2000 && at.subIndex == 1)
                QCOMPARE(name, QStringLiteral("001 2000sub1 First"));
        }
        const QString line = "Ошибка! Индекс или субиндекс раздела вне диапазона, раздел пропущен: " + section;
        QCOMPARE(host.errors().filter("Ошибка!"), kept.isEmpty() ? QStringList{line} : QStringList());
        QCOMPARE(host.errors().filter("index: subindex:").size(), names.size() + 1);
    }

    void missingFile()
    {
        HostFixture host;
        ParamEntryMap map;
        const QString path = QDir::tempPath() + "/no-such-dir-quillbex/device.eds";
        readEds(path, map, host.host);
        QVERIFY(map.isEmpty());
        QCOMPARE(host.errors(), QStringList{"Ошибка! Файл словаря объектов не найден. " + path});
    }

private:
    HostFixture m_host;
    ParamEntryMap m_map;
};

QTEST_GUILESS_MAIN(TstEdsReader)
#include "tst_edsreader.moc"
