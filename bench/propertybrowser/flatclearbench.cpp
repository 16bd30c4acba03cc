#include "flatclearbench.h"

#include "variantpage.h"

#include "propertybrowser/extended/qtbuttonpropertybrowser.h"
#include "propertybrowser/extended/qtgroupboxpropertybrowser.h"
#include "propertybrowser/qttreepropertybrowser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollArea>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <type_traits>
#include <vector>

namespace {

constexpr int kSmall = 500;
constexpr int kLarge = 2000;
constexpr int kHuge = 4000;
constexpr double kTreeTargetMs = 200;
// Linear growth gives 4 from 500 to 2,000 and 2 from 2,000 to 4,000; a little
// above leaves room for the caches.
constexpr double kTargetRatio = 4.5;
constexpr double kTargetHugeRatio = 2.25;

// Runs what the clear left for the event loop: layouts, paints, and the widgets
// deleted from it, which processEvents alone leaves to an event loop that runs.
void settleClear()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

double msSince(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

// The clear of the page's manager and the event loop's turn after it.
// Not inlined, so that a profiler can count this part alone.
__attribute__((noinline)) double timeClear(VariantPage &page)
{
    QElapsedTimer timer;
    timer.start();
    page.manager.clear();
    settleClear();
    return msSince(timer);
}

double clearTree(int count)
{
    QtTreePropertyBrowser browser;
    browser.resize(900, 700);
    VariantPage page(&browser);
    page.fillFlat(count);
    browser.show();
    settleClear();
    return timeClear(page);
}

template <class Browser>
double clearGrid(int count, bool expandAll)
{
    QScrollArea area;
    area.resize(900, 700);
    area.setWidgetResizable(true);
    auto *browser = new Browser;
    area.setWidget(browser);
    VariantPage page(browser);
    page.fillFlat(count);
    area.show();
    settleClear();
    if constexpr (std::is_same_v<Browser, QtButtonPropertyBrowser>) {
        if (expandAll) {
            for (QtBrowserItem *item : browser->topLevelItems())
                browser->setExpanded(item, true);
            settleClear();
        }
    }
    return timeClear(page);
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double medianRun(int rounds, const std::function<double()> &run)
{
    std::vector<double> v;
    for (int r = 0; r < rounds; ++r)
        v.push_back(run());
    return medianOf(v);
}

// One browser's clear at 500 and 2,000 (and, when asked, 4,000), its ratios and
// the goal beside them.
void printRow(const char *name, int rounds, bool huge, const std::function<double(int)> &clear,
              double targetMs)
{
    const double small = medianRun(rounds, [&] { return clear(kSmall); });
    const double large = medianRun(rounds, [&] { return clear(kLarge); });
    char target[64];
    int used = targetMs > 0 ? std::snprintf(target, sizeof target, "%.0f ms, ", targetMs) : 0;
    used += std::snprintf(target + used, sizeof target - used, "%.2fx", kTargetRatio);
    if (huge)
        std::snprintf(target + used, sizeof target - used, ", %.2fx", kTargetHugeRatio);
    if (huge) {
        const double most = medianRun(rounds, [&] { return clear(kHuge); });
        std::printf("  %-32s %7.1f ms %7.1f ms %6.2fx %7.1f ms %6.2fx   %s\n", name, small, large, large / small,
                    most, most / large, target);
    } else {
        std::printf("  %-32s %7.1f ms %7.1f ms %6.2fx %10s %7s   %s\n", name, small, large, large / small, "-", "-",
                    target);
    }
}

} // namespace

void benchFlatClear(int rounds)
{
    std::printf("\nflat pages of variant properties, shown, manager cleared with the browser alive, "
                "median of %d rounds\n",
                rounds);
    std::printf("  %-32s %10d %10d %7s %10d %7s   %s\n", "browser", kSmall, kLarge, "/500", kHuge, "/2000",
                "target");
    printRow("tree", rounds, true, clearTree, kTreeTargetMs);
    printRow("button, panels closed", rounds, false,
             [](int count) { return clearGrid<QtButtonPropertyBrowser>(count, false); }, 0);
    printRow("button, every panel open", rounds, false,
             [](int count) { return clearGrid<QtButtonPropertyBrowser>(count, true); }, 0);
    printRow("group-box", rounds, false,
             [](int count) { return clearGrid<QtGroupBoxPropertyBrowser>(count, false); }, 0);
}
