#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtcharpropertymanager.h"
#include "propertybrowser/extended/qtcolorpropertymanager.h"
#include "propertybrowser/extended/qtcursorpropertymanager.h"
#include "propertybrowser/extended/qtdatepropertymanager.h"
#include "propertybrowser/extended/qtdatetimepropertymanager.h"
#include "propertybrowser/extended/qtflagpropertymanager.h"
#include "propertybrowser/extended/qtfontpropertymanager.h"
#include "propertybrowser/extended/qtkeysequencepropertymanager.h"
#include "propertybrowser/extended/qtlocalepropertymanager.h"
#include "propertybrowser/extended/qtmetaenumtables.h"
#include "propertybrowser/extended/qtpointpropertymanager.h"
#include "propertybrowser/extended/qtrectpropertymanager.h"
#include "propertybrowser/extended/qtsizepolicypropertymanager.h"
#include "propertybrowser/extended/qtsizepropertymanager.h"
#include "propertybrowser/extended/qttimepropertymanager.h"

#include <QTest>

#include <functional>

// What every extended manager does alike: foreign properties, equal and new values,
// defaults, texts, the round trip between a value and its sub-properties, and a
// sub-property deleted from outside.
class TstExtendedManagers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commonForm_data();
    void commonForm();
    void valueTexts_data();
    void valueTexts();
    void roundTrips_data();
    void roundTrips();
    void decimals_data();
    void decimals();
};

namespace {

struct CommonForm
{
    QStringList foreignSignals;
    bool foreignKept = false;
    bool foreignDefault = false;
    QString foreignText;
    QStringList newSignals;
    bool newStored = false;
    QString text;
    QStringList equalSignals;
    int subsBefore = 0;
    int subsAfter = 0;
    QStringList afterDeletionSignals;
};

template <class T>
bool same(const T &a, const T &b)
{
    return a == b;
}
bool same(const QCursor &a, const QCursor &b)
{
    return a.shape() == b.shape();
}

template <class Manager>
using Setup = std::function<void(Manager &, QtProperty *)>;

// One manager through the common form: `newValue` differs from the initial value,
// `fallback` is what the getters read for a property the manager does not hold.
template <class Manager, class T>
std::function<CommonForm()> commonFormOf(const T &newValue, const T &fallback,
                                         const Setup<Manager> &setup = nullptr)
{
    return [=] {
        CommonForm r;
        Manager manager;
        Manager other;
        QtProperty *p = manager.addProperty(QStringLiteral("P"));
        QtProperty *foreign = other.addProperty(QStringLiteral("F"));
        if (setup) {
            setup(manager, p);
            setup(other, foreign);
        }
        const T initial = manager.value(p);
        const T foreignBefore = other.value(foreign);
        {
            SignalLog log{&manager, &other};
            manager.setValue(foreign, newValue);
            r.foreignSignals = log.entries();
        }
        r.foreignKept = same(other.value(foreign), foreignBefore);
        r.foreignDefault = same(manager.value(foreign), fallback);
        r.foreignText = manager.valueText(foreign);

        SignalLog log{&manager};
        manager.setValue(p, newValue);
        r.newSignals = withoutValues(log.take());
        r.newStored = same(manager.value(p), newValue);
        r.text = p->valueText();
        manager.setValue(p, newValue);
        r.equalSignals = log.take();

        // A sub-property deleted from outside is neither written to nor deleted again
        // (ASan sees the second delete).
        r.subsBefore = p->subProperties().size();
        if (r.subsBefore > 0) {
            delete p->subProperties().constFirst();
            r.subsAfter = p->subProperties().size();
            log.clear();
            manager.setValue(p, initial);
            r.afterDeletionSignals = withoutValues(log.take());
        }
        delete p;
        return r;
    };
}

template <class Manager>
std::function<QString()> textOf(const Setup<Manager> &setup)
{
    return [=] {
        Manager manager;
        QtProperty *p = manager.addProperty(QStringLiteral("P"));
        setup(manager, p);
        return p->valueText();
    };
}

} // namespace

using CommonFormProbe = std::function<CommonForm()>;
using TextProbe = std::function<QString()>;
Q_DECLARE_METATYPE(CommonFormProbe)
Q_DECLARE_METATYPE(TextProbe)

void TstExtendedManagers::initTestCase()
{
    ConnectWarningGuard::install();
    // Date and time texts follow the default locale at the managers' construction.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TstExtendedManagers::commonForm_data()
{
    QTest::addColumn<CommonFormProbe>("probe");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("subs");

    const QDate day(2020, 5, 17);
    const QTime time(13, 45);
    const auto threeFlags = [](QtFlagPropertyManager &m, QtProperty *p) {
        m.setFlagNames(p, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    };

    QTest::newRow("date") << commonFormOf<QtDatePropertyManager>(day, QDate()) << "17.05.20" << 0;
    QTest::newRow("time") << commonFormOf<QtTimePropertyManager>(time, QTime()) << "13:45" << 0;
    QTest::newRow("date-time") << commonFormOf<QtDateTimePropertyManager>(QDateTime(day, time), QDateTime())
                               << "17.05.20 13:45" << 0;
    QTest::newRow("key sequence of two chords")
        << commonFormOf<QtKeySequencePropertyManager>(QKeySequence(QStringLiteral("Ctrl+K, Ctrl+D")),
                                                      QKeySequence())
        << "Ctrl+K, Ctrl+D" << 0;
    QTest::newRow("char") << commonFormOf<QtCharPropertyManager>(QChar('A'), QChar()) << "A" << 0;
    QTest::newRow("locale")
        << commonFormOf<QtLocalePropertyManager>(QLocale(QLocale::German, QLocale::Austria), QLocale())
        << "German, Austria" << 2;
    QTest::newRow("size policy")
        << commonFormOf<QtSizePolicyPropertyManager>(
               [] {
                   QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
                   policy.setHorizontalStretch(2);
                   policy.setVerticalStretch(3);
                   return policy;
               }(),
               QSizePolicy())
        << "[Expanding, Preferred, 2, 3]" << 4;
    QTest::newRow("flags") << commonFormOf<QtFlagPropertyManager>(5, 0, threeFlags) << "a|c" << 3;
    QTest::newRow("colour") << commonFormOf<QtColorPropertyManager>(QColor(255, 0, 128), QColor())
                            << "[255, 0, 128] (255)" << 4;
    QTest::newRow("cursor") << commonFormOf<QtCursorPropertyManager>(QCursor(Qt::WaitCursor), QCursor())
                            << "Wait" << 0;
    QTest::newRow("point") << commonFormOf<QtPointPropertyManager>(QPoint(-5, 7), QPoint()) << "(-5, 7)" << 2;
    QTest::newRow("point-F") << commonFormOf<QtPointFPropertyManager>(QPointF(2.5, -1), QPointF())
                             << "(2.50, -1.00)" << 2;
    QTest::newRow("size") << commonFormOf<QtSizePropertyManager>(QSize(3, 4), QSize(-1, -1)) << "3 x 4" << 2;
    QTest::newRow("size-F") << commonFormOf<QtSizeFPropertyManager>(QSizeF(1.5, 2), QSizeF(-1, -1))
                            << "1.50 x 2.00" << 2;
    QTest::newRow("rect") << commonFormOf<QtRectPropertyManager>(QRect(1, 2, 3, 4), QRect())
                          << "[(1, 2), 3 x 4]" << 4;
    QTest::newRow("rect-F") << commonFormOf<QtRectFPropertyManager>(QRectF(0.5, 1, 2, 3), QRectF())
                            << "[(0.50, 1.00), 2.00 x 3.00]" << 4;
    QTest::newRow("font") << commonFormOf<QtFontPropertyManager>(QFont(QStringLiteral("Quill Sans"), 20), QFont())
                          << "[Quill Sans, 20]" << 7;
}

void TstExtendedManagers::commonForm()
{
    QFETCH(CommonFormProbe, probe);
    QFETCH(int, subs);
    const QStringList announced{"propertyChanged(P)", "valueChanged(P)"};

    const CommonForm r = probe();
    QCOMPARE(r.foreignSignals, QStringList());
    QVERIFY(r.foreignKept);
    QVERIFY(r.foreignDefault);
    QCOMPARE(r.foreignText, QString());
    QCOMPARE(r.newSignals, announced);
    QVERIFY(r.newStored);
    QTEST(r.text, "text");
    QCOMPARE(r.equalSignals, QStringList());
    QCOMPARE(r.subsBefore, subs);
    if (subs > 0) {
        QCOMPARE(r.subsAfter, subs - 1);
        QCOMPARE(r.afterDeletionSignals, announced);
    }
}

void TstExtendedManagers::valueTexts_data()
{
    QTest::addColumn<TextProbe>("probe");
    QTest::addColumn<QString>("text");

    const auto fresh = [](auto &, QtProperty *) {};
    QTest::newRow("new date shows today")
        << textOf<QtDatePropertyManager>(fresh) << QDate::currentDate().toString(QStringLiteral("dd.MM.yy"));
    QTest::newRow("the null character shows nothing") << textOf<QtCharPropertyManager>(fresh) << "";
    QTest::newRow("new size policy")
        << textOf<QtSizePolicyPropertyManager>(fresh) << "[Fixed, Fixed, 0, 0]";
    QTest::newRow("a policy that is no key")
        << textOf<QtSizePolicyPropertyManager>([](QtSizePolicyPropertyManager &m, QtProperty *p) {
               m.setValue(p, QSizePolicy(QSizePolicy::Policy(2), QSizePolicy::Ignored));
           })
        << "[<Invalid>, Ignored, 0, 0]";
    QTest::newRow("flags without names") << textOf<QtFlagPropertyManager>(fresh) << "";
    QTest::newRow("new colour is the invalid one") << textOf<QtColorPropertyManager>(fresh) << "[0, 0, 0] (255)";
    QTest::newRow("a cursor shape without a row")
        << textOf<QtCursorPropertyManager>([](QtCursorPropertyManager &m, QtProperty *p) {
               m.setValue(p, QCursor(Qt::DragCopyCursor));
           })
        << "";
    QTest::newRow("new point-F") << textOf<QtPointFPropertyManager>(fresh) << "(0.00, 0.00)";
    QTest::newRow("new size") << textOf<QtSizePropertyManager>(fresh) << "0 x 0";
    QTest::newRow("new size-F") << textOf<QtSizeFPropertyManager>(fresh) << "0.00 x 0.00";
    QTest::newRow("new rect-F") << textOf<QtRectFPropertyManager>(fresh) << "[(0.00, 0.00), 0.00 x 0.00]";
    QTest::newRow("decimals of a point-F")
        << textOf<QtPointFPropertyManager>([](QtPointFPropertyManager &m, QtProperty *p) {
               m.setValue(p, QPointF(1.25, 2));
               m.setDecimals(p, 0);
           })
        << "(1, 2)";
}

void TstExtendedManagers::valueTexts()
{
    QFETCH(TextProbe, probe);
    QTEST(probe(), "text");
}

namespace {

struct RoundTrip
{
    QStringList parentSignals;
    QString parentText;
    QString childText;
};

// Edits the child `child` of a new property to `val` through the inner manager
// `inner`, after `setup`; what the parent announced, and what it and the child show.
template <class Manager, class Inner, class V>
std::function<RoundTrip()> roundTripOf(Inner *(Manager::*inner)() const, const char *child, V val,
                                       const std::function<void(Manager &, QtProperty *, QtProperty *)> &setup = nullptr)
{
    return [=] {
        Manager manager;
        QtProperty *p = manager.addProperty(QStringLiteral("P"));
        const QString name = QString::fromLatin1(child);
        if (setup)
            setup(manager, p, subNamed(p, name));
        QtProperty *sub = subNamed(p, name);
        SignalLog log{&manager};
        (manager.*inner)()->setValue(sub, val);
        return RoundTrip{withoutValues(log.entries()), p->valueText(), sub->valueText()};
    };
}

} // namespace

using RoundTripProbe = std::function<RoundTrip()>;
Q_DECLARE_METATYPE(RoundTripProbe)

void TstExtendedManagers::roundTrips_data()
{
    QTest::addColumn<RoundTripProbe>("probe");
    QTest::addColumn<QString>("parentText");
    QTest::addColumn<QString>("childText");

    // The slot limits a stretch on its own, even when the child would take more.
    const auto wideStretch = [](QtSizePolicyPropertyManager &m, QtProperty *, QtProperty *sub) {
        m.subIntPropertyManager()->setRange(sub, -10, 1000);
        m.subIntPropertyManager()->setValue(sub, 100);
    };
    const auto upToTen = [](QtSizePropertyManager &m, QtProperty *p, QtProperty *) {
        m.setMaximum(p, QSize(10, 10));
    };

    QTest::newRow("point Y") << roundTripOf(&QtPointPropertyManager::subIntPropertyManager, "Y", 9) << "(0, 9)"
                             << "9";
    QTest::newRow("point-F X") << roundTripOf(&QtPointFPropertyManager::subDoublePropertyManager, "X", 1.5)
                               << "(1.50, 0.00)" << QLocale::system().toString(1.5, 'f', 2);
    QTest::newRow("colour Green") << roundTripOf(&QtColorPropertyManager::subIntPropertyManager, "Green", 128)
                                  << "[0, 128, 0] (255)" << "128";
    QTest::newRow("stretch 300")
        << roundTripOf<QtSizePolicyPropertyManager>(&QtSizePolicyPropertyManager::subIntPropertyManager,
                                                    "Horizontal Stretch", 300, wideStretch)
        << "[Fixed, Fixed, 255, 0]" << "255";
    QTest::newRow("stretch -5")
        << roundTripOf<QtSizePolicyPropertyManager>(&QtSizePolicyPropertyManager::subIntPropertyManager,
                                                    "Vertical Stretch", -5, wideStretch)
        << "[Fixed, Fixed, 0, 0]" << "0";
    QTest::newRow("policy")
        << roundTripOf(&QtSizePolicyPropertyManager::subEnumPropertyManager, "Vertical Policy", 5)
        << "[Fixed, Expanding, 0, 0]" << "Expanding";
    QTest::newRow("width beyond the maximum")
        << roundTripOf<QtSizePropertyManager>(&QtSizePropertyManager::subIntPropertyManager, "Width", 50, upToTen)
        << "10 x 0" << "10";
    QTest::newRow("rect Height")
        << roundTripOf(&QtRectPropertyManager::subIntPropertyManager, "Height", 7) << "[(0, 0), 0 x 7]" << "7";
    QTest::newRow("flag b") << roundTripOf<QtFlagPropertyManager>(
                                   &QtFlagPropertyManager::subBoolPropertyManager, "b", true,
                                   [](QtFlagPropertyManager &m, QtProperty *p, QtProperty *) {
                                       m.setFlagNames(p, {QStringLiteral("a"), QStringLiteral("b")});
                                   })
                            << "b" << "True";
    int austria = -1;
    QtMetaEnumTables::instance()->localeToIndex(QLocale::German, QLocale::Austria, nullptr, &austria);
    QTest::newRow("locale country")
        << roundTripOf(&QtLocalePropertyManager::subEnumPropertyManager, "Country", austria)
        << "German, Austria" << "Austria";
}

void TstExtendedManagers::roundTrips()
{
    QFETCH(RoundTripProbe, probe);
    const RoundTrip r = probe();
    // Once: the push back into the child finds the same value.
    QCOMPARE(r.parentSignals, (QStringList{"propertyChanged(P)", "valueChanged(P)"}));
    QTEST(r.parentText, "parentText");
    QTEST(r.childText, "childText");
}

namespace {

// setDecimals(20), (20) again, then (-1): the children follow, and only
// decimalsChanged is announced.
template <class Manager>
std::function<QStringList()> decimalsOf()
{
    return [] {
        Manager manager;
        QtProperty *p = manager.addProperty(QStringLiteral("P"));
        SignalLog log{&manager};
        QStringList seen;
        for (const int prec : {20, 20, -1}) {
            manager.setDecimals(p, prec);
            QString children;
            for (QtProperty *sub : p->subProperties())
                children += QString::number(manager.subDoublePropertyManager()->decimals(sub));
            seen << QStringLiteral("%1:%2").arg(manager.decimals(p)).arg(children);
        }
        return log.entries() + seen;
    };
}

} // namespace

using DecimalsProbe = std::function<QStringList()>;
Q_DECLARE_METATYPE(DecimalsProbe)

void TstExtendedManagers::decimals_data()
{
    QTest::addColumn<DecimalsProbe>("probe");
    QTest::addColumn<QStringList>("seen");

    const QStringList announced{"decimalsChanged(P,13)", "decimalsChanged(P,0)"};
    QTest::newRow("point-F") << decimalsOf<QtPointFPropertyManager>()
                             << announced + QStringList{"13:1313", "13:1313", "0:00"};
    QTest::newRow("size-F") << decimalsOf<QtSizeFPropertyManager>()
                            << announced + QStringList{"13:1313", "13:1313", "0:00"};
    QTest::newRow("rect-F") << decimalsOf<QtRectFPropertyManager>()
                            << announced + QStringList{"13:13131313", "13:13131313", "0:0000"};
}

void TstExtendedManagers::decimals()
{
    QFETCH(DecimalsProbe, probe);
    QTEST(probe(), "seen");
}

QTEST_MAIN(TstExtendedManagers)
#include "tst_extendedmanagers.moc"
