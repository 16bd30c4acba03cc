#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qteditorfactory.h"

#include <QAbstractItemView>
#include <QPointer>
#include <QRegExpValidator>
#include <QTest>

#include <functional>
#include <utility>

// The eight editor factories against their real managers and real editors.
class TstEditorFactories : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void editorTakesTheManagersSettings_data() { kinds(); }
    void editorTakesTheManagersSettings();
    void managerChangesReachEveryEditor_data() { kinds(); }
    void managerChangesReachEveryEditor();
    void detachingLeavesNoConnection_data() { kinds(); }
    void detachingLeavesNoConnection();
    void commitByReturn_data();
    void commitByReturn();
    void userEditsReachTheManager_data() { kinds(); }
    void userEditsReachTheManager();
    void buttonsReachTheManager();
    void lineEditCommitsTheSendingEditorOnly();
    void regExpChangesReplaceTheValidator();
    void enumNoUpdateChannelAndNewNames();
    void doubleCommitSaysWhetherItWasTouched_data();
    void doubleCommitSaysWhetherItWasTouched();
    void changeInsideAnUntouchedCommit_data();
    void changeInsideAnUntouchedCommit();
    void changeOvertakenByAHandler_data();
    void changeOvertakenByAHandler();

private:
    void kinds();
};

namespace {

enum class Kind { SpinBox, SpinBox2, Slider, ScrollBar, CheckBox, DoubleSpinBox, LineEdit2, Enum };

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

QString spinText(const QSpinBox *s)
{
    return QStringLiteral("%1 [%2..%3] step %4 ro %5 tracking %6")
        .arg(s->value())
        .arg(s->minimum())
        .arg(s->maximum())
        .arg(s->singleStep())
        .arg(flag(s->isReadOnly()), flag(s->keyboardTracking()));
}

QString sliderText(const QAbstractSlider *s)
{
    return QStringLiteral("%1 [%2..%3] step %4 %5")
        .arg(s->value())
        .arg(s->minimum())
        .arg(s->maximum())
        .arg(s->singleStep())
        .arg(s->orientation() == Qt::Horizontal ? "horizontal" : "vertical");
}

QString buttonText(const QToolButton *b)
{
    return QStringLiteral(" button '%1' %2").arg(b->text(), b->isHidden() ? "hidden" : "shown");
}

// What an editor shows: its value and the settings a factory gives it.
QString describe(QWidget *w)
{
    if (auto *e = qobject_cast<QtSpinBoxEditWidget2 *>(w))
        return spinText(e->spinBox()) + buttonText(e->button());
    if (auto *e = qobject_cast<QtDoubleSpinBox2 *>(w))
        return QStringLiteral("%1 [%2..%3] step %4 decimals %5 ro %6 tracking %7")
            .arg(e->value())
            .arg(e->minimum())
            .arg(e->maximum())
            .arg(e->singleStep())
            .arg(e->decimals())
            .arg(flag(e->isReadOnly()), flag(e->keyboardTracking()));
    if (auto *e = qobject_cast<QSpinBox *>(w))
        return spinText(e);
    if (auto *e = qobject_cast<QAbstractSlider *>(w))
        return sliderText(e);
    if (auto *e = qobject_cast<QtBoolEdit *>(w))
        return QStringLiteral("checked %1 text '%2'").arg(flag(e->isChecked()), e->findChild<QCheckBox *>()->text());
    if (auto *e = qobject_cast<QtLineEditWidget2 *>(w)) {
        const QLineEdit *l = e->lineEdit();
        const auto *v = qobject_cast<const QRegExpValidator *>(l->validator());
        return QStringLiteral("'%1' echo %2 ro %3 mask '%4' validator '%5'")
                   .arg(l->text())
                   .arg(l->echoMode())
                   .arg(flag(l->isReadOnly()), l->inputMask(), v ? v->regExp().pattern() : QStringLiteral("none"))
               + buttonText(e->button());
    }
    if (auto *e = qobject_cast<QComboBox *>(w)) {
        QStringList items;
        for (int i = 0; i < e->count(); ++i)
            items << e->itemText(i) + (e->itemIcon(i).isNull() ? "" : "*");
        return QStringLiteral("%1 of %2 policy %3 min %4 elide %5")
            .arg(e->currentIndex())
            .arg(items.join('|'))
            .arg(e->sizeAdjustPolicy())
            .arg(e->minimumContentsLength())
            .arg(e->view()->textElideMode());
    }
    return QStringLiteral("unknown editor");
}

QIcon someIcon()
{
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

// One factory serving one manager, with a property "P" set away from every
// default and a property "Q" that never gets an editor.
struct Rig
{
    std::unique_ptr<QtAbstractPropertyManager> manager;
    std::unique_ptr<QObject> factoryOwner;
    QtAbstractEditorFactoryBase *factory = nullptr;
    QtProperty *p = nullptr;
    QtProperty *q = nullptr;
    // A change of the value by the program, the same value put into an editor
    // directly (signals blocked), and a change of the other settings.
    std::function<void(QtProperty *)> changeValue;
    std::function<void(QWidget *)> showChanged;
    std::function<void()> changeSettings;
    // The user's edit in an editor: the value moved and committed as the editor commits.
    std::function<void(QWidget *)> userEdit;

    QWidget *editor(QWidget *parent) { return factory->createEditor(p, parent); }
};

template <class Factory, class Manager>
void attach(Rig &rig, Manager *manager, Factory *factory)
{
    rig.p = manager->addProperty(QStringLiteral("P"));
    rig.q = manager->addProperty(QStringLiteral("Q"));
    rig.manager.reset(manager);
    rig.factoryOwner.reset(factory);
    rig.factory = factory;
}

void pressReturn(QWidget *w) { QTest::keyClick(w, Qt::Key_Return); }

template <class Factory>
Rig intRig(Factory *factory)
{
    Rig rig;
    auto *m = new QtIntPropertyManager;
    attach(rig, m, factory);
    m->setRange(rig.p, -5, 50);
    m->setSingleStep(rig.p, 5);
    m->setValue(rig.p, 7);
    m->setBtnVisibility(rig.p, true);
    m->setBtnCaption(rig.p, QStringLiteral("Считать"));
    factory->addPropertyManager(m);
    rig.changeValue = [m](QtProperty *p) { m->setValue(p, 9); };
    rig.changeSettings = [m, p = rig.p] {
        m->setRange(p, 10, 20);
        m->setSingleStep(p, 2);
        m->setReadOnly(p, true);
    };
    rig.showChanged = [](QWidget *w) {
        const QSignalBlocker blocker(w);
        if (auto *e = qobject_cast<QtSpinBoxEditWidget2 *>(w))
            e->setValue(9);
        else if (auto *s = qobject_cast<QSpinBox *>(w))
            s->setValue(9);
        else
            qobject_cast<QAbstractSlider *>(w)->setValue(9);
    };
    rig.userEdit = [](QWidget *w) {
        if (auto *e = qobject_cast<QtSpinBoxEditWidget2 *>(w)) {
            e->spinBox()->setValue(9);
            pressReturn(e->spinBox());
        } else if (auto *s = qobject_cast<QSpinBox *>(w)) {
            s->setValue(9);
        } else {
            qobject_cast<QAbstractSlider *>(w)->setValue(9);
        }
    };
    return rig;
}

Rig makeRig(Kind kind)
{
    switch (kind) {
    case Kind::SpinBox:
        return intRig(new QtSpinBoxFactory);
    case Kind::SpinBox2:
        return intRig(new QtSpinBoxFactory2);
    case Kind::Slider:
        return intRig(new QtSliderFactory);
    case Kind::ScrollBar:
        return intRig(new QtScrollBarFactory);
    case Kind::CheckBox: {
        Rig rig;
        auto *m = new QtBoolPropertyManager;
        auto *f = new QtCheckBoxFactory;
        attach(rig, m, f);
        m->setValue(rig.p, true);
        m->setTextVisible(rig.p, false);
        f->addPropertyManager(m);
        rig.changeValue = [m](QtProperty *p) { m->setValue(p, !m->value(p)); };
        rig.changeSettings = [m, p = rig.p] { m->setTextVisible(p, true); };
        rig.showChanged = [](QWidget *w) {
            auto *e = qobject_cast<QtBoolEdit *>(w);
            const QSignalBlocker blocker(e->findChild<QCheckBox *>());
            e->setChecked(false);
        };
        rig.userEdit = [](QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); };
        return rig;
    }
    case Kind::DoubleSpinBox: {
        Rig rig;
        auto *m = new QtDoublePropertyManager;
        auto *f = new QtDoubleSpinBoxFactory;
        attach(rig, m, f);
        m->setRange(rig.p, -1.0, 100.0);
        m->setSingleStep(rig.p, 0.5);
        m->setDecimals(rig.p, 3);
        m->setValue(rig.p, 2.5);
        f->addPropertyManager(m);
        rig.changeValue = [m](QtProperty *p) { m->setValue(p, 3.5); };
        rig.changeSettings = [m, p = rig.p] {
            m->setRange(p, 10.0, 20.0);
            m->setSingleStep(p, 0.25);
            m->setDecimals(p, 1);
            m->setReadOnly(p, true);
        };
        rig.showChanged = [](QWidget *w) {
            const QSignalBlocker blocker(w);
            qobject_cast<QDoubleSpinBox *>(w)->setValue(3.5);
        };
        rig.userEdit = [](QWidget *w) {
            qobject_cast<QDoubleSpinBox *>(w)->setValue(3.5);
            pressReturn(w);
        };
        return rig;
    }
    case Kind::LineEdit2: {
        Rig rig;
        auto *m = new QtStringPropertyManager;
        auto *f = new QtLineEditFactory2;
        attach(rig, m, f);
        m->setValue(rig.p, QStringLiteral("abc"));
        m->setEchoMode(rig.p, QLineEdit::Password);
        m->setInputMask(rig.p, QStringLiteral("aaaa"));
        m->setBtnVisibility(rig.p, true);
        m->setBtnCaption(rig.p, QStringLiteral("Открыть"));
        f->addPropertyManager(m);
        rig.changeValue = [m](QtProperty *p) { m->setValue(p, QStringLiteral("xyz")); };
        rig.changeSettings = [m, p = rig.p] {
            m->setEchoMode(p, QLineEdit::Normal);
            m->setInputMask(p, QString());
            m->setReadOnly(p, true);
        };
        rig.showChanged = [](QWidget *w) {
            const QSignalBlocker blocker(w);
            qobject_cast<QtLineEditWidget2 *>(w)->setValue(QStringLiteral("xyz"));
        };
        rig.userEdit = [](QWidget *w) {
            QLineEdit *line = qobject_cast<QtLineEditWidget2 *>(w)->lineEdit();
            line->setText(QStringLiteral("xyz"));
            pressReturn(line);
        };
        return rig;
    }
    case Kind::Enum:
        break;
    }
    Rig rig;
    auto *m = new QtEnumPropertyManager;
    auto *f = new QtEnumEditorFactory;
    attach(rig, m, f);
    m->setEnumNames(rig.p, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    m->setEnumIcons(rig.p, {{1, someIcon()}});
    m->setValue(rig.p, 2);
    m->setEnumNames(rig.q, {QStringLiteral("A"), QStringLiteral("B")});
    f->addPropertyManager(m);
    rig.changeValue = [m](QtProperty *p) { m->setValue(p, 1); };
    rig.changeSettings = [m, p = rig.p] { m->setEnumNames(p, {QStringLiteral("X"), QStringLiteral("Y")}); };
    rig.showChanged = [](QWidget *w) {
        const QSignalBlocker blocker(w);
        qobject_cast<QComboBox *>(w)->setCurrentIndex(1);
    };
    rig.userEdit = [](QWidget *w) { qobject_cast<QComboBox *>(w)->setCurrentIndex(1); };
    return rig;
}

// The factory's slots run before a log attached after it, so its valueUpdated is
// logged before the valueChanged that caused it: compare what was emitted.
QStringList sorted(QStringList entries)
{
    entries.sort();
    return entries;
}

int valueUpdates(const QStringList &entries) { return countOf(entries, QStringLiteral("valueUpdated(")); }

} // namespace

Q_DECLARE_METATYPE(Kind)

// Done to a double editor before its commit.
using DoubleAct = std::function<void(QtDoubleSpinBox2 *, QtDoublePropertyManager *, QtProperty *)>;
Q_DECLARE_METATYPE(DoubleAct)

void TstEditorFactories::changeOvertakenByAHandler_data()
{
    QTest::addColumn<bool>("slider");
    QTest::newRow("spin box") << false;
    QTest::newRow("slider") << true;
}

// A receiver of valueChanged that runs before the factory changes the value
// again: the factory hears of the newer value first, then of the one it
// overtook, and the editor stays on the value the property holds.
void TstEditorFactories::changeOvertakenByAHandler()
{
    QFETCH(bool, slider);
    QtIntPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    connect(&manager, &QtIntPropertyManager::valueChanged, this, [&](QtProperty *, int value) {
        if (value == 20)
            manager.setValue(p, 30);
    });
    QtSpinBoxFactory spinBoxes;
    QtSliderFactory sliders;
    QtAbstractEditorFactory<QtIntPropertyManager> *factory = &spinBoxes;
    if (slider)
        factory = &sliders;
    factory->addPropertyManager(&manager);
    QWidget parent;
    QWidget *editor = factory->createEditor(p, &parent);
    const auto shown = [editor] {
        if (auto *spinBox = qobject_cast<QSpinBox *>(editor))
            return spinBox->value();
        return qobject_cast<QAbstractSlider *>(editor)->value();
    };
    SignalLog log{&manager};
    manager.setValue(p, 20);
    QCOMPARE(manager.value(p), 30);
    QCOMPARE(shown(), 30);
    // Only the value the property holds is reported as shown.
    QCOMPARE(log.entries().filter(QStringLiteral("valueUpdated")), QStringList{QStringLiteral("valueUpdated(P,30)")});
}

void TstEditorFactories::kinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("changed");
    QTest::addColumn<QString>("reconfigured");

    const QString intButton = QStringLiteral(" button 'Считать' shown");
    QTest::newRow("spin box") << Kind::SpinBox << "7 [-5..50] step 5 ro 0 tracking 0"
                              << "9 [-5..50] step 5 ro 0 tracking 0" << "10 [10..20] step 2 ro 1 tracking 0";
    QTest::newRow("spin box with button")
        << Kind::SpinBox2 << "7 [-5..50] step 5 ro 0 tracking 0" + intButton
        << "9 [-5..50] step 5 ro 0 tracking 0" + intButton << "10 [10..20] step 2 ro 1 tracking 0" + intButton;
    QTest::newRow("slider") << Kind::Slider << "7 [-5..50] step 5 horizontal" << "9 [-5..50] step 5 horizontal"
                            << "10 [10..20] step 2 horizontal";
    QTest::newRow("scroll bar") << Kind::ScrollBar << "7 [-5..50] step 5 horizontal"
                                << "9 [-5..50] step 5 horizontal" << "10 [10..20] step 2 horizontal";
    QTest::newRow("check box") << Kind::CheckBox << "checked 1 text ''" << "checked 0 text ''"
                               << "checked 0 text 'False'";
    QTest::newRow("double spin box") << Kind::DoubleSpinBox << "2.5 [-1..100] step 0.5 decimals 3 ro 0 tracking 0"
                                     << "3.5 [-1..100] step 0.5 decimals 3 ro 0 tracking 0"
                                     << "10 [10..20] step 0.25 decimals 1 ro 1 tracking 0";
    QTest::newRow("line edit with button")
        << Kind::LineEdit2 << "'abc' echo 2 ro 0 mask 'aaaa' validator '*' button 'Открыть' shown"
        << "'xyz' echo 2 ro 0 mask 'aaaa' validator '*' button 'Открыть' shown"
        << "'xyz' echo 0 ro 1 mask '' validator '*' button 'Открыть' shown";
    QTest::newRow("enumeration") << Kind::Enum << "2 of A|B*|C policy 3 min 1 elide 1"
                                 << "1 of A|B*|C policy 3 min 1 elide 1" << "0 of X|Y* policy 3 min 1 elide 1";
}

void TstEditorFactories::editorTakesTheManagersSettings()
{
    QFETCH(Kind, kind);
    QFETCH(QString, created);
    Rig rig = makeRig(kind);
    QWidget parent;
    SignalLog log{rig.manager.get()};
    QString atAnnouncement;
    connect(rig.manager.get(), &QtAbstractPropertyManager::editorCreated, this, [&] {
        const auto editors = parent.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        atAnnouncement = editors.isEmpty() ? QString() : describe(editors.last());
    });

    QWidget *editor = rig.editor(&parent);
    QVERIFY(editor);
    QCOMPARE(editor->parent(), &parent);
    QCOMPARE(describe(editor), created);
    // editorCreated comes first, before the editor is configured.
    QCOMPARE(log.entries(), QStringList{"editorCreated(P)"});
    QVERIFY(!atAnnouncement.isEmpty());
    QVERIFY(atAnnouncement != created);
}

void TstEditorFactories::managerChangesReachEveryEditor()
{
    QFETCH(Kind, kind);
    QFETCH(QString, changed);
    QFETCH(QString, reconfigured);

    for (const bool alreadyShown : {false, true}) {
        Rig rig = makeRig(kind);
        QWidget parent;
        QWidget *first = rig.editor(&parent);
        QWidget *second = rig.editor(&parent);
        if (alreadyShown) {
            rig.showChanged(first);
            rig.showChanged(second);
        }
        SignalLog editors{first, second};
        SignalLog log{rig.manager.get()};
        rig.changeValue(rig.p);
        QCOMPARE(describe(first), changed);
        QCOMPARE(describe(second), changed);
        QCOMPARE(editors.entries(), QStringList());
        QCOMPARE(valueUpdates(log.take()), 1);

        // A property without editors gets no valueUpdated.
        rig.changeValue(rig.q);
        QCOMPARE(valueUpdates(log.take()), 0);
        if (alreadyShown)
            continue;

        // The other settings; a value the manager moves with them is announced too.
        rig.changeSettings();
        QCOMPARE(describe(first), reconfigured);
        QCOMPARE(describe(second), reconfigured);
        QCOMPARE(editors.entries(), QStringList());
    }
}

void TstEditorFactories::detachingLeavesNoConnection()
{
    QFETCH(Kind, kind);
    QFETCH(QString, created);
    Rig rig = makeRig(kind);
    QWidget parent;
    QWidget *editor = rig.editor(&parent);
    rig.factory->breakConnection(rig.manager.get());

    SignalLog log{rig.manager.get()};
    rig.changeValue(rig.p);
    rig.changeSettings();
    if (auto *enumManager = qobject_cast<QtEnumPropertyManager *>(rig.manager.get()))
        enumManager->setValueNoUpdate(rig.p, 1);
    QCOMPARE(describe(editor), created);
    QCOMPARE(valueUpdates(log.take()), 0);
    // Nor does the editor write any more.
    rig.userEdit(editor);
    QCOMPARE(log.entries(), QStringList());
    QCOMPARE(rig.factory->createEditor(rig.p, &parent), nullptr);
}

void TstEditorFactories::userEditsReachTheManager()
{
    QFETCH(Kind, kind);
    QFETCH(QString, changed);
    Rig rig = makeRig(kind);
    QWidget parent;
    parent.show();
    QWidget *first = rig.editor(&parent);
    QWidget *second = rig.editor(&parent);
    SignalLog log{rig.manager.get()};
    rig.userEdit(first);
    QCOMPARE(countOf(log.entries(), QStringLiteral("valueChanged(P,")), 1);
    QCOMPARE(valueUpdates(log.entries()), 1);
    QCOMPARE(describe(first), changed);
    QCOMPARE(describe(second), changed);
}

void TstEditorFactories::commitByReturn_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("emitted");
    const QStringList none;
    QTest::newRow("spin box with button") << Kind::SpinBox2 << false
                                          << QStringList{"propertyChanged(P)", "valueChanged(P,7)", "valueUpdated(P,7)"};
    QTest::newRow("spin box with button, read-only") << Kind::SpinBox2 << true << none;
    QTest::newRow("double spin box") << Kind::DoubleSpinBox << false
                                     << QStringList{"propertyChanged(P)", "valueChanged(P,2.5)", "valueUpdated(P,2.5)"};
    QTest::newRow("double spin box, read-only") << Kind::DoubleSpinBox << true << none;
    QTest::newRow("line edit with button")
        << Kind::LineEdit2 << false << QStringList{"propertyChanged(P)", "valueChanged(P,abc)", "valueUpdated(P,abc)"};
    QTest::newRow("line edit with button, read-only") << Kind::LineEdit2 << true << none;
}

void TstEditorFactories::commitByReturn()
{
    QFETCH(Kind, kind);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, emitted);
    Rig rig = makeRig(kind);
    if (auto *m = qobject_cast<QtIntPropertyManager *>(rig.manager.get()))
        m->setReadOnly(rig.p, readOnly);
    else if (auto *m = qobject_cast<QtDoublePropertyManager *>(rig.manager.get()))
        m->setReadOnly(rig.p, readOnly);
    else
        qobject_cast<QtStringPropertyManager *>(rig.manager.get())->setReadOnly(rig.p, readOnly);
    QWidget parent;
    QWidget *editor = rig.editor(&parent);
    QWidget *field = editor;
    if (auto *e = qobject_cast<QtSpinBoxEditWidget2 *>(editor))
        field = e->spinBox();
    else if (auto *e = qobject_cast<QtLineEditWidget2 *>(editor))
        field = e->lineEdit();

    // Unchanged: an editable editor announces the value again.
    SignalLog log{rig.manager.get()};
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(sorted(log.take()), sorted(emitted));
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(log.take(), QStringList());
}

void TstEditorFactories::buttonsReachTheManager()
{
    for (const Kind kind : {Kind::SpinBox2, Kind::LineEdit2}) {
        Rig rig = makeRig(kind);
        QWidget parent;
        parent.show();
        QWidget *editor = rig.editor(&parent);
        SignalLog log{rig.manager.get()};
        QTest::mouseClick(editor->findChild<QToolButton *>(), Qt::LeftButton);
        QCOMPARE(log.entries(), QStringList{kind == Kind::SpinBox2 ? "scriptCalled(P)" : "btnClicked(P)"});
    }
}

void TstEditorFactories::lineEditCommitsTheSendingEditorOnly()
{
    QtStringPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, QStringLiteral("old"));
    SignalLog log{&manager};
    QtLineEditFactory2 factory;
    factory.addPropertyManager(&manager);
    QWidget parent;
    auto *earlier = qobject_cast<QtLineEditWidget2 *>(factory.createEditor(p, &parent));
    auto *later = qobject_cast<QtLineEditWidget2 *>(factory.createEditor(p, &parent));

    log.clear();
    later->lineEdit()->setText(QStringLiteral("new"));
    QTest::keyClick(later->lineEdit(), Qt::Key_Return);
    QCOMPARE(manager.value(p), QStringLiteral("new"));
    QCOMPARE(earlier->value(), QStringLiteral("new"));
    QCOMPARE(later->value(), QStringLiteral("new"));
    QCOMPARE(log.entries(), (QStringList{"propertyChanged(P)", "valueChanged(P,new)", "valueUpdated(P,new)"}));
}

void TstEditorFactories::regExpChangesReplaceTheValidator()
{
    QtStringPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QtLineEditFactory2 factory;
    factory.addPropertyManager(&manager);
    QWidget parent;
    auto *editor = qobject_cast<QtLineEditWidget2 *>(factory.createEditor(p, &parent));
    // The manager's default expression is valid.
    QPointer<const QValidator> first = editor->lineEdit()->validator();
    QVERIFY(first);

    manager.setRegExp(p, QRegExp(QStringLiteral("[")));
    QVERIFY(!first);
    QCOMPARE(editor->lineEdit()->validator(), nullptr);
    // An editor made now gets none either.
    QCOMPARE(qobject_cast<QtLineEditWidget2 *>(factory.createEditor(p, &parent))->lineEdit()->validator(), nullptr);

    manager.setRegExp(p, QRegExp(QStringLiteral("[0-9]*")));
    QPointer<const QValidator> second = editor->lineEdit()->validator();
    QVERIFY(second);
    QCOMPARE(qobject_cast<const QRegExpValidator *>(second.data())->regExp().pattern(), QStringLiteral("[0-9]*"));
    QCOMPARE(second->parent(), editor);

    manager.setRegExp(p, QRegExp(QStringLiteral("[a-z]*")));
    QVERIFY(!second);
    QVERIFY(editor->lineEdit()->validator());
}

void TstEditorFactories::enumNoUpdateChannelAndNewNames()
{
    QtEnumPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setEnumNames(p, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    QtEnumEditorFactory factory;
    factory.addPropertyManager(&manager);
    QWidget parent;
    auto *first = qobject_cast<QComboBox *>(factory.createEditor(p, &parent));
    auto *second = qobject_cast<QComboBox *>(factory.createEditor(p, &parent));

    SignalLog log{&manager};
    manager.setValueNoUpdate(p, 2);
    QCOMPARE(first->currentIndex(), 2);
    QCOMPARE(second->currentIndex(), 2);
    QCOMPARE(log.take(), (QStringList{"propertyChanged(P)", "valueChangedNoUpdate(P,2)"}));

    // New names rebuild every combo box on the manager's index, icons included.
    manager.setEnumIcons(p, {{0, someIcon()}});
    manager.setEnumNames(p, {QStringLiteral("X"), QStringLiteral("Y")});
    for (QComboBox *box : {first, second}) {
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(1), QStringLiteral("Y"));
        QCOMPARE(box->currentIndex(), manager.value(p));
        QVERIFY(!box->itemIcon(0).isNull());
        QVERIFY(box->itemIcon(1).isNull());
    }
}

QTEST_MAIN(TstEditorFactories)
#include "tst_editorfactories.moc"

// The double editor's commit tells the number the user typed or stepped to
// from the value it was showing, which it holds only at its decimals.
void TstEditorFactories::doubleCommitSaysWhetherItWasTouched_data()
{
    using Act = DoubleAct;
    QTest::addColumn<Act>("act");
    QTest::addColumn<bool>("untouched");
    QTest::addColumn<double>("announced");
    const auto type = [](QtDoubleSpinBox2 *e, const char *text) {
        e->selectAll();
        QTest::keyClicks(e, text);
    };
    QTest::newRow("as it opened") << Act([](QtDoubleSpinBox2 *, QtDoublePropertyManager *, QtProperty *) {})
                                  << true << 0.13; // the editor's rounding, which stands for 0.125
    QTest::newRow("typed, the shown number again")
        << Act([type](QtDoubleSpinBox2 *e, QtDoublePropertyManager *, QtProperty *) { type(e, "0.13"); }) << false
        << 0.13;
    QTest::newRow("stepped") << Act([](QtDoubleSpinBox2 *e, QtDoublePropertyManager *, QtProperty *) {
        QTest::keyClick(e, Qt::Key_Up);
    }) << false << 1.13;
    QTest::newRow("typed, then the value set by the program")
        << Act([type](QtDoubleSpinBox2 *e, QtDoublePropertyManager *m, QtProperty *p) {
               type(e, "7");
               m->setValue(p, 2.0);
           })
        << true << 2.0;
}

void TstEditorFactories::doubleCommitSaysWhetherItWasTouched()
{
    QFETCH(DoubleAct, act);
    QFETCH(bool, untouched);
    QFETCH(double, announced);
    QtDoublePropertyManager manager;
    QtDoubleSpinBoxFactory factory;
    factory.addPropertyManager(&manager);
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setDecimals(p, 2);
    manager.setValue(p, 0.125); // shown as 0.13
    QWidget parent;
    auto *editor = qobject_cast<QtDoubleSpinBox2 *>(factory.createEditor(p, &parent));
    QVERIFY(editor);
    act(editor, &manager, p);

    QList<QPair<bool, double>> seen;
    connect(&manager, &QtDoublePropertyManager::valueUpdated, this,
            [&](QtProperty *q, double v) { seen.append({factory.isUntouchedCommit(q), v}); });
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(seen, (QList<QPair<bool, double>>{{untouched, announced}}));
    QVERIFY(!factory.isUntouchedCommit(p)); // only while the commit is announced

    // A change that no editor commits is no untouched commit.
    seen.clear();
    manager.setValue(p, 5.0);
    QCOMPARE(seen, (QList<QPair<bool, double>>{{false, 5.0}}));
}

namespace {

// Whether each announcement was an untouched commit, and its value.
using Reports = QList<QPair<bool, double>>;

} // namespace

void TstEditorFactories::changeInsideAnUntouchedCommit_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<Reports>("seen");
    // The commit's own announcement is untouched, wherever it comes; the change a
    // handler makes inside it is not. A handler that runs before the factory
    // overtakes the commit: only the value the property holds is announced.
    QTest::newRow("valueChanged, before the factory's")
        << "first" << Reports{{false, 42.0}};
    QTest::newRow("valueChanged, after the factory's")
        << "last" << Reports{{true, 0.13}, {false, 42.0}};
    QTest::newRow("valueUpdated") << "updated" << Reports{{true, 0.13}, {false, 42.0}};
}

// Return in the untouched editor commits the shown value; a handler of the change
// sets the property to 42 at once.
void TstEditorFactories::changeInsideAnUntouchedCommit()
{
    QFETCH(QString, handler);
    QFETCH(Reports, seen);
    QtDoublePropertyManager manager;
    QtDoubleSpinBoxFactory factory;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, 0.125); // shown as 0.13
    bool set = false;
    const auto setTo42 = [&] {
        if (!std::exchange(set, true))
            manager.setValue(p, 42.0);
    };
    if (handler == QLatin1String("first"))
        connect(&manager, &QtDoublePropertyManager::valueChanged, this, setTo42);
    factory.addPropertyManager(&manager);
    Reports reported;
    connect(&manager, &QtDoublePropertyManager::valueUpdated, this,
            [&](QtProperty *q, double v) { reported.append({factory.isUntouchedCommit(q), v}); });
    if (handler == QLatin1String("last"))
        connect(&manager, &QtDoublePropertyManager::valueChanged, this, setTo42);
    else if (handler == QLatin1String("updated"))
        connect(&manager, &QtDoublePropertyManager::valueUpdated, this, setTo42);
    QWidget parent;
    QWidget *editor = factory.createEditor(p, &parent);
    QVERIFY(editor);

    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(reported, seen);
    QCOMPARE(manager.value(p), 42.0);
    QVERIFY(!factory.isUntouchedCommit(p));
}
