#include "propertybrowser/extended/qtcursordatabase.h"

#include <QGlobalStatic>
#include <QPixmap>

// Q_INIT_RESOURCE must be used outside any namespace. The images sit in a static
// library, whose automatic registration the linker may drop.
static void registerPropertyBrowserResources()
{
    Q_INIT_RESOURCE(propertybrowser);
}

namespace {

void initResources()
{
    static const bool done = (registerPropertyBrowserResources(), true);
    Q_UNUSED(done);
}

// An empty icon when the image cannot be read.
QIcon cursorIcon(const char *file)
{
    if (!file)
        return QIcon();
    const QPixmap pixmap(QStringLiteral(":/quillbex/propertybrowser/images/") + QLatin1String(file));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

struct CursorRow
{
    Qt::CursorShape shape;
    const char *name;
    const char *image;
};

// In value order; note the two diagonals and the hands ahead of What's This.
const CursorRow kRows[] = {
    {Qt::ArrowCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Arrow"), "cursor-arrow.png"},
    {Qt::UpArrowCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Up Arrow"), "cursor-uparrow.png"},
    {Qt::CrossCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Cross"), "cursor-cross.png"},
    {Qt::WaitCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Wait"), "cursor-wait.png"},
    {Qt::IBeamCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "IBeam"), "cursor-ibeam.png"},
    {Qt::SizeVerCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Size Vertical"), "cursor-sizev.png"},
    {Qt::SizeHorCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Size Horizontal"), "cursor-sizeh.png"},
    {Qt::SizeFDiagCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Size Backslash"), "cursor-sizef.png"},
    {Qt::SizeBDiagCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Size Slash"), "cursor-sizeb.png"},
    {Qt::SizeAllCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Size All"), "cursor-sizeall.png"},
    {Qt::BlankCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Blank"), nullptr},
    {Qt::SplitVCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Split Vertical"), "cursor-vsplit.png"},
    {Qt::SplitHCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Split Horizontal"), "cursor-hsplit.png"},
    {Qt::PointingHandCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Pointing Hand"), "cursor-hand.png"},
    {Qt::ForbiddenCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Forbidden"), "cursor-forbidden.png"},
    {Qt::OpenHandCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Open Hand"), "cursor-openhand.png"},
    {Qt::ClosedHandCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Closed Hand"), "cursor-closedhand.png"},
    {Qt::WhatsThisCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "What's This"), "cursor-whatsthis.png"},
    {Qt::BusyCursor, QT_TRANSLATE_NOOP("QtCursorDatabase", "Busy"), "cursor-busy.png"},
};

Q_GLOBAL_STATIC(QtCursorDatabase, sharedCursorDatabase)

} // namespace

QtCursorDatabase::QtCursorDatabase()
{
    initResources();
    for (const CursorRow &row : kRows)
        appendCursor(row.shape, tr(row.name), cursorIcon(row.image));
}

void QtCursorDatabase::appendCursor(Qt::CursorShape shape, const QString &name, const QIcon &icon)
{
    if (m_cursorShapeToValue.contains(shape))
        return;
    const int value = m_cursorNames.size();
    m_cursorNames.append(name);
    m_cursorIcons.insert(value, icon);
    m_valueToCursorShape.insert(value, shape);
    m_cursorShapeToValue.insert(shape, value);
}

QStringList QtCursorDatabase::cursorShapeNames() const
{
    return m_cursorNames;
}

QMap<int, QIcon> QtCursorDatabase::cursorShapeIcons() const
{
    return m_cursorIcons;
}

QString QtCursorDatabase::cursorToShapeName(const QCursor &cursor) const
{
    return m_cursorNames.value(cursorToValue(cursor));
}

QIcon QtCursorDatabase::cursorToShapeIcon(const QCursor &cursor) const
{
    return m_cursorIcons.value(cursorToValue(cursor));
}

int QtCursorDatabase::cursorToValue(const QCursor &cursor) const
{
    return m_cursorShapeToValue.value(cursor.shape(), -1);
}

QCursor QtCursorDatabase::valueToCursor(int value) const
{
    const auto it = m_valueToCursorShape.constFind(value);
    return it == m_valueToCursorShape.constEnd() ? QCursor() : QCursor(it.value());
}

QtCursorDatabase *cursorDatabase()
{
    return sharedCursorDatabase();
}
