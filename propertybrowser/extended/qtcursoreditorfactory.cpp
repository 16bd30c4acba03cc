#include "propertybrowser/extended/qtcursordatabase.h"
#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qteditorfactory_p.h"

#include <QMap>

// The twin bookkeeping. The inner factory and manager are QObject children of the
// cursor factory: the factory, made first, goes first and deletes the open editors.
class QtCursorEditorFactoryPrivate
{
public:
    QtEnumEditorFactory *enumEditorFactory = nullptr;
    QtEnumPropertyManager *enumPropertyManager = nullptr;
    QMap<QtProperty *, QtProperty *> propertyToEnum;
    QMap<QtProperty *, QtProperty *> enumToProperty;
    QMap<QtProperty *, QList<QWidget *>> enumToEditors;
    QMap<QWidget *, QtProperty *> editorToEnum;
    // Set while the factory itself writes a twin's value.
    bool updatingEnum = false;
};

namespace {

const QtEditorFactoryShapes::Link kCursorLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, const QCursor &)), SLOT(slotPropertyChanged(QtProperty *, const QCursor &))}};

} // namespace

QtCursorEditorFactory::QtCursorEditorFactory(QObject *parent)
    : QtAbstractEditorFactory<QtCursorPropertyManager>(parent), d_ptr(std::make_unique<QtCursorEditorFactoryPrivate>())
{
    d_ptr->enumEditorFactory = new QtEnumEditorFactory(this);
    d_ptr->enumPropertyManager = new QtEnumPropertyManager(this);
    connect(d_ptr->enumPropertyManager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotEnumChanged(QtProperty *, int)));
    d_ptr->enumEditorFactory->addPropertyManager(d_ptr->enumPropertyManager);
}

QtCursorEditorFactory::~QtCursorEditorFactory() = default;

void QtCursorEditorFactory::connectPropertyManager(QtCursorPropertyManager *manager)
{
    QtEditorFactoryShapes::connectLinks(manager, this, kCursorLinks, true);
}

void QtCursorEditorFactory::disconnectPropertyManager(QtCursorPropertyManager *manager)
{
    QtEditorFactoryShapes::connectLinks(manager, this, kCursorLinks, false);
}

QWidget *QtCursorEditorFactory::createEditor(QtCursorPropertyManager *manager, QtProperty *property, QWidget *parent)
{
    QtProperty *twin = d_ptr->propertyToEnum.value(property);
    if (!twin) {
        // The twin enters the maps only once it is set up, so that its first values
        // are not taken for the user's picks.
        QtCursorDatabase *database = cursorDatabase();
        twin = d_ptr->enumPropertyManager->addProperty(property->propertyName());
        d_ptr->enumPropertyManager->setEnumNames(twin, database->cursorShapeNames());
        d_ptr->enumPropertyManager->setEnumIcons(twin, database->cursorShapeIcons());
        d_ptr->enumPropertyManager->setValue(twin, database->cursorToValue(manager->value(property)));
        d_ptr->propertyToEnum.insert(property, twin);
        d_ptr->enumToProperty.insert(twin, property);
    }
    QWidget *editor = d_ptr->enumEditorFactory->createEditor(twin, parent);
    d_ptr->enumToEditors[twin].append(editor);
    d_ptr->editorToEnum.insert(editor, twin);
    connect(editor, SIGNAL(destroyed(QObject *)), this, SLOT(slotEditorDestroyed(QObject *)));
    return editor;
}

void QtCursorEditorFactory::slotPropertyChanged(QtProperty *property, const QCursor &cursor)
{
    QtProperty *twin = d_ptr->propertyToEnum.value(property);
    QtCursorPropertyManager *manager = findManager(property);
    const int shape = cursorDatabase()->cursorToValue(cursor);
    // Overtaken by a receiver that ran before: that newer cursor is shown already.
    if (!twin || !manager || cursorDatabase()->cursorToValue(manager->value(property)) != shape)
        return;
    d_ptr->updatingEnum = true;
    d_ptr->enumPropertyManager->setValue(twin, shape);
    d_ptr->updatingEnum = false;
    emit manager->valueUpdated(property, cursor);
}

void QtCursorEditorFactory::slotEnumChanged(QtProperty *twin, int value)
{
    if (d_ptr->updatingEnum)
        return;
    QtProperty *property = d_ptr->enumToProperty.value(twin);
    if (!property)
        return;
    if (QtCursorPropertyManager *manager = findManager(property))
        manager->setValue(property, cursorDatabase()->valueToCursor(value));
}

void QtCursorEditorFactory::slotEditorDestroyed(QObject *object)
{
    // Matched by address: the editor is being destroyed.
    for (auto it = d_ptr->editorToEnum.begin(); it != d_ptr->editorToEnum.end(); ++it) {
        if (static_cast<QObject *>(it.key()) != object)
            continue;
        QWidget *editor = it.key();
        QtProperty *twin = it.value();
        d_ptr->editorToEnum.erase(it);
        QList<QWidget *> &editors = d_ptr->enumToEditors[twin];
        editors.removeAll(editor);
        if (editors.isEmpty()) {
            d_ptr->enumToEditors.remove(twin);
            QtProperty *property = d_ptr->enumToProperty.take(twin);
            d_ptr->propertyToEnum.remove(property);
            delete twin;
        }
        return;
    }
}
