#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One dependency rule: the widget it belongs to is enabled (action 0) or shown
// (action 1) only while the watched bit field holds one of `values`.
struct stDependence
{
    QString index;     // watched parameter, compared as text with its index
    QString subindex;
    QString fieldname; // bit field inside the watched parameter's data type
    QStringList values;
    int action = 1;
    bool visibleResult = true; // last result while action is 1
    bool enableResult = true;  // last result while action is 0
};

enum : int { RuleActionEnable = 0, RuleActionShow = 1 };

// Reads the JSON text of a `dependences` or "dependencies" property:
// {"dependences": [{"index", "subindex", "fieldname", "action", "values"}...]}.
// Every value is read as a JSON string; a number reads as empty text and so never
// matches. An empty text gives no rules and no error. A text that is no JSON object
// with a "dependences" array gives no rules; an element that is no object is left
// out; each such fault adds one line to *errors.
QList<stDependence> parseDependences(const QString &text, QStringList *errors = nullptr);

#include <QMetaType>
Q_DECLARE_METATYPE(stDependence)
