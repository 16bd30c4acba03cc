#include "classic/classicscripts.h"

#include <QRegularExpression>

namespace {
const QRegularExpression& referencePattern()
{
    static const QRegularExpression pattern(QStringLiteral("(\\[&[^{}\\[\\]]+&\\]|\\{&[^{}\\[\\]]+&\\})"));
    return pattern;
}

// The name inside a reference: without its two leading and two trailing characters.
QString innerName(const QString& reference)
{
    return reference.mid(2, reference.size() - 4);
}
}

ScriptMapObject::ScriptMapObject(const QString& script, ParamEntryMap* map, QObject* parent)
    : QObject(parent), m_script(script), m_map(map)
{
}

ScriptObj::ScriptObj(QObject* parent) : QObject(parent) {}

ScriptObj::~ScriptObj()
{
    m_context = nullptr;
}

void ScriptObj::setScriptValue(QVariant value)
{
    m_value = std::move(value);
}

QVariant ScriptObj::getScriptValue()
{
    return m_value;
}

QString expandEntryFormula(ParamEntry& record, const QString& formula)
{
    record.formulaRefs.clear();
    QString work = formula;
    int from = 0;
    for (;;) {
        const QRegularExpressionMatch match = referencePattern().match(work, from);
        if (!match.hasMatch())
            return work;
        const QString reference = match.captured(0);
        const bool sameChannel = reference.contains(QLatin1Char('['));
        QString name = innerName(reference);
        if (!sameChannel)
            name += QLatin1Char('i') + QString::number(record.channelIndex);
        work.replace(reference, name + QStringLiteral(".value"));
        from = match.capturedStart(0) + match.capturedLength(0) - (sameChannel ? 2 : 1);
        ParamEntry* referenced = record.ownerMap ? record.ownerMap->find(name) : nullptr;
        if (!referenced) {
            record.formulaRefs.clear();
            return QString();
        }
        record.formulaRefs.append(referenced);
    }
}

bool expandScriptFormula(QList<ParamEntry*>& records, ParamEntryMap& map, QString& formula)
{
    QString work = formula;
    int from = 0;
    for (;;) {
        const QRegularExpressionMatch match = referencePattern().match(work, from);
        if (!match.hasMatch())
            break;
        const QString reference = match.captured(0);
        QString name = reference; // a {&name&} reference is looked up whole, and found nowhere
        if (reference.contains(QLatin1Char('['))) {
            name = innerName(reference);
            work.replace(reference, name + QStringLiteral(".value"));
            from = match.capturedStart(0) + match.capturedLength(0) - 2;
        } else {
            from = match.capturedStart(0) + match.capturedLength(0);
        }
        ParamEntry* referenced = map.find(name);
        if (!referenced) {
            records.clear();
            return false;
        }
        records.append(referenced);
    }
    formula = work;
    return true;
}
