#include "propertybrowser/extended/qtcursorpropertymanager.h"

#include "propertybrowser/extended/qtcursordatabase.h"
#include "propertybrowser/extended/qtextendedmanager_p.h"

namespace {

// The cursor managers' own table, apart from the editors' one.
const QtCursorDatabase &managersCursorDatabase()
{
    static const QtCursorDatabase database;
    return database;
}

} // namespace

QtCursorPropertyManager::QtCursorPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtSingleValuePrivate<QtCursorPropertyManager, QCursor>>(this))
{
}

QtCursorPropertyManager::~QtCursorPropertyManager()
{
    clear();
}

QCursor QtCursorPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->value(property);
}

QIcon QtCursorPropertyManager::valueIcon(const QtProperty *property) const
{
    const QCursor *cursor = d_ptr->find(property);
    return cursor ? managersCursorDatabase().cursorToShapeIcon(*cursor) : QIcon();
}

QString QtCursorPropertyManager::valueText(const QtProperty *property) const
{
    const QCursor *cursor = d_ptr->find(property);
    return cursor ? managersCursorDatabase().cursorToShapeName(*cursor) : QString();
}

void QtCursorPropertyManager::setValue(QtProperty *property, const QCursor &val)
{
    QtValueRecord<QCursor> *record = d_ptr->values.find(property);
    if (!record)
        return;
    // Bitmap cursors cannot be told apart by shape, so each one counts as new.
    const Qt::CursorShape shape = record->value.shape();
    if (shape == val.shape() && shape != Qt::BitmapCursor)
        return;
    storeAndAnnounce(this, property, record->value, val, [](const QCursor &) {});
}

void QtCursorPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->initialize(property, QCursor());
}

void QtCursorPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->uninitialize(property);
}
