#include "pages/customparam.h"

#include "pages/bitfield.h"

#include <atomic>

std::mutex paramValueMutex;

uint64_t nextDeviceValueStamp()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

QByteArray changedBits(const QByteArray &from, const QByteArray &to)
{
    if (from.size() != to.size())
        return QByteArray(to.size(), char(0xFF));
    QByteArray mask(to.size(), '\0');
    for (int i = 0; i < to.size(); ++i)
        mask[i] = char(from[i] ^ to[i]);
    return mask;
}

void applyBits(QByteArray &target, const QByteArray &source, const QByteArray &mask)
{
    for (int i = 0; i < target.size() && i < source.size() && i < mask.size(); ++i)
        target[i] = char((target[i] & ~mask[i]) | (source[i] & mask[i]));
}

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

QByteArray CustomParam::deviceValue(uint64_t *stamp) const
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (stamp)
        *stamp = m_deviceStamp;
    return detached(m_deviceValue);
}

CustomParam::ReadResult CustomParam::storeReadValue(const QByteArray &bytes)
{
    QByteArray copy = detached(bytes);
    QByteArray known = detached(bytes);
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (m_edited)
        return ReadResult::SkippedEdited;
    // The first read always counts, even when the device sent no bytes.
    const bool changed = m_value.isEmpty() || m_value != copy;
    m_value = std::move(copy);
    m_deviceValue = std::move(known);
    m_deviceStamp = nextDeviceValueStamp();
    m_editedBits.clear();
    return changed ? ReadResult::Changed : ReadResult::Unchanged;
}

CustomParam::WriteEnd CustomParam::wroteValue(const QByteArray &handed, const QByteArray &onDevice,
                                              uint64_t stamp)
{
    QByteArray known = detached(onDevice);
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    WriteEnd end;
    const QByteArray before = m_value;
    if (m_value == handed) {
        m_value = detached(onDevice);
        settle();
        end.markCleared = true;
    } else if (m_value.size() == onDevice.size() && handed.size() == onDevice.size()) {
        // Edited again while the write was in flight: the edited fields, over
        // what the device holds now.
        QByteArray mask = changedBits(handed, m_value);
        for (int i = 0; i < mask.size() && i < m_editedBits.size(); ++i)
            mask[i] = char(mask[i] | m_editedBits[i]);
        QByteArray rebased = detached(onDevice);
        applyBits(rebased, m_value, mask);
        m_value = std::move(rebased);
    }
    m_deviceValue = std::move(known);
    m_deviceStamp = stamp;
    end.valueChanged = m_value != before;
    return end;
}

CustomParam::WriteShare CustomParam::writeShare() const
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    WriteShare share;
    share.value = detached(m_value);
    share.known = detached(m_deviceValue);
    share.knownStamp = m_deviceStamp;
    share.changed = changedBits(m_deviceValue, m_value);
    if (m_editedBits.size() == share.changed.size()) {
        for (int i = 0; i < share.changed.size(); ++i)
            share.changed[i] = char(share.changed[i] | m_editedBits[i]);
    }
    return share;
}

void CustomParam::settle()
{
    m_edited = false;
    m_editedBits.clear();
}

bool CustomParam::revertToDeviceValue()
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    settle();
    if (m_value == m_deviceValue)
        return false;
    m_value = detached(m_deviceValue);
    return true;
}

bool CustomParam::revertIfValue(const QByteArray &written)
{
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    if (m_value != written)
        return false;
    settle();
    m_value = detached(m_deviceValue);
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
    // The whole field counts as changed, also where its bits stay: of two
    // records editing one field, the later write wins it whole.
    const ParamDataField field = m_dataType->fields().value(fieldName);
    if (m_editedBits.size() != m_value.size())
        m_editedBits = QByteArray(m_value.size(), '\0');
    const int last = field.type == FieldType::Bit ? field.startbit : field.endbit;
    for (int p = field.startbit; p <= last; ++p)
        setBitAt(m_editedBits, p, 1);
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
    const std::lock_guard<std::mutex> lock(paramValueMutex);
    copy->m_value = detached(m_value);
    copy->m_deviceValue = detached(m_deviceValue);
    copy->m_deviceStamp = m_deviceStamp;
    copy->m_editedBits = detached(m_editedBits);
    return copy;
}

void registerCustomParamMetaType()
{
    qRegisterMetaType<SPCustomParam>("SPCustomParam");
}
