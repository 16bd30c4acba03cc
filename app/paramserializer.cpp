#include "app/paramserializer.h"

#include <QFileDevice>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMap>
#include <QVector>

namespace {
const QLatin1String kParams("params");
// Far above any device's parameter set; keeps a wrong file from eating memory.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
// Largest value one SDO request of the data source carries.
constexpr int kMaxValueBytes = 70;

QString entryName(int position, const ParamRecord &record)
{
    return QStringLiteral("запись %1 (индекс \"%2\", субиндекс \"%3\")")
        .arg(position + 1)
        .arg(record.index(), record.subindex());
}

// Hex digits of whole bytes only; QByteArray::fromHex would skip anything else.
bool decodeHex(const QString &text, QByteArray *bytes)
{
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool digit = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!digit)
            return false;
    }
    *bytes = QByteArray::fromHex(text.toLatin1());
    return true;
}

// Length an imported value must have: that of the value read, else the type's size.
int expectedLength(const CustomParam &param)
{
    const int read = param.value().size();
    if (read > 0)
        return read;
    return param.dataType() ? param.dataType()->size() : 0;
}
}

void ParamSerializer::toJson(QJsonObject &json) const
{
    QJsonArray array;
    for (const ParamRecord &record : m_records) {
        QJsonObject entry;
        record.toJson(entry);
        array.append(entry);
    }
    json.insert(kParams, array);
}

bool ParamSerializer::fromJson(const QJsonObject &json, QString *error)
{
    m_records.clear();
    if (!json.value(kParams).isArray())
        return failWith(error, QStringLiteral("в файле нет массива \"params\""));
    const QJsonArray array = json.value(kParams).toArray();
    QList<ParamRecord> records;
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            return failWith(error, QStringLiteral("запись %1 не является объектом").arg(i + 1));
        ParamRecord record;
        QString reason;
        if (!record.fromJson(array.at(i).toObject(), &reason))
            return failWith(error, QStringLiteral("запись %1: %2").arg(i + 1).arg(reason));
        records.append(record);
    }
    m_records = records;
    return true;
}

bool ParamSerializer::save(QIODevice *device, QString *error) const
{
    if (!device)
        return failWith(error, QStringLiteral("файл не открыт"));
    QJsonObject json;
    toJson(json);
    const QByteArray bytes = QJsonDocument(json).toJson(QJsonDocument::Indented);
    if (device->write(bytes) != bytes.size())
        return failWith(error, QStringLiteral("ошибка записи (%1)").arg(device->errorString()));
    return true;
}

bool ParamSerializer::load(QIODevice *device, QString *error)
{
    m_records.clear();
    if (!device)
        return failWith(error, QStringLiteral("файл не открыт"));
    const QByteArray bytes = device->read(kMaxFileBytes + 1);
    const auto *file = qobject_cast<const QFileDevice *>(device);
    if (file && file->error() != QFileDevice::NoError)
        return failWith(error, QStringLiteral("ошибка чтения (%1)").arg(file->errorString()));
    if (bytes.size() > kMaxFileBytes)
        return failWith(error, QStringLiteral("файл больше %1 МБ").arg(kMaxFileBytes / (1024 * 1024)));

    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return failWith(error, QStringLiteral("файл не является документом JSON (позиция %1)").arg(parse.offset));
    if (!document.isObject())
        return failWith(error, QStringLiteral("в файле нет массива \"params\""));
    return fromJson(document.object(), error);
}

QList<ParamRecord> ParamSerializer::recordsFromPages(const QList<PageParam> &params)
{
    QList<ParamRecord> records;
    QVector<bool> recordEdited;
    QHash<QString, int> position; // index + '/' + sub-index -> place in records
    for (const PageParam &page : params) {
        const SPCustomParam &param = page.param;
        if (!param || !param->exportEnabled() || !param->dataType())
            continue;
        QByteArray value;
        const bool edited = param->editedValue(&value);
        if (!edited)
            value = param->value();
        if (value.isEmpty())
            continue; // never read from the device
        const ParamRecord record(param->name(), param->index(), param->subindex(),
                                 param->dataType()->canType(), QString::fromLatin1(value.toHex()));
        const QString key = param->index() + QLatin1Char('/') + param->subindex();
        const auto found = position.constFind(key);
        if (found == position.constEnd()) {
            position.insert(key, records.size());
            records.append(record);
            recordEdited.append(edited);
        } else if (recordEdited.at(*found) && !edited) {
            records[*found] = record;
            recordEdited[*found] = false;
        }
    }
    return records;
}

bool ParamSerializer::applyToPages(const QList<PageParam> &params, QString *error) const
{
    // Page position -> bytes, checked in full before any page parameter changes; a
    // later record for the same parameter wins.
    QMap<int, QByteArray> planned;
    for (int r = 0; r < m_records.size(); ++r) {
        const ParamRecord &record = m_records.at(r);
        QByteArray bytes;
        if (!decodeHex(record.value(), &bytes))
            return failWith(error, QStringLiteral("%1: значение \"%2\" не является шестнадцатеричной записью байтов")
                                   .arg(entryName(r, record), record.value()));

        bool known = false;
        bool exported = false;
        QList<int> matches;
        for (int p = 0; p < params.size(); ++p) {
            const SPCustomParam &param = params.at(p).param;
            if (!param || param->index() != record.index() || param->subindex() != record.subindex())
                continue;
            known = true;
            if (!param->exportEnabled())
                continue;
            exported = true;
            if (param->dataType() && param->dataType()->canType() == record.type())
                matches.append(p);
        }
        if (!known)
            return failWith(error, QStringLiteral("%1: такого параметра нет на страницах устройства")
                                   .arg(entryName(r, record)));
        if (!exported)
            continue; // the pages keep this object out of export and import
        if (matches.isEmpty())
            return failWith(error, QStringLiteral("%1: тип %2 не совпадает с типом параметра")
                                   .arg(entryName(r, record))
                                   .arg(record.type()));

        for (const int p : matches) {
            const CustomParam &param = *params.at(p).param;
            const int expected = expectedLength(param);
            // Without a read value or a type size, only the exchange's limit applies.
            const int limit = expected > 0 ? expected : kMaxValueBytes;
            const bool fits = expected > 0 ? bytes.size() == expected : bytes.size() <= limit;
            if (!fits)
                return failWith(error, QStringLiteral("%1: длина значения в байтах %2, у параметра \"%3\" %4")
                                       .arg(entryName(r, record))
                                       .arg(bytes.size())
                                       .arg(param.name())
                                       .arg(expected > 0 ? QString::number(expected)
                                                         : QStringLiteral("не больше %1").arg(limit)));
            planned.insert(p, bytes);
        }
    }

    for (auto it = planned.constBegin(); it != planned.constEnd(); ++it) {
        const PageParam &page = params.at(it.key());
        // Marked first, so that a load worker that runs after all never replaces it.
        page.param->setEdited(true);
        page.param->setValue(it.value());
        if (page.imported)
            page.imported();
    }
    return true;
}
