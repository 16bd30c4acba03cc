#include "app/logpane.h"

#include <QColor>
#include <QFont>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

void appendLogLine(QTextEdit* pane, const QString& message, bool success, const QDateTime& when)
{
    QTextCharFormat format;
    format.setForeground(QColor(success ? QStringLiteral("blue") : QStringLiteral("red")));
    format.setFontWeight(QFont::Bold);
    // The pane's own colour and weight follow the last line, as for typed text.
    pane->setTextColor(format.foreground().color());
    pane->setFontWeight(QFont::Bold);

    const QString line = QLatin1Char('[') + when.toString(QStringLiteral("dd.MM.yyyy hh:mm"))
                         + QStringLiteral("]: ") + message;
    // Inserted as plain text: a device answer or a file name with "<" or "&" is
    // shown as it is, never read as markup.
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    if (!pane->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(line, format);

    pane->clearFocus();
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}
