#include "gridbench.h"

#include "variantpage.h"

#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollArea>

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <vector>

namespace {

constexpr int kSmall = 500;
constexpr int kLarge = 2000;
constexpr double kTargetMs = 1500;
constexpr double kTargetRatio = 4.5;

struct GridFigures
{
    double add = 0;
    double show = 0;
    double expand = 0;

    double total() const { return add + show + expand; }
};

void settleGrid()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

double msSince(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

QList<QtBrowserItem *> everyItem(const QList<QtBrowserItem *> &items)
{
    QList<QtBrowserItem *> out;
    for (QtBrowserItem *item : items)
        out << item << everyItem(item->children());
    return out;
}

template <class Browser>
GridFigures measureGrid(int count)
{
    GridFigures f;
    QScrollArea area;
    area.resize(900, 700);
    area.setWidgetResizable(true);
    auto *browser = new Browser;
    area.setWidget(browser);
    VariantPage page(browser);
    area.show();
    settleGrid();

    QElapsedTimer timer;
    timer.start();
    page.fillFlat(count);
    f.add = msSince(timer);
    timer.restart();
    settleGrid();
    f.show = msSince(timer);
    if constexpr (std::is_same_v<Browser, QtButtonPropertyBrowser>) {
        timer.restart();
        for (QtBrowserItem *item : everyItem(browser->topLevelItems()))
            browser->setExpanded(item, true);
        settleGrid();
        f.expand = msSince(timer);
    }
    // The browser goes first: the page's manager then clears without it.
    delete area.takeWidget();
    settleGrid();
    return f;
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class Browser>
void printGrid(const char *name, int rounds)
{
    std::vector<GridFigures> small;
    std::vector<GridFigures> large;
    for (int r = 0; r < rounds; ++r) {
        small.push_back(measureGrid<Browser>(kSmall));
        large.push_back(measureGrid<Browser>(kLarge));
    }
    auto median = [](const std::vector<GridFigures> &runs, double (*field)(const GridFigures &)) {
        std::vector<double> v;
        for (const GridFigures &f : runs)
            v.push_back(field(f));
        return medianOf(v);
    };
    auto row = [&](const char *step, double (*field)(const GridFigures &), const char *target) {
        const double s = median(small, field);
        const double l = median(large, field);
        std::printf("  %-30s %7.1f ms %7.1f ms %6.2fx %s\n", step, s, l, s > 0 ? l / s : 0.0, target);
    };
    std::printf("%-32s %10d %10d %7s\n", name, kSmall, kLarge, "ratio");
    row("add", [](const GridFigures &f) { return f.add; }, "");
    row("then shown and laid out", [](const GridFigures &f) { return f.show; }, "");
    if (std::is_same_v<Browser, QtButtonPropertyBrowser>)
        row("expand all", [](const GridFigures &f) { return f.expand; }, "");
    char target[64];
    std::snprintf(target, sizeof target, "target %.0f ms, %.2fx", kTargetMs, kTargetRatio);
    row("together", [](const GridFigures &f) { return f.total(); }, target);
}

} // namespace

void benchGridBrowsers(int rounds)
{
    std::printf("\ngrid browsers, flat variant properties, filled while shown in a 900 x 700 scroll area, "
                "median of %d rounds\n",
                rounds);
    printGrid<QtButtonPropertyBrowser>("button browser", rounds);
    printGrid<QtGroupBoxPropertyBrowser>("group-box browser", rounds);
}
