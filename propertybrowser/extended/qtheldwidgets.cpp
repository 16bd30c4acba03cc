#include "propertybrowser/extended/qtheldwidgets_p.h"

#include "propertybrowser/extended/qtgridrows.h"
#include "propertybrowser/qtremovalbatch_p.h"

#include <QApplication>
#include <QLayout>
#include <QSet>

#include <algorithm>
#include <utility>

QtHeldWidgets::QtHeldWidgets(QWidget *browser, QtRowGridLayout *layout) : m_browser(browser), m_layout(layout) {}

QtHeldWidgets::~QtHeldWidgets() { QtRemovalBatch::cancel(this); }

bool QtHeldWidgets::holds(const QWidget *widget) const
{
    return widget->parentWidget() == m_browser && QtRemovalBatch::isOpen();
}

void QtHeldWidgets::hold(QWidget *widget)
{
    waitForEnd();
    m_widgets.append(widget);
    // Off the screen at once: a handler may run the event loop before the batch ends.
    hideLeaving(widget);
}

void QtHeldWidgets::holdEditor(QWidget *editor)
{
    waitForEnd();
    m_editors.append(editor);
    hideLeaving(editor);
}

void QtHeldWidgets::hideLeaving(QWidget *widget, bool toBrowser)
{
    const QPointer<QWidget> leaving = widget;
    QWidget *focus = QApplication::focusWidget();
    const bool focusInside = focus && (focus == widget || widget->isAncestorOf(focus));
    if (focusInside)
        m_focusLeaving.append(focus);
    leaving->hide();
    if (toBrowser && leaving && leaving->parentWidget() != m_browser)
        leaving->setParent(m_browser);
    if (focusInside)
        m_focusLeaving.removeLast();
}

void QtHeldWidgets::dispose(QWidget *widget)
{
    const auto busyIn = [widget](const QVector<QPointer<QWidget>> &busy) {
        return std::any_of(busy.cbegin(), busy.cend(), [widget](const QPointer<QWidget> &w) {
            return w && (w == widget || widget->isAncestorOf(w));
        });
    };
    if (!busyIn(m_focusLeaving) && !busyIn(m_inSignal)) {
        delete widget;
        return;
    }
    // Deleting it would take it out of the layout at once; so does this.
    if (QLayout *layout = widget->parentWidget() ? widget->parentWidget()->layout() : nullptr)
        layout->removeWidget(widget);
    widget->hide();
    widget->deleteLater();
}

void QtHeldWidgets::waitForEnd()
{
    if (std::exchange(m_waiting, true))
        return;
    QtRemovalBatch::atEnd(this, [this] { release(); });
}

void QtHeldWidgets::release()
{
    m_waiting = false;
    QSet<const QWidget *> leaving;
    for (const QPointer<QWidget> &widget : std::exchange(m_widgets, {})) {
        if (widget)
            leaving.insert(widget);
    }
    QSet<const QWidget *> editors;
    for (const QPointer<QWidget> &editor : std::exchange(m_editors, {})) {
        if (editor && editor->parentWidget() == m_browser)
            editors.insert(editor);
    }
    leaving.unite(editors);
    m_layout->dropWidgets(leaving);

    // Qt finds a child that leaves among its parent's children from the front:
    // taken in the order they were made, each is found at once.
    QVector<QWidget *> ordered;
    ordered.reserve(leaving.size());
    for (QObject *child : m_browser->children()) {
        if (child->isWidgetType() && leaving.contains(static_cast<QWidget *>(child)))
            ordered.append(static_cast<QWidget *>(child));
    }
    QWidget *holder = nullptr;
    const bool enabled = m_layout->isEnabled();
    m_layout->setEnabled(false);
    for (QWidget *widget : qAsConst(ordered)) {
        if (!editors.contains(widget)) {
            dispose(widget);
            continue;
        }
        if (!holder)
            holder = new QWidget(m_browser);
        widget->setParent(holder);
    }
    m_layout->setEnabled(enabled);
    if (holder)
        holder->deleteLater();
}
