// The main window's log pane read back as lines: the text after the time stamp
// and whether it is blue (success) or red (failure).
#pragma once

#include "app/mainwindow.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

struct Line {
    QString text;
    bool blue = false;
    bool operator==(const Line& o) const { return text == o.text && blue == o.blue; }
};

// Engine lines may hold line feeds, so one line can span several blocks; the
// empty ones are left out (an empty block has no fragment to read a colour from).
inline QList<Line> logOf(const MainWindow& w)
{
    QList<Line> lines;
    const QTextDocument* doc = w.findChild<QTextEdit*>("teLog")->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b.begin().atEnd())
            continue;
        QString text = b.text();
        if (text.startsWith('[') && text.indexOf("]: ") > 0)
            text = text.mid(text.indexOf("]: ") + 3);
        const QColor colour = b.begin().fragment().charFormat().foreground().color();
        lines.append({text, colour == QColor("blue")});
    }
    return lines;
}
