// How a classic CAN record's value moves between the device's bytes, the
// record and the page's property: the data-type table, received bytes into
// the record (load worker), the record into bytes to write (save worker),
// edited text into the record and the record into its property (GUI thread).
//
// The value fields of a CAN record (currentRaw, currentText, currentBool) are
// shared between the GUI thread and the workers: every reader and writer goes
// through canValueMutex(). The functions here take it themselves; other code
// reads and writes those fields through canValueOf and setCanValue. Nothing
// here calls out (signals, managers) while holding the lock.
#pragma once

#include <QString>

#include <mutex>

struct ParamEntry;
class QtProperty;

// CiA 301 data-type codes of classic CAN records.
enum CanDataType : int {
    CanBoolean = 0x01,
    CanInteger8 = 0x02,
    CanInteger16 = 0x03,
    CanInteger32 = 0x04,
    CanUnsigned8 = 0x05,
    CanUnsigned16 = 0x06,
    CanUnsigned32 = 0x07,
    CanReal32 = 0x08,
    CanVisibleString = 0x09,
    CanReal64 = 0x11,
    CanInteger64 = 0x15,
    CanUnsigned64 = 0x1B
};

// A VISIBLE_STRING travels in the SDO access's 70-byte data buffer.
enum { CAN_STRING_MAX_BYTES = 70, CAN_RAW_BYTES = 8 };

// Bytes of a value of the type; -1 for a type without a fixed size
// (VISIBLE_STRING included).
int canTypeSize(int code);
// 3 (check box) for BOOLEAN, 1 (text box) for every other code.
int editorTypeForCanType(int code);

std::mutex& canValueMutex();

// The record (object "2070", sub-index "25") whose value is traced in the
// debug output on its way between the device, the page and the editor.
bool isTracedCanRecord(const ParamEntry& record);

struct CanValue {
    qint64 raw = 0;
    QString text;
    bool flag = false;
};
// The record's value fields, copied under the lock.
CanValue canValueOf(const ParamEntry& record);
void setCanValue(ParamEntry& record, const CanValue& value);

// Received bytes into the record. A string is read as Latin-1 up to its first
// zero byte within `length`; any other type clears currentRaw and takes the
// bytes little-endian, cut to the type's size when it has one (an expedited
// answer without a size counts as 4 bytes). False, record unchanged, for a
// number of more than 8 bytes or a negative length. `changed`: currentText
// differs from before.
bool setValueFromRaw(ParamEntry& record, int length, const char* bytes, bool* changed = nullptr);

// The bytes to write into `out` (at least CAN_STRING_MAX_BYTES long). A
// string goes as Latin-1, its length in bytes; other types as the low bytes of
// currentRaw, as many as the type has. False, with the reason in `refusal`,
// for text outside Latin-1, an empty string or one over 70 bytes, and a type
// without a size: nothing is to be sent.
bool rawFromValue(const ParamEntry& record, int* length, char* out, QString* refusal = nullptr);

// An edit into the record: `number` for REAL32/REAL64, `flag` for BOOLEAN,
// `text` for the rest. Integers take decimal, "0x" hexadecimal or "b" binary
// text; UNSIGNED32/INTEGER64/UNSIGNED64 take hexadecimal digits. False, record
// unchanged, when the text does not parse, a decimal value lies outside the
// type, hexadecimal or binary input is wider than the type, or the type has
// no editing rule.
bool parseCanValueText(ParamEntry& record, double number, bool flag, const QString& text);

// Text in base 16 (after its "0x") or base 2 (after every "b" is removed) as
// the 64-bit pattern; `ok` false for text with no digits, other characters or
// more than 64 bits. The code is the record's type: the value is the same bit
// pattern for signed and unsigned types.
qint64 parseHexDigits(const QString& text, int code, bool* ok = nullptr);
qint64 parseBinaryDigits(const QString& text, int code, bool* ok = nullptr);

// The value with bit `bit` (0 to 63) set or cleared; other bit numbers leave
// it as it is.
qint64 setBit(qint64 value, bool on, int bit);

// The record's value into its property, through the property's own manager
// (boolean, double or string as the type asks); a property of another manager
// is left alone. Numbers and texts are set only when they differ. GUI thread.
void showCanValue(ParamEntry& record, QtProperty* property);
