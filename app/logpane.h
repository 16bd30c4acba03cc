// One line of the main window's log pane.
#pragma once

#include <QDateTime>
#include <QString>

class QTextEdit;

// "[" + "dd.MM.yyyy hh:mm" + "]: " + message as a new bold paragraph, blue for
// success and red for failure; the message is taken as plain text. The pane
// loses the focus and scrolls to the newest line.
void appendLogLine(QTextEdit* pane, const QString& message, bool success,
                   const QDateTime& when = QDateTime::currentDateTime());
