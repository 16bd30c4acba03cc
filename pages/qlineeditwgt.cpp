#include "pages/qlineeditwgt.h"

#include "pages/editmark.h"
#include "pages/fieldvaluetext.h"
#include "pages/wholerangevalidator.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <limits>

QLineEditWgt::QLineEditWgt(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, &QLineEditWgt::slotFromWgtOnValueChange);
}

void QLineEditWgt::setupValidator(const ParamDataField &field)
{
    auto regex = [this](const char *pattern) {
        return new QRegularExpressionValidator(QRegularExpression(QLatin1String(pattern)), this);
    };
    QValidator *validator = nullptr;
    switch (field.type) {
    case FieldType::Int8: validator = new WholeRangeValidator(-128, 127, this); break;
    case FieldType::UInt8: validator = new WholeRangeValidator(0, 255, this); break;
    case FieldType::Int16: validator = new WholeRangeValidator(-32768, 32767, this); break;
    case FieldType::UInt16: validator = new WholeRangeValidator(0, 65535, this); break;
    case FieldType::Int32:
        validator = new WholeRangeValidator(std::numeric_limits<qint32>::min(),
                                            std::numeric_limits<qint32>::max(), this);
        break;
    case FieldType::UInt32:
        validator = new WholeRangeValidator(0, std::numeric_limits<quint32>::max(), this);
        break;
    // 64-bit ranges are checked when the value is written into the field.
    case FieldType::Int64: validator = regex("-?[0-9]+"); break;
    case FieldType::UInt64: validator = regex("[0-9]+"); break;
    // Reals are shown with a decimal comma; a point is taken too.
    case FieldType::Real32:
    case FieldType::Real64:
        validator = regex("[-+]?([0-9]+([.,][0-9]{0,4})?|[.,][0-9]{1,4})");
        break;
    case FieldType::Hex: validator = regex("(0x)?[A-F|a-f|0-9]+"); break;
    default: break; // "string" and "bit" take any text
    }
    setValidator(validator);
}

void QLineEditWgt::slotFromParamOnValueChange(QVariant val)
{
    const QSignalBlocker block(this);
    m_shown = fieldValueText(val, FieldTextStyle::LineEdit);
    setText(m_shown);
}

void QLineEditWgt::slotFromWgtOnValueChange()
{
    clearFocus();
    if (text() == m_shown)
        return;
    m_shown = text();
    setStyleSheet(editedTextStyle());
    emit signalValueChanged(m_shown);
}

void QLineEditWgt::showStoredAgain()
{
    const QSignalBlocker block(this);
    setText(m_shown);
}

void QLineEditWgt::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !hasAcceptableInput())
        showStoredAgain();
    QLineEdit::keyPressEvent(event);
}

void QLineEditWgt::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!hasAcceptableInput())
        showStoredAgain();
}

void QLineEditWgt::slotChangeSelection(bool edited)
{
    setStyleSheet(edited ? editedTextStyle() : QString());
}
