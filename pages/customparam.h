#pragma once

#include "pages/paramdatatype.h"

#include <QByteArray>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <cstdint>
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

    // The last value known from the device: read, or written successfully. Empty
    // until then. An edit is judged against it: cancelling puts it back, and a
    // write carries the bits the edit changed from it. *stamp, when asked for,
    // tells how recent the knowledge is (see nextDeviceValueStamp).
    QByteArray deviceValue(uint64_t *stamp = nullptr) const;

    enum class ReadResult { SkippedEdited, Unchanged, Changed };
    // Stores bytes read from the device, as value and device value, unless the
    // parameter holds an edit. Changed when the stored value was empty or differs
    // from `bytes`.
    ReadResult storeReadValue(const QByteArray &bytes);

    // A write of `handed` (this record's value when it was saved) ended well and
    // left `onDevice` in the object: a write may carry the edits of other records
    // of the same object too. `onDevice` becomes the device value and, unless the
    // value was edited again meanwhile, the value, and the mark goes. A later
    // edit keeps its mark and its own changes, over `onDevice`.
    struct WriteEnd {
        bool valueChanged = false;
        bool markCleared = false;
    };
    WriteEnd wroteValue(const QByteArray &handed, const QByteArray &onDevice, uint64_t stamp);
    // What a write of this record carries: its value, the device value it knew
    // (with its stamp) and the bits it changed from it: every bit of each field
    // edited, and every bit that differs (an import). Taken in one look.
    struct WriteShare {
        QByteArray value;
        QByteArray known;
        uint64_t knownStamp = 0;
        QByteArray changed;
    };
    WriteShare writeShare() const;

    // Drops the edit: the value goes back to the device value and the mark is
    // cleared. True when the value changed.
    bool revertToDeviceValue();
    // A write of `written` failed: the edit is dropped as by revertToDeviceValue,
    // unless the value was edited again meanwhile. True when dropped.
    bool revertIfValue(const QByteArray &written);

    // A user's edit of one field: writes it into the value and sets the mark, both
    // under the mutex. On refusal nothing changes and *error holds the reason.
    bool writeField(const QString &fieldName, const QVariant &value, QString *error = nullptr);

    // Reads a field from a copy of the value (GUI thread: may add a default field entry
    // to the data type). Invalid without a data type.
    QVariant readField(const QString &fieldName) const;

    // A separate record with the same identity and a copy of the value and the
    // device value, handed to the save worker for one write; the edited mark of
    // the copy is clear.
    std::unique_ptr<CustomParam> cloneForWrite() const;

private:
    // The device value is what the record holds: nothing is edited any more.
    void settle();

    QString m_name;
    QSharedPointer<ParamDataType> m_dataType;
    QString m_index;
    QString m_subindex;
    QByteArray m_value;
    QByteArray m_deviceValue;
    uint64_t m_deviceStamp = 0;
    QByteArray m_editedBits; // the positions of the fields edited since the device value
    bool m_loggingEnabled;
    bool m_exportEnabled;
    bool m_edited = false;
};

// Stamps knowledge of device values in the order it was gained (reads and
// writes alike), so that of two values known for one object the newer is
// told. Never 0.
uint64_t nextDeviceValueStamp();

// Bit masks of a value: the bits in which `to` differs from `from`; all bits
// of `to` when the two lengths differ (nothing is known to be kept).
QByteArray changedBits(const QByteArray &from, const QByteArray &to);
// Takes the bits that `mask` sets from `source` into `target` (all three of one length).
void applyBits(QByteArray &target, const QByteArray &source, const QByteArray &mask);

using SPCustomParam = QSharedPointer<CustomParam>;
Q_DECLARE_METATYPE(SPCustomParam)

// Registers SPCustomParam under the name "SPCustomParam" for queued signals between
// the workers and the GUI thread. Safe to call more than once.
void registerCustomParamMetaType();
