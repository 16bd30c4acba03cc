#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "modaldriver.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtcursordatabase.h"
#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/qtenumpropertymanager.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QRegExpValidator>
#include <QToolButton>
#include <QTest>

#include <functional>
#include <memory>

// The nine editor factories of the extended types against their real managers and
// real editors; the user's edits come as key events or through the real dialogs.
class TstExtendedFactories : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void editorTakesTheManagersSettings_data() { kinds(); }
    void editorTakesTheManagersSettings();
    void managerChangesReachEveryEditor_data() { kinds(); }
    void managerChangesReachEveryEditor();
    void userEditsReachTheManager_data() { kinds(); }
    void userEditsReachTheManager();
    void deletedFactoryDeletesItsEditors_data() { kinds(); }
    void deletedFactoryDeletesItsEditors();
    void dateEditorFollowsRangeAndRewritesAnUnchangedDate();
    void lineEditCommitsTheSendingEditorOnly();
    void lineEditFollowsTheStringManagersAttributes();
    void cursorTwinLivesWithItsEditors();
    void changeOvertakenByAHandler_data();
    void changeOvertakenByAHandler();

private:
    void kinds();
};

namespace {

enum class Kind { LineEdit, Date, Time, DateTime, KeySequence, Char, Cursor, Colour, Font };

const QDate kDate(2020, 5, 17);
const QTime kTime(13, 45, 10);
const QString kSans = QStringLiteral("DejaVu Sans");
const QString kSerif = QStringLiteral("DejaVu Serif");

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

QString labelTexts(QWidget *w)
{
    const auto labels = w->findChildren<QLabel *>();
    const bool pictured = !labels.value(0)->pixmap(Qt::ReturnByValue).isNull();
    return labels.value(1)->text() + (pictured ? QString() : QStringLiteral(" no picture"));
}

// What an editor shows: its class, its value and the settings a factory gives it.
QString describe(QWidget *w)
{
    if (auto *e = qobject_cast<QDateEdit *>(w))
        return QStringLiteral("date %1 [%2..%3] popup %4")
            .arg(e->date().toString(Qt::ISODate), e->minimumDate().toString(Qt::ISODate),
                 e->maximumDate().toString(Qt::ISODate), flag(e->calendarPopup()));
    if (auto *e = qobject_cast<QTimeEdit *>(w))
        return QStringLiteral("time ") + e->time().toString(Qt::ISODate);
    if (auto *e = qobject_cast<QDateTimeEdit *>(w))
        return QStringLiteral("date-time ") + e->dateTime().toString(Qt::ISODate);
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        const auto *v = qobject_cast<const QRegExpValidator *>(e->validator());
        return QStringLiteral("line '%1' echo %2 ro %3 mask '%4' validator '%5'")
            .arg(e->text())
            .arg(e->echoMode())
            .arg(flag(e->isReadOnly()), e->inputMask(), v ? v->regExp().pattern() : QStringLiteral("none"));
    }
    if (auto *e = qobject_cast<QtKeySequenceEdit *>(w))
        return QStringLiteral("keys '%1' shown '%2'")
            .arg(e->keySequence().toString(QKeySequence::PortableText), e->findChild<QLineEdit *>()->text());
    if (auto *e = qobject_cast<QtCharEdit *>(w))
        return QStringLiteral("char '%1'").arg(e->findChild<QLineEdit *>()->text());
    if (auto *e = qobject_cast<QComboBox *>(w)) {
        int icons = 0;
        for (int i = 0; i < e->count(); ++i)
            icons += e->itemIcon(i).isNull() ? 0 : 1;
        return QStringLiteral("shape %1 '%2' of %3, %4 with icons")
            .arg(e->currentIndex())
            .arg(e->currentText())
            .arg(e->count())
            .arg(icons);
    }
    if (qobject_cast<QtColorEditWidget *>(w))
        return QStringLiteral("colour ") + labelTexts(w);
    if (qobject_cast<QtFontEditWidget *>(w))
        return QStringLiteral("font ") + labelTexts(w);
    return QStringLiteral("unknown editor");
}

// One factory serving one manager, with a property "P" away from every default and
// a property "Q" that never gets an editor.
struct Rig
{
    std::unique_ptr<QtAbstractPropertyManager> manager;
    std::unique_ptr<QObject> factoryOwner;
    QtAbstractEditorFactoryBase *factory = nullptr;
    // Where editorCreated is announced: the manager, or the cursor factory's own
    // enumeration manager.
    QObject *announcer = nullptr;
    QtProperty *p = nullptr;
    QtProperty *q = nullptr;
    std::function<void(QtProperty *)> changeValue;
    // The user's edit in an editor, as keys or through the dialog.
    std::function<void(QWidget *)> userEdit;

    QWidget *editor(QWidget *parent) { return factory->createEditor(p, parent); }
};

template <class Manager, class Factory>
Manager *attach(Rig &rig, Factory *factory)
{
    auto *manager = new Manager;
    rig.p = manager->addProperty(QStringLiteral("P"));
    rig.q = manager->addProperty(QStringLiteral("Q"));
    rig.manager.reset(manager);
    rig.factoryOwner.reset(factory);
    rig.factory = factory;
    rig.announcer = manager;
    return manager;
}

void pressUp(QWidget *w) { QTest::keyClick(w, Qt::Key_Up); }

// The user picks the value in the dialog of the editor's "..." button.
template <class Value>
void pickThroughButton(QWidget *editor, const Value &value)
{
    QVERIFY(ModalDriver::drive([editor] { editor->findChild<QToolButton *>()->click(); },
                               [value](QWidget *dialog) { ModalDriver::pick(dialog, value); }));
}

// A rig whose property "P" holds `initial` and is changed to `changed`. No editor is
// open yet, so the settings made after binding are no pushes.
template <class Manager, class Factory, class Value>
Manager *valueRig(Rig &rig, const Value &initial, const Value &changed, std::function<void(QWidget *)> userEdit)
{
    auto *factory = new Factory;
    auto *manager = attach<Manager>(rig, factory);
    manager->setValue(rig.p, initial);
    factory->addPropertyManager(manager);
    rig.changeValue = [manager, changed](QtProperty *p) { manager->setValue(p, changed); };
    rig.userEdit = std::move(userEdit);
    return manager;
}

Rig makeRig(Kind kind)
{
    Rig rig;
    switch (kind) {
    case Kind::LineEdit: {
        auto *m = valueRig<QtStringPropertyManager, QtLineEditFactory>(
            rig, QStringLiteral("abc"), QStringLiteral("xyz"), [](QWidget *w) {
                auto *line = qobject_cast<QLineEdit *>(w);
                line->selectAll();
                QTest::keyClicks(line, QStringLiteral("xyz"));
                QTest::keyClick(line, Qt::Key_Return);
            });
        m->setEchoMode(rig.p, QLineEdit::PasswordEchoOnEdit);
        m->setRegExp(rig.p, QRegExp(QStringLiteral("[a-z]*")));
        break;
    }
    case Kind::Date:
        valueRig<QtDatePropertyManager, QtDateEditFactory>(rig, kDate, QDate(2021, 6, 18), pressUp)
            ->setRange(rig.p, QDate(2000, 1, 1), QDate(2030, 12, 31));
        break;
    case Kind::Time:
        valueRig<QtTimePropertyManager, QtTimeEditFactory>(rig, kTime, QTime(8, 5, 0), pressUp);
        break;
    case Kind::DateTime:
        valueRig<QtDateTimePropertyManager, QtDateTimeEditFactory>(
            rig, QDateTime(kDate, kTime), QDateTime(QDate(2021, 6, 18), QTime(8, 5, 0)), pressUp);
        break;
    case Kind::KeySequence:
        valueRig<QtKeySequencePropertyManager, QtKeySequenceEditorFactory>(
            rig, QKeySequence(QStringLiteral("Ctrl+S")), QKeySequence(QStringLiteral("Alt+F4")),
            [](QWidget *w) { QTest::keyClick(w, Qt::Key_K, Qt::ControlModifier); });
        break;
    case Kind::Char:
        valueRig<QtCharPropertyManager, QtCharEditorFactory>(rig, QChar('c'), QChar('z'),
                                                             [](QWidget *w) { QTest::keyClick(w, Qt::Key_Z); });
        break;
    case Kind::Cursor:
        // The next row down: from 7 (Size Backslash) to 8 (Size Slash).
        valueRig<QtCursorPropertyManager, QtCursorEditorFactory>(rig, QCursor(Qt::SizeFDiagCursor),
                                                                 QCursor(Qt::SizeBDiagCursor),
                                                                 [](QWidget *w) { QTest::keyClick(w, Qt::Key_Down); });
        rig.announcer = rig.factoryOwner->findChild<QtEnumPropertyManager *>();
        break;
    case Kind::Colour:
        valueRig<QtColorPropertyManager, QtColorEditorFactory>(
            rig, QColor(10, 20, 30, 40), QColor(200, 100, 0),
            [](QWidget *w) { pickThroughButton(w, QColor(200, 100, 0)); });
        break;
    case Kind::Font:
        valueRig<QtFontPropertyManager, QtFontEditorFactory>(
            rig, QFont(kSans, 12), QFont(kSerif, 14), [](QWidget *w) { pickThroughButton(w, QFont(kSerif, 14)); });
        break;
    }
    return rig;
}

// A string property "P" with two open editors of the plain line-edit factory.
struct LineEdits
{
    QtStringPropertyManager manager;
    QtLineEditFactory factory;
    QWidget parent;
    QtProperty *p = nullptr;
    QLineEdit *first = nullptr;
    QLineEdit *second = nullptr;

    explicit LineEdits(const QString &text) : p(manager.addProperty(QStringLiteral("P")))
    {
        manager.setValue(p, text);
        factory.addPropertyManager(&manager);
        first = qobject_cast<QLineEdit *>(factory.createEditor(p, &parent));
        second = qobject_cast<QLineEdit *>(factory.createEditor(p, &parent));
    }
};

int valueUpdates(const QStringList &entries) { return countOf(entries, QStringLiteral("valueUpdated(P")); }

} // namespace

Q_DECLARE_METATYPE(Kind)

void TstExtendedFactories::kinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("changed");
    QTest::addColumn<int>("updates");

    QTest::newRow("line edit") << Kind::LineEdit << "line 'abc' echo 3 ro 0 mask '' validator '[a-z]*'"
                               << "line 'xyz' echo 3 ro 0 mask '' validator '[a-z]*'" << 1;
    QTest::newRow("date") << Kind::Date << "date 2020-05-17 [2000-01-01..2030-12-31] popup 1"
                          << "date 2021-06-18 [2000-01-01..2030-12-31] popup 1" << 0;
    QTest::newRow("time") << Kind::Time << "time 13:45:10" << "time 08:05:00" << 0;
    QTest::newRow("date-time") << Kind::DateTime << "date-time 2020-05-17T13:45:10"
                               << "date-time 2021-06-18T08:05:00" << 0;
    QTest::newRow("key sequence") << Kind::KeySequence << "keys 'Ctrl+S' shown 'Ctrl+S'"
                                  << "keys 'Alt+F4' shown 'Alt+F4'" << 0;
    QTest::newRow("char") << Kind::Char << "char 'c'" << "char 'z'" << 1;
    QTest::newRow("cursor") << Kind::Cursor << "shape 7 'Size Backslash' of 19, 18 with icons"
                            << "shape 8 'Size Slash' of 19, 18 with icons" << 1;
    QTest::newRow("colour") << Kind::Colour << "colour [10, 20, 30] (40)" << "colour [200, 100, 0] (255)" << 1;
    QTest::newRow("font") << Kind::Font << "font [DejaVu Sans, 12]" << "font [DejaVu Serif, 14]" << 1;
}

void TstExtendedFactories::editorTakesTheManagersSettings()
{
    QFETCH(Kind, kind);
    QFETCH(QString, created);
    Rig rig = makeRig(kind);
    QWidget parent;
    SignalLog log{rig.manager.get()};
    std::unique_ptr<SignalLog> inner;
    if (rig.announcer != rig.manager.get())
        inner = std::make_unique<SignalLog>(std::initializer_list<QObject *>{rig.announcer});
    QString atAnnouncement;
    connect(static_cast<QtAbstractPropertyManager *>(rig.announcer), &QtAbstractPropertyManager::editorCreated, this,
            [&] {
                const auto editors = parent.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
                atAnnouncement = editors.isEmpty() ? QString() : describe(editors.last());
            });

    QWidget *editor = rig.editor(&parent);
    QVERIFY(editor);
    QCOMPARE(editor->parent(), &parent);
    QCOMPARE(describe(editor), created);
    // editorCreated comes first, before the editor is configured; the cursor factory
    // announces its twin on its own manager and nothing on the cursor manager.
    if (inner) {
        QCOMPARE(log.entries(), QStringList());
        QCOMPARE(inner->entries().filter(QStringLiteral("editorCreated")), QStringList{"editorCreated(P)"});
    } else {
        QCOMPARE(log.entries(), QStringList{"editorCreated(P)"});
    }
    QVERIFY(!atAnnouncement.isEmpty());
    QVERIFY(atAnnouncement != created);
}

void TstExtendedFactories::managerChangesReachEveryEditor()
{
    QFETCH(Kind, kind);
    QFETCH(QString, changed);
    QFETCH(int, updates);
    Rig rig = makeRig(kind);
    QWidget parent;
    QWidget *first = rig.editor(&parent);
    QWidget *second = rig.editor(&parent);
    SignalLog editors{first, second};
    SignalLog log{rig.manager.get()};

    rig.changeValue(rig.p);
    QCOMPARE(describe(first), changed);
    QCOMPARE(describe(second), changed);
    QCOMPARE(editors.entries(), QStringList());
    const QStringList emitted = log.take();
    QCOMPARE(countOf(emitted, QStringLiteral("valueChanged(P")), 1);
    QCOMPARE(valueUpdates(emitted), updates);

    // A property without editors gets no valueUpdated.
    rig.changeValue(rig.q);
    QCOMPARE(valueUpdates(log.take()), 0);
}

void TstExtendedFactories::userEditsReachTheManager()
{
    QFETCH(Kind, kind);
    QFETCH(QString, created);
    QFETCH(int, updates);
    Rig rig = makeRig(kind);
    QWidget parent;
    QWidget *first = rig.editor(&parent);
    QWidget *second = rig.editor(&parent);
    SignalLog log{rig.manager.get()};

    rig.userEdit(first);
    const QStringList emitted = log.take();
    QCOMPARE(countOf(emitted, QStringLiteral("valueChanged(P")), 1);
    QCOMPARE(valueUpdates(emitted), updates);
    // The manager holds the edit and the other editor shows it.
    QVERIFY(describe(first) != created);
    QCOMPARE(describe(second), describe(first));
}

void TstExtendedFactories::deletedFactoryDeletesItsEditors()
{
    QFETCH(Kind, kind);
    Rig rig = makeRig(kind);
    QWidget parent;
    QPointer<QWidget> first = rig.editor(&parent);
    QPointer<QWidget> second = rig.editor(&parent);
    QVERIFY(first && second);
    rig.factoryOwner.reset();
    QVERIFY(!first);
    QVERIFY(!second);
    // The manager goes on alone.
    SignalLog log{rig.manager.get()};
    rig.changeValue(rig.p);
    QCOMPARE(valueUpdates(log.entries()), 0);
}

void TstExtendedFactories::dateEditorFollowsRangeAndRewritesAnUnchangedDate()
{
    Rig rig = makeRig(Kind::Date);
    auto *manager = static_cast<QtDatePropertyManager *>(rig.manager.get());
    QWidget parent;
    auto *editor = qobject_cast<QDateEdit *>(rig.editor(&parent));

    // A stale date in the editor goes with a range change: the manager's value comes back.
    {
        const QSignalBlocker blocker(editor);
        editor->setDate(QDate(2001, 2, 3));
    }
    SignalLog log{manager};
    manager->setRange(rig.p, QDate(2019, 1, 1), QDate(2025, 1, 1));
    QCOMPARE(describe(editor), QStringLiteral("date 2020-05-17 [2019-01-01..2025-01-01] popup 1"));
    QCOMPARE(log.take(), QStringList{"rangeChanged(P,2019-01-01,2025-01-01)"});

    // Stepping a stale date back to the manager's own value writes it again, and the
    // manager announces it again.
    {
        const QSignalBlocker blocker(editor);
        editor->stepBy(-1);
    }
    QVERIFY(editor->date() != kDate);
    QTest::keyClick(editor, Qt::Key_Up);
    QCOMPARE(editor->date(), kDate);
    QCOMPARE(log.take(), (QStringList{"propertyChanged(P)", "valueChanged(P,2020-05-17)"}));
}

void TstExtendedFactories::lineEditCommitsTheSendingEditorOnly()
{
    LineEdits edits(QStringLiteral("old"));
    SignalLog log{&edits.manager};
    edits.second->setText(QStringLiteral("new"));
    QTest::keyClick(edits.second, Qt::Key_Return);
    QCOMPARE(edits.manager.value(edits.p), QStringLiteral("new"));
    QCOMPARE(edits.first->text(), QStringLiteral("new"));
    QCOMPARE(log.entries().filter(QStringLiteral("value")),
             (QStringList{"valueUpdated(P,new)", "valueChanged(P,new)"}));

    // Unchanged: an editable property is announced again, a read-only one is not.
    log.clear();
    QTest::keyClick(edits.first, Qt::Key_Return);
    QCOMPARE(countOf(log.take(), QStringLiteral("valueChanged(P")), 1);
    edits.manager.setReadOnly(edits.p, true);
    log.clear();
    QTest::keyClick(edits.first, Qt::Key_Return);
    QCOMPARE(log.take(), QStringList());
}

void TstExtendedFactories::lineEditFollowsTheStringManagersAttributes()
{
    LineEdits edits(QStringLiteral("abc"));
    SignalLog editors{edits.first, edits.second};

    // A mask reformats a line edit's text: the manager's value is shown again.
    edits.manager.setInputMask(edits.p, QStringLiteral(">AAA"));
    edits.manager.setEchoMode(edits.p, QLineEdit::Password);
    edits.manager.setReadOnly(edits.p, true);
    edits.manager.setRegExp(edits.p, QRegExp(QStringLiteral("[A-Za-z]*")));
    for (QLineEdit *editor : {edits.first, edits.second})
        QCOMPARE(describe(editor), QStringLiteral("line 'ABC' echo 2 ro 1 mask '>AAA' validator '[A-Za-z]*'"));
    QCOMPARE(editors.entries(), QStringList());

    edits.manager.setRegExp(edits.p, QRegExp(QStringLiteral("[")));
    QCOMPARE(edits.first->validator(), nullptr);
}

void TstExtendedFactories::cursorTwinLivesWithItsEditors()
{
    QtCursorPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, QCursor(Qt::WaitCursor));
    QtCursorEditorFactory factory;
    factory.addPropertyManager(&manager);
    auto *twins = factory.findChild<QtEnumPropertyManager *>();
    QWidget parent;

    auto *first = qobject_cast<QComboBox *>(factory.createEditor(p, &parent));
    auto *second = qobject_cast<QComboBox *>(factory.createEditor(p, &parent));
    QCOMPARE(twins->properties().size(), 1);
    QtProperty *twin = *twins->properties().begin();
    QCOMPARE(twin->propertyName(), QStringLiteral("P"));
    QCOMPARE(twins->value(twin), 3);

    // A value from the manager moves the twin and both combo boxes, and is announced
    // once; the twin's change does not come back as a write.
    SignalLog log{&manager};
    SignalLog boxes{first, second};
    manager.setValue(p, QCursor(Qt::BusyCursor));
    QCOMPARE(twins->value(twin), 18);
    QCOMPARE(first->currentIndex(), 18);
    QCOMPARE(second->currentIndex(), 18);
    QCOMPARE(boxes.entries(), QStringList());
    QStringList emitted = withoutValues(log.take());
    emitted.sort();
    QCOMPARE(emitted, (QStringList{"propertyChanged(P)", "valueChanged(P)", "valueUpdated(P)"}));

    // A shape picked in a combo box reaches the cursor manager.
    second->setCurrentIndex(13);
    QCOMPARE(manager.value(p).shape(), Qt::PointingHandCursor);
    QCOMPARE(first->currentIndex(), 13);

    delete first;
    QCOMPARE(twins->properties().size(), 1);
    delete second;
    QCOMPARE(twins->properties().size(), 0);
    // A new editor makes a new twin, set from the manager.
    auto *third = qobject_cast<QComboBox *>(factory.createEditor(p, &parent));
    QCOMPARE(twins->properties().size(), 1);
    QCOMPARE(third->currentIndex(), 13);
}

void TstExtendedFactories::changeOvertakenByAHandler_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"date", "time", "date and time", "key sequence"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

namespace {

// A receiver of valueChanged that runs before the factory sets `second` as soon
// as `first` is announced; the factory's editor is made, then `first` is set.
// Returns the editor, which should show `second`.
template <class Manager, class Factory, class Value>
QWidget *overtaken(QWidget *parent, const Value &first, const Value &second, std::unique_ptr<QObject> *keep)
{
    auto *manager = new Manager;
    auto *factory = new Factory(manager);
    QtProperty *p = manager->addProperty(QStringLiteral("P"));
    QObject::connect(manager, &Manager::valueChanged, manager, [manager, p, first, second](QtProperty *, const Value &v) {
        if (v == first)
            manager->setValue(p, second);
    });
    factory->addPropertyManager(manager);
    QWidget *editor = factory->createEditor(p, parent);
    manager->setValue(p, first);
    keep->reset(manager);
    return editor;
}

} // namespace

// A change that a receiver running before the factory overtakes leaves the editor
// on the value the property holds.
void TstExtendedFactories::changeOvertakenByAHandler()
{
    QFETCH(QString, kind);
    QWidget parent;
    std::unique_ptr<QObject> keep;
    if (kind == QLatin1String("date")) {
        auto *editor = qobject_cast<QDateEdit *>(overtaken<QtDatePropertyManager, QtDateEditFactory>(
            &parent, QDate(2020, 1, 2), QDate(2021, 3, 4), &keep));
        QCOMPARE(editor->date(), QDate(2021, 3, 4));
    } else if (kind == QLatin1String("time")) {
        auto *editor = qobject_cast<QTimeEdit *>(overtaken<QtTimePropertyManager, QtTimeEditFactory>(
            &parent, QTime(1, 2), QTime(3, 4), &keep));
        QCOMPARE(editor->time(), QTime(3, 4));
    } else if (kind == QLatin1String("date and time")) {
        const QDateTime first(QDate(2020, 1, 2), QTime(1, 2));
        const QDateTime second(QDate(2021, 3, 4), QTime(3, 4));
        auto *editor = qobject_cast<QDateTimeEdit *>(
            overtaken<QtDateTimePropertyManager, QtDateTimeEditFactory>(&parent, first, second, &keep));
        QCOMPARE(editor->dateTime(), second);
    } else {
        auto *editor = qobject_cast<QtKeySequenceEdit *>(overtaken<QtKeySequencePropertyManager, QtKeySequenceEditorFactory>(
            &parent, QKeySequence(QStringLiteral("Ctrl+A")), QKeySequence(QStringLiteral("Ctrl+B")), &keep));
        QCOMPARE(editor->keySequence(), QKeySequence(QStringLiteral("Ctrl+B")));
    }
}

QTEST_MAIN(TstExtendedFactories)
#include "tst_extendedfactories.moc"
