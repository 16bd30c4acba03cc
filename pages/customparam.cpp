#include "pages/customparam.h"

std::mutex paramValueMutex;

namespace {
// The stored bytes never share their block with a copy outside the mutex:
// Qt's reference count on a shared block is invisible to the thread checker
// and would make the worker's and the window's copies look unordered.
QByteArray detached(const QByteArray &bytes)
{
    return QByteArray(bytes.constData(), bytes.size());
}
}

CustomParam::CustomParam(const QString &index, const QString &subindex, const QString &name,
                         const QSharedPointer<ParamDataType> &dataType, bool loggingEnabled,
                         bool exportEnabled)
    : m_name(name),
      m_dataType(dataType),
      m_index(index),
      m_subindex(subindex),
      m_loggingEnabled(loggingEnabled),
      m_exportEnabled(exportEnabled)
{
}

QByteArray CustomParam::value() const
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    return detached(m_value);
}

void CustomParam::setValue(const QByteArray &value)
{
    QByteArray copy = detached(value);
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    m_value = std::move(copy);
}

bool CustomParam::edited() const
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    return m_edited;
}

void CustomParam::setEdited(bool edited)
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    m_edited = edited;
}

bool CustomParam::editedValue(QByteArray *value) const
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (m_edited && value)
        *value = detached(m_value);
    return m_edited;
}

CustomParam::ReadResult CustomParam::storeReadValue(const QByteArray &bytes)
{
    QByteArray copy = detached(bytes);
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (m_edited)
        return ReadResult::SkippedEdited;
    // The first read always counts, even when the device sent no bytes.
    const bool changed = m_value.isEmpty() || m_value != copy;
    m_value = std::move(copy);
    return changed ? ReadResult::Changed : ReadResult::Unchanged;
}

bool CustomParam::clearEditedIfValue(const QByteArray &written)
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (m_value != written)
        return false;
    m_edited = false;
    return true;
}

bool CustomParam::writeField(const QString &fieldName, const QVariant &value, QString *error)
{
    if (!m_dataType) {
        if (error)
            *error = QStringLiteral("у параметра \"%1\" нет типа данных").arg(m_name);
        return false;
    }
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (!m_dataType->writeField(m_value, value, fieldName, error))
        return false;
    m_edited = true;
    return true;
}

QVariant CustomParam::readField(const QString &fieldName) const
{
    if (!m_dataType)
        return QVariant();
    return m_dataType->readField(fieldName, value());
}

std::unique_ptr<CustomParam> CustomParam::cloneForWrite() const
{
    auto copy = std::make_unique<CustomParam>(m_index, m_subindex, m_name, m_dataType,
                                              m_loggingEnabled, m_exportEnabled);
    copy->m_value = value();
    return copy;
}

void registerCustomParamMetaType()
{
    qRegisterMetaType<SPCustomParam>("SPCustomParam");
}
