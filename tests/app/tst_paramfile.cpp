#include "app/paramfileservice.h"
#include "app/paramserializer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString kDevice = QStringLiteral("Dev");
const QString kLoadFailed = QStringLiteral("Процесс загрузки импортируемых параметров завершился неудачно");

struct Line
{
    QString text;
    bool success;
};

class FakeChooser : public FileChooser
{
public:
    QString saveFileName(const QString &caption, const QString &proposedPath,
                         const QString &defaultSuffix) override
    {
        calls << QStringList{QStringLiteral("save"), caption, proposedPath, defaultSuffix};
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    QString openFileName(const QString &caption, const QString &folder) override
    {
        calls << QStringList{QStringLiteral("open"), caption, folder};
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }

    QStringList saveAnswers;
    QStringList openAnswers;
    QList<QStringList> calls;
};

QSharedPointer<ParamDataType> type(const QString &name, int size, int canType)
{
    return QSharedPointer<ParamDataType>::create(name, size, canType);
}

// Keeps writes of this process below `bytes` while it lives, so a write fails as on
// a full disk (also for root, which ignores file permissions).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

// A device's pages: a temporary application folder, page parameters and a service
// whose hooks record what the flow did.
struct Fixture
{
    QTemporaryDir appDir;
    QList<PageParam> params;
    QVector<int> importedCount;
    QList<Line> lines;
    QStringList hookCalls;
    FakeChooser *chooser = nullptr; // owned by the service
    std::unique_ptr<ParamFileService> service;

    Fixture()
    {
        QDir(appDir.path()).mkpath(QStringLiteral("ConfigurationData/") + kDevice);
        add("2000", "1", "speed", type("uint16", 2, 0x06), true, "3412");
        add("2000", "2", "mode", type("uint8", 1, 0x05), true, "07");
        add("200a", "0", "serial", type("uint32", 4, 0x07), true, "01020304");
        add("2100", "0", "hidden", type("uint8", 1, 0x05), false, "09");
        add("2000", "1", "speed-bits", type("uint16", 2, 0x06), true, "3412"); // same object as "speed"
        add("2200", "0", "unread", type("uint16", 2, 0x06), true, "");
        add("2300", "0", "untyped", {}, true, "01");

        auto owned = std::make_unique<FakeChooser>();
        chooser = owned.get();
        ParamFileHooks hooks;
        hooks.log = [this](const QString &text, bool success) { lines.append({text, success}); };
        hooks.stopLoad = [this] { hookCalls << QStringLiteral("stop"); };
        hooks.startLoad = [this] { hookCalls << QStringLiteral("start"); };
        hooks.setToolsEnabled = [this](bool on) { hookCalls << (on ? QStringLiteral("on") : QStringLiteral("off")); };
        hooks.pageParams = [this] { return params; };
        service = std::make_unique<ParamFileService>(hooks, std::move(owned), appDir.path());
        service->setClock([] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5)); });
    }

    void add(const char *index, const char *sub, const char *name, const QSharedPointer<ParamDataType> &t,
             bool exportEnabled, const char *hex)
    {
        auto param = SPCustomParam::create(QString::fromLatin1(index), QString::fromLatin1(sub),
                                           QString::fromLatin1(name), t, false, exportEnabled);
        param->setValue(QByteArray::fromHex(hex));
        const int position = params.size();
        importedCount.append(0);
        params.append({param, [this, position] { ++importedCount[position]; }});
    }

    QString folder() const { return service->exportFolder(kDevice); }
    QString path(const QString &name) const { return appDir.path() + QLatin1Char('/') + name; }

    QString exportTo(const QString &answer)
    {
        chooser->saveAnswers << answer;
        service->exportParams(kDevice);
        return answer;
    }

    void importFrom(const QString &file, QString last = QString())
    {
        chooser->openAnswers << file;
        service->importParams(kDevice, {}, last);
    }

    QStringList values() const
    {
        QStringList out;
        for (const PageParam &p : params)
            out << QString::fromLatin1(p.param->value().toHex());
        return out;
    }
    QList<bool> editedMarks() const
    {
        QList<bool> out;
        for (const PageParam &p : params)
            out << p.param->edited();
        return out;
    }
    QStringList redLines() const
    {
        QStringList out;
        for (const Line &l : lines)
            if (!l.success)
                out << l.text;
        return out;
    }
    QStringList allLines() const
    {
        QStringList out;
        for (const Line &l : lines)
            out << l.text;
        return out;
    }
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QStringList kFlowHooks{QStringLiteral("stop"), QStringLiteral("off"), QStringLiteral("on"),
                             QStringLiteral("start")};

} // namespace

class TestParamFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The file-size limit of the failure test must fail the write, not end the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void exportWritesReadValuesOncePerObject()
    {
        Fixture f;
        // An unsaved edit is not what the device holds: the other record of the
        // object stands in for it.
        f.params[0].param->setValue(QByteArray::fromHex("ffff"));
        f.params[0].param->setEdited(true);
        // An edited object with no unedited twin is written as shown.
        f.params[1].param->setValue(QByteArray::fromHex("08"));
        f.params[1].param->setEdited(true);

        const QString target = f.exportTo(f.path(QStringLiteral("out")));

        QCOMPARE(f.chooser->calls.size(), 1);
        QCOMPARE(f.chooser->calls.at(0),
                 (QStringList{QStringLiteral("save"), QStringLiteral("Укажите папку для экспорта"),
                              f.folder() + QStringLiteral("Dev_export_09.03.2024 14-05"), QStringLiteral("json")}));
        QVERIFY(QDir(f.folder()).exists());
        QCOMPARE(f.allLines(), (QStringList{QStringLiteral("Экспорт..."), QStringLiteral("Экспорт завершен.")}));
        QVERIFY(f.redLines().isEmpty());
        QCOMPARE(f.hookCalls, kFlowHooks);

        const QJsonArray expected{
            QJsonObject{{"name", "speed-bits"}, {"index", "2000"}, {"subindex", "1"}, {"type", 6}, {"value", "3412"}},
            QJsonObject{{"name", "mode"}, {"index", "2000"}, {"subindex", "2"}, {"type", 5}, {"value", "08"}},
            QJsonObject{{"name", "serial"}, {"index", "200a"}, {"subindex", "0"}, {"type", 7}, {"value", "01020304"}},
        };
        const QByteArray written = readFile(target + QStringLiteral(".json"));
        QCOMPARE(written, QJsonDocument(QJsonObject{{"params", expected}}).toJson(QJsonDocument::Indented));
    }

    void roundTripRestoresValuesAsEdits()
    {
        Fixture f;
        const QStringList exported = f.values();
        const QString file = f.exportTo(f.path(QStringLiteral("saved.json"))); // suffix not doubled
        QVERIFY(QFile::exists(file));

        for (const PageParam &p : f.params)
            if (!p.param->value().isEmpty())
                p.param->setValue(QByteArray(p.param->value().size(), '\0'));
        const QStringList zeroed = f.values();
        f.lines.clear();
        f.hookCalls.clear();

        // With the backup option the current (zeroed) values are saved first.
        const QString backup = f.path(QStringLiteral("backup"));
        f.chooser->saveAnswers << backup;
        f.chooser->openAnswers << file;
        QString last;
        f.service->importParams(kDevice, {true, false}, last);

        QCOMPARE(f.allLines(), (QStringList{QStringLiteral("Бэкап..."), QStringLiteral("Экспорт завершен."),
                                            QStringLiteral("Загрузка импортируемых параметров из файла...")}));
        QVERIFY(f.redLines().isEmpty());
        QCOMPARE(f.hookCalls, kFlowHooks);
        QCOMPARE(last, file);
        QCOMPARE(f.chooser->calls.last(),
                 (QStringList{QStringLiteral("open"), QStringLiteral("Выберите файл данных для импорта"), f.folder()}));

        // Both page records of 2000/1 take the file's value; the parameter without
        // the export flag and those the file does not carry keep theirs.
        const QStringList values = f.values();
        for (int i : {0, 1, 2, 4})
            QCOMPARE(values.at(i), exported.at(i));
        for (int i : {3, 5, 6})
            QCOMPARE(values.at(i), zeroed.at(i));
        QCOMPARE(f.editedMarks(), (QList<bool>{true, true, true, false, true, false, false}));
        QCOMPARE(f.importedCount, (QVector<int>{1, 1, 1, 0, 1, 0, 0}));

        ParamSerializer saved;
        QFile backupFile(backup + QStringLiteral(".json"));
        QVERIFY(backupFile.open(QIODevice::ReadOnly));
        QVERIFY(saved.load(&backupFile));
        QCOMPARE(saved.records().size(), 3);
        QCOMPARE(saved.records().at(0).value(), QStringLiteral("0000"));
    }

    void importAppliesMatchingEntries_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("values");

        const QStringList before{"3412", "07", "01020304", "09", "3412", "", "01"};
        auto with = [&before](std::initializer_list<std::pair<int, const char *>> changes) {
            QStringList v = before;
            for (const auto &c : changes)
                v[c.first] = QString::fromLatin1(c.second);
            return v;
        };

        QTest::newRow("export flag off is skipped")
            << QByteArray(R"({"params":[{"name":"x","index":"2100","subindex":"0","type":5,"value":"ff"},
                                        {"name":"y","index":"2000","subindex":"2","type":5,"value":"01"}]})")
            << with({{1, "01"}});
        QTest::newRow("later entry wins")
            << QByteArray(R"({"params":[{"index":"2000","subindex":"2","type":5,"value":"01"},
                                        {"index":"2000","subindex":"2","type":5,"value":"02"}]})")
            << with({{1, "02"}});
        QTest::newRow("upper-case hex, no name")
            << QByteArray(R"({"params":[{"index":"200a","subindex":"0","type":7,"value":"A1B2C3D4"}]})")
            << with({{2, "a1b2c3d4"}});
        QTest::newRow("unread value takes the type's size")
            << QByteArray(R"({"params":[{"index":"2200","subindex":"0","type":6,"value":"beef"}]})")
            << with({{5, "beef"}});
        QTest::newRow("no entries") << QByteArray(R"({"params":[]})") << before;
    }

    void importAppliesMatchingEntries()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, values);
        Fixture f;
        const QStringList before = f.values();
        const QString path = f.path(QStringLiteral("in.json"));
        QVERIFY(writeFile(path, file));

        f.importFrom(path);

        QVERIFY2(f.redLines().isEmpty(), qPrintable(f.redLines().join('\n')));
        QCOMPARE(f.values(), values);
        for (int i = 0; i < values.size(); ++i) {
            const bool changed = values.at(i) != before.at(i);
            QCOMPARE(f.params.at(i).param->edited(), changed);
            QCOMPARE(f.importedCount.at(i), changed ? 1 : 0);
        }
    }

    void importRefusesBadFileWhole_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");

        // A good entry first: a refused file must not have written it.
        const QByteArray good = R"({"name":"speed","index":"2000","subindex":"1","type":6,"value":"abcd"},)";
        auto params = [&good](const char *entry) { return "{\"params\":[" + good + entry + "]}"; };

        QTest::newRow("not JSON") << QByteArray("not json at all") << "JSON";
        QTest::newRow("truncated") << QByteArray(R"({"params":[{"index":"2000")") << "JSON";
        QTest::newRow("empty file") << QByteArray() << "JSON";
        QTest::newRow("top level array") << QByteArray(R"([{"index":"2000"}])") << "\"params\"";
        QTest::newRow("no params") << QByteArray(R"({"parameters":[]})") << "\"params\"";
        QTest::newRow("params not array") << QByteArray(R"({"params":{}})") << "\"params\"";
        QTest::newRow("entry not object") << params("5") << "не является объектом";
        QTest::newRow("missing index") << params(R"({"subindex":"2","type":5,"value":"01"})") << "\"index\"";
        QTest::newRow("missing subindex") << params(R"({"index":"2000","type":5,"value":"01"})") << "\"subindex\"";
        QTest::newRow("missing type") << params(R"({"index":"2000","subindex":"2","value":"01"})") << "\"type\"";
        QTest::newRow("missing value") << params(R"({"index":"2000","subindex":"2","type":5})") << "\"value\"";
        QTest::newRow("index a number") << params(R"({"index":2000,"subindex":"2","type":5,"value":"01"})") << "\"index\"";
        QTest::newRow("name a number") << params(R"({"name":1,"index":"2000","subindex":"2","type":5,"value":"01"})") << "\"name\"";
        QTest::newRow("type as text") << params(R"({"index":"2000","subindex":"2","type":"5","value":"01"})") << "\"type\"";
        QTest::newRow("type fractional") << params(R"({"index":"2000","subindex":"2","type":5.5,"value":"01"})") << "\"type\"";
        QTest::newRow("value not hex") << params(R"({"index":"2000","subindex":"2","type":5,"value":"zz"})") << "шестнадцатеричн";
        QTest::newRow("value odd digits") << params(R"({"index":"200a","subindex":"0","type":7,"value":"1020304"})") << "шестнадцатеричн";
        QTest::newRow("value with prefix") << params(R"({"index":"2000","subindex":"2","type":5,"value":"0x01"})") << "шестнадцатеричн";
        QTest::newRow("value with blank") << params(R"({"index":"2000","subindex":"1","type":6,"value":"12 34"})") << "шестнадцатеричн";
        QTest::newRow("value empty") << params(R"({"index":"2000","subindex":"2","type":5,"value":""})") << "шестнадцатеричн";
        QTest::newRow("value too short") << params(R"({"index":"2000","subindex":"1","type":6,"value":"12"})") << "длина";
        QTest::newRow("value too long") << params(R"({"index":"2000","subindex":"1","type":6,"value":"123456"})") << "длина";
        QTest::newRow("unread, wrong size") << params(R"({"index":"2200","subindex":"0","type":6,"value":"12"})") << "длина";
        QTest::newRow("unknown object") << params(R"({"index":"2001","subindex":"0","type":5,"value":"01"})") << "нет на страницах";
        QTest::newRow("index with prefix") << params(R"({"index":"0x2000","subindex":"2","type":5,"value":"01"})") << "нет на страницах";
        QTest::newRow("index in other case") << params(R"({"index":"200A","subindex":"0","type":7,"value":"01020304"})") << "нет на страницах";
        QTest::newRow("type mismatch") << params(R"({"index":"2000","subindex":"2","type":7,"value":"01"})") << "тип 7";
        QTest::newRow("parameter without type") << params(R"({"index":"2300","subindex":"0","type":1,"value":"01"})") << "тип 1";
    }

    void importRefusesBadFileWhole()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        Fixture f;
        const QStringList before = f.values();
        const QString path = f.path(QStringLiteral("bad.json"));
        QVERIFY(writeFile(path, file));

        f.importFrom(path);

        const QStringList red = f.redLines();
        QCOMPARE(red.size(), 1);
        QVERIFY2(red.at(0).startsWith(kLoadFailed) && red.at(0).contains(reason), qPrintable(red.at(0)));
        QCOMPARE(f.values(), before);
        QVERIFY(!f.editedMarks().contains(true));
        QCOMPARE(f.importedCount, QVector<int>(before.size(), 0));
        QCOMPARE(f.hookCalls, kFlowHooks);
    }

    void importChoosesFile_data()
    {
        QTest::addColumn<bool>("alwaysLast");
        QTest::addColumn<QString>("remembered"); // file names under the temporary folder
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QStringList>("red");
        QTest::addColumn<QString>("lastAfter");

        const QStringList notChosen{QStringLiteral("Файл не выбран")};
        QTest::newRow("dialog cancelled") << false << "" << "" << true << notChosen << "";
        QTest::newRow("last file, no dialog") << true << "good.json" << "" << false << QStringList() << "good.json";
        QTest::newRow("last file option without a remembered file")
            << true << "" << "good.json" << true << QStringList() << "good.json";
        QTest::newRow("option off: dialog despite a remembered file")
            << false << "gone.json" << "good.json" << true << QStringList() << "good.json";
        QTest::newRow("remembered file gone")
            << true << "gone.json" << "" << false
            << QStringList{QStringLiteral("Ошибка:файл не найден."), notChosen.at(0)} << "gone.json";
        QTest::newRow("chosen name is a folder")
            << false << "" << "folder" << true
            << QStringList{QStringLiteral("Ошибка открытия файла."), notChosen.at(0)} << "folder";
    }

    void importChoosesFile()
    {
        QFETCH(bool, alwaysLast);
        QFETCH(QString, remembered);
        QFETCH(QString, answer);
        QFETCH(bool, dialog);
        QFETCH(QStringList, red);
        QFETCH(QString, lastAfter);
        Fixture f;
        QVERIFY(writeFile(f.path(QStringLiteral("good.json")),
                          R"({"params":[{"index":"2000","subindex":"2","type":5,"value":"33"}]})"));
        QVERIFY(QDir(f.appDir.path()).mkdir(QStringLiteral("folder")));
        auto full = [&f](const QString &name) { return name.isEmpty() ? name : f.path(name); };

        QString last = full(remembered);
        f.chooser->openAnswers << full(answer);
        f.service->importParams(kDevice, {false, alwaysLast}, last);

        QCOMPARE(f.chooser->calls.size(), dialog ? 1 : 0);
        QCOMPARE(f.redLines(), red);
        QCOMPARE(f.lines.at(0).text, QStringLiteral("Загрузка импортируемых параметров из файла..."));
        QCOMPARE(last, full(lastAfter));
        QCOMPARE(f.values().at(1), red.isEmpty() ? QStringLiteral("33") : QStringLiteral("07"));
        QCOMPARE(f.hookCalls, kFlowHooks);
    }

    void failedWriteIsNeverDone_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("red");

        const QString exportCreate = QStringLiteral("Ошибка создания файла экспорта.");
        const QString exportWrite = QStringLiteral("Процесс экспорта завершился неудачно");
        QTest::newRow("export: target is a folder") << false << "taken.json" << false << exportCreate;
        QTest::newRow("export: folder under a file") << false << "plain.txt/out" << false << exportCreate;
        QTest::newRow("export: write fails") << false << "good" << true << exportWrite;
        QTest::newRow("backup: target is a folder")
            << true << "taken.json" << false << QStringLiteral("Ошибка создания файла бэкапа.");
        QTest::newRow("backup: write fails") << true << "good" << true << exportWrite;
    }

    void failedWriteIsNeverDone()
    {
        QFETCH(bool, backup);
        QFETCH(QString, answer);
        QFETCH(bool, diskFull);
        QFETCH(QString, red);
        Fixture f;
        QVERIFY(QDir(f.appDir.path()).mkdir(QStringLiteral("taken.json")));
        QVERIFY(writeFile(f.path(QStringLiteral("plain.txt")), "x"));
        const QByteArray earlier = "earlier good export";
        QVERIFY(writeFile(f.path(QStringLiteral("good.json")), earlier));
        const QStringList filesBefore = QDir(f.appDir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        const QStringList valuesBefore = f.values();

        f.chooser->saveAnswers << f.path(answer);
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (diskFull)
                limit = std::make_unique<FileSizeLimit>(8);
            QString last;
            if (backup)
                f.service->importParams(kDevice, {true, false}, last);
            else
                f.service->exportParams(kDevice);
        }

        const QStringList redLines = f.redLines();
        QCOMPARE(redLines.size(), 1);
        QVERIFY2(redLines.at(0).startsWith(red), qPrintable(redLines.at(0)));
        QVERIFY(!f.allLines().contains(QStringLiteral("Экспорт завершен.")));
        // The earlier file is whole, and no half-written temporary is left beside it.
        QCOMPARE(readFile(f.path(QStringLiteral("good.json"))), earlier);
        QCOMPARE(QDir(f.appDir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), filesBefore);
        QCOMPARE(f.hookCalls, kFlowHooks);
        if (backup) {
            // The import ends before it asks for a file.
            QVERIFY(!f.allLines().contains(QStringLiteral("Загрузка импортируемых параметров из файла...")));
            QCOMPARE(f.chooser->calls.size(), 1);
            QCOMPARE(f.values(), valuesBefore);
        }
    }
};

QTEST_MAIN(TestParamFile)
#include "tst_paramfile.moc"
