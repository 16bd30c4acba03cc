#include "propertybrowser/extended/qtfontpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/extended/qtvaluepictures.h"
#include "propertybrowser/qtvaluetexts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScopedValueRollback>
#include <QTimer>

namespace {

enum FontComponent { Family, PointSize, Bold, Italic, Underline, Strikeout, Kerning, FontComponentCount };

QStringList platformFamilies()
{
    // One database serves every manager, from first use to the end of the program.
    static QFontDatabase database;
    return database.families();
}

QtFontPropertyManager::FamilySource familySource = platformFamilies;

// The font's family in the list; the first family when it is not there.
int familyIndex(const QStringList &families, const QFont &font)
{
    return qMax(families.indexOf(font.family()), 0);
}

bool fontSwitch(const QFont &font, int component)
{
    switch (component) {
    case Bold:
        return font.weight() > QFont::Medium;
    case Italic:
        return font.style() != QFont::StyleNormal;
    case Underline:
        return font.underline();
    case Strikeout:
        return font.strikeOut();
    default:
        return font.kerning();
    }
}

void setFontSwitch(QFont &font, int component, bool on)
{
    switch (component) {
    case Bold:
        font.setWeight(on ? QFont::Bold : QFont::Normal);
        break;
    case Italic:
        font.setItalic(on);
        break;
    case Underline:
        font.setUnderline(on);
        break;
    case Strikeout:
        font.setStrikeOut(on);
        break;
    default:
        font.setKerning(on);
    }
}

} // namespace

class QtFontPropertyManagerPrivate
{
public:
    explicit QtFontPropertyManagerPrivate(QtFontPropertyManager *manager) : q_ptr(manager) {}

    // The parent of a sub-property of one of the `kinds`, and which kind it is; null
    // while the manager writes the children itself.
    QtProperty *editedParent(const QtProperty *sub, std::initializer_list<int> kinds, int &component)
    {
        if (settingValue)
            return nullptr;
        const auto found = links.find(sub);
        for (const int kind : kinds) {
            if (found.parent && found.component == kind) {
                component = kind;
                return found.parent;
            }
        }
        return nullptr;
    }

    void pushValue(QtProperty *property, const QFont &font)
    {
        const QScopedValueRollback<bool> writing(settingValue, true);
        enumManager->setValue(links.subProperty(Family, property), familyIndex(familyNames, font));
        intManager->setValue(links.subProperty(PointSize, property), font.pointSize(), true);
        for (int c = Bold; c < FontComponentCount; ++c)
            boolManager->setValue(links.subProperty(c, property), fontSwitch(font, c));
    }

    QtFontPropertyManager *q_ptr;
    QStringList familyNames;
    QtPropertyRecords<QtValueRecord<QFont>> values;
    QtIntPropertyManager *intManager = nullptr;
    QtEnumPropertyManager *enumManager = nullptr;
    QtBoolPropertyManager *boolManager = nullptr;
    QtComponentLinks<FontComponentCount> links;
    bool settingValue = false;
    QTimer *refreshTimer = nullptr;
};

QtFontPropertyManager::QtFontPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtFontPropertyManagerPrivate>(this))
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(QCoreApplication::instance(), SIGNAL(fontDatabaseChanged()), this,
                SLOT(slotFontDatabaseChanged()));

    d_ptr->intManager = new QtIntPropertyManager(this);
    connect(d_ptr->intManager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    d_ptr->enumManager = new QtEnumPropertyManager(this);
    connect(d_ptr->enumManager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotEnumChanged(QtProperty *, int)));
    d_ptr->boolManager = new QtBoolPropertyManager(this);
    connect(d_ptr->boolManager, SIGNAL(valueChanged(QtProperty *, bool)), this,
            SLOT(slotBoolChanged(QtProperty *, bool)));

    connect(d_ptr->intManager, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
    connect(d_ptr->enumManager, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
    connect(d_ptr->boolManager, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtFontPropertyManager::~QtFontPropertyManager()
{
    clear();
}

void QtFontPropertyManager::setFamilySource(FamilySource source)
{
    familySource = source ? source : platformFamilies;
}

QFont QtFontPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtValueRecord<QFont>::value);
}

QtIntPropertyManager *QtFontPropertyManager::subIntPropertyManager() const
{
    return d_ptr->intManager;
}

QtEnumPropertyManager *QtFontPropertyManager::subEnumPropertyManager() const
{
    return d_ptr->enumManager;
}

QtBoolPropertyManager *QtFontPropertyManager::subBoolPropertyManager() const
{
    return d_ptr->boolManager;
}

QIcon QtFontPropertyManager::valueIcon(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    return record ? fontValueIcon(record->value) : QIcon();
}

QString QtFontPropertyManager::valueText(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    return record ? fontValueText(record->value) : QString();
}

void QtFontPropertyManager::setValue(QtProperty *property, const QFont &val)
{
    auto *record = d_ptr->values.find(property);
    if (!record || (record->value == val && record->value.resolve() == val.resolve()))
        return;
    storeAndAnnounce(this, property, record->value, val,
                     [this, property](const QFont &font) { d_ptr->pushValue(property, font); });
}

void QtFontPropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    int component = -1;
    if (QtProperty *parent = d_ptr->editedParent(sub, {PointSize}, component)) {
        QFont font = value(parent);
        font.setPointSize(val);
        setValue(parent, font);
    }
}

void QtFontPropertyManager::slotEnumChanged(QtProperty *sub, int val)
{
    int component = -1;
    QtProperty *parent = d_ptr->editedParent(sub, {Family}, component);
    // The enumeration reports -1 when the list is empty.
    if (!parent || val < 0 || val >= d_ptr->familyNames.size())
        return;
    QFont font = value(parent);
    font.setFamily(d_ptr->familyNames.at(val));
    setValue(parent, font);
}

void QtFontPropertyManager::slotBoolChanged(QtProperty *sub, bool val)
{
    int component = -1;
    if (QtProperty *parent = d_ptr->editedParent(sub, {Bold, Italic, Underline, Strikeout, Kerning}, component)) {
        QFont font = value(parent);
        setFontSwitch(font, component, val);
        setValue(parent, font);
    }
}

void QtFontPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtFontPropertyManager::slotFontDatabaseChanged()
{
    if (!d_ptr->refreshTimer) {
        d_ptr->refreshTimer = new QTimer(this);
        d_ptr->refreshTimer->setInterval(0);
        d_ptr->refreshTimer->setSingleShot(true);
        connect(d_ptr->refreshTimer, SIGNAL(timeout()), this, SLOT(slotFontDatabaseDelayedChange()));
    }
    if (!d_ptr->refreshTimer->isActive())
        d_ptr->refreshTimer->start();
}

void QtFontPropertyManager::slotFontDatabaseDelayedChange()
{
    const QStringList oldNames = d_ptr->familyNames;
    d_ptr->familyNames = familySource();
    const QMap<const QtProperty *, QtProperty *> families = d_ptr->links[Family].subProperties();
    for (auto it = families.cbegin(); it != families.cend(); ++it) {
        QtProperty *sub = it.value();
        // Skips a child destroyed on the way, by others or by a receiver of the signals below.
        if (!sub || d_ptr->links.subProperty(Family, it.key()) != sub)
            continue;
        const int oldIndex = d_ptr->enumManager->value(sub);
        const QString family = oldIndex >= 0 && oldIndex < oldNames.size() ? oldNames.at(oldIndex)
                                                                            : value(it.key()).family();
        const int newIndex = qMax(d_ptr->familyNames.indexOf(family), 0);
        d_ptr->enumManager->setEnumNames(sub, d_ptr->familyNames);
        d_ptr->enumManager->setValue(sub, newIndex);
    }
}

void QtFontPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    const QFont font;
    QtFontPropertyManagerPrivate *d = d_ptr.get();
    addComponent(property, d->enumManager, d->links[Family], tr("Family"), [d, &font](QtProperty *sub) {
        if (d->familyNames.isEmpty())
            d->familyNames = familySource();
        d->enumManager->setEnumNames(sub, d->familyNames);
        d->enumManager->setValue(sub, familyIndex(d->familyNames, font));
    });
    addComponent(property, d->intManager, d->links[PointSize], tr("Point Size"), [d, &font](QtProperty *sub) {
        d->intManager->setValue(sub, font.pointSize(), true);
        d->intManager->setMinimum(sub, 1);
    });
    const QString names[FontComponentCount] = {QString(), QString(), tr("Bold"), tr("Italic"),
                                           tr("Underline"), tr("Strikeout"), tr("Kerning")};
    for (int c = Bold; c < FontComponentCount; ++c) {
        addComponent(property, d->boolManager, d->links[c], names[c],
                     [d, &font, c](QtProperty *sub) { d->boolManager->setValue(sub, fontSwitch(font, c)); });
    }
}

void QtFontPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->links.releaseAll(property);
    d_ptr->values.uninitialize(property);
}
