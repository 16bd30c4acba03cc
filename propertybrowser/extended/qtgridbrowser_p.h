// What the button and group-box browsers share inside: the labels of a row and how
// a row shows its property. Internal to the property browser.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QLabel>
#include <QWidget>

namespace QtGridBrowserShapes {

// The name of a property: fixed to its text in both directions.
inline QLabel *newNameLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

// The value text of a property without an editor. The text is device data, never
// markup.
inline QLabel *newValueLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextFormat(Qt::PlainText);
    
    return label;
}

inline void setUnderline(QWidget *widget, bool underline)
{
    QFont font = widget->font();
    font.setUnderline(underline);
    widget->setFont(font);
}

// A widget that names the property (name label, expand button, group box); the
// caller sets the text.
inline void showName(QWidget *widget, const QtProperty *property)
{
    setUnderline(widget, property->isModified());
    widget->setToolTip(property->toolTip());
    widget->setStatusTip(property->statusTip());
    widget->setWhatsThis(property->whatsThis());
    widget->setEnabled(property->isEnabled());
}

inline void showValue(QLabel *label, const QtProperty *property)
{
    setUnderline(label, false);
    const QString text = property->valueText();
    label->setText(text);
    label->setToolTip(text);
    label->setEnabled(property->isEnabled());
}

inline void showEditor(QWidget *editor, const QtProperty *property)
{
    setUnderline(editor, false);
    editor->setEnabled(property->isEnabled());
    editor->setToolTip(property->valueText());
}

} // namespace QtGridBrowserShapes
