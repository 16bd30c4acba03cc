#include "pages/stdependence.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

QList<stDependence> parseDependences(const QString &text, QStringList *errors)
{
    QList<stDependence> rules;
    if (text.isEmpty())
        return rules;
    auto fault = [errors](const QString &why) {
        if (errors)
            errors->append(why);
    };

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fault(QStringLiteral("ошибка JSON: %1 (позиция %2)")
                  .arg(parseError.errorString(), QString::number(parseError.offset)));
        return rules;
    }
    const QJsonValue list = doc.object().value(QStringLiteral("dependences"));
    if (!doc.isObject() || !list.isArray()) {
        fault(QStringLiteral("нет массива \"dependences\""));
        return rules;
    }

    const QJsonArray array = list.toArray();
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject()) {
            fault(QStringLiteral("правило №%1 не объект").arg(i + 1));
            continue;
        }
        const QJsonObject o = array.at(i).toObject();
        stDependence rule;
        rule.index = o.value(QStringLiteral("index")).toString();
        rule.subindex = o.value(QStringLiteral("subindex")).toString();
        rule.fieldname = o.value(QStringLiteral("fieldname")).toString();
        // Only the exact word enables; any other action, "Enable" included, shows.
        rule.action = o.value(QStringLiteral("action")).toString() == QLatin1String("enable")
                          ? RuleActionEnable
                          : RuleActionShow;
        const QJsonArray values = o.value(QStringLiteral("values")).toArray();
        for (const QJsonValue &v : values)
            rule.values.append(v.toString());
        rules.append(rule);
    }
    return rules;
}
