#pragma once

#include <QJsonObject>
#include <QString>

// Puts `text` into `*error` when the caller asked for the reason; gives false.
bool failWith(QString *error, const QString &text);

// One entry of the JSON parameter file: a page parameter's identity, the CANopen
// code of its data type and its raw value bytes as hex text.
class ParamRecord
{
public:
    ParamRecord() = default;
    ParamRecord(const QString &name, const QString &index, const QString &subindex, int type,
                const QString &value);

    QString name() const { return m_name; }
    QString index() const { return m_index; }
    QString subindex() const { return m_subindex; }
    int type() const { return m_type; }
    QString value() const { return m_value; }

    // Sets "name", "index", "subindex", "type" and "value" on `json`.
    void toJson(QJsonObject &json) const;
    // Reads an entry. "name" is informative and may be missing; the other four keys
    // must be there with their JSON types ("type" an integer). On refusal the record
    // is unchanged and *error says which key is wrong.
    bool fromJson(const QJsonObject &json, QString *error = nullptr);

    bool operator==(const ParamRecord &other) const;

private:
    QString m_name;
    QString m_index;
    QString m_subindex;
    int m_type = 0;
    QString m_value;
};
