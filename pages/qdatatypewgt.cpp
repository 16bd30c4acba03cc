#include "pages/qdatatypewgt.h"

QDataTypeWgt::QDataTypeWgt(QWidget *parent) : QFrame(parent)
{
    // Visible in the designer; the page builder removes the frame.
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
}
