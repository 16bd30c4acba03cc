#include "app/devicelist.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::addColumn<QString>("reason"); // after the usual text; empty: no line

        QTest::newRow("nested, document order")
            << QByteArray("<?xml version=\"1.0\"?><Devices><Controller id=\"1\">A</Controller>"
                          "<Group><Controller id=\"2\">B</Controller><Sub><Controller id=\"3\">C</Controller></Sub>"
                          "</Group><Controller id=\"4\">D</Controller></Devices>")
            << DeviceList{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}} << "";
        QTest::newRow("missing id, missing text")
            << QByteArray("<List><Controller>NoId</Controller><Controller id=\"7\"/></List>")
            << DeviceList{{"NoId", ""}, {"", "7"}} << "";
        QTest::newRow("duplicates kept")
            << QByteArray("<L><Controller id=\"5\">Same</Controller><Controller id=\"5\">Same</Controller></L>")
            << DeviceList{{"Same", "5"}, {"Same", "5"}} << "";
        QTest::newRow("text of descendants")
            << QByteArray("<L><Controller id=\"9\">Ab<b>cd</b>ef</Controller></L>")
            << DeviceList{{"Abcdef", "9"}} << "";
        QTest::newRow("root is not an entry, other names ignored")
            << QByteArray("<Controller id=\"0\"><controller id=\"1\">x</controller><Controller id=\"2\">Y</Controller>"
                          "</Controller>")
            << DeviceList{{"Y", "2"}} << "";
        QTest::newRow("Cyrillic name")
            << QByteArray("<L><Controller id=\"3\">Привод</Controller></L>") << DeviceList{{"Привод", "3"}} << "";
        QTest::newRow("no entries") << QByteArray("<Devices/>") << DeviceList{} << "";
        QTest::newRow("malformed")
            << QByteArray("<Devices><Controller id=\"1\">A</Devices>") << DeviceList{} << "Ошибка XML в строке 1, столбце";
        QTest::newRow("truncated") << QByteArray("<Devices><Controller id=\"1\">A</Contr") << DeviceList{}
                                   << "Ошибка XML в строке 1, столбце";
        QTest::newRow("second line") << QByteArray("<Devices>\n<Controller id=\"1\">A</Devices>") << DeviceList{}
                                     << "Ошибка XML в строке 2, столбце";
        // Refused before Qt's document builder, which overflows the stack at such depths.
        QTest::newRow("200,000 levels, XML 1.1")
            << (QByteArray("<?xml version=\"1.1\"?>") + QByteArray("<G>").repeated(200000)
                + QByteArray("<Controller id=\"1\">A</Controller>") + QByteArray("</G>").repeated(200000))
            << DeviceList{} << "Элементы вложены глубже 128 уровней";
        // Refused before the reader holds the text the references expand to.
        QTest::newRow("one entity 1,000 times")
            << ("<!DOCTYPE Devices [<!ENTITY q \"" + QByteArray(10000, 'x') + "\">]><Devices><Controller id=\"1\">"
                + QByteArray("&q;").repeated(1000) + "</Controller></Devices>")
            << DeviceList{} << "Сущности раскрываются в слишком длинный текст";
        QByteArray many = "<!DOCTYPE Devices [";
        for (int i = 0; i < 8000; ++i)
            many += "<!ENTITY e" + QByteArray::number(i) + " \"v\">";
        QTest::newRow("8,000 entities declared")
            << many + "]><Devices><Controller id=\"1\">A</Controller></Devices>" << DeviceList{}
            << "Объявлено больше 1000 сущностей";
        QTest::newRow("an entity within the bound")
            << QByteArray("<!DOCTYPE Devices [<!ENTITY d \"Привод\">]><Devices><Controller id=\"1\">&d; &d;</Controller>"
                          "</Devices>")
            << DeviceList{{"Привод Привод", "1"}} << "";
        QTest::newRow("empty file") << QByteArray() << DeviceList{} << "Ошибка XML";
        QTest::newRow("binary") << QByteArray("\x00\xff\x10garbage", 10) << DeviceList{} << "Ошибка XML";
    }

    void readsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(DeviceList, rows);
        QFETCH(QString, reason);
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QString("c%1.xml").arg(QTest::currentDataTag()).replace(' ', '_'));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();

        QVector<Line> lines;
        const DeviceList got = loadControllers(path, [&](const QString& t, bool ok) { lines.append({t, ok}); });
        QCOMPARE(got, rows);
        QCOMPARE(lines.size(), reason.isEmpty() ? 0 : 1);
        if (!reason.isEmpty()) {
            QVERIFY2(lines[0].text.startsWith(kOpenError + " " + reason), qPrintable(lines[0].text));
            QCOMPARE(lines[0].success, false);
        }
    }

    void missingFile()
    {
        QVector<Line> lines;
        const QString path = dir.filePath("absent/Controllers.xml");
        QVERIFY(loadControllers(path, [&](const QString& t, bool ok) { lines.append({t, ok}); }).isEmpty());
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].text.startsWith(kOpenError + " Файл " + QDir::toNativeSeparators(path) + " не открыт: "),
                 qPrintable(lines[0].text));
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
