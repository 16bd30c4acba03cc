#include "propertybrowser/extended/qtvarianteditorfactory.h"

#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/qteditorfactory.h"

#include <QMap>

class QtVariantEditorFactoryPrivate
{
public:
    // Attaches (on) or detaches the typed and inner managers of a variant manager.
    void link(QtVariantPropertyManager *manager, bool on) const;

    QtVariantEditorFactory *q_ptr = nullptr;
    QtSpinBoxFactory *spinBoxFactory = nullptr;
    QtDoubleSpinBoxFactory *doubleSpinBoxFactory = nullptr;
    QtCheckBoxFactory *checkBoxFactory = nullptr;
    QtLineEditFactory *lineEditFactory = nullptr;
    QtDateEditFactory *dateFactory = nullptr;
    QtTimeEditFactory *timeFactory = nullptr;
    QtDateTimeEditFactory *dateTimeFactory = nullptr;
    QtKeySequenceEditorFactory *keySequenceFactory = nullptr;
    QtCharEditorFactory *charFactory = nullptr;
    QtEnumEditorFactory *enumFactory = nullptr;
    QtCursorEditorFactory *cursorFactory = nullptr;
    QtColorEditorFactory *colorFactory = nullptr;
    QtFontEditorFactory *fontFactory = nullptr;
    // Value type id to the typed factory that makes its editors.
    QMap<int, QtAbstractEditorFactoryBase *> factoryByType;
};

namespace {

// Every manager of class Manager (or a subclass) at any depth below the variant
// manager, in the order of Qt's child search.
template <class Manager, class Each>
void forEachManager(const QtVariantPropertyManager *variant, Each each)
{
    const QList<Manager *> managers = variant->findChildren<Manager *>();
    for (Manager *manager : managers)
        each(manager);
}

// Attaching a manager a factory already serves changes nothing; detaching one it
// does not serve neither.
template <class Manager>
void bind(QtAbstractEditorFactory<Manager> *factory, Manager *manager, bool on)
{
    if (on)
        factory->addPropertyManager(manager);
    else
        factory->removePropertyManager(manager);
}

template <class Factory>
Factory *makeFactory(QtVariantEditorFactoryPrivate *d, int type)
{
    auto *factory = new Factory(d->q_ptr);
    d->factoryByType[type] = factory;
    return factory;
}

} // namespace

void QtVariantEditorFactoryPrivate::link(QtVariantPropertyManager *variant, bool on) const
{
    // The search goes to any depth, so it finds the inner managers of the compound
    // managers too (their QObject children): the components of a point, size,
    // rectangle, locale, size policy, colour, font and flag get their editors here.
    forEachManager<QtIntPropertyManager>(variant, [&](auto *m) { bind(spinBoxFactory, m, on); });
    forEachManager<QtDoublePropertyManager>(variant, [&](auto *m) { bind(doubleSpinBoxFactory, m, on); });
    forEachManager<QtBoolPropertyManager>(variant, [&](auto *m) { bind(checkBoxFactory, m, on); });
    forEachManager<QtStringPropertyManager>(variant, [&](auto *m) { bind(lineEditFactory, m, on); });
    forEachManager<QtDatePropertyManager>(variant, [&](auto *m) { bind(dateFactory, m, on); });
    forEachManager<QtTimePropertyManager>(variant, [&](auto *m) { bind(timeFactory, m, on); });
    forEachManager<QtDateTimePropertyManager>(variant, [&](auto *m) { bind(dateTimeFactory, m, on); });
    forEachManager<QtKeySequencePropertyManager>(variant, [&](auto *m) { bind(keySequenceFactory, m, on); });
    forEachManager<QtCharPropertyManager>(variant, [&](auto *m) { bind(charFactory, m, on); });
    forEachManager<QtEnumPropertyManager>(variant, [&](auto *m) { bind(enumFactory, m, on); });
    forEachManager<QtColorPropertyManager>(variant, [&](auto *m) { bind(colorFactory, m, on); });
    forEachManager<QtFontPropertyManager>(variant, [&](auto *m) { bind(fontFactory, m, on); });
    forEachManager<QtCursorPropertyManager>(variant, [&](auto *m) { bind(cursorFactory, m, on); });
}

QtVariantEditorFactory::QtVariantEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtVariantPropertyManager>(parent),
      d_ptr(std::make_unique<QtVariantEditorFactoryPrivate>())
{
    QtVariantEditorFactoryPrivate *d = d_ptr.get();
    d->q_ptr = this;
    d->spinBoxFactory = makeFactory<QtSpinBoxFactory>(d, QMetaType::Int);
    d->doubleSpinBoxFactory = makeFactory<QtDoubleSpinBoxFactory>(d, QMetaType::Double);
    d->checkBoxFactory = makeFactory<QtCheckBoxFactory>(d, QMetaType::Bool);
    d->lineEditFactory = makeFactory<QtLineEditFactory>(d, QMetaType::QString);
    d->dateFactory = makeFactory<QtDateEditFactory>(d, QMetaType::QDate);
    d->timeFactory = makeFactory<QtTimeEditFactory>(d, QMetaType::QTime);
    d->dateTimeFactory = makeFactory<QtDateTimeEditFactory>(d, QMetaType::QDateTime);
    d->keySequenceFactory = makeFactory<QtKeySequenceEditorFactory>(d, QMetaType::QKeySequence);
    d->charFactory = makeFactory<QtCharEditorFactory>(d, QMetaType::QChar);
    d->cursorFactory = makeFactory<QtCursorEditorFactory>(d, QMetaType::QCursor);
    d->colorFactory = makeFactory<QtColorEditorFactory>(d, QMetaType::QColor);
    d->fontFactory = makeFactory<QtFontEditorFactory>(d, QMetaType::QFont);
    d->enumFactory = makeFactory<QtEnumEditorFactory>(d, QtVariantPropertyManager::enumTypeId());
}

QtVariantEditorFactory::~QtVariantEditorFactory() = default;

void QtVariantEditorFactory::connectPropertyManager(QtVariantPropertyManager *manager)
{
    d_ptr->link(manager, true);
}

void QtVariantEditorFactory::disconnectPropertyManager(QtVariantPropertyManager *manager)
{
    d_ptr->link(manager, false);
}

QWidget *QtVariantEditorFactory::createEditor(QtVariantPropertyManager *manager, QtProperty *property,
                                              QWidget *parent)
{
    QtAbstractEditorFactoryBase *factory = d_ptr->factoryByType.value(manager->propertyType(property));
    return factory ? factory->createEditor(internalPropertyOf(property), parent) : nullptr;
}
