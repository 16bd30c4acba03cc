#pragma once

#include "pages/paramdatatype.h"

#include <QByteArray>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>

// Guards the value bytes and the edited mark of every CustomParam. The accessors below
// take it themselves; callers must not hold it when calling them (it is not recursive).
// A standard mutex, so that ThreadSanitizer sees its hand-overs.
extern std::mutex paramValueMutex;

// One CANopen object of the device as the pages hold it. Name, type, index, sub-index
// and the two flags are fixed at construction; value and edited mark change on the
// GUI thread and on the data source's workers, so they are reached only through the
// locked accessors.
class CustomParam
{
public:
    CustomParam(const QString &index, const QString &subindex, const QString &name,
                const QSharedPointer<ParamDataType> &dataType, bool loggingEnabled,
                bool exportEnabled);
    CustomParam(const CustomParam &) = delete;
    CustomParam &operator=(const CustomParam &) = delete;

    QString name() const { return m_name; }
    QSharedPointer<ParamDataType> dataType() const { return m_dataType; }
    QString index() const { return m_index; }
    QString subindex() const { return m_subindex; }
    bool loggingEnabled() const { return m_loggingEnabled; }
    bool exportEnabled() const { return m_exportEnabled; }

    QByteArray value() const;
    void setValue(const QByteArray &value);
    bool edited() const;
    void setEdited(bool edited);
    // Value and mark in one look: true, with the value, when the mark is set.
    bool editedValue(QByteArray *value) const;

    enum class ReadResult { SkippedEdited, Unchanged, Changed };
    // Stores bytes read from the device unless the parameter holds an edit. Changed
    // when the stored value was empty or differs from `bytes`.
    ReadResult storeReadValue(const QByteArray &bytes);

    // Clears the mark only when the value still equals the bytes that were written, so
    // an edit made while the write was in flight keeps its mark. True when cleared.
    bool clearEditedIfValue(const QByteArray &written);

    // A user's edit of one field: writes it into the value and sets the mark, both
    // under the mutex. On refusal nothing changes and *error holds the reason.
    bool writeField(const QString &fieldName, const QVariant &value, QString *error = nullptr);

    // Reads a field from a copy of the value (GUI thread: may add a default field entry
    // to the data type). Invalid without a data type.
    QVariant readField(const QString &fieldName) const;

    // A separate record with the same identity and a copy of the value, handed to the
    // save worker for one write; the edited mark of the copy is clear.
    std::unique_ptr<CustomParam> cloneForWrite() const;

private:
    QString m_name;
    QSharedPointer<ParamDataType> m_dataType;
    QString m_index;
    QString m_subindex;
    QByteArray m_value;
    bool m_loggingEnabled;
    bool m_exportEnabled;
    bool m_edited = false;
};

using SPCustomParam = QSharedPointer<CustomParam>;
Q_DECLARE_METATYPE(SPCustomParam)

// Registers SPCustomParam under the name "SPCustomParam" for queued signals between
// the workers and the GUI thread. Safe to call more than once.
void registerCustomParamMetaType();
