#include "pages/datatypes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>

DataTypeMap dataTypeMap;

namespace {

// Sizes beyond this are typos; an SDO value is far smaller.
constexpr int kMaxBytes = 4096;
constexpr int kMaxBit = kMaxBytes * 8 - 1;

class TypeReader
{
public:
    TypeReader(const QString &source, QStringList &errors) : m_source(source), m_errors(errors) {}

    // The type, or null when it has a fault (each fault logged).
    QSharedPointer<ParamDataType> read(const QJsonObject &obj, int number);

private:
    bool readField(const QJsonObject &obj, int number, ParamDataField &field);
    void fault(const QString &why);
    bool wholeKey(const QJsonObject &obj, const QString &key, int min, int max, int *out,
                  const QString &where);
    bool textKey(const QJsonObject &obj, const QString &key, QString *out,
                 const QString &where);

    QString m_source;
    QStringList &m_errors;
    QString m_type; // as named in messages
};

void TypeReader::fault(const QString &why)
{
    m_errors << QStringLiteral("%1: тип %2 не загружен: %3").arg(m_source, m_type, why);
}

bool TypeReader::wholeKey(const QJsonObject &obj, const QString &key, int min, int max,
                          int *out, const QString &where)
{
    const QJsonValue v = obj.value(key);
    const double d = v.toDouble();
    if (!v.isDouble() || std::trunc(d) != d || d < min || d > max) {
        fault(QStringLiteral("%1ключ \"%2\" отсутствует или не целое число от %3 до %4")
                  .arg(where, key, QString::number(min), QString::number(max)));
        return false;
    }
    *out = int(d);
    return true;
}

bool TypeReader::textKey(const QJsonObject &obj, const QString &key, QString *out,
                         const QString &where)
{
    const QJsonValue v = obj.value(key);
    if (!v.isString()) {
        fault(QStringLiteral("%1ключ \"%2\" отсутствует или не строка").arg(where, key));
        return false;
    }
    *out = v.toString();
    return true;
}

bool TypeReader::readField(const QJsonObject &obj, int number, ParamDataField &f)
{
    const int faultsBefore = m_errors.size();
    QString where = QStringLiteral("поле №%1: ").arg(number);
    if (textKey(obj, QStringLiteral("name"), &f.name, where))
        where = QStringLiteral("поле \"%1\": ").arg(f.name);

    QString typeName;
    if (textKey(obj, QStringLiteral("datatype"), &typeName, where)) {
        f.type = dataTypeCode(typeName);
        // An unknown name would pass for "bit" and the field would read one bit.
        if (fieldTypeName(f.type) != typeName.toLower())
            fault(where + QStringLiteral("неизвестный тип данных \"%1\"").arg(typeName));
    }
    wholeKey(obj, QStringLiteral("startbit"), 0, kMaxBit, &f.startbit, where);
    wholeKey(obj, QStringLiteral("endbit"), 0, kMaxBit, &f.endbit, where);

    // The byte width matters for "hex" and "string" only; elsewhere it may be absent.
    const bool sized = f.type == FieldType::Hex || f.type == FieldType::String;
    if (sized || obj.contains(QStringLiteral("size")))
        wholeKey(obj, QStringLiteral("size"), sized ? 1 : 0, kMaxBytes, &f.size, where);

    const QJsonValue common = obj.value(QStringLiteral("commonvalues"));
    if (!common.isUndefined() && !common.isArray())
        fault(where + QStringLiteral("\"commonvalues\" не массив"));
    const QJsonArray values = common.toArray();
    for (int i = 0; i < values.size(); ++i) {
        const QString at = where + QStringLiteral("значение №%1: ").arg(i + 1);
        const QJsonObject cv = values.at(i).toObject();
        CommonValue value;
        textKey(cv, QStringLiteral("name"), &value.name, at);
        const QJsonValue raw = cv.value(QStringLiteral("value"));
        if (raw.isUndefined() || raw.isNull())
            fault(at + QStringLiteral("ключ \"value\" отсутствует"));
        value.value = raw.toVariant();
        f.commonValues.append(value);
    }

    // The bit range is judged only once its parts are known to be sound.
    if (m_errors.size() != faultsBefore)
        return false;
    if (f.endbit < f.startbit) {
        fault(where + QStringLiteral("endbit (%1) меньше startbit (%2)").arg(f.endbit).arg(f.startbit));
        return false;
    }
    const int run = f.endbit - f.startbit + 1;
    const int width = fieldBufferWidth(f);
    if (run > width) {
        fault(where + QStringLiteral("поле шире своего типа %1 (ширина в битах: %2 при допустимой %3)")
                          .arg(fieldTypeName(f.type), QString::number(run),
                               QString::number(width)));
        return false;
    }
    return true;
}

QSharedPointer<ParamDataType> TypeReader::read(const QJsonObject &obj, int number)
{
    const int faultsBefore = m_errors.size();
    m_type = QStringLiteral("№%1").arg(number);
    QString name;
    if (textKey(obj, QStringLiteral("name"), &name, QString())) {
        m_type = QStringLiteral("\"%1\"").arg(name);
        if (name.isEmpty())
            fault(QStringLiteral("пустое имя"));
    }
    int size = 0;
    wholeKey(obj, QStringLiteral("size"), 0, kMaxBytes, &size, QString());
    QString cantype;
    textKey(obj, QStringLiteral("cantype"), &cantype, QString());

    auto type = QSharedPointer<ParamDataType>::create(name, size, canTypeCode(cantype));

    const QJsonValue fields = obj.value(QStringLiteral("fields"));
    if (!fields.isUndefined() && !fields.isArray())
        fault(QStringLiteral("\"fields\" не массив"));
    const QJsonArray list = fields.toArray();
    for (int i = 0; i < list.size(); ++i) {
        if (!list.at(i).isObject()) {
            fault(QStringLiteral("поле №%1 не объект").arg(i + 1));
            continue;
        }
        ParamDataField field;
        if (!readField(list.at(i).toObject(), i + 1, field))
            continue;
        if (size > 0 && field.endbit >= size * 8) {
            fault(QStringLiteral("поле \"%1\" (биты %2..%3) выходит за размер типа (размер типа в байтах: %4)")
                      .arg(field.name, QString::number(field.startbit),
                           QString::number(field.endbit), QString::number(size)));
            continue;
        }
        type->setField(field);
    }
    return m_errors.size() == faultsBefore ? type : QSharedPointer<ParamDataType>();
}

} // namespace

QStringList parseDataTypes(const QByteArray &json, DataTypeMap &types, const QString &source)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {QStringLiteral("%1: ошибка JSON: %2 (позиция %3)")
                    .arg(source, parseError.errorString(),
                         QString::number(parseError.offset))};
    if (!doc.isObject() || !doc.object().value(QStringLiteral("types")).isArray())
        return {QStringLiteral("%1: нет массива \"types\"").arg(source)};

    QStringList errors;
    TypeReader reader(source, errors);
    const QJsonArray list = doc.object().value(QStringLiteral("types")).toArray();
    for (int i = 0; i < list.size(); ++i) {
        if (!list.at(i).isObject()) {
            errors << QStringLiteral("%1: элемент №%2 массива \"types\" не объект")
                          .arg(source, QString::number(i + 1));
            continue;
        }
        const QSharedPointer<ParamDataType> type = reader.read(list.at(i).toObject(), i + 1);
        if (type)
            types.insert(type->name(), type);
    }
    return errors;
}

QStringList loadDataTypes(const QString &folder)
{
    const QString path = folder + QStringLiteral("/datatypes.json");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("Не удалось открыть файл типов данных %1: %2")
                    .arg(path, file.errorString())};
    const QByteArray json = file.readAll();
    file.close();
    return parseDataTypes(json, dataTypeMap, path);
}
