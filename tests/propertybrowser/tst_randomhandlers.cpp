#include "browserkinds.h"
#include "connectwarningguard.h"
#include "gridtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"
#include "propertybrowser/extended/qtvarianteditorfactory.h"
#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtgrouppropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPointer>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

// A seeded random page: a browser of each kind showing variant properties of the
// compound types, integers with spin boxes and groups, with handlers on every
// public signal of the browser and the managers. Each step either acts on the page
// (adds, removes, clears, deletes, sets values, moves the current item, opens an
// editor, types, moves the focus, expands, disables) or arms a one-shot handler
// that does so inside the next emission of a signal. After each step: every
// property the browser shows lives, the items mirror the property trees, each
// property is deleted once, text typed into a spin box is committed when the focus
// leaves it, and the rows on screen are the properties listed.
//
// A failing seed prints its steps. QUILL_RANDOM_TRACE=1 prints them as they run
// (for a crash); QUILL_RANDOM_SEEDS=a-b replaces the seeds; QUILL_RANDOM_STEPS=n
// the number of steps; QUILL_RANDOM_SKIP=i,j,... leaves steps out (each step draws
// from its own generator, so the others stay as they were).
class TstRandomHandlers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void randomPage_data();
    void randomPage();
};

namespace {

constexpr int defaultSteps = 80;
// Seeds that each reach a handler in the middle of a browser's or manager's own work.
const int defaultSeeds[] = {1, 2, 3, 4, 5, 6, 12, 17, 18, 126, 140, 156, 183, 198, 242, 273, 277, 571, 1351, 1472};

struct Driver;

// A manager that tells the driver of every property it makes and deletes.
template <class Manager>
class Counted : public Manager
{
public:
    ~Counted() override { this->clear(); }

    std::function<void(QtProperty *)> born;

protected:
    // Told as it is made: a handler of its name may delete it before it is initialised.
    QtProperty *createProperty() override
    {
        QtProperty *property = Manager::createProperty();
        if (property && born)
            born(property);
        return property;
    }
};

// Connects to every signal an object declares beyond `base` and passes each
// emission on, with the property it names (its first argument), if any.
class SignalHub : public QObject
{
public:
    using Sink = std::function<void(int signal, QtProperty *property)>;

    SignalHub(QObject *object, const QMetaObject &base, Sink sink) : m_sink(std::move(sink))
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = base.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal || method.access() != QMetaMethod::Public)
                continue;
            QMetaObject::connect(object, i, this, QObject::staticMetaObject.methodCount() + names.size(),
                                 Qt::DirectConnection);
            names << QString::fromLatin1(method.name());
            namesProperty << (method.parameterTypes().value(0) == "QtProperty*");
        }
    }

    QStringList names;

    int qt_metacall(QMetaObject::Call call, int id, void **args) override
    {
        id = QObject::qt_metacall(call, id, args);
        if (id >= 0 && call == QMetaObject::InvokeMetaMethod && id < names.size())
            m_sink(id, namesProperty.at(id) ? *static_cast<QtProperty **>(args[1]) : nullptr);
        return -1;
    }

private:
    QList<bool> namesProperty;
    Sink m_sink;
};

enum Act {
    AddTop, InsertTop, AddSub, InsertSub, RemoveTop, RemoveSub, ClearBrowser, ClearManager, DeleteProperty,
    ReAdd, SetValue, SetToolTip, SetCurrent, OpenEditor, Type, FocusAway, FocusClick, Expand, ClickExpand,
    Disable, ProcessEvents, Arm
};

using ActionFn = void (*)(Driver &, QRandomGenerator &);
struct ActionDef
{
    Act act;
    const char *name;
    int weight;
    bool inHandler; // may run inside a signal
    ActionFn run;
};

// A handler armed for the next emission of one signal of one hub.
struct Armed
{
    int hub;
    int signal;
    int action;
    quint32 seed;
    QString text;
};

// What the user typed into a spin box, to be committed when the focus leaves it.
struct Typed
{
    QPointer<QSpinBox> editor;
    int value = 0;
    bool committed = false;
};

const std::vector<ActionDef> &actions();

struct Driver
{
    Driver(int kind, bool trace) : kind(kind), trace(trace) {}

    // ---- the page ----
    void build()
    {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        if (kind == Tree)
            browser = new QtTreePropertyBrowser(window.get());
        else if (kind == Button)
            browser = new QtButtonPropertyBrowser(window.get());
        else
            browser = new QtGroupBoxPropertyBrowser(window.get());
        plain = new QLineEdit(window.get());
        layout->addWidget(browser);
        layout->addWidget(plain);
        window->resize(500, 700);

        variants = std::make_unique<Counted<QtVariantPropertyManager>>();
        ints = std::make_unique<Counted<QtIntPropertyManager>>();
        groups = std::make_unique<Counted<QtGroupPropertyManager>>();
        variantEditors = std::make_unique<QtVariantEditorFactory>();
        spinBoxes = std::make_unique<QtSpinBoxFactory>();
        watch(variants.get());
        watch(ints.get());
        watch(groups.get());
        // Connected before the browser's own connections.
        addHub(browser, QWidget::staticMetaObject, QStringLiteral("browser"));
        addHub(variants.get(), QObject::staticMetaObject, QStringLiteral("variants"));
        addHub(ints.get(), QObject::staticMetaObject, QStringLiteral("ints"));
        addHub(groups.get(), QObject::staticMetaObject, QStringLiteral("groups"));
        browser->setFactoryForManager(static_cast<QtVariantPropertyManager *>(variants.get()), variantEditors.get());
        browser->setFactoryForManager(static_cast<QtIntPropertyManager *>(ints.get()), spinBoxes.get());

        const int types[] = {QtVariantPropertyManager::groupTypeId(), QMetaType::QPoint, QMetaType::QFont,
                             QMetaType::Int, QMetaType::QRect, QMetaType::QSizePolicy, QMetaType::QColor};
        QtProperty *group = nullptr;
        for (const int type : types) {
            QtProperty *p = makeVariant(type);
            if (!group)
                group = p;
            else if (type == QMetaType::QPoint || type == QMetaType::Int)
                group->addSubProperty(p);
            else
                browser->addProperty(p);
        }
        browser->insertProperty(group, nullptr);
        QtProperty *i1 = makeInt();
        QtProperty *i2 = makeInt();
        i1->addSubProperty(i2);
        group->addSubProperty(makeInt());
        browser->addProperty(i1);
        QtProperty *g = makeGroup();
        g->addSubProperty(makeVariant(QMetaType::QSize));
        g->addSubProperty(makeVariant(QMetaType::QLocale));
        browser->addProperty(g);
        // Connected after the browser's.
        addHub(variants.get(), QObject::staticMetaObject, QStringLiteral("variants(late)"));
        addHub(ints.get(), QObject::staticMetaObject, QStringLiteral("ints(late)"));
        addHub(browser, QWidget::staticMetaObject, QStringLiteral("browser(late)"));
        live = true;
    }

    void tearDown()
    {
        live = false;
        armed.clear();
        delete browser;
        browser = nullptr;
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        variants.reset();
        ints.reset();
        groups.reset();
        spinBoxes.reset();
        variantEditors.reset();
    }

    template <class Manager>
    void watch(Counted<Manager> *manager)
    {
        manager->born = [this, manager](QtProperty *p) {
            const int id = ++lastId;
            idOf.insert(p, id);
            byId[id] = p;
            ownerOf.insert(p, manager);
            labels.insert(p, QStringLiteral("#%1").arg(id));
        };
        // First of all connections to the manager: from here on the driver does not
        // touch the property.
        QObject::connect(manager, &QtAbstractPropertyManager::propertyDestroyed, manager, [this](QtProperty *p) {
            const auto it = idOf.find(p);
            if (it == idOf.end()) {
                fail(QStringLiteral("%1 announced destroyed twice").arg(label(p)));
                return;
            }
            byId.erase(it.value());
            idOf.erase(it);
            ownerOf.remove(p);
        });
    }

    void addHub(QObject *object, const QMetaObject &base, const QString &name)
    {
        const int index = int(hubs.size());
        hubs.push_back(std::make_unique<SignalHub>(object, base, [this, index](int signal, QtProperty *p) {
            onSignal(index, signal, p);
        }));
        hubNames << name;
    }

    // ---- the mirror ----
    // Made, not destroyed, and not being destroyed: a property leaves its manager's
    // list as its destruction starts, before the signals it sends.
    bool alive(const QtProperty *p) const
    {
        auto *property = const_cast<QtProperty *>(p);
        return p && idOf.contains(property) && ownerOf.value(property)->properties().contains(property);
    }
    // "name#id" while the property lives; the last one seen after.
    QString label(const QtProperty *p)
    {
        if (!p)
            return QStringLiteral("null");
        if (alive(p))
            labels.insert(const_cast<QtProperty *>(p),
                          QStringLiteral("%1#%2").arg(p->propertyName()).arg(idOf.value(const_cast<QtProperty *>(p))));
        return labels.value(const_cast<QtProperty *>(p), QStringLiteral("?"));
    }
    // The living properties, oldest first: the same order in every run.
    QList<QtProperty *> living() const
    {
        QList<QtProperty *> out;
        for (const auto &entry : byId) {
            if (alive(entry.second))
                out << entry.second;
        }
        return out;
    }
    template <class T>
    static T pick(const QList<T> &list, QRandomGenerator &rng)
    {
        return list.isEmpty() ? T() : list.at(int(rng.bounded(quint32(list.size()))));
    }
    QList<QtBrowserItem *> allItems() const
    {
        QList<QtBrowserItem *> out = browser->topLevelItems();
        for (int i = 0; i < out.size(); ++i)
            out += out.at(i)->children();
        return out;
    }

    QtProperty *makeVariant(int type)
    {
        const QString name = QStringLiteral("v%1").arg(++made);
        say(QStringLiteral("make %1 (%2)").arg(name, QLatin1String(QMetaType::typeName(type))));
        QtVariantProperty *p = variants->addProperty(type, name);
        // A handler may have deleted it while it was made.
        if (!alive(p))
            return nullptr;
        if (type == QtVariantPropertyManager::enumTypeId())
            p->setAttribute(QStringLiteral("enumNames"), QStringList{"a", "b", "c"});
        return alive(p) ? p : nullptr;
    }
    QtProperty *makeInt()
    {
        say(QStringLiteral("make i%1").arg(made + 1));
        QtProperty *p = ints->addProperty(QStringLiteral("i%1").arg(++made));
        return alive(p) ? p : nullptr;
    }
    QtProperty *makeGroup()
    {
        say(QStringLiteral("make g%1").arg(made + 1));
        QtProperty *p = groups->addProperty(QStringLiteral("g%1").arg(++made));
        return alive(p) ? p : nullptr;
    }
    QtProperty *makeAny(QRandomGenerator &rng)
    {
        static const int types[] = {QMetaType::Int, QMetaType::Double, QMetaType::QString, QMetaType::Bool,
                                    QMetaType::QPoint, QMetaType::QSize, QMetaType::QRect, QMetaType::QFont,
                                    QMetaType::QColor, QMetaType::QLocale, QMetaType::QSizePolicy};
        const int roll = int(rng.bounded(20));
        if (roll < 5)
            return makeInt();
        if (roll < 7)
            return makeGroup();
        if (roll < 8)
            return makeVariant(QtVariantPropertyManager::enumTypeId());
        if (roll < 9)
            return makeVariant(QtVariantPropertyManager::groupTypeId());
        return makeVariant(types[rng.bounded(quint32(std::size(types)))]);
    }
    // Mostly one the browser shows, else any living one.
    QtProperty *shownOrAny(QRandomGenerator &rng)
    {
        if (rng.bounded(3) > 0) {
            QtBrowserItem *item = pick(allItems(), rng);
            if (item)
                return item->property();
        }
        return pick(living(), rng);
    }
    QtProperty *newOrExisting(QRandomGenerator &rng)
    {
        return rng.bounded(10) < 7 ? makeAny(rng) : pick(living(), rng);
    }

    // ---- the log ----
    void say(const QString &line)
    {
        const QString indented = QString(depth * 2, QLatin1Char(' ')) + line;
        log << indented;
        if (trace) {
            std::fprintf(stderr, "%s\n", qPrintable(indented));
            std::fflush(stderr);
        }
    }
    void fail(const QString &what)
    {
        say(QStringLiteral("!! ") + what);
        if (failure.isEmpty())
            failure = what;
    }

    // ---- handlers ----
    void onSignal(int hub, int signal, QtProperty *property)
    {
        if (!live)
            return;
        const SignalHub &source = *hubs.at(size_t(hub));
        if (typed.editor && !typed.committed && source.names.at(signal) == QLatin1String("valueChanged")
            && alive(property)) {
            if (ints->properties().contains(property) && ints->value(property) == typed.value)
                typed.committed = true;
            else if (variants->valueType(property) == QMetaType::Int
                     && variants->value(property).toInt() == typed.value)
                typed.committed = true;
        }
        if (depth >= 3)
            return;
        for (int i = 0; i < armed.size(); ++i) {
            if (armed.at(i).hub != hub || armed.at(i).signal != signal)
                continue;
            const Armed handler = armed.takeAt(i);
            say(QStringLiteral("in %1 %2(%3): %4")
                    .arg(hubNames.at(hub), source.names.at(signal), label(property), handler.text));
            QRandomGenerator rng(handler.seed);
            ++depth;
            actions().at(size_t(handler.action)).run(*this, rng);
            --depth;
            return;
        }
    }

    // ---- the checks ----
    // The names of the item tree, "a(b,c),d", reading only living properties.
    QString itemTree(const QList<QtBrowserItem *> &items)
    {
        QStringList parts;
        for (QtBrowserItem *item : items) {
            if (!alive(item->property())) {
                fail(QStringLiteral("an item shows a deleted property"));
                return QString();
            }
            QString part = label(item->property());
            if (!item->children().isEmpty())
                part += QLatin1Char('(') + itemTree(item->children()) + QLatin1Char(')');
            parts << part;
        }
        return parts.join(QLatin1Char(','));
    }
    QString propertyTree(const QList<QtProperty *> &properties, int level = 0)
    {
        QStringList parts;
        for (QtProperty *p : properties) {
            if (!alive(p)) {
                fail(QStringLiteral("a sub-property list holds a deleted property"));
                return QString();
            }
            QString part = label(p);
            if (!p->subProperties().isEmpty() && level < 20)
                part += QLatin1Char('(') + propertyTree(p->subProperties(), level + 1) + QLatin1Char(')');
            parts << part;
        }
        return parts.join(QLatin1Char(','));
    }
    static QString treeRows(const QTreeWidgetItem *row)
    {
        QStringList parts;
        for (int i = 0; i < row->childCount(); ++i) {
            QString part = row->child(i)->text(0);
            if (row->child(i)->childCount() > 0)
                part += QLatin1Char('(') + treeRows(row->child(i)) + QLatin1Char(')');
            parts << part;
        }
        return parts.join(QLatin1Char(','));
    }
    // The property names shown, top-level rows only for the grids.
    QStringList shownNames() const { return gridRowNames(browser->layout()); }
    QString namesTree(const QList<QtBrowserItem *> &items) const
    {
        QStringList parts;
        for (QtBrowserItem *item : items) {
            QString part = item->property()->propertyName();
            if (!item->children().isEmpty())
                part += QLatin1Char('(') + namesTree(item->children()) + QLatin1Char(')');
            parts << part;
        }
        return parts.join(QLatin1Char(','));
    }

    void check(bool rows)
    {
        for (const auto &[name, manager] :
             {std::pair<const char *, QtAbstractPropertyManager *>{"variants", variants.get()},
              {"ints", ints.get()},
              {"groups", groups.get()}}) {
            QSet<QtProperty *> mine;
            for (auto it = ownerOf.cbegin(); it != ownerOf.cend(); ++it) {
                if (it.value() == manager)
                    mine.insert(it.key());
            }
            if (manager->properties() != mine)
                fail(QStringLiteral("the %1 manager lists %2 properties, %3 live").arg(QLatin1String(name))
                         .arg(manager->properties().size()).arg(mine.size()));
        }
        const QList<QtProperty *> listed = browser->properties();
        for (QtProperty *p : listed) {
            if (!alive(p)) {
                fail(QStringLiteral("the browser lists a deleted property"));
                return;
            }
        }
        const QString items = itemTree(browser->topLevelItems());
        if (!failure.isEmpty())
            return;
        const QString properties = propertyTree(listed);
        if (items != properties)
            fail(QStringLiteral("items %1, properties %2").arg(items, properties));
        if (!rows || !failure.isEmpty())
            return;
        if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(browser)) {
            const QString shown = treeRows(tree->findChild<QTreeWidget *>()->invisibleRootItem());
            const QString names = namesTree(browser->topLevelItems());
            if (shown != names)
                fail(QStringLiteral("rows %1, items %2").arg(shown, names));
        } else {
            // A grid's row is read up to the first space of its name.
            QStringList names;
            for (const QString &name : propertyNames(listed))
                names << name.section(QLatin1Char(' '), 0, 0);
            if (shownNames() != names)
                fail(QStringLiteral("rows %1, properties %2")
                         .arg(shownNames().join(QLatin1Char(',')), names.join(QLatin1Char(','))));
        }
    }

    // A spin box that had the focus with typed text in it, and has lost it, has
    // committed the text unless its property went meanwhile.
    void checkTypedCommitted(bool editorHadFocus)
    {
        if (!typed.editor || !editorHadFocus || typed.editor->hasFocus())
            return;
        // A value set meanwhile replaced what was typed: nothing is left to commit.
        if (typed.editor->cleanText() != QString::number(typed.value)) {
            typed = Typed();
            return;
        }
        if (!typed.committed && typed.editor->isVisible())
            fail(QStringLiteral("typed %1 not committed as the focus left").arg(typed.value));
        typed = Typed();
    }

    int kind;
    bool trace;
    bool live = false;
    int depth = 0;
    int made = 0;
    int lastId = 0;
    QStringList log;
    QString failure;
    std::unique_ptr<QWidget> window;
    QtAbstractPropertyBrowser *browser = nullptr;
    QLineEdit *plain = nullptr;
    std::unique_ptr<Counted<QtVariantPropertyManager>> variants;
    std::unique_ptr<Counted<QtIntPropertyManager>> ints;
    std::unique_ptr<Counted<QtGroupPropertyManager>> groups;
    std::unique_ptr<QtVariantEditorFactory> variantEditors;
    std::unique_ptr<QtSpinBoxFactory> spinBoxes;
    std::vector<std::unique_ptr<SignalHub>> hubs;
    QStringList hubNames;
    QList<Armed> armed;
    QHash<QtProperty *, int> idOf;
    std::map<int, QtProperty *> byId;
    QHash<QtProperty *, QtAbstractPropertyManager *> ownerOf;
    QHash<QtProperty *, QString> labels;
    // The last property taken from the browser or from a parent, and that parent.
    int removedId = 0;
    int removedFromId = 0;
    Typed typed;
};

// ---- the actions ----

void addTop(Driver &d, QRandomGenerator &rng)
{
    const bool fresh = rng.bounded(10) < 7;
    QtProperty *p = fresh ? d.makeAny(rng) : d.pick(d.living(), rng);
    if (!d.alive(p))
        return d.say(QStringLiteral("addTop: nothing"));
    d.say(QStringLiteral("addTop %1").arg(d.label(p)));
    d.browser->addProperty(p);
}

void insertTop(Driver &d, QRandomGenerator &rng)
{
    QtProperty *p = d.newOrExisting(rng);
    QtProperty *after = rng.bounded(4) == 0 ? nullptr : d.pick(d.browser->properties(), rng);
    if (!d.alive(p) || (after && !d.alive(after)))
        return d.say(QStringLiteral("insertTop: nothing"));
    d.say(QStringLiteral("insertTop %1 after %2").arg(d.label(p), d.label(after)));
    d.browser->insertProperty(p, after);
}

void addSub(Driver &d, QRandomGenerator &rng)
{
    QtProperty *parent = d.shownOrAny(rng);
    QtProperty *child = d.newOrExisting(rng);
    if (!d.alive(parent) || !d.alive(child))
        return d.say(QStringLiteral("addSub: nothing"));
    d.say(QStringLiteral("addSub %1 to %2").arg(d.label(child), d.label(parent)));
    parent->addSubProperty(child);
}

void insertSub(Driver &d, QRandomGenerator &rng)
{
    QtProperty *parent = d.shownOrAny(rng);
    QtProperty *child = d.newOrExisting(rng);
    if (!d.alive(parent) || !d.alive(child))
        return d.say(QStringLiteral("insertSub: nothing"));
    QtProperty *after = rng.bounded(3) == 0 ? nullptr : d.pick(parent->subProperties(), rng);
    d.say(QStringLiteral("insertSub %1 to %2 after %3").arg(d.label(child), d.label(parent), d.label(after)));
    parent->insertSubProperty(child, after);
}

void removeTop(Driver &d, QRandomGenerator &rng)
{
    QtProperty *p = d.pick(d.browser->properties(), rng);
    if (!d.alive(p))
        return d.say(QStringLiteral("removeTop: nothing"));
    d.say(QStringLiteral("removeTop %1").arg(d.label(p)));
    d.removedId = d.idOf.value(p);
    d.removedFromId = 0;
    d.browser->removeProperty(p);
}

void removeSub(Driver &d, QRandomGenerator &rng)
{
    QList<QtProperty *> parents;
    for (QtProperty *p : d.living()) {
        if (!p->subProperties().isEmpty())
            parents << p;
    }
    QtProperty *parent = d.pick(parents, rng);
    QtProperty *child = parent ? d.pick(parent->subProperties(), rng) : nullptr;
    if (!d.alive(parent) || !d.alive(child))
        return d.say(QStringLiteral("removeSub: nothing"));
    d.say(QStringLiteral("removeSub %1 from %2").arg(d.label(child), d.label(parent)));
    d.removedId = d.idOf.value(child);
    d.removedFromId = d.idOf.value(parent);
    parent->removeSubProperty(child);
}

void clearBrowser(Driver &d, QRandomGenerator &)
{
    d.say(QStringLiteral("clearBrowser"));
    d.browser->clear();
}

void clearManager(Driver &d, QRandomGenerator &rng)
{
    switch (rng.bounded(3)) {
    case 0:
        d.say(QStringLiteral("clear variants"));
        d.variants->clear();
        break;
    case 1:
        d.say(QStringLiteral("clear ints"));
        d.ints->clear();
        break;
    default:
        d.say(QStringLiteral("clear groups"));
        d.groups->clear();
    }
}

void deleteProperty(Driver &d, QRandomGenerator &rng)
{
    // Mostly one the browser shows, or a part of it.
    QtProperty *p = d.shownOrAny(rng);
    if (!d.alive(p))
        return d.say(QStringLiteral("delete: nothing"));
    d.say(QStringLiteral("delete %1").arg(d.label(p)));
    delete p;
}

void reAdd(Driver &d, QRandomGenerator &)
{
    const auto p = d.byId.find(d.removedId);
    if (p == d.byId.end() || !d.alive(p->second))
        return d.say(QStringLiteral("reAdd: nothing"));
    const auto parent = d.byId.find(d.removedFromId);
    if (parent != d.byId.end() && d.alive(parent->second)) {
        d.say(QStringLiteral("reAdd %1 to %2").arg(d.label(p->second), d.label(parent->second)));
        parent->second->addSubProperty(p->second);
    } else {
        d.say(QStringLiteral("reAdd %1 top").arg(d.label(p->second)));
        d.browser->addProperty(p->second);
    }
}

QVariant randomValue(int type, QRandomGenerator &rng)
{
    const int n = int(rng.bounded(100));
    switch (type) {
    case QMetaType::Int:
        return n;
    case QMetaType::Double:
        return n / 4.0;
    case QMetaType::Bool:
        return n % 2 == 0;
    case QMetaType::QString:
        return QStringLiteral("s%1").arg(n);
    case QMetaType::QPoint:
        return QPoint(n, n / 2);
    case QMetaType::QSize:
        return QSize(n, n + 1);
    case QMetaType::QRect:
        return QRect(n, 1, n + 2, 3);
    case QMetaType::QFont:
        return QFont(QStringLiteral("DejaVu Sans"), 6 + n % 10, -1, n % 2 == 0);
    case QMetaType::QColor:
        return QColor(n, 255 - n, 2 * n);
    case QMetaType::QLocale:
        return n % 2 ? QLocale(QLocale::German, QLocale::Austria) : QLocale(QLocale::Russian, QLocale::Russia);
    case QMetaType::QSizePolicy:
        return QSizePolicy(n % 2 ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Preferred);
    default:
        return n % 3; // an enumeration
    }
}

void setValue(Driver &d, QRandomGenerator &rng)
{
    QtProperty *p = d.shownOrAny(rng);
    if (!d.alive(p))
        return d.say(QStringLiteral("setValue: nothing"));
    if (d.ints->properties().contains(p)) {
        const int value = int(rng.bounded(100));
        d.say(QStringLiteral("setValue %1 = %2").arg(d.label(p)).arg(value));
        d.ints->setValue(p, value);
    } else if (d.variants->properties().contains(p)) {
        const QVariant value = randomValue(d.variants->propertyType(p), rng);
        d.say(QStringLiteral("setValue %1 = %2").arg(d.label(p), value.toString()));
        d.variants->setValue(p, value);
    } else {
        d.say(QStringLiteral("setValue %1: a group").arg(d.label(p)));
    }
}

void setToolTip(Driver &d, QRandomGenerator &rng)
{
    QtProperty *p = d.pick(d.living(), rng);
    if (!d.alive(p))
        return d.say(QStringLiteral("setToolTip: nothing"));
    d.say(QStringLiteral("setToolTip %1").arg(d.label(p)));
    p->setToolTip(QStringLiteral("tip %1").arg(rng.bounded(100)));
}

void setCurrent(Driver &d, QRandomGenerator &rng)
{
    QtBrowserItem *item = rng.bounded(5) == 0 ? nullptr : d.pick(d.allItems(), rng);
    d.say(QStringLiteral("setCurrent %1").arg(item ? d.label(item->property()) : QStringLiteral("null")));
    d.browser->setCurrentItem(item);
}

// Widgets of the grids' rows that take the focus: the editors and their parts,
// not the expand buttons nor the editors' dialog buttons.
QList<QWidget *> focusableEditors(Driver &d)
{
    QList<QWidget *> out;
    for (QWidget *w : d.browser->findChildren<QWidget *>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisible() || qobject_cast<QToolButton *>(w) || w->focusProxy())
            continue;
        out << w;
    }
    return out;
}

void openEditor(Driver &d, QRandomGenerator &rng)
{
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(d.browser)) {
        QtBrowserItem *item = d.pick(d.allItems(), rng);
        if (!item)
            return d.say(QStringLiteral("openEditor: nothing"));
        d.say(QStringLiteral("openEditor %1").arg(d.label(item->property())));
        tree->editItem(item);
        return;
    }
    QWidget *editor = d.pick(focusableEditors(d), rng);
    if (!editor)
        return d.say(QStringLiteral("openEditor: nothing"));
    d.say(QStringLiteral("focus editor %1 '%2'").arg(QLatin1String(editor->metaObject()->className()),
                                                      editor->property("text").toString()));
    editor->setFocus();
}

void type(Driver &d, QRandomGenerator &rng)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus->window() != d.window.get())
        return d.say(QStringLiteral("type: no focus"));
    auto *spin = qobject_cast<QSpinBox *>(focus);
    if (!spin && focus->parentWidget())
        spin = qobject_cast<QSpinBox *>(focus->parentWidget());
    int value = int(rng.bounded(1, 100));
    if (spin) {
        if (value == spin->value())
            value = value == 99 ? 1 : value + 1;
        value = qBound(spin->minimum(), value, spin->maximum());
    }
    d.say(QStringLiteral("type %1 into %2").arg(value).arg(QLatin1String(focus->metaObject()->className())));
    if (spin) {
        spin->selectAll();
        d.typed = Typed{spin, value, false};
    }
    QTest::keyClicks(focus, QString::number(value));
}

void focusAway(Driver &d, QRandomGenerator &)
{
    d.say(QStringLiteral("focus away (setFocus)"));
    const bool had = d.typed.editor && d.typed.editor->hasFocus();
    d.plain->setFocus();
    if (d.depth == 0)
        d.checkTypedCommitted(had);
}

void focusClick(Driver &d, QRandomGenerator &)
{
    d.say(QStringLiteral("focus away (click)"));
    const bool had = d.typed.editor && d.typed.editor->hasFocus();
    QTest::mouseClick(d.plain, Qt::LeftButton);
    if (d.depth == 0)
        d.checkTypedCommitted(had);
}

void expand(Driver &d, QRandomGenerator &rng)
{
    QtBrowserItem *item = d.pick(d.allItems(), rng);
    const bool open = rng.bounded(3) > 0;
    if (!item)
        return d.say(QStringLiteral("expand: nothing"));
    d.say(QStringLiteral("%1 %2").arg(open ? "expand" : "collapse", d.label(item->property())));
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(d.browser))
        tree->setExpanded(item, open);
    else if (auto *buttons = qobject_cast<QtButtonPropertyBrowser *>(d.browser))
        buttons->setExpanded(item, open);
}

void clickExpand(Driver &d, QRandomGenerator &rng)
{
    QList<QToolButton *> buttons;
    for (QToolButton *b : d.browser->findChildren<QToolButton *>()) {
        if (b->isCheckable() && b->arrowType() != Qt::NoArrow && b->isVisible())
            buttons << b;
    }
    QToolButton *button = d.pick(buttons, rng);
    if (!button)
        return d.say(QStringLiteral("click expand: nothing"));
    d.say(QStringLiteral("click expand %1").arg(button->text()));
    QTest::mouseClick(button, Qt::LeftButton);
}

void disable(Driver &d, QRandomGenerator &rng)
{
    QtBrowserItem *item = d.pick(d.allItems(), rng);
    const bool enable = rng.bounded(4) == 0;
    if (!item)
        return d.say(QStringLiteral("disable: nothing"));
    QtProperty *p = item->property();
    d.say(QStringLiteral("%1 %2").arg(enable ? "enable" : "disable", d.label(p)));
    p->setEnabled(enable);
}

void processEvents(Driver &d, QRandomGenerator &)
{
    d.say(QStringLiteral("process events"));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void arm(Driver &d, QRandomGenerator &rng)
{
    // Mostly a signal that a page's handlers listen to, now and then any.
    static const QStringList usual{"propertyInserted", "propertyChanged", "propertyRemoved",
                                   "propertyDestroyed", "valueChanged", "currentItemChanged",
                                   "expanded", "collapsed", "editorCreated"};
    QList<QPair<int, int>> sources;
    const bool any = rng.bounded(5) == 0;
    for (int hub = 0; hub < int(d.hubs.size()); ++hub) {
        const QStringList &names = d.hubs.at(size_t(hub))->names;
        for (int signal = 0; signal < names.size(); ++signal) {
            if (any || usual.contains(names.at(signal)))
                sources << qMakePair(hub, signal);
        }
    }
    const auto [hub, signal] = d.pick(sources, rng);
    if (d.armed.size() >= 3)
        d.armed.removeFirst();
    int total = 0;
    for (size_t i = 0; i < actions().size(); ++i) {
        if (actions().at(i).inHandler)
            total += actions().at(i).weight;
    }
    int roll = int(rng.bounded(quint32(total)));
    int action = 0;
    for (size_t i = 0; i < actions().size(); ++i) {
        if (!actions().at(i).inHandler)
            continue;
        roll -= actions().at(i).weight;
        if (roll < 0) {
            action = int(i);
            break;
        }
    }
    const Armed handler{hub, signal, action, rng.generate(), QLatin1String(actions().at(size_t(action)).name)};
    d.say(QStringLiteral("arm %1 %2 -> %3")
              .arg(d.hubNames.at(hub), d.hubs.at(size_t(hub))->names.at(signal), handler.text));
    d.armed << handler;
}

const std::vector<ActionDef> &actions()
{
    static const std::vector<ActionDef> table{
        {AddTop, "addTop", 6, true, addTop},
        {InsertTop, "insertTop", 3, true, insertTop},
        {AddSub, "addSub", 5, true, addSub},
        {InsertSub, "insertSub", 2, true, insertSub},
        {RemoveTop, "removeTop", 3, true, removeTop},
        {RemoveSub, "removeSub", 3, true, removeSub},
        {ClearBrowser, "clearBrowser", 1, true, clearBrowser},
        {ClearManager, "clearManager", 1, true, clearManager},
        {DeleteProperty, "delete", 4, true, deleteProperty},
        {ReAdd, "reAdd", 2, true, reAdd},
        {SetValue, "setValue", 5, true, setValue},
        {SetToolTip, "setToolTip", 1, true, setToolTip},
        {SetCurrent, "setCurrent", 3, true, setCurrent},
        {OpenEditor, "openEditor", 6, true, openEditor},
        {Type, "type", 5, true, type},
        {FocusAway, "focusAway", 3, true, focusAway},
        {FocusClick, "focusClick", 2, true, focusClick},
        {Expand, "expand", 3, true, expand},
        {ClickExpand, "clickExpand", 2, true, clickExpand},
        {Disable, "disable", 2, true, disable},
        {ProcessEvents, "processEvents", 4, false, processEvents},
        {Arm, "arm", 12, false, arm},
    };
    return table;
}

int pickAction(QRandomGenerator &rng)
{
    int total = 0;
    for (const ActionDef &a : actions())
        total += a.weight;
    int roll = int(rng.bounded(quint32(total)));
    for (size_t i = 0; i < actions().size(); ++i) {
        roll -= actions().at(i).weight;
        if (roll < 0)
            return int(i);
    }
    return 0;
}

QList<int> intsFrom(const QByteArray &text)
{
    QList<int> out;
    for (const QByteArray &part : text.split(',')) {
        if (part.contains('-')) {
            const int first = part.split('-').value(0).toInt();
            const int last = part.split('-').value(1).toInt();
            for (int i = first; i <= last; ++i)
                out << i;
        } else if (!part.isEmpty()) {
            out << part.toInt();
        }
    }
    return out;
}

} // namespace

void TstRandomHandlers::randomPage_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("kind");
    QList<int> seeds = intsFrom(qgetenv("QUILL_RANDOM_SEEDS"));
    if (seeds.isEmpty())
        seeds = QList<int>(std::begin(defaultSeeds), std::end(defaultSeeds));
    for (const int seed : qAsConst(seeds)) {
        for (const int kind : {Tree, Button, GroupBox})
            QTest::addRow("seed %d, %s", seed, kindName(kind)) << seed << kind;
    }
}

void TstRandomHandlers::randomPage()
{
    QFETCH(int, seed);
    QFETCH(int, kind);
    const int steps = qEnvironmentVariableIsSet("QUILL_RANDOM_STEPS") ? qEnvironmentVariableIntValue("QUILL_RANDOM_STEPS")
                                                                      : defaultSteps;
    const QList<int> skipped = intsFrom(qgetenv("QUILL_RANDOM_SKIP"));
    Driver d(kind, qEnvironmentVariableIntValue("QUILL_RANDOM_TRACE") == 1);
    d.say(QStringLiteral("seed %1, %2 browser").arg(seed).arg(QLatin1String(kindName(kind))));
    d.build();
    d.window->show();
    QVERIFY(QTest::qWaitForWindowActive(d.window.get()));
    d.check(true);

    for (int step = 0; step < steps && d.failure.isEmpty(); ++step) {
        if (skipped.contains(step))
            continue;
        QRandomGenerator rng(quint32(seed) * 7919u + quint32(step));
        const int action = pickAction(rng);
        d.log << QStringLiteral("#%1").arg(step);
        if (d.trace)
            std::fprintf(stderr, "#%d\n", step);
        actions().at(size_t(action)).run(d, rng);
        d.check(actions().at(size_t(action)).act == ProcessEvents);
    }
    if (d.failure.isEmpty()) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        d.say(QStringLiteral("end"));
        d.check(true);
    }
    d.tearDown();
    if (!d.failure.isEmpty()) {
        qWarning().noquote() << "steps of seed" << seed << kindName(kind) << ":\n" << d.log.join(QLatin1Char('\n'));
        QFAIL(qPrintable(d.failure));
    }
}

QTEST_MAIN(TstRandomHandlers)
#include "tst_randomhandlers.moc"
