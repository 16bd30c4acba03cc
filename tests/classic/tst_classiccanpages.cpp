// The object-dictionary page of the fixture EDS over the real link to a
// simulated device on a pty: the page, the values, expanding objects, edits
// through the save worker, the mapping dialog, a lost device, scrolling, the
// check against defaults, a stuck load worker and resets mid-work.
#include "classic/edsreader.h"
#include "link/canlink.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"
#include "pagesfixture.h"
#include "quitrequest.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"
#include "sim/simdevice.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cmath>
#include <cstring>

using namespace pagesfixture;

namespace {
const uint8_t kNode = 0x24;
const int kTimeoutMs = 300;
const QString kEds = QStringLiteral(QUILL_CLASSIC_DATA_DIR "/device.eds");
const DeviceEntry kCanDevice{QStringLiteral("Dev"), QStringLiteral("9")};
const QString kLinkLost = QStringLiteral("Не удалось получить данные. Соединение разорвано.");

const QString kVendor = QStringLiteral("001 1018sub1 Vendor-ID");
const QString kProduct = QStringLiteral("002 1018sub2 Product code");
const QString kIdentity = QStringLiteral(" 1018 Identity");
const QString kLimits = QStringLiteral(" 2010 Limits block");
const QString kLower = QStringLiteral("001 2010sub1 Lower");
const QString kUpper = QStringLiteral("002 2010sub2 Upper");
const QString kEntry1 = QStringLiteral("001 2070sub1 Entry 1");

// A record's EDS default as the bytes the device holds.
QByteArray defaultBytes(const ParamEntry& r)
{
    const int size = canTypeSize(r.canDataType);
    if (r.canDataType == CanVisibleString)
        return r.valueText.toLatin1();
    if (r.canDataType == CanReal32) {
        const float v = r.valueText.toFloat();
        quint32 bits;
        std::memcpy(&bits, &v, sizeof bits);
        return littleEndian(bits, 4);
    }
    const quint64 v = r.valueText.startsWith("0x") ? r.valueText.mid(2).toULongLong(nullptr, 16)
                                                    : quint64(r.valueText.toLongLong());
    return littleEndian(v, size > 0 ? size : 1);
}

// The device holding every object of the EDS at its default, the link open to
// it, and pages whose CAN link drop closes that link, as the window's does.
struct CanRig {
    explicit CanRig(const std::function<void(SimCanDevice&)>& adjust = {}, const QString& eds = kEds)
        : f(QString(), [this](HostFixture& h) {
              h.link = true;
              h.host.disconnectCan = [this, &h] {
                  ++h.canDrops;
                  closeCanLink(nullptr);
                  h.link = false;
              };
          })
    {
        SimCanDevice& d = sim.device;
        d.addObject(0x1000, 0, CanUnsigned32, littleEndian(0x191, 4));
        d.addObject(0xA000, 0, CanUnsigned8, littleEndian(3, 1));
        open = openCanLink(sim.adapter.slavePath(), 0, QStringLiteral("250000"), nullptr) == CAN_LINK_OPEN;
        pointSdoClientAt(kNode);
        connectionSettings().nodeId = kNode;
        connectionSettings().responseTimeoutMs = kTimeoutMs;
        ParamEntryMap scratch;
        HostFixture quiet;
        readEds(eds, scratch, quiet.host);
        for (const auto& [key, r] : scratch)
            if (r.childNames.isEmpty())
                d.addObject(uint16_t(r.objectIndex.toUInt(nullptr, 16)), uint8_t(r.objectSubIndex.toUInt(nullptr, 16)),
                            uint8_t(r.canDataType), defaultBytes(r));
        if (adjust)
            adjust(d);
        f.load.setPauseMs(20);
        f.pages->setEdsPath(eds);
    }
    ~CanRig()
    {
        f.pages.reset(); // joins the workers before the link goes
        closeCanLink(nullptr);
        connectionSettings() = ConnectionSettings();
    }
    void load(int variant = 0) { f.pages->loadCanParamsAndData(kCanDevice, variant); }
    QString text(const QString& name) { return f.pages->stringManager()->value(f.property(name)); }
    // Waits until a whole cycle has put the device's values on the page (A540
    // is read last).
    bool valuesShown()
    {
        return QTest::qWaitFor([&] { return text(kVendor) == "0x12345678" && text(" A540 Traced object") == "2"; },
                               5000);
    }
    int count(const QString& name) { return f.pages->canParams().count(f.mainMap().find(name)); }
    QtBrowserItem* item(const QString& name) { return f.pages->mainBrowser()->items(f.property(name)).value(0); }
    void edit(const QString& name, const QString& text)
    {
        QtProperty* p = f.property(name);
        emit f.pages->stringManager()->editorCreated(p);
        f.pages->stringManager()->setValue(p, text);
        emit f.pages->stringManager()->valueUpdated(p, text);
    }

    // Opens the editor of an object, its range expanded first; the page need
    // not be on screen for it.
    template <typename Editor>
    Editor* openEditor(const QString& name)
    {
        QtTreePropertyBrowser* browser = f.pages->mainBrowser();
        for (QtProperty* range : browser->properties().value(0)->subProperties())
            if (range->subProperties().contains(f.property(name)))
                browser->setExpanded(browser->items(range).value(0), true);
        browser->editItem(item(name));
        return browser->findChild<QTreeWidget*>()->viewport()->findChild<Editor*>();
    }

    SimDeviceOnPty sim{kNode};
    PagesFixture f;
    bool open = false;
};

// An EDS of two real numbers, 0x2002 REAL32 and 0x2006 REAL64.
QString writeRealsEds(const QTemporaryDir& dir)
{
    const QString path = dir.path() + QStringLiteral("/reals.eds");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("[2002]\nParameterName=Gain\nObjectType=0x7\nDataType=0x0008\nAccessType=rw\nDefaultValue=0\n\n"
               "[2006]\nParameterName=Precise\nObjectType=0x7\nDataType=0x0011\nAccessType=rw\nDefaultValue=0\n");
    return path;
}

QByteArray bytesOf(const void* value, int size)
{
    return QByteArray(static_cast<const char*>(value), size);
}

qint64 rawOf(const QByteArray& bytes)
{
    quint64 raw = 0;
    for (int i = 0; i < bytes.size(); ++i)
        raw |= quint64(quint8(bytes[i])) << (8 * i);
    return qint64(raw);
}

QByteArray bytesOfFloat(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, sizeof bits);
    return littleEndian(bits, 4);
}

QByteArray bytesOfDouble(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    return littleEndian(bits, 8);
}
}

class TstClassicCanPages : public QObject {
    Q_OBJECT
private slots:
    void init() { setSdoStackWaitMs(0); }

    void pageOfTheObjectDictionary()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        ClassicPages& p = *rig.f.pages;
        QtProperty* top = p.mainBrowser()->properties().value(0);
        QVERIFY(top);
        QCOMPARE(top->propertyName(), QStringLiteral("Dev"));
        QCOMPARE(top->subProperties().size(), 11);
        QtProperty* communication = findProperty(top, "Communication Parameters: 0x1000..0x1029");
        QVERIFY(communication->subProperties().contains(rig.f.property(kIdentity)));
        QVERIFY(rig.f.mainMap().find(" 1100 Outside the ranges"));
        QVERIFY(!rig.f.property(" 1100 Outside the ranges"));
        QCOMPARE(p.mainBrowser()->currentItem(), nullptr);

        QStringList withButton;
        for (const auto& [key, r] : rig.f.mainMap())
            if (QtProperty* prop = p.propertyOf(r))
                if (p.stringManager()->isBtnVisible(prop))
                    withButton << key;
        QCOMPARE(withButton, (QStringList{kEntry1, "002 2070sub2 Entry 2"}));

        // Every leaf in the ranges is read; group records are not.
        QCOMPARE(rig.count(kVendor), 1);
        QCOMPARE(rig.count(kIdentity), 0);
        QCOMPARE(rig.count(" 1100 Outside the ranges"), 0);

        // Validators take only their digits.
        QtStringPropertyManager* strings = p.stringManager();
        for (const QString& name : {kLower, kVendor}) {
            strings->setValue(rig.f.property(name), "0x1|2");
            QVERIFY2(strings->value(rig.f.property(name)).isEmpty(), qPrintable(name));
            strings->setValue(rig.f.property(name), "0x1F");
            QCOMPARE(strings->value(rig.f.property(name)), QStringLiteral("0x1F"));
        }
    }

    void valuesAppear()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        QCOMPARE(rig.text(kLower), QStringLiteral("-5"));
        QCOMPARE(rig.text(kEntry1), QStringLiteral("0x2010010200100000"));
        QCOMPARE(rig.f.pages->doubleManager()->value(rig.f.property(" 2002 Gain")), 1.5);
        QVERIFY(rig.f.pages->boolManager()->value(rig.f.property(" 2001 Enable")));
        QVERIFY(rig.f.host.errors().filter("Не удалось").isEmpty());
    }

    // One object open at a time; its sub-indices are queued again while open.
    void expandingAnotherObjectCollapsesTheFirst()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        QtTreePropertyBrowser* browser = rig.f.pages->mainBrowser();
        browser->setExpanded(rig.item(kIdentity), true);
        QCOMPARE(rig.f.pages->expandedProperty(), rig.f.property(kIdentity));
        QCOMPARE(rig.count(kVendor), 2);
        QVERIFY(rig.f.load.isRunning());

        browser->setExpanded(rig.item(kLimits), true);
        QVERIFY(!browser->isExpanded(rig.item(kIdentity)));
        QCOMPARE(rig.f.pages->expandedProperty(), rig.f.property(kLimits));
        QCOMPARE(rig.count(kVendor), 1);
        QCOMPARE(rig.count(kLower), 2);

        browser->setExpanded(rig.item(kLimits), false);
        QCOMPARE(rig.f.pages->expandedProperty(), nullptr);
        QCOMPARE(rig.count(kLower), 1);
    }

    void editIsWrittenAndLogged()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        rig.edit(kLower, "-7");
        QCOMPARE(rig.f.pages->editedParamName(), kLower);
        QTRY_COMPARE(rig.sim.device.value(0x2010, 1), littleEndian(quint16(-7), 2));
        QTRY_VERIFY(rig.f.host.texts(true).contains("Параметр '" + kLower + "' сохранен."));
        QVERIFY(rig.f.pages->editedParamName().isEmpty());
        QCOMPARE(rig.f.pages->pendingSaves(), 0);
        QTRY_VERIFY(rig.f.load.isRunning());
        QVERIFY(rig.f.pages->operationMode().isEmpty() || rig.f.pages->operationMode() == "LoadingCanData");
    }

    // The device refuses the write: the line names the record and the reason,
    // and the property shows the value of before.
    void refusedEditRestoresItsText()
    {
        CanRig rig([](SimCanDevice& d) {
            d.addObject(0x2010, 2, CanUnsigned16, littleEndian(16, 2), SimCanDevice::ReadOnly);
        });
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        QCOMPARE(rig.text(kUpper), QStringLiteral("16"));
        rig.edit(kUpper, "0x20");
        QTRY_VERIFY(!rig.f.host.errors().filter("Не удалось сохранить параметр").isEmpty());
        QCOMPARE(rig.f.host.errors().filter("Не удалось сохранить параметр"),
                 QStringList{"Не удалось сохранить параметр " + kUpper + ": Ошиба записи параметра 2010sub2 Upper: "
                             + sdoAbortCodeName(0x06010002)});
        QCOMPARE(rig.text(kUpper), QStringLiteral("16"));
        QCOMPARE(canValueOf(*rig.f.mainMap().find(kUpper)).raw, qint64(16));
        QTRY_VERIFY(rig.f.load.isRunning());
    }

    // An edit made while another is being written waits its turn.
    void twoQuickEditsAreBothWritten()
    {
        CanRig rig([](SimCanDevice& d) { d.setDelay(0x2010, 1, 150); });
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        rig.edit(kLower, "-8");
        rig.edit(kUpper, "17");
        QCOMPARE(rig.f.pages->pendingSaves(), 2);
        QTRY_COMPARE(rig.f.pages->pendingSaves(), 0);
        QCOMPARE(rig.sim.device.value(0x2010, 1), littleEndian(quint16(-8), 2));
        QCOMPARE(rig.sim.device.value(0x2010, 2), littleEndian(17, 2));
        QCOMPARE(rig.f.host.texts(true).filter("сохранен").size(), 2);
        QTRY_VERIFY(rig.f.load.isRunning());
        QCOMPARE(rig.sim.device.overlapsSeen(), 0);
    }

    void mappingEntryRoundTrip()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        QtProperty* entry = rig.f.property(kEntry1);
        // Typed text does not change a mapping entry.
        emit rig.f.pages->stringManager()->valueUpdated(entry, "0x1");
        QCOMPARE(rig.f.pages->pendingSaves(), 0);

        rig.f.mappingAnswer = [](MappingEntry& e) {
            e.subIndex = 2;
            e.subIndexCount = 1;
            e.modbusAddress = 0x20;
            return true;
        };
        emit rig.f.pages->stringManager()->btnClicked(entry);
        QCOMPARE(rig.f.shownEntries.size(), 1);
        const MappingEntry shown = rig.f.shownEntries.first();
        QCOMPARE(shown.objectIndex, QStringLiteral("2010"));
        QCOMPARE(shown.subIndex, 1);
        QCOMPARE(shown.subIndexCount, 2);
        QCOMPARE(shown.modbusAddress, 0x10);
        QTRY_COMPARE(rig.sim.device.value(0x2070, 1), littleEndian(0x2010020100200000ull, 8));
        QVERIFY(entry->isModified());
        QTRY_VERIFY(rig.f.host.texts(true).contains("Параметр '" + kEntry1 + "' сохранен."));

        // A cancelled dialog changes nothing.
        rig.f.mappingAnswer = [](MappingEntry&) { return false; };
        emit rig.f.pages->stringManager()->btnClicked(entry);
        QCOMPARE(rig.f.pages->pendingSaves(), 0);
        QCOMPARE(rig.sim.device.writesTo(0x2070, 1), 1);
    }

    void unpluggedDeviceIsReportedOnce()
    {
        CanRig rig;
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        rig.sim.device.setSilent(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.f.host.errors().count(kLinkLost), 1, 6 * kTimeoutMs + 3000);
        QCOMPARE(rig.f.host.canDrops, 1);
        QCOMPARE(rig.f.host.tools.last(), false);
        QTest::qWait(3 * kTimeoutMs);
        QCOMPARE(rig.f.host.errors().count(kLinkLost), 1);
        QVERIFY(!rig.f.load.isRunning());
    }

    // A scroll only marks the view: the reading goes on, the link stays.
    void scrollWhileLoadingReturnsAtOnce()
    {
        CanRig rig([](SimCanDevice& d) {
            for (uint8_t sub : {1, 2})
                d.setDelay(0x2010, sub, 100);
        });
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        QVERIFY(rig.f.load.isRunning());
        QElapsedTimer took;
        took.start();
        emit rig.f.pages->mainBrowser()->scrolled(0, 40);
        QVERIFY2(took.elapsed() < 50, qPrintable(QString::number(took.elapsed())));
        QVERIFY(rig.f.load.isRunning());
        QVERIFY(isCanLinkOpen());
        QCOMPARE(rig.f.host.canDrops, 0);
    }

    void checkAgainstDefaults()
    {
        CanRig rig([](SimCanDevice& d) { d.setValue(0x2010, 2, littleEndian(17, 2)); });
        QVERIFY(rig.open);
        rig.load();
        QVERIFY(rig.valuesShown());
        QTRY_COMPARE(rig.text(kUpper), QStringLiteral("17"));
        ClassicPages& p = *rig.f.pages;
        QtTreePropertyBrowser* browser = p.mainBrowser();

        // A ticked group collects nothing.
        browser->setCheckState(rig.item(kIdentity), Qt::Checked);
        p.onCheckDefault();
        QCOMPARE(rig.f.host.errors().last(), QStringLiteral("Параметры для проверки не выбраны"));
        QCOMPARE(rig.f.host.tools.last(), true);

        rig.f.host.lines.clear();
        for (const QString& name : {kProduct, kVendor, kLower, kUpper})
            browser->setCheckState(rig.item(name), Qt::Checked);
        p.onCheckDefault();
        QCOMPARE(p.checkList().size(), 4);
        QCOMPARE(rig.f.host.texts(true), (QStringList{"Проверка соответствия текущих параметров значениям по умолчанию...",
                                                      "Проверка завершена."}));
        QCOMPARE(rig.f.host.errors(), (QStringList{"Текущее значение параметра '2010sub2 Upper' не равняется значению "
                                                   "по умолчанию.",
                                                   "Текущее значение: 17", "Значение по умолчанию: 16"}));
        QVERIFY(p.operationMode().isEmpty());
        QVERIFY(rig.f.load.isRunning());
    }

    // A load worker that does not stop within its bound: the link goes, the
    // worker is left to end by itself.
    void stuckLoadWorkerDropsTheLink()
    {
        CanRig rig;
        QVERIFY(rig.open);
        connectionSettings().responseTimeoutMs = 4000; // taken by the worker at its start
        rig.load();
        QVERIFY(rig.f.load.isRunning());
        const int uploads = rig.sim.device.requestsSeen();
        rig.sim.device.setSilent(true);
        QTRY_VERIFY(rig.sim.device.requestsSeen() > uploads); // into a try that gets no answer
        connectionSettings().responseTimeoutMs = 50;
        rig.f.pages->setOperationMode(QString());
        QElapsedTimer took;
        took.start();
        rig.f.pages->slotRefreshProperties();
        QVERIFY2(took.elapsed() < 2500, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(rig.f.host.errors().last(), QStringLiteral("Отключено"));
        QCOMPARE(rig.f.host.canDrops, 1);
        QCOMPARE(rig.f.host.tools.last(), false);
        QVERIFY(rig.f.pages->operationMode().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.f.load.isRunning(), 6000);
    }

    // Return in the untouched editor of a real number writes the device's
    // bits back as they were; a number typed into it is written as typed,
    // also when it equals what the editor showed at its decimals.
    void realThroughItsEditor_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("typed"); // empty: the editor as it opened
        QTest::addColumn<QByteArray>("written");
        const QString gain = QStringLiteral(" 2002 Gain");
        const QString precise = QStringLiteral(" 2006 Precise");
        const QByteArray allBits = littleEndian(0x3F7FFFFF, 4);
        const QByteArray third = littleEndian(0x3EAAAAAB, 4);
        QTest::newRow("REAL32, all 24 mantissa bits") << gain << 0x2002 << allBits << "" << allBits;
        QTest::newRow("REAL32, a third") << gain << 0x2002 << third << "" << third;
        QTest::newRow("REAL32, a quiet NaN with a payload")
            << gain << 0x2002 << littleEndian(0x7FC00123, 4) << "" << littleEndian(0x7FC00123, 4);
        QTest::newRow("REAL64 with 14 digits") << precise << 0x2006 << bytesOfDouble(0.12345678901234) << ""
                                               << bytesOfDouble(0.12345678901234);
        QTest::newRow("REAL64 far past 2^31") << precise << 0x2006 << bytesOfDouble(-1.25e300) << ""
                                              << bytesOfDouble(-1.25e300);
        // The editor shows 13 decimals: 0.0000000000000 and 1.0000000000000.
        QTest::newRow("REAL32 1e-20, typed 0") << gain << 0x2002 << bytesOfFloat(1e-20f) << "0" << bytesOfFloat(0.0f);
        QTest::newRow("REAL64 1.00000000000001, typed 1")
            << precise << 0x2006 << bytesOfDouble(1.00000000000001) << "1" << bytesOfDouble(1.0);
        QTest::newRow("REAL32 -0, typed 0") << gain << 0x2002 << bytesOfFloat(-0.0f) << "0" << bytesOfFloat(0.0f);
        QTest::newRow("REAL32, typed 1") << gain << 0x2002 << allBits << "1" << littleEndian(0x3F800000, 4);
    }
    void realThroughItsEditor()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, typed);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        const QString eds = writeRealsEds(dir);
        QVERIFY(!eds.isEmpty());
        CanRig rig([&](SimCanDevice& d) { d.setValue(uint16_t(index), 0, bytes); }, eds);
        QVERIFY(rig.open);
        rig.load();
        ParamEntry* record = rig.f.mainMap().find(name);
        QVERIFY(record);
        // Read, and shown: the page takes the value when the worker's report arrives.
        QTRY_COMPARE(canValueOf(*record).raw, rawOf(bytes));
        QTRY_COMPARE(rig.f.pages->doubleManager()->value(rig.f.property(name)), canValueOf(*record).text.toDouble());
        // What is shown reads back as the device's number (a NaN has no text for its payload).
        const double shown = rig.f.pages->doubleManager()->value(rig.f.property(name));
        if (typed.isEmpty() && !std::isnan(shown)) {
            const float single = float(shown);
            QCOMPARE(bytes.size() == 4 ? bytesOf(&single, 4).toHex() : bytesOf(&shown, 8).toHex(), bytes.toHex());
        }
        auto* editor = rig.openEditor<QDoubleSpinBox>(name);
        QVERIFY(editor);
        if (!typed.isEmpty()) {
            editor->selectAll();
            QTest::keyClicks(editor, typed);
        }
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rig.sim.device.writesTo(uint16_t(index), 0), 1);
        QCOMPARE(rig.sim.device.value(uint16_t(index), 0).toHex(), written.toHex());
        QTRY_VERIFY(rig.f.host.texts(true).contains("Параметр '" + name + "' сохранен."));
        QCOMPARE(canValueOf(*record).raw, rawOf(written));
    }

    // Exports and imports while the load worker reads: each waits for the
    // queued save, runs with both workers stopped, and the worker reads again.
    void exportAndImportWhileLoading()
    {
        CanRig rig;
        QVERIFY(rig.open);
        // No try may run out of time here, however busy the machine: a late
        // answer would overlap the next request.
        connectionSettings().responseTimeoutMs = 3000;
        rig.load();
        QVERIFY(rig.valuesShown());
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/params.bin");
        ClassicPages& p = *rig.f.pages;

        rig.edit(kLower, "-9");
        QCOMPARE(p.pendingSaves(), 1);
        rig.f.host.saveAnswers << file;
        p.onExport();
        QCOMPARE(p.pendingSaves(), 0);
        QCOMPARE(rig.sim.device.value(0x2010, 1), littleEndian(quint16(-9), 2));
        QVERIFY(rig.f.load.isRunning());

        for (int i = 0; i < 50; ++i) {
            QVERIFY(rig.f.load.isRunning());
            rig.f.host.saveAnswers << file;
            p.onExport();
            QVERIFY(rig.f.load.isRunning());
            rig.f.host.openAnswers << file;
            const int before = rig.sim.device.requestsSeen();
            p.onImport();
            QTRY_VERIFY(rig.sim.device.requestsSeen() > before); // the worker reads between the flows
        }
        QCOMPARE(rig.f.host.texts(true).count("Экспорт завершен!"), 51);
        QCOMPARE(rig.f.host.texts(true).count("Импорт завершен!"), 50);
        // The file's value or the device's, whichever came last: the same number.
        QCOMPARE(quint16(canValueOf(*rig.f.mainMap().find(kLower)).raw), quint16(-9));
        QVERIFY(rig.f.load.isRunning());
        QVERIFY(p.operationMode().isEmpty() || p.operationMode() == "LoadingCanData");
        QCOMPARE(rig.sim.device.overlapsSeen(), 0);
    }

    // An export asked for while the application quits (as an exit signal
    // does meanwhile): the queued save still gets its time, is written and
    // reported, and the link stays; the wait does not return at once.
    void exportWhileQuittingWaitsForTheSave()
    {
        CanRig rig([](SimCanDevice& d) { d.setDelay(0x2010, 1, 100); });
        QVERIFY(rig.open);
        connectionSettings().responseTimeoutMs = 3000;
        rig.load();
        QVERIFY(rig.valuesShown());
        QTemporaryDir dir;
        ClassicPages& p = *rig.f.pages;
        rig.edit(kLower, "-9");
        QCOMPARE(p.pendingSaves(), 1);
        {
            QuitRequested quitting;
            rig.f.host.saveAnswers << dir.path() + QStringLiteral("/params.bin");
            p.onExport();
        }
        QCOMPARE(p.pendingSaves(), 0);
        QCOMPARE(rig.sim.device.value(0x2010, 1), littleEndian(quint16(-9), 2));
        QVERIFY(!rig.f.host.texts(false).contains("Отключено"));
        QCOMPARE(rig.f.host.canDrops, 0);
        QVERIFY(rig.f.host.texts(true).contains("Экспорт завершен!"));
    }

    // Resets while the load worker reads and while a save is written, then a
    // load again: the same browser and columns, the values back.
    void resetMidWorkThenLoadAgain()
    {
        CanRig rig([](SimCanDevice& d) {
            for (uint8_t sub : {1, 2})
                d.setDelay(0x2010, sub, 100);
        });
        QVERIFY(rig.open);
        rig.load();
        QTRY_VERIFY(rig.sim.device.uploadsOf(0x2010, 1) > 0);
        rig.f.pages->resetParameterData();
        QVERIFY(!rig.f.load.isRunning());
        QVERIFY(rig.f.pages->canParams().isEmpty());
        QCOMPARE(rig.f.pages->propertyCount(), 0);

        rig.load(1);
        QVERIFY(rig.valuesShown());
        rig.edit(kLower, "-9");
        QCOMPARE(rig.f.pages->pendingSaves(), 1);
        // The device has the write and answers 100 ms later; the save worker
        // may be past it on a busy machine, its report still queued.
        QTRY_COMPARE(rig.sim.device.writesTo(0x2010, 1), 1);
        rig.f.pages->resetParameterData();
        QVERIFY(!rig.f.save.isRunning());
        QCOMPARE(rig.f.pages->pendingSaves(), 0);

        QtTreePropertyBrowser* browser = rig.f.pages->mainBrowser();
        rig.load(2);
        QCOMPARE(rig.f.pages->mainBrowser(), browser);
        QCOMPARE(PagesFixture::columnCount(browser), 4);
        QCOMPARE(browser->properties().size(), 1);
        QVERIFY(rig.valuesShown());
    }
};

QTEST_MAIN(TstClassicCanPages)
#include "tst_classiccanpages.moc"
