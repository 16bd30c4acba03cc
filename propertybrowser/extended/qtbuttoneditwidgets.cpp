#include "propertybrowser/extended/qtbuttoneditwidgets.h"

#include "propertybrowser/extended/qtvaluepictures.h"
#include "propertybrowser/qteditingwidgets_p.h"
#include "propertybrowser/qtvaluetexts.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

using namespace QtEditorWidgetShapes;

namespace {

// Picture and text left, then the stretch, then the fixed "..." button, which takes
// the editor's focus and whose Escape, Return and Enter the editor filters out.
void buildButtonEditor(QWidget *editor, QLabel *pixmapLabel, QLabel *label, QToolButton *button,
                       const QString &buttonText, const char *clickedSlot)
{
    QHBoxLayout *layout = editorRow(editor);
    layout->addWidget(pixmapLabel);
    layout->addWidget(label);
    layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Ignored));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    button->setFixedWidth(20);
    editor->setFocusProxy(button);
    editor->setFocusPolicy(button->focusPolicy());
    button->setText(buttonText);
    button->installEventFilter(editor);
    QObject::connect(button, SIGNAL(clicked()), editor, clickedSlot);
    layout->addWidget(button);
}

} // namespace

// --- QtColorEditWidget ---

QtColorEditWidget::QtColorEditWidget(QWidget *parent)
    : QWidget(parent), m_pixmapLabel(new QLabel(this)), m_label(new QLabel(this)), m_button(new QToolButton(this))
{
    buildButtonEditor(this, m_pixmapLabel, m_label, m_button, tr("..."), SLOT(buttonClicked()));
    m_pixmapLabel->setPixmap(brushValuePixmap(QBrush(m_color)));
    m_label->setText(colorValueText(m_color));
}

void QtColorEditWidget::setValue(const QColor &value)
{
    if (value == m_color)
        return;
    m_color = value;
    m_pixmapLabel->setPixmap(brushValuePixmap(QBrush(value)));
    m_label->setText(colorValueText(value));
}

void QtColorEditWidget::buttonClicked()
{
    const QRgb old = m_color.rgba();
    const QColor chosen =
        QColorDialog::getColor(QColor::fromRgba(old), this, QString(), QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid() || chosen.rgba() == old)
        return;
    setValue(QColor::fromRgba(chosen.rgba()));
    emit valueChanged(m_color);
}

bool QtColorEditWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_button && buttonIgnores(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void QtColorEditWidget::paintEvent(QPaintEvent *) { paintEditorBackground(this); }

// --- QtFontEditWidget ---

QtFontEditWidget::QtFontEditWidget(QWidget *parent)
    : QWidget(parent), m_pixmapLabel(new QLabel(this)), m_label(new QLabel(this)), m_button(new QToolButton(this))
{
    buildButtonEditor(this, m_pixmapLabel, m_label, m_button, tr("..."), SLOT(buttonClicked()));
    m_pixmapLabel->setPixmap(fontValuePixmap(m_font));
    m_label->setText(fontValueText(m_font));
}

void QtFontEditWidget::setValue(const QFont &value)
{
    if (value == m_font)
        return;
    m_font = value;
    m_pixmapLabel->setPixmap(fontValuePixmap(value));
    m_label->setText(fontValueText(value));
}

void QtFontEditWidget::buttonClicked()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, m_font, this, tr("Select Font"));
    if (!ok || chosen == m_font)
        return;
    QFont font = m_font;
    if (chosen.family() != font.family())
        font.setFamily(chosen.family());
    if (chosen.pointSize() != font.pointSize())
        font.setPointSize(chosen.pointSize());
    // A weight above Medium counts as bold.
    if (chosen.bold() != font.bold())
        font.setWeight(chosen.bold() ? QFont::Bold : QFont::Normal);
    if (chosen.italic() != font.italic())
        font.setItalic(chosen.italic());
    if (chosen.underline() != font.underline())
        font.setUnderline(chosen.underline());
    if (chosen.strikeOut() != font.strikeOut())
        font.setStrikeOut(chosen.strikeOut());
    setValue(font);
    emit valueChanged(m_font);
}

bool QtFontEditWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_button && buttonIgnores(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void QtFontEditWidget::paintEvent(QPaintEvent *) { paintEditorBackground(this); }
