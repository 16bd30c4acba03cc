// The mouse-cursor shapes a cursor property can take: one row per shape with its
// value (0, 1, 2 ... in row order), a translated name and an icon from the
// compiled-in cursor images. The constructor builds the whole table; afterwards it
// is only read, so one instance may serve several threads. Drag and bitmap cursors
// have no row.
#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QMap>
#include <QStringList>

class QtCursorDatabase
{
    Q_DECLARE_TR_FUNCTIONS(QtCursorDatabase)
public:
    // Needs a QGuiApplication for the icons.
    QtCursorDatabase();

    // Indexed by value.
    QStringList cursorShapeNames() const;
    // By value; "Blank", and a row whose image could not be read, have none.
    QMap<int, QIcon> cursorShapeIcons() const;
    // An empty name or icon for a shape without a row.
    QString cursorToShapeName(const QCursor &cursor) const;
    QIcon cursorToShapeIcon(const QCursor &cursor) const;
    // -1 for a shape without a row.
    int cursorToValue(const QCursor &cursor) const;
    // The default cursor for a value without a row.
    QCursor valueToCursor(int value) const;

private:
    void appendCursor(Qt::CursorShape shape, const QString &name, const QIcon &icon);

    QStringList m_cursorNames;
    QMap<int, QIcon> m_cursorIcons;
    QMap<int, Qt::CursorShape> m_valueToCursorShape;
    QMap<Qt::CursorShape, int> m_cursorShapeToValue;
};

// The table the cursor editors share, built by the first call from any thread; null
// once it has been destroyed at exit.
QtCursorDatabase *cursorDatabase();
