// Helpers of the tests of the grid browsers: a grid layout written out as its
// items' places, the widgets of a browser found by what they show, and the scene.
#pragma once

#include "propertybrowser/qteditorfactory.h"
#include "propertybrowser/qtgrouppropertymanager.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringList>
#include <QToolButton>

#include <QTest>

#include <algorithm>
#include <memory>
#include <tuple>
#include <type_traits>

inline QStringList gridOf(const QLayout *layout);

// What a widget of a grid browser is: "name:Text" (a name label is fixed in
// width), "value:Text", "button:Text checked|unchecked ^|v", "panel{...}" and
// "group:Title{...}" with their own grid, "sunken line" or "line", else "editor"; " hidden" when
// hidden on purpose.
inline QString describe(const QWidget *widget)
{
    QString text;
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        const bool name = label->sizePolicy().horizontalPolicy() == QSizePolicy::Fixed;
        text = (name ? QStringLiteral("name:") : QStringLiteral("value:")) + label->text();
    } else if (const auto *button = qobject_cast<const QToolButton *>(widget)) {
        text = QStringLiteral("button:%1 %2 %3")
                   .arg(button->text(), button->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked"),
                        button->arrowType() == Qt::UpArrow ? QStringLiteral("^") : QStringLiteral("v"));
    } else if (const auto *box = qobject_cast<const QGroupBox *>(widget)) {
        text = QStringLiteral("group:%1{%2}").arg(box->title(), gridOf(box->layout()).join(QStringLiteral("; ")));
    } else if (const auto *frame = qobject_cast<const QFrame *>(widget)) {
        text = frame->frameShape() == QFrame::HLine
                   ? (frame->frameShadow() == QFrame::Sunken ? QStringLiteral("sunken line") : QStringLiteral("line"))
                   : QStringLiteral("panel{%1}").arg(gridOf(frame->layout()).join(QStringLiteral("; ")));
    } else {
        text = QStringLiteral("editor");
    }
    if (widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide))
        text += QStringLiteral(" hidden");
    return text;
}

// "row,column,rowSpan,columnSpan what" for every item, by row and column.
inline QStringList gridOf(const QLayout *layout)
{
    const auto *grid = qobject_cast<const QGridLayout *>(layout);
    if (!grid)
        return {QStringLiteral("no grid")};
    QList<std::tuple<int, int, QString>> items;
    for (int i = 0; i < grid->count(); ++i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        QLayoutItem *item = grid->itemAt(i);
        const QString what = item->widget() ? describe(item->widget()) : QStringLiteral("spacer");
        items << std::make_tuple(row, column,
                                 QStringLiteral("%1,%2,%3,%4 %5").arg(row).arg(column).arg(rowSpan).arg(columnSpan).arg(what));
    }
    std::sort(items.begin(), items.end());
    QStringList out;
    for (const auto &item : qAsConst(items))
        out << std::get<2>(item);
    return out;
}

// The names of a grid browser's top-level rows, top down, as gridOf reads them.
inline QStringList gridRowNames(const QLayout *layout)
{
    QStringList names;
    for (const QString &place : gridOf(layout)) {
        const QString what = place.section(QLatin1Char(' '), 1);
        for (const char *kind : {"name:", "button:", "group:"}) {
            if (what.startsWith(QLatin1String(kind)))
                names << what.mid(int(qstrlen(kind))).section(QRegularExpression(QStringLiteral("[ {]")), 0, 0);
        }
    }
    return names;
}

// The widget of that class showing that text (a label's or button's text, a group's title).
template <class Widget>
Widget *widgetShowing(const QWidget *browser, const QString &text)
{
    for (Widget *w : browser->findChildren<Widget *>()) {
        if constexpr (std::is_same_v<Widget, QGroupBox>) {
            if (w->title() == text)
                return w;
        } else if (w->text() == text) {
            return w;
        }
    }
    return nullptr;
}

// Whether every label and editor (spin box) below the browser stands in its grid,
// `grid` as gridOf writes it: none of a removed row is left behind.
inline bool onlyGridWidgetsLeft(const QWidget *browser, const QStringList &grid)
{
    const QString all = grid.join(QLatin1Char(';'));
    const int labels = all.count(QStringLiteral("name:")) + all.count(QStringLiteral("value:"));
    return browser->findChildren<QLabel *>().size() == labels
           && browser->findChildren<QSpinBox *>().size() == all.count(QStringLiteral("editor"));
}

// Whether a row's name and value stand laid out in their holder: side by side in
// it, the value taking the wider right part, as a layout pass leaves them and
// unlike where Qt puts a widget before any pass.
inline bool laidOutSideBySide(const QWidget *name, const QWidget *value)
{
    const QWidget *holder = name->parentWidget();
    const QRect inside = holder->rect();
    return value->parentWidget() == holder && inside.contains(name->geometry()) && inside.contains(value->geometry())
           && name->geometry().right() < value->x() && value->width() > inside.width() / 2;
}

// The scene of a grid-browser test: an int manager bound to a spin-box factory (its
// properties get editors), a string manager and a group manager without one, and
// the browser (the test shows it).
template <class Browser>
struct GridFixture
{
    void create()
    {
        browser = std::make_unique<Browser>();
        groups = std::make_unique<QtGroupPropertyManager>();
        ints = std::make_unique<QtIntPropertyManager>();
        strings = std::make_unique<QtStringPropertyManager>();
        factory = std::make_unique<QtSpinBoxFactory>();
        browser->setFactoryForManager(ints.get(), factory.get());
        browser->resize(400, 600);
    }

    void destroy()
    {
        browser.reset();
        factory.reset();
        strings.reset();
        ints.reset();
        groups.reset();
    }

    QtProperty *addString(const QString &name, const QString &value)
    {
        QtProperty *property = strings->addProperty(name);
        strings->setValue(property, value);
        return property;
    }

    // Deletes the browser; every widget it made must go with it, none left behind
    // as a window of its own.
    void checkBrowserTakesItsWidgets()
    {
        QList<QPointer<QWidget>> widgets;
        for (QWidget *w : browser->template findChildren<QWidget *>())
            widgets << w;
        browser.reset();
        for (const QPointer<QWidget> &w : qAsConst(widgets))
            QVERIFY(!w);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
        // Nothing queued for the browser runs after it.
        QCoreApplication::processEvents();
    }

    // Clears the manager named "ints", "strings" or "groups", or else the browser.
    void clear(const QString &which)
    {
        if (which == QLatin1String("ints"))
            ints->clear();
        else if (which == QLatin1String("strings"))
            strings->clear();
        else if (which == QLatin1String("groups"))
            groups->clear();
        else
            browser->clear();
    }

    std::unique_ptr<Browser> browser;
    std::unique_ptr<QtGroupPropertyManager> groups;
    std::unique_ptr<QtIntPropertyManager> ints;
    std::unique_ptr<QtStringPropertyManager> strings;
    std::unique_ptr<QtSpinBoxFactory> factory;
};
