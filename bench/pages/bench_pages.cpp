// Builds and tears down the pages of a generated device (40 pages of 25 parameters,
// each parameter shown by one field widget, every fifth one with a rule) and prints
// the build time, the teardown time and the resident memory after each build.
//
//   QT_QPA_PLATFORM=offscreen bench_pages [rounds]

#include "pages/pagebuilder.h"
#include "pages/pagecontainers.h"
#include "bench/procstatus.h"
#include "tests/pages/pagefixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pagefixture;

namespace {

constexpr int kPages = 40;
constexpr int kParams = 25;

bool writeDevice(const QString &dir)
{
    bool ok = writeFile(dir + "/datatypes.json", R"({"types":[
 {"name":"LineT","size":2,"cantype":"uint16","fields":[{"name":"v","datatype":"uint16","startbit":0,"endbit":15}]},
 {"name":"ComboT","size":1,"cantype":"uint8","fields":[{"name":"v","datatype":"uint8","startbit":0,"endbit":7,
   "commonvalues":[{"name":"A","value":0},{"name":"B","value":1},{"name":"C","value":2},{"name":"D","value":3}]}]},
 {"name":"CheckT","size":1,"cantype":"uint8","fields":[{"name":"v","datatype":"bit","startbit":0,"endbit":0}]},
 {"name":"LabelT","size":4,"cantype":"uint32","fields":[{"name":"v","datatype":"uint32","startbit":0,"endbit":31}]}
]})");
    ok = ok && writeFile(dir + "/linet.ui", form(field("QLineEditWgt", "e", "v")));
    ok = ok && writeFile(dir + "/combot.ui", form(field("QComboWgt", "c", "v")));
    ok = ok && writeFile(dir + "/checkt.ui", form(field("QCheckBoxWgt", "k", "v")));
    ok = ok && writeFile(dir + "/labelt.ui", form(field("QLabelWgt", "l", "v")));

    static const char *types[] = {"LineT", "ComboT", "CheckT", "LabelT"};
    QStringList nodes;
    for (int p = 0; p < kPages; ++p) {
        const QString page = QStringLiteral("page%1").arg(p);
        nodes << QStringLiteral(R"({"name":"%1","caption":"Страница %2"})").arg(page).arg(p + 1);
        const QString index = QString::number(0x3000 + p, 16);
        QString items;
        for (int i = 0; i < kParams; ++i) {
            const QString r = i % 5 == 4 ? rules({rule(index, "1", "v", "enable", {"1", "2"})}) : QString();
            items += param(QStringLiteral("p%1_%2").arg(p).arg(i), types[i % 4], index,
                           QString::number(i + 1, 16), QStringLiteral("g%1").arg(p % 8), r);
        }
        items += groupButton("save", QStringLiteral("g%1").arg(p % 8), "save");
        ok = ok && writeFile(dir + "/" + page + ".ui", form(items));
    }
    return ok && writeFile(dir + "/tree.json", QStringLiteral(R"({"nodes":[%1]})").arg(nodes.join(',')).toUtf8());
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid() || !writeDevice(dir.path())) {
        std::fprintf(stderr, "cannot write the generated device\n");
        return 1;
    }
    registerCustomParamMetaType();
    QTreeWidget tree;
    QStackedWidget pages;
    PageBuilder builder(&tree, &pages, nullptr);
    int faults = 0;
    QObject::connect(&builder, &PageBuilder::toLog, [&faults](const QString &msg, bool) {
        ++faults;
        std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    std::printf("device: %d pages x %d parameters, rss before: %ld kB\n", kPages, kParams, residentKb());
    std::vector<double> builds, teardowns;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        builder.buildCustomUiPages(dir.path());
        const double buildMs = t.nsecsElapsed() / 1e6;
        const long rss = residentKb();
        const int params = int(paramCtlList.size());
        const int pageCount = pages.count();
        t.restart();
        builder.clearCustomUi();
        const double clearMs = t.nsecsElapsed() / 1e6;
        builds.push_back(buildMs);
        teardowns.push_back(clearMs);
        std::printf("round %d: build %.1f ms (%d parameters, %d pages), teardown %.1f ms, rss after build %ld kB\n",
                    r + 1, buildMs, params, pageCount, clearMs, rss);
    }
    std::printf("median: build %.1f ms, teardown %.1f ms; rss at end %ld kB; faults %d\n", median(builds),
                median(teardowns), residentKb(), faults);
    return faults == 0 ? 0 : 1;
}
