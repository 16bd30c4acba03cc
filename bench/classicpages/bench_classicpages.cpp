// Loads an EDS of 1,000 objects (3,000 records, written by gen_eds.py) into the
// classic object-dictionary page, off-screen, and then loads it again, as a
// device loaded anew does: every round resets the pages, reads the EDS (parse),
// makes the page (build, into a page not shown; then shown and laid out), and
// starts the load worker, which here reads nothing. It prints each step, the
// log lines the reader wrote (into a counting sink, so the log pane's lines
// count neither in time nor in memory) and the peak resident memory of the
// round (the peak is reset before each round).
// Targets: parse and build within 1 s, the budget of the configuration pages'
// build (bench_pages); the second load no slower than the first; its peak
// memory within 10 % of the first's.
//
//   QT_QPA_PLATFORM=offscreen bench_classicpages [eds] [rounds]
#include "classic/classicpages.h"
#include "classic/edsreader.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "bench/procstatus.h"
#include "classicformwidgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
double elapsedMs(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

struct Round {
    double parse = 0;
    double build = 0;
    double shown = 0;
    double log = 0;
    int lines = 0;
    int records = 0;
    long peakKb = 0;
    long residentKb = 0;
};
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString eds = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUILL_BENCH_EDS);
    const int rounds = argc > 2 ? std::max(2, std::atoi(argv[2])) : 2;
    if (!QFile::exists(eds)) {
        std::fprintf(stderr, "no EDS at %s (run gen_eds.py)\n", qPrintable(eds));
        return 1;
    }

    ClassicFormWidgets widgets;
    QWidget& root = widgets.root;
    root.resize(1200, 900);
    widgets.form.MainParamsWgt->resize(1100, 800);

    // The counting sink: what a line costs the reader, not the log pane.
    int lines = 0;
    qint64 logNs = 0;
    ClassicHost host;
    host.log = [&](const QString& message, bool) {
        QElapsedTimer t;
        t.start();
        lines += message.isEmpty() ? 0 : 1;
        logNs += t.nsecsElapsed();
    };
    LoadCanDataThread load;
    SaveCanDataThread save;
    load.setPauseMs(3600 * 1000); // no device here: the worker starts and waits
    ClassicPages pages(widgets.form, host, load, save);
    pages.setEdsPath(eds);

    const long baseKb = statusKb("VmRSS:");
    std::vector<Round> results;
    for (int r = 0; r < rounds; ++r) {
        Round round;
        const bool peakReset = resetPeak();
        QElapsedTimer t;
        lines = 0;
        logNs = 0;
        // What loadCanParamsAndData does for a device not loaded before, step by step.
        pages.setOperationMode(QStringLiteral("loadCanParamsAndData"));
        pages.resetParameterData();
        t.start();
        readEds(eds, pages.data().main.map, pages.host());
        round.parse = elapsedMs(t);
        round.log = logNs / 1e6;
        round.lines = lines;
        round.records = pages.data().main.map.size();
        t.restart();
        pages.createPropertyManagers();
        pages.InitMainBrowser(ClassicPages::MainPageForm::ObjectDictionary);
        round.build = elapsedMs(t);
        t.restart();
        root.show();
        settle();
        round.shown = elapsedMs(t);
        load.startLoad(pages.canParams());
        root.hide();
        settle();
        round.peakKb = peakReset ? statusKb("VmHWM:") : -1;
        round.residentKb = statusKb("VmRSS:");
        results.push_back(round);
    }
    load.stopAndWait(-1);

    std::printf("classic object-dictionary page: %s (rss before the first load %ld KB)\n", qPrintable(eds), baseKb);
    std::printf("%-6s %8s %10s %10s %10s %10s %8s %10s %10s\n", "load", "records", "parse ms", "build ms", "shown ms",
                "log ms", "lines", "peak KB", "rss KB");
    for (size_t i = 0; i < results.size(); ++i) {
        const Round& r = results[i];
        std::printf("%-6zu %8d %10.1f %10.1f %10.1f %10.2f %8d %10ld %10ld\n", i + 1, r.records, r.parse, r.build,
                    r.shown, r.log, r.lines, r.peakKb, r.residentKb);
    }
    const Round& first = results.front();
    const Round& second = results[1];
    const double firstLoad = first.parse + first.build;
    const double secondLoad = second.parse + second.build;
    std::printf("parse + build: first %.1f ms, second %.1f ms (target: at most 1000 ms each, second no slower)\n",
                firstLoad, secondLoad);
    if (first.peakKb > 0 && second.peakKb > 0)
        std::printf("peak memory: second %.1f %% of first; above the rss before loading: first %ld KB, second %ld KB "
                    "(target: within 10 %%)\n",
                    100.0 * double(second.peakKb) / double(first.peakKb), first.peakKb - baseKb,
                    second.peakKb - baseKb);
    else
        std::printf("peak memory: the peak could not be reset here\n");
    return 0;
}
