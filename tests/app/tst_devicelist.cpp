#include "app/devicelist.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(DeviceList)

namespace {
const QString kOpenError = QStringLiteral("Ошибка открытия файла controllers.xml.");
}

class TestDeviceList : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    struct Line {
        QString text;
        bool success;
    };

private slots:
    void readsFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<DeviceList>("rows");
        QTest::addColumn<bool>("logged");

        QTest::newRow("nested, document order")
            << QByteArray("<?xml version=\"1.0\"?><Devices><Controller id=\"1\">A</Controller>"
                          "<Group><Controller id=\"2\">B</Controller><Sub><Controller id=\"3\">C</Controller></Sub>"
                          "</Group><Controller id=\"4\">D</Controller></Devices>")
            << DeviceList{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}} << false;
        QTest::newRow("missing id, missing text")
            << QByteArray("<List><Controller>NoId</Controller><Controller id=\"7\"/></List>")
            << DeviceList{{"NoId", ""}, {"", "7"}} << false;
        QTest::newRow("duplicates kept")
            << QByteArray("<L><Controller id=\"5\">Same</Controller><Controller id=\"5\">Same</Controller></L>")
            << DeviceList{{"Same", "5"}, {"Same", "5"}} << false;
        QTest::newRow("text of descendants")
            << QByteArray("<L><Controller id=\"9\">Ab<b>cd</b>ef</Controller></L>")
            << DeviceList{{"Abcdef", "9"}} << false;
        QTest::newRow("root is not an entry, other names ignored")
            << QByteArray("<Controller id=\"0\"><controller id=\"1\">x</controller><Controller id=\"2\">Y</Controller>"
                          "</Controller>")
            << DeviceList{{"Y", "2"}} << false;
        QTest::newRow("Cyrillic name")
            << QByteArray("<L><Controller id=\"3\">Привод</Controller></L>") << DeviceList{{"Привод", "3"}} << false;
        QTest::newRow("no entries") << QByteArray("<Devices/>") << DeviceList{} << false;
        QTest::newRow("malformed")
            << QByteArray("<Devices><Controller id=\"1\">A</Devices>") << DeviceList{} << true;
        QTest::newRow("truncated") << QByteArray("<Devices><Controller id=\"1\">A</Contr") << DeviceList{} << true;
        QTest::newRow("empty file") << QByteArray() << DeviceList{} << true;
        QTest::newRow("binary") << QByteArray("\x00\xff\x10garbage", 10) << DeviceList{} << true;
    }

    void readsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(DeviceList, rows);
        QFETCH(bool, logged);
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QString("c%1.xml").arg(QTest::currentDataTag()).replace(' ', '_'));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();

        QVector<Line> lines;
        const DeviceList got = loadControllers(path, [&](const QString& t, bool ok) { lines.append({t, ok}); });
        QCOMPARE(got, rows);
        QCOMPARE(lines.size(), logged ? 1 : 0);
        if (logged) {
            QCOMPARE(lines[0].text, kOpenError);
            QCOMPARE(lines[0].success, false);
        }
    }

    void missingFile()
    {
        QVector<Line> lines;
        const QString path = dir.filePath("absent/Controllers.xml");
        QVERIFY(loadControllers(path, [&](const QString& t, bool ok) { lines.append({t, ok}); }).isEmpty());
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0].text, kOpenError);
        QCOMPARE(lines[0].success, false);
        QVERIFY(loadControllers(path, LogSink{}).isEmpty());  // no sink: still no crash
        QVERIFY(loadControllers(dir.path(), LogSink{}).isEmpty());  // a folder is no file
    }

    void pathBesideExecutable()
    {
        QCOMPARE(controllersFilePath(),
                 QCoreApplication::applicationDirPath() + "/ConfigurationData/Controllers.xml");
    }
};

QTEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
