// Builds the sample page in a tree property browser with 2,000 properties (100 groups
// of 19 values of the five value kinds, some with sub-properties two deep) and
// prints the time of each step beside a bare QTreeWidget with the same rows, measured
// in the same run, and the step's target. Then builds the variant page (2,000 variant
// properties over the 22 value types, compound ones with their sub-properties, with
// the variant editor factory) and prints each step per shown row beside the basic
// page's, against three times the basic figure: the variant layer adds a map lookup
// and a relayed signal per change, nothing that grows with the page. The basic page
// is measured a second time with as many rows as the variant page, since the tree
// view's own removal of rows costs more per row the more rows it shows. The steps:
//   build        into a browser not yet shown, then shown and laid out (also into a
//                shown browser, for reference);
//   expand all   collapse all, then setExpanded on every item;
//   change       every value once, one setter per property;
//   teardown     clear each manager while the browser lives, then delete it (per row
//                also with every row collapsed first, for reference);
//   clear        clear each manager of a shown page while the browser lives, and,
//                for reference, after the browser was deleted;
//   memory       resident growth after the build.
// Then the grid browsers (gridbench.h), then the clear of flat pages in each browser
// (flatclearbench.h); "flatclear" runs that part alone.
//
//   QT_QPA_PLATFORM=offscreen bench_propertybrowser [rounds] [flatclear]

#include "bench/procstatus.h"
#include "flatclearbench.h"
#include "gridbench.h"
#include "propertysample.h"
#include "variantpage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kGroups = 100;

// Runs the posted layouts and paints.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

double elapsedMs(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

struct Figures
{
    double buildHidden = 0;
    double show = 0;
    double buildShown = 0;
    double expand = 0;
    double change = 0;
    double teardown = 0;
    // The same, with every row collapsed first (a tree view walks the persistent
    // index of every expanded row at each row removal).
    double teardownCollapsed = 0;
    // The managers of a shown page cleared while the browser lives, and after it
    // was deleted.
    double clearShown = 0;
    double clearWithoutBrowser = 0;
    double growthMb = 0;
    int rows = 0;

    double build() const { return buildHidden + show; }
};

QList<QtBrowserItem *> allItems(const QList<QtBrowserItem *> &items)
{
    QList<QtBrowserItem *> out;
    for (QtBrowserItem *item : items)
        out << item << allItems(item->children());
    return out;
}

void fillPage(PropertySample &sample, int groups) { sample.fill(groups); }
void fillPage(VariantPage &page, int groups) { page.fill(groups, PropertySample::kValuesPerGroup); }

void clearPage(PropertySample &sample)
{
    const std::vector<QtAbstractPropertyManager *> managers = {
        &sample.groupManager,  &sample.intManager,  &sample.doubleManager,
        &sample.stringManager, &sample.boolManager, &sample.enumManager};
    for (QtAbstractPropertyManager *manager : managers)
        manager->clear();
}
void clearPage(VariantPage &page) { page.manager.clear(); }

template <class Page>
void measureClear(Figures &f, int groups)
{
    for (const bool browserFirst : {false, true}) {
        auto browser = std::make_unique<QtTreePropertyBrowser>();
        browser->resize(900, 700);
        Page page(browser.get());
        fillPage(page, groups);
        browser->show();
        settle();
        if (browserFirst)
            browser.reset();
        QElapsedTimer timer;
        timer.start();
        clearPage(page);
        settle();
        (browserFirst ? f.clearWithoutBrowser : f.clearShown) = elapsedMs(timer);
    }
}

template <class Page>
Figures measureBrowser(int groups = kGroups)
{
    Figures f;
    QElapsedTimer timer;
    const long before = residentKb();
    auto browser = std::make_unique<QtTreePropertyBrowser>();
    browser->resize(900, 700);
    auto page = std::make_unique<Page>(browser.get());
    timer.start();
    fillPage(*page, groups);
    f.buildHidden = elapsedMs(timer);
    timer.restart();
    browser->show();
    settle();
    f.show = elapsedMs(timer);
    f.growthMb = (residentKb() - before) / 1024.0;
    for (QTreeWidgetItemIterator it(browser->findChild<QTreeWidget *>()); *it; ++it)
        ++f.rows;

    const QList<QtBrowserItem *> items = allItems(browser->topLevelItems());
    for (QtBrowserItem *item : items)
        browser->setExpanded(item, false);
    settle();
    timer.restart();
    for (QtBrowserItem *item : items)
        browser->setExpanded(item, true);
    settle();
    f.expand = elapsedMs(timer);

    timer.restart();
    page->changeEveryValue();
    settle();
    f.change = elapsedMs(timer);

    timer.restart();
    clearPage(*page);
    browser.reset();
    settle();
    f.teardown = elapsedMs(timer);
    page.reset();

    auto shown = std::make_unique<QtTreePropertyBrowser>();
    shown->resize(900, 700);
    shown->show();
    settle();
    Page shownPage(shown.get());
    timer.restart();
    fillPage(shownPage, groups);
    settle();
    f.buildShown = elapsedMs(timer);

    for (QtBrowserItem *item : allItems(shown->topLevelItems()))
        shown->setExpanded(item, false);
    settle();
    timer.restart();
    clearPage(shownPage);
    shown.reset();
    settle();
    f.teardownCollapsed = elapsedMs(timer);

    measureClear<Page>(f, groups);
    return f;
}

// The same rows in a bare tree widget: 4 texts, a check box, expanded.
void fillBareTree(QTreeWidget *tree, QList<QTreeWidgetItem *> *rows)
{
    for (int g = 0; g < kGroups; ++g) {
        auto *group = new QTreeWidgetItem(tree);
        group->setText(0, QStringLiteral("Группа %1").arg(g));
        group->setCheckState(0, Qt::Unchecked);
        group->setFirstColumnSpanned(true);
        group->setExpanded(true);
        rows->append(group);
        QTreeWidgetItem *previous = nullptr;
        for (int i = 0; i < PropertySample::kValuesPerGroup; ++i) {
            const bool nested = previous && (i % 6 == 4 || i % 6 == 5);
            auto *row = new QTreeWidgetItem(nested ? previous : group);
            row->setText(0, QStringLiteral("P%1.%2").arg(g).arg(i));
            row->setText(1, QString::number(g * 31 + i));
            row->setText(2, QStringLiteral("ед%1").arg(i % 5));
            row->setText(3, QStringLiteral("Описание P%1.%2").arg(g).arg(i));
            row->setToolTip(1, QStringLiteral("Подсказка"));
            row->setCheckState(0, Qt::Unchecked);
            row->setExpanded(true);
            rows->append(row);
            previous = row;
        }
    }
}

Figures measureBareTree()
{
    Figures f;
    QElapsedTimer timer;
    const long before = residentKb();
    auto tree = std::make_unique<QTreeWidget>();
    tree->resize(900, 700);
    tree->setColumnCount(4);
    QList<QTreeWidgetItem *> rows;
    timer.start();
    fillBareTree(tree.get(), &rows);
    f.buildHidden = elapsedMs(timer);
    timer.restart();
    tree->show();
    settle();
    f.show = elapsedMs(timer);
    f.growthMb = (residentKb() - before) / 1024.0;
    f.rows = rows.size();

    tree->collapseAll();
    settle();
    timer.restart();
    for (QTreeWidgetItem *row : qAsConst(rows))
        row->setExpanded(true);
    settle();
    f.expand = elapsedMs(timer);

    timer.restart();
    for (QTreeWidgetItem *row : qAsConst(rows))
        row->setText(1, row->text(1) + QLatin1Char('+'));
    settle();
    f.change = elapsedMs(timer);

    timer.restart();
    for (int i = rows.size() - 1; i >= 0; --i)
        delete rows.at(i);
    tree.reset();
    settle();
    f.teardown = elapsedMs(timer);

    auto shown = std::make_unique<QTreeWidget>();
    shown->resize(900, 700);
    shown->setColumnCount(4);
    shown->show();
    settle();
    QList<QTreeWidgetItem *> shownRows;
    timer.restart();
    fillBareTree(shown.get(), &shownRows);
    settle();
    f.buildShown = elapsedMs(timer);
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double medianOf(const std::vector<Figures> &runs, const std::function<double(const Figures &)> &field)
{
    std::vector<double> v;
    for (const Figures &f : runs)
        v.push_back(field(f));
    return median(v);
}

} // namespace

// Qt's first use of fonts, styles and the window system, paid once before anything
// is measured so that neither side's memory figure carries it.
void warmUp()
{
    QtTreePropertyBrowser browser;
    PropertySample sample(&browser);
    sample.fill(2);
    browser.show();
    settle();
    QtTreePropertyBrowser variantBrowser;
    VariantPage page(&variantBrowser);
    page.fill(2, PropertySample::kValuesPerGroup);
    variantBrowser.show();
    settle();
    QTreeWidget tree;
    QList<QTreeWidgetItem *> rows;
    fillBareTree(&tree, &rows);
    tree.show();
    settle();
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    warmUp();
    if (argc > 2 && qstrcmp(argv[2], "flatclear") == 0) {
        benchFlatClear(rounds);
        return 0;
    }

    std::vector<Figures> browser;
    std::vector<Figures> bare;
    std::vector<Figures> variant;
    // The basic page again with as many rows as the variant page: a tree view
    // removes its rows in time that grows with the rows it shows.
    std::vector<Figures> basicAtVariantRows;
    for (int r = 0; r < rounds; ++r) {
        bare.push_back(measureBareTree());
        browser.push_back(measureBrowser<PropertySample>());
        variant.push_back(measureBrowser<VariantPage>());
        const int groups = (variant.front().rows + PropertySample::kValuesPerGroup) / (PropertySample::kValuesPerGroup + 1);
        basicAtVariantRows.push_back(measureBrowser<PropertySample>(groups));
    }
    // Memory: the first round, before the allocator holds freed memory of earlier rounds.
    const double browserGrowth = browser.front().growthMb;
    const double bareGrowth = bare.front().growthMb;

    std::printf("tree property browser, %d properties (%d groups of %d values), off-screen, median of %d rounds\n",
                kGroups * (PropertySample::kValuesPerGroup + 1), kGroups, PropertySample::kValuesPerGroup, rounds);
    std::printf("%-34s %10d %10d\n", "rows", browser.front().rows, bare.front().rows);
    std::printf("%-34s %10s %10s %10s\n", "step", "browser", "bare tree", "target");
    auto row = [&](const char *name, const std::function<double(const Figures &)> &field, const char *target) {
        std::printf("%-34s %7.1f ms %7.1f ms %10s\n", name, medianOf(browser, field), medianOf(bare, field), target);
    };
    row("build, hidden", [](const Figures &f) { return f.buildHidden; }, "");
    row("  then shown and laid out", [](const Figures &f) { return f.show; }, "");
    row("build total", [](const Figures &f) { return f.build(); }, "500 ms");
    row("build into a shown view (ref.)", [](const Figures &f) { return f.buildShown; }, "");
    row("expand all", [](const Figures &f) { return f.expand; }, "100 ms");
    row("change every value", [](const Figures &f) { return f.change; }, "300 ms");
    row("teardown", [](const Figures &f) { return f.teardown; }, "300 ms");
    // A bare tree has no managers.
    auto clearRow = [&](const char *name, const std::function<double(const Figures &)> &field, const char *target) {
        std::printf("%-34s %7.1f ms %10s %10s\n", name, medianOf(browser, field), "-", target);
    };
    clearRow("manager clear, browser shown", [](const Figures &f) { return f.clearShown; }, "200 ms");
    clearRow("  browser deleted first (ref.)", [](const Figures &f) { return f.clearWithoutBrowser; }, "");
    std::printf("%-34s %7.1f MB %7.1f MB %10s\n", "resident growth after the build", browserGrowth, bareGrowth,
                "10 MB");

    // Per shown row: the pages differ in their rows (compound values bring theirs).
    const int basicRows = browser.front().rows;
    const int variantRows = variant.front().rows;
    const int sameRows = basicAtVariantRows.front().rows;
    std::printf("\nvariant page, %d variant properties over 22 value types, same steps per shown row\n",
                kGroups * (PropertySample::kValuesPerGroup + 1));
    std::printf("%-34s %10d %10d %7s %10d\n", "rows", basicRows, variantRows, "", sameRows);
    std::printf("%-34s %10s %10s %7s %10s %7s %7s\n", "step, per row", "basic", "variant", "ratio", "basic", "ratio",
                "target");
    auto perRow = [&](const char *name, const std::function<double(const Figures &)> &field) {
        const double b = medianOf(browser, field) * 1000.0 / basicRows;
        const double v = medianOf(variant, field) * 1000.0 / variantRows;
        const double s = medianOf(basicAtVariantRows, field) * 1000.0 / sameRows;
        std::printf("%-34s %7.1f us %7.1f us %6.2fx %7.1f us %6.2fx %7s\n", name, b, v, v / b, s, v / s, "3.00x");
    };
    perRow("build total", [](const Figures &f) { return f.build(); });
    perRow("build into a shown view (ref.)", [](const Figures &f) { return f.buildShown; });
    perRow("expand all", [](const Figures &f) { return f.expand; });
    perRow("change every value", [](const Figures &f) { return f.change; });
    perRow("teardown", [](const Figures &f) { return f.teardown; });
    perRow("teardown, rows collapsed (ref.)", [](const Figures &f) { return f.teardownCollapsed; });
    perRow("manager clear, browser shown", [](const Figures &f) { return f.clearShown; });
    const double basicKb = browserGrowth * 1024.0 / basicRows;
    const double variantKb = variant.front().growthMb * 1024.0 / variantRows;
    // Not for the page measured after the others: it reuses what they freed.
    std::printf("%-34s %7.2f KB %7.2f KB %6.2fx %10s %7s %7s\n", "resident growth after the build", basicKb,
                variantKb, variantKb / basicKb, "-", "", "3.00x");
    std::printf("%-34s %7.1f ms %7.1f ms (browser deleted first, ref.) %7s\n", "variant page manager clear, shown",
                medianOf(variant, [](const Figures &f) { return f.clearShown; }),
                medianOf(variant, [](const Figures &f) { return f.clearWithoutBrowser; }), "200 ms");

    benchGridBrowsers(rounds);
    benchFlatClear(rounds);
    return 0;
}
