// What the classic pages keep of scripts: the object behind a script button,
// the script value holder, and the rewriting of a parameter's formula, whose
// references to other parameters become "<name>.value". No script is run.
//
//   [&name&]  the record `name` of the same map
//   {&name&}  the channel copy "<name>i<channel>" for the formula's own channel
#pragma once

#include "classic/paramentry.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

// One script button's script and the record map of its page. Owned by its
// button, so it goes when the button box is cleared.
class ScriptMapObject : public QObject {
    Q_OBJECT
public:
    ScriptMapObject(const QString& script, ParamEntryMap* map, QObject* parent = nullptr);

    QString script() const { return m_script; }
    ParamEntryMap* map() const { return m_map; }

private:
    QString m_script;
    ParamEntryMap* m_map;
};

class ScriptObj : public QObject {
    Q_OBJECT
public:
    explicit ScriptObj(QObject* parent = nullptr);
    ~ScriptObj() override;

public slots:
    void setScriptValue(QVariant value);
    QVariant getScriptValue();

private:
    QVariant m_value;
    void* m_context = nullptr;
};

// The formula with every reference rewritten, the referenced records of the
// record's map in record.formulaRefs (once each, in order of first mention);
// "" with no references kept when a name is missing from the map.
QString expandEntryFormula(ParamEntry& record, const QString& formula);
// Only [&name&] references resolve here; on success formula is rewritten and
// the records collected, else formula stays as it was, records empty, false.
bool expandScriptFormula(QList<ParamEntry*>& records, ParamEntryMap& map, QString& formula);
