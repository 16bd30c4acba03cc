#include "propertybrowser/extended/qtextendedfactories.h"
#include "propertybrowser/extended/qtextendedfactories_p.h"

using namespace QtEditorFactoryShapes;
using namespace QtExtendedFactoryShapes;

// --- QtDateEditFactory ---

namespace {

void connectDateManager(QtDatePropertyManager *manager, QObject *factory, bool on)
{
    static const Link links[] = {
        {SIGNAL(valueChanged(QtProperty *, const QDate &)), SLOT(slotPropertyChanged(QtProperty *, const QDate &))},
        {SIGNAL(rangeChanged(QtProperty *, const QDate &, const QDate &)),
         SLOT(slotRangeChanged(QtProperty *, const QDate &, const QDate &))},
    };
    connectLinks(manager, factory, links, on);
}

} // namespace

QtDateEditFactory::QtDateEditFactory(QObject *parent)
    : QtAbstractEditorFactory<QtDatePropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QDateEdit>>(this))
{
}

QtDateEditFactory::~QtDateEditFactory() { d_ptr->deleteEditors(); }

void QtDateEditFactory::connectPropertyManager(QtDatePropertyManager *manager)
{
    connectDateManager(manager, this, true);
}

void QtDateEditFactory::disconnectPropertyManager(QtDatePropertyManager *manager)
{
    connectDateManager(manager, this, false);
}

QWidget *QtDateEditFactory::createEditor(QtDatePropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QDateEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setCalendarPopup(true);
    editor->setDateRange(manager->minimum(property), manager->maximum(property));
    editor->setDate(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(dateChanged(const QDate &)), SLOT(slotSetValue(const QDate &))}});
    return editor;
}

void QtDateEditFactory::slotPropertyChanged(QtProperty *property, const QDate &value)
{
    pushValueQuietly(*d_ptr, *this, property, value, [&value](QDateEdit *editor) { editor->setDate(value); });
}

void QtDateEditFactory::slotRangeChanged(QtProperty *property, const QDate &min, const QDate &max)
{
    updateFromManager(*d_ptr, *this, property, [&](QDateEdit *editor, QtDatePropertyManager *manager) {
        editor->setDateRange(min, max);
        editor->setDate(manager->value(property));
    });
}

void QtDateEditFactory::slotSetValue(const QDate &value)
{
    // An unchanged date is announced again.
    if (const auto target = editTarget(*d_ptr, *this, sender()))
        target.manager->setValue(target.property, value, false);
}

void QtDateEditFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtTimeEditFactory ---

QtTimeEditFactory::QtTimeEditFactory(QObject *parent)
    : QtAbstractEditorFactory<QtTimePropertyManager>(parent), d_ptr(std::make_unique<EditorRegistry<QTimeEdit>>(this))
{
}

QtTimeEditFactory::~QtTimeEditFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kTimeEditFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, const QTime &)),
     SLOT(slotPropertyChanged(QtProperty *, const QTime &))}};
} // namespace

void QtTimeEditFactory::connectPropertyManager(QtTimePropertyManager *manager)
{
    connectLinks(manager, this, kTimeEditFactoryLinks, true);
}

void QtTimeEditFactory::disconnectPropertyManager(QtTimePropertyManager *manager)
{
    connectLinks(manager, this, kTimeEditFactoryLinks, false);
}

QWidget *QtTimeEditFactory::createEditor(QtTimePropertyManager *manager, QtProperty *property, QWidget *parent)
{
    auto *editor = new QTimeEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setTime(manager->value(property));
    connectEditor(editor, this, {{SIGNAL(timeChanged(const QTime &)), SLOT(slotSetValue(const QTime &))}});
    return editor;
}

void QtTimeEditFactory::slotPropertyChanged(QtProperty *property, const QTime &value)
{
    pushValueQuietly(*d_ptr, *this, property, value, [&value](QTimeEdit *editor) { editor->setTime(value); });
}

void QtTimeEditFactory::slotSetValue(const QTime &value) { writeBack(*d_ptr, *this, sender(), value); }

void QtTimeEditFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }

// --- QtDateTimeEditFactory ---

QtDateTimeEditFactory::QtDateTimeEditFactory(QObject *parent)
    : QtAbstractEditorFactory<QtDateTimePropertyManager>(parent),
      d_ptr(std::make_unique<EditorRegistry<QDateTimeEdit>>(this))
{
}

QtDateTimeEditFactory::~QtDateTimeEditFactory() { d_ptr->deleteEditors(); }

namespace {
const Link kDateTimeEditFactoryLinks[] = {
    {SIGNAL(valueChanged(QtProperty *, const QDateTime &)),
     SLOT(slotPropertyChanged(QtProperty *, const QDateTime &))}};
} // namespace

void QtDateTimeEditFactory::connectPropertyManager(QtDateTimePropertyManager *manager)
{
    connectLinks(manager, this, kDateTimeEditFactoryLinks, true);
}

void QtDateTimeEditFactory::disconnectPropertyManager(QtDateTimePropertyManager *manager)
{
    connectLinks(manager, this, kDateTimeEditFactoryLinks, false);
}

QWidget *QtDateTimeEditFactory::createEditor(QtDateTimePropertyManager *manager, QtProperty *property,
                                             QWidget *parent)
{
    auto *editor = new QDateTimeEdit(parent);
    d_ptr->registerEditor(property, editor);
    editor->setDateTime(manager->value(property));
    connectEditor(editor, this,
                  {{SIGNAL(dateTimeChanged(const QDateTime &)), SLOT(slotSetValue(const QDateTime &))}});
    return editor;
}

void QtDateTimeEditFactory::slotPropertyChanged(QtProperty *property, const QDateTime &value)
{
    pushValueQuietly(*d_ptr, *this, property, value, [&value](QDateTimeEdit *editor) { editor->setDateTime(value); });
}

void QtDateTimeEditFactory::slotSetValue(const QDateTime &value) { writeBack(*d_ptr, *this, sender(), value); }

void QtDateTimeEditFactory::slotEditorDestroyed(QObject *object) { d_ptr->editorDestroyed(object); }
