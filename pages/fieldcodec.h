#pragma once

#include "pages/paramdatatype.h"

// Conversions between a field's value as the pages hold it (QVariant) and its typed
// bytes: the bytes whose bits, in position order, fill the field left-aligned.

// The typed bytes for `value`, or false and a reason for the log when it does not
// convert: not a whole number, out of the type's range, not a finite real, not
// hexadecimal, longer than the field. For Bit fields one byte, 0x80 when set.
bool encodeFieldValue(const ParamDataField &field, const QVariant &value, QByteArray *typed,
                      QString *error);

// The field's value from a buffer of fieldBufferWidth(field) bits.
QVariant decodeFieldValue(const ParamDataField &field, const QByteArray &buffer);
