// The firmware update through the main window: the real window, worker and
// engine against a simulated DfuSe device, every file dialog and question
// answered by the test.
#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "windowlog.h"
#include "app/userprompt.h"
#include "firmware/dfu.h"
#include "firmware/dfuthread.h"

#include "dfuenginekit.h"
#include "dfufilebuilder.h"
#include "simusb.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using dfutest::Bytes;

namespace {

constexpr uint32_t kFlashBase = 0x08000000;
constexpr uint32_t kFlashSize = 64 * 2048;
const int kWait = 30000;
const QString kNoDevice = QStringLiteral("Нет доступных устройств, запущенных в режиме dfu.");
const QString kNotInDfuMode = QStringLiteral("Устройство не переведено в режим dfu.");
const QString kCannotReplace = QStringLiteral("Не удалось перезаписать файл ");

QStringList redLines(const MainWindow& w)
{
    QStringList red;
    for (const Line& l : logOf(w))
        if (!l.blue)
            red << l.text;
    return red;
}

struct ChooserScript {
    QString savePath;
    QString openPath;
    QStringList asked; // caption and filter
};

class ScriptedChooser : public FileChooser {
public:
    explicit ScriptedChooser(ChooserScript* script) : m_script(script) {}
    QString saveFileName(const QString& caption, const QString& path, const QString& suffix) override
    {
        return saveFileName(caption, path, suffix, QString());
    }
    QString openFileName(const QString& caption, const QString& folder) override
    {
        return openFileName(caption, folder, QString());
    }
    QString saveFileName(const QString& caption, const QString&, const QString&, const QString& filter) override
    {
        m_script->asked << caption + " " + filter;
        return m_script->savePath;
    }
    QString openFileName(const QString& caption, const QString&, const QString& filter) override
    {
        m_script->asked << caption + " " + filter;
        return m_script->openPath;
    }

private:
    ChooserScript* m_script;
};

// What the progress bar went through: "show", "hide" and each value.
class BarWatch : public QObject {
public:
    explicit BarWatch(QProgressBar* bar)
    {
        bar->installEventFilter(this);
        connect(bar, &QProgressBar::valueChanged, this, [this](int v) { seen << QString::number(v); });
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            seen << "show";
        if (e->type() == QEvent::Hide)
            seen << "hide";
        return false;
    }
    // Shown, driven up to 25, then hidden.
    bool fullRun() const
    {
        return !seen.isEmpty() && seen.first() == "show" && seen.last() == "hide" && seen.contains("25")
               && seen.indexOf("25") < seen.lastIndexOf("hide");
    }
    QStringList seen;
};

// Flash with the device-information record, and an image that carries the same one.
Bytes flashWithRecord()
{
    Bytes flash = dfutest::pattern(kFlashSize, 41);
    const Bytes record = dfutest::fwinfoRecord(dfutest::FwInfo());
    std::copy(record.begin(), record.end(), flash.begin() + 4000);
    return flash;
}

Bytes imageWithRecord()
{
    return dfutest::concat(dfutest::concat(dfutest::pattern(3000, 42), dfutest::fwinfoRecord(dfutest::FwInfo())),
                           dfutest::pattern(6000, 43));
}

Bytes readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Bytes();
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

struct Rig {
    Rig()
    {
        window = std::make_unique<MainWindow>();
        window->firmwareWorker()->setLogPauseMs(0);
        window->setFirmwareFileChooser(std::make_unique<ScriptedChooser>(&files));
        bar = std::make_unique<BarWatch>(window->findChild<QProgressBar*>("progressBar"));
        window->show();
    }
    ~Rig()
    {
        bar.reset();
        window.reset(); // the worker is joined before the bus goes
        bus.setRequestObserver(nullptr);
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    SimDfuDevice& plugDevice(const Bytes& flash)
    {
        SimDfuDevice& sim = bus.plug();
        sim.setMemory(kFlashBase, flash);
        return sim;
    }
    // The file the open dialog answers with: a DfuSe file of data at 0x08000000.
    void chooseImage(const Bytes& data)
    {
        files.openPath = path("image.dfu");
        dfutest::writeFile(files.openPath.toStdString(), dfutest::dfuseFileAt(kFlashBase, data));
    }
    void trigger(const char* action) { window->findChild<QAction*>(action)->trigger(); }
    DfuThread* worker() const { return window->firmwareWorker(); }
    // Waits for the run to end and for everything it reported to reach the window.
    bool runEnded()
    {
        return QTest::qWaitFor([this] { return worker()->isFinished() && !worker()->reportsPending(); }, kWait);
    }
    bool neverStarted() const { return !worker()->isRunning() && !worker()->isFinished(); }
    QStringList folderEntries() const { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }
    bool logged(const Line& line) const { return logOf(*window).contains(line); }

    SimUsbBus bus; // goes last
    DfuTestScope scope;
    QTemporaryDir dir;
    ChooserScript files;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BarWatch> bar;
};

const QString kUploadCaption = QStringLiteral("Выберите имя файла для выгрузки программы. *.dfu");
const QString kDownloadCaption = QStringLiteral("Выберите файл с программой. *.dfu");

} // namespace

class TstFirmwareFlows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    void uploadReplacesTheChosenFileWithTheFlash()
    {
        Rig r;
        SimDfuDevice& sim = r.plugDevice(dfutest::pattern(kFlashSize, 7));
        r.files.savePath = r.path("flash.dfu");
        dfutest::writeFile(r.files.savePath.toStdString(), Bytes(100, 0x55));

        r.trigger("m_dfu_upload");
        QVERIFY(r.runEnded());

        QCOMPARE(r.files.asked, QStringList{kUploadCaption});
        // The flash from 0x08000000 to the end of its segment, nothing before or after.
        QVERIFY(readAll(r.files.savePath) == sim.memory(kFlashBase, kFlashSize));
        QCOMPARE(r.folderEntries(), QStringList{"flash.dfu"});
        QVERIFY(r.logged({"Upload done.", true}));
        QCOMPARE(redLines(*r.window), QStringList());
        QVERIFY2(r.bar->fullRun(), qPrintable(r.bar->seen.join(' ')));
    }

    void downloadWithEveryYesWritesTheImage()
    {
        Rig r;
        SimDfuDevice& sim = r.plugDevice(flashWithRecord());
        const Bytes image = imageWithRecord();
        r.chooseImage(image);
        QList<PromptRequest> asked;
        ScopedPromptHandler yes([&asked](const PromptRequest& request) {
            asked << request;
            return QMessageBox::Yes;
        });

        r.trigger("m_dfu_download");
        QVERIFY(r.runEnded());

        QCOMPARE(r.files.asked, QStringList{kDownloadCaption});
        QVERIFY(sim.memory(kFlashBase, uint32_t(image.size())) == image);
        QVERIFY(r.logged({"Download done.", true}));
        QCOMPARE(redLines(*r.window), QStringList());
        QVERIFY2(r.bar->fullRun(), qPrintable(r.bar->seen.join(' ')));
        QCOMPARE(asked.size(), 1);
        const PromptRequest& q = asked.first();
        QCOMPARE(q.text, QString("<h2>Внимание!</h2><br/>"));
        QVERIFY(q.informativeText.startsWith("<h4>Информация в текущей программе:</h4>Тип устройства:&nbsp;7<br/>"));
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(q.defaultButton, QMessageBox::No);
        QCOMPARE(q.textFormat, Qt::RichText);
        QCOMPARE(q.locale.language(), QLocale::Russian);
    }

    void withoutADeviceTwoRedLines_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("upload") << "m_dfu_upload";
        QTest::newRow("download") << "m_dfu_download";
    }
    void withoutADeviceTwoRedLines()
    {
        QFETCH(QString, action);
        Rig r;
        r.files.savePath = r.path("flash.dfu");
        r.chooseImage(imageWithRecord());

        r.trigger(action.toLatin1().constData());
        QVERIFY(r.runEnded());

        QCOMPARE(logOf(*r.window), (QList<Line>{{kNoDevice, false}, {kNotInDfuMode, false}}));
        QCOMPARE(r.bar->seen, QStringList());
        QVERIFY(!QFile::exists(r.files.savePath));
    }

    void cancelledDialogStartsNothing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::newRow("upload") << "m_dfu_upload" << kUploadCaption;
        QTest::newRow("download") << "m_dfu_download" << kDownloadCaption;
    }
    void cancelledDialogStartsNothing()
    {
        QFETCH(QString, action);
        QFETCH(QString, caption);
        Rig r;
        r.bus.plug();
        r.trigger(action.toLatin1().constData());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(r.files.asked, QStringList{caption});
        QVERIFY(r.neverStarted());
        QCOMPARE(logOf(*r.window), QList<Line>());
    }

    void uploadTargetRefusedBeforeTheStart_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("a folder") << "";
        QTest::newRow("in a folder that is not there") << "missing/flash.dfu";
    }
    void uploadTargetRefusedBeforeTheStart()
    {
        QFETCH(QString, target);
        Rig r;
        r.bus.plug();
        r.files.savePath = target.isEmpty() ? r.dir.path() : r.path(target);
        r.trigger("m_dfu_upload");
        QCOMPARE(logOf(*r.window), (QList<Line>{{kCannotReplace + r.files.savePath, false}}));
        QVERIFY(r.neverStarted());
    }

    void failedUploadKeepsTheChosenFile_data()
    {
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("upload cut short") << true;
        QTest::newRow("target turned into a folder") << false;
    }
    void failedUploadKeepsTheChosenFile()
    {
        QFETCH(bool, cutShort);
        Rig r;
        SimDfuDevice& sim = r.plugDevice(dfutest::pattern(kFlashSize, 9));
        r.files.savePath = r.path("flash.dfu");
        const Bytes old(100, 0x55);
        std::atomic<bool> made{false};
        if (cutShort) {
            dfutest::writeFile(r.files.savePath.toStdString(), old);
            sim.shortUploadBlock(9, 100);
        } else {
            // Once the device is read, a folder stands where the file is to go.
            const QString target = r.files.savePath;
            r.bus.setRequestObserver([target, &made](uint8_t request, uint16_t) {
                if (request == DFU_UPLOAD && !made.exchange(true))
                    QDir().mkpath(target + "/inside");
            });
        }

        r.trigger("m_dfu_upload");
        QVERIFY(r.runEnded());

        if (cutShort) {
            QCOMPARE(redLines(*r.window), QStringList{"Upload cut short: 20380 of 131072 bytes received"});
            QVERIFY(!r.logged({"Upload done.", true}));
            QVERIFY(readAll(r.files.savePath) == old);
        } else {
            QCOMPARE(redLines(*r.window), QStringList{kCannotReplace + r.files.savePath});
            QVERIFY(QFileInfo(r.files.savePath).isDir());
        }
        // No partial image is left beside it.
        QCOMPARE(r.folderEntries(), QStringList{"flash.dfu"});
        QVERIFY2(r.bar->seen.first() == "show" && r.bar->seen.last() == "hide", qPrintable(r.bar->seen.join(' ')));
    }

    void answerNoWritesNothing_data()
    {
        QTest::addColumn<bool>("closeTheBox");
        QTest::newRow("No pressed") << false;
        QTest::newRow("box closed") << true;
    }
    void answerNoWritesNothing()
    {
        QFETCH(bool, closeTheBox);
        Rig r;
        const Bytes flash = flashWithRecord();
        SimDfuDevice& sim = r.plugDevice(flash);
        r.chooseImage(imageWithRecord());
        int asked = 0;
        std::unique_ptr<ScopedPromptHandler> no;
        QTimer closer;
        if (closeTheBox) {
            // The real box, closed by its window's close button.
            connect(&closer, &QTimer::timeout, [&asked] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    ++asked;
                    box->close();
                }
            });
            closer.start(10);
        } else {
            no = std::make_unique<ScopedPromptHandler>([&asked](const PromptRequest&) {
                ++asked;
                return QMessageBox::No;
            });
        }

        r.trigger("m_dfu_download");
        QVERIFY(r.runEnded());

        QCOMPARE(asked, 1);
        QVERIFY(sim.erasedPages().empty());
        QVERIFY(sim.memory(kFlashBase, kFlashSize) == flash);
        QVERIFY(!r.logged({"Download done.", true}));
        QVERIFY2(r.bar->seen == (QStringList{"show", "hide"}), qPrintable(r.bar->seen.join(' ')));
    }

    void secondStartDuringARunChangesNothing()
    {
        Rig r;
        SimDfuDevice& sim = r.plugDevice(flashWithRecord());
        const Bytes image = imageWithRecord();
        r.chooseImage(image);
        const QString other = r.path("other.dfu");
        dfutest::writeFile(other.toStdString(), dfutest::dfuseFileAt(kFlashBase, Bytes(5000, 0x00)));
        ScopedPromptHandler yes([&r, other](const PromptRequest&) {
            // While the worker waits for this answer, both actions are started again.
            r.files.savePath = r.path("flash.dfu");
            r.files.openPath = other;
            r.trigger("m_dfu_upload");
            r.trigger("m_dfu_download");
            return QMessageBox::Yes;
        });

        r.trigger("m_dfu_download");
        QVERIFY(r.runEnded());

        QCOMPARE(r.files.asked, (QStringList{kDownloadCaption, kUploadCaption, kDownloadCaption}));
        QVERIFY(sim.memory(kFlashBase, uint32_t(image.size())) == image);
        QVERIFY(!QFile::exists(r.files.savePath));
        int done = 0;
        for (const Line& l : logOf(*r.window))
            done += l.text == "Download done.";
        QCOMPARE(done, 1);
    }

    void closingTheWindowDuringAQuestionEnds()
    {
        Rig r;
        const Bytes flash = flashWithRecord();
        SimDfuDevice& sim = r.plugDevice(flash);
        r.chooseImage(imageWithRecord());
        bool closed = false;
        ScopedPromptHandler closeWindow([&r, &closed](const PromptRequest&) {
            r.bar.reset();
            r.window.reset(); // with the question still open
            closed = true;
            return QMessageBox::Yes;
        });

        r.trigger("m_dfu_download");
        QTRY_VERIFY_WITH_TIMEOUT(closed, kWait);

        QVERIFY(sim.erasedPages().empty());
        QVERIFY(sim.memory(kFlashBase, kFlashSize) == flash);
        QVERIFY(r.bus.openHandles() == 0 && r.bus.liveContexts() == 0);
    }

    void closingTheWindowWhileTheDeviceIsReadEnds()
    {
        Rig r;
        const Bytes flash = flashWithRecord();
        SimDfuDevice& sim = r.plugDevice(flash);
        r.chooseImage(imageWithRecord());
        int asked = 0;
        ScopedPromptHandler count([&asked](const PromptRequest&) {
            ++asked;
            return QMessageBox::Yes;
        });
        // The check's first read waits until the window has asked the worker to stop.
        DfuThread* worker = r.worker();
        std::atomic<bool> reading{false};
        r.bus.setRequestObserver([worker, &reading](uint8_t request, uint16_t) {
            if (request != DFU_UPLOAD || reading.exchange(true))
                return;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!worker->stopRequested() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });

        r.trigger("m_dfu_download");
        QTRY_VERIFY_WITH_TIMEOUT(reading, kWait);
        r.bar.reset();
        r.window.reset();

        QCOMPARE(asked, 0);
        QVERIFY(sim.erasedPages().empty());
        QVERIFY(sim.memory(kFlashBase, kFlashSize) == flash);
        QVERIFY(r.bus.openHandles() == 0 && r.bus.liveContexts() == 0);
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(TstFirmwareFlows)
#include "tst_firmwareflows.moc"
