#include "propertybrowser/extended/qtbuttoneditwidgets.h"

#include "propertybrowser/extended/qtvaluepictures.h"
#include "propertybrowser/qteditingwidgets_p.h"
#include "propertybrowser/qtvaluetexts.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QToolButton>

using namespace QtEditorWidgetShapes;

// --- QtButtonValueEdit ---

// Picture and text left, then the stretch, then the fixed "..." button.
QtButtonValueEdit::QtButtonValueEdit(QWidget *parent)
    : QWidget(parent), m_pixmapLabel(new QLabel(this)), m_label(new QLabel(this)), m_button(new QToolButton(this))
{
    QHBoxLayout *layout = editorRow(this);
    layout->addWidget(m_pixmapLabel);
    layout->addWidget(m_label);
    layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Ignored));
    m_button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    m_button->setFixedWidth(20);
    setFocusProxy(m_button);
    setFocusPolicy(m_button->focusPolicy());
    m_button->installEventFilter(this);
    layout->addWidget(m_button);
}

void QtButtonValueEdit::showValue(const QPixmap &picture, const QString &text)
{
    m_pixmapLabel->setPixmap(picture);
    m_label->setText(text);
}

bool QtButtonValueEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_button && buttonIgnores(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool QtButtonValueEdit::runDialog(QDialog *dialog, const std::function<void()> &take)
{
    const QPointer<QtButtonValueEdit> self(this);
    const QPointer<QDialog> guard(dialog);
    m_dialog = dialog;
    m_dialogWithdrawn = false;
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!self)
        return false;
    const bool taken = accepted && guard && !m_dialogWithdrawn;
    m_dialog = nullptr;
    if (taken)
        take();
    delete guard.data();
    return taken;
}

void QtButtonValueEdit::paintEvent(QPaintEvent *) { paintEditorBackground(this); }

// A browser hides an editor as it lets it go; a dialog open on it would edit a
// property that is no longer there.
void QtButtonValueEdit::hideEvent(QHideEvent *event)
{
    if (m_dialog && !event->spontaneous()) {
        m_dialogWithdrawn = true;
        m_dialog->reject();
    }
    QWidget::hideEvent(event);
}

// --- QtColorEditWidget ---

QtColorEditWidget::QtColorEditWidget(QWidget *parent) : QtButtonValueEdit(parent)
{
    button()->setText(tr("..."));
    connect(button(), SIGNAL(clicked()), this, SLOT(buttonClicked()));
    showValue(brushValuePixmap(QBrush(m_color)), colorValueText(m_color));
}

void QtColorEditWidget::setValue(const QColor &value)
{
    if (value == m_color)
        return;
    m_color = value;
    showValue(brushValuePixmap(QBrush(value)), colorValueText(value));
}

void QtColorEditWidget::buttonClicked()
{
    const QRgb old = m_color.rgba();
    auto *dialog = new QColorDialog(this);
    dialog->setOptions(QColorDialog::ShowAlphaChannel);
    dialog->setCurrentColor(QColor::fromRgba(old));
    QColor chosen;
    if (!runDialog(dialog, [&] { chosen = dialog->selectedColor(); }))
        return;
    if (!chosen.isValid() || chosen.rgba() == old)
        return;
    setValue(QColor::fromRgba(chosen.rgba()));
    emit valueChanged(m_color);
}

// --- QtFontEditWidget ---

QtFontEditWidget::QtFontEditWidget(QWidget *parent) : QtButtonValueEdit(parent)
{
    button()->setText(tr("..."));
    connect(button(), SIGNAL(clicked()), this, SLOT(buttonClicked()));
    showValue(fontValuePixmap(m_font), fontValueText(m_font));
}

void QtFontEditWidget::setValue(const QFont &value)
{
    if (value == m_font)
        return;
    m_font = value;
    showValue(fontValuePixmap(value), fontValueText(value));
}

void QtFontEditWidget::buttonClicked()
{
    auto *dialog = new QFontDialog(this);
    dialog->setCurrentFont(m_font);
    dialog->setWindowTitle(tr("Select Font"));
    QFont chosen;
    if (!runDialog(dialog, [&] { chosen = dialog->selectedFont(); }))
        return;
    if (chosen == m_font)
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
