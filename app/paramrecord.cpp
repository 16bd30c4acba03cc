#include "app/paramrecord.h"

#include <QJsonValue>
#include <cmath>
#include <limits>

namespace {
const QLatin1String kName("name");
const QLatin1String kIndex("index");
const QLatin1String kSubindex("subindex");
const QLatin1String kType("type");
const QLatin1String kValue("value");

QString missingKey(const QString &key)
{
    return QStringLiteral("нет ключа \"%1\"").arg(key);
}

QString wrongType(const QString &key)
{
    return QStringLiteral("ключ \"%1\" имеет неверный тип").arg(key);
}
}

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

ParamRecord::ParamRecord(const QString &name, const QString &index, const QString &subindex,
                         int type, const QString &value)
    : m_name(name), m_index(index), m_subindex(subindex), m_type(type), m_value(value)
{
}

void ParamRecord::toJson(QJsonObject &json) const
{
    json.insert(kName, m_name);
    json.insert(kIndex, m_index);
    json.insert(kSubindex, m_subindex);
    json.insert(kType, m_type);
    json.insert(kValue, m_value);
}

bool ParamRecord::fromJson(const QJsonObject &json, QString *error)
{
    QString name;
    if (json.contains(kName)) {
        if (!json.value(kName).isString())
            return failWith(error, wrongType(kName));
        name = json.value(kName).toString();
    }

    QString texts[3];
    const QLatin1String textKeys[3] = {kIndex, kSubindex, kValue};
    for (int i = 0; i < 3; ++i) {
        if (!json.contains(textKeys[i]))
            return failWith(error, missingKey(textKeys[i]));
        if (!json.value(textKeys[i]).isString())
            return failWith(error, wrongType(textKeys[i]));
        texts[i] = json.value(textKeys[i]).toString();
    }

    if (!json.contains(kType))
        return failWith(error, missingKey(kType));
    // JSON numbers are doubles; a type code is a whole number within int.
    const QJsonValue type = json.value(kType);
    const double code = type.toDouble();
    if (!type.isDouble() || std::floor(code) != code || code < std::numeric_limits<int>::min()
        || code > std::numeric_limits<int>::max())
        return failWith(error, wrongType(kType));

    m_name = name;
    m_index = texts[0];
    m_subindex = texts[1];
    m_value = texts[2];
    m_type = int(code);
    return true;
}

bool ParamRecord::operator==(const ParamRecord &other) const
{
    return m_name == other.m_name && m_index == other.m_index && m_subindex == other.m_subindex
           && m_type == other.m_type && m_value == other.m_value;
}
