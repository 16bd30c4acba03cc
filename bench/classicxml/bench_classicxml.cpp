// Loads per-device XML files whose groups nest deeply into the classic pages,
// off-screen, through loadDeviceConfiguration (files read, records made, pages
// built), and prints the time of each load with the red lines it wrote:
//   - groups nested 20,000 and 200,000 deep, also behind heads that a strict
//     reader stops at and Qt's document builder takes (refused as a whole,
//     with one line);
//   - the deepest nesting taken (64 groups) with 40 parameters on every level,
//     each checked against all its ancestors;
//   - as many parameters one level deep, for scale;
//   - 1,000, 5,000 and 10,000 parameters in one group (linear growth);
//   - one entity of 100,000 characters referenced 20,000 times (160 KB that
//     would expand to 2,000,000,000 characters; refused with one line), and
//     one whose references stay just within the bound, read in full; the
//     first also as "Controllers.xml", read as the connect flow reads it.
// Target: each load within 1 s, the time a user waits for a device's pages,
// holding a few MB past what the process held before (peak RSS growth).
//
//   QT_QPA_PLATFORM=offscreen bench_classicxml [levels] [parameters per level]
#include "app/devicelist.h"
#include "bench/procstatus.h"
#include "classic/classicpages.h"
#include "classic/xmlnesting.h"
#include "classic/loadcandatathread.h"
#include "classic/savecandatathread.h"
#include "classicformwidgets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
// `perLevel` parameters on each of `levels` nested groups (or at the top when
// there are none), with `head` before the root and `inner` in the deepest group.
QByteArray nestedFile(int levels, int perLevel, const QByteArray& head = QByteArray(),
                      const QByteArray& inner = QByteArray())
{
    QByteArray xml = head + "<Device><Parameters>";
    int n = 0;
    const auto parameters = [&] {
        for (int i = 0; i < perLevel; ++i, ++n)
            xml += "<Param Type=\"Regular\" Name=\"P" + QByteArray::number(n) + "\" DataType=\"int\" Address=\""
                + QByteArray::number(n % 60000 + 1) + "\"/>";
    };
    for (int i = 0; i < levels; ++i) {
        xml += "<Param Type=\"Group\" Name=\"G\" Caption=\"g\">";
        parameters();
    }
    if (levels == 0)
        parameters();
    xml += inner;
    for (int i = 0; i < levels; ++i)
        xml += "</Param>";
    return xml + "</Parameters></Device>";
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int levels = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const int perLevel = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;

    QTemporaryDir dir;
    const QString type = dir.path() + QStringLiteral("/ConfigurationData/9");
    if (!dir.isValid() || !QDir().mkpath(type) || !QDir().mkpath(dir.path() + QStringLiteral("/ConfigurationData/Dev"))
        || !writeFile(type + QStringLiteral("/info.xml"), "<Parameters/>")) {
        std::fprintf(stderr, "no temporary application folder\n");
        return 1;
    }

    struct Case {
        const char* name;
        int levels;
        int perLevel;
        QByteArray head;
        QByteArray inner;
    };
    const QByteArray xml11 = "<?xml version=\"1.1\"?>";
    const auto entity = [](int length) {
        return "<!DOCTYPE Device [<!ENTITY q \"" + QByteArray(length, 'x') + "\">]>";
    };
    const auto references = [](int count) { return "<Note>" + QByteArray("&q;").repeated(count) + "</Note>"; };
    // 1,000 characters 2,000 times: 2,000,000, just within the bound's floor.
    const int within = 2000;
    static_assert(within * 1000 <= kMinEntityText, "the references would pass the bound");
    // The entity files first, while the heap holds nothing of larger loads.
    const Case cases[] = {
        {"entity 100,000 chars x 20,000", 1, 0, entity(100000), references(20000)},
        {"entity 1,000 chars within the bound", 1, 0, entity(1000), references(within)},
        {"groups nested deep", levels, 0, {}, {}},
        {"200,000 groups", 200000, 0, {}, {}},
        {"200,000 groups, XML 1.1", 200000, 0, xml11, {}},
        {"200,000 groups, undeclared prefix", 200000, 0, {}, "<u:x/>"},
        {"200,000 groups, undeclared entity", 200000, 0, {}, "&undeclared;"},
        {"64 groups, parameters on each", 64, perLevel, {}, {}},
        {"parameters one level deep", 0, 64 * perLevel, {}, {}},
        {"one group, 1,000 parameters", 1, 1000, {}, {}},
        {"one group, 5,000 parameters", 1, 5000, {}, {}},
        {"one group, 10,000 parameters", 1, 10000, {}, {}},
    };
    std::printf("%-36s %8s %10s %8s %10s %8s %10s\n", "file", "levels", "params", "file KB", "load ms", "lines",
                "+peak MB");
    {
        const QByteArray xml = entity(100000) + "<Controllers>" + references(20000) + "</Controllers>";
        const QString path = dir.path() + QStringLiteral("/ConfigurationData/Controllers.xml");
        if (!writeFile(path, xml))
            return 1;
        const long before = residentKb();
        const bool peakReset = resetPeak();
        int lines = 0;
        QElapsedTimer t;
        t.start();
        const DeviceList rows = loadControllers(path, [&](const QString&, bool success) { lines += success ? 0 : 1; });
        const double ms = t.nsecsElapsed() / 1e6;
        const double peakMb = peakReset ? (statusKb("VmHWM:") - before) / 1024.0 : -1;
        std::printf("%-36s %8d %10d %8d %10.1f %8d %10.1f\n", "Controllers.xml, the same entity", 1, int(rows.size()),
                    int(xml.size() / 1024), ms, lines, peakMb);
    }
    for (const Case& c : cases) {
        const QByteArray xml = nestedFile(c.levels, c.perLevel, c.head, c.inner);
        if (!writeFile(type + QStringLiteral("/main.xml"), xml))
            return 1;
        const long before = residentKb();
        const bool peakReset = resetPeak();
        int lines = 0;
        ClassicHost host;
        host.log = [&](const QString&, bool success) { lines += success ? 0 : 1; };
        host.applicationDir = dir.path();
        ClassicFormWidgets widgets;
        LoadCanDataThread load;
        SaveCanDataThread save;
        ClassicPages pages(widgets.form, host, load, save);
        QElapsedTimer t;
        t.start();
        pages.loadDeviceConfiguration({QStringLiteral("Dev"), QStringLiteral("9")}, 1);
        const double ms = t.nsecsElapsed() / 1e6;
        const double peakMb = peakReset ? (statusKb("VmHWM:") - before) / 1024.0 : -1;
        const int parameters = c.levels > 0 ? c.levels * c.perLevel : c.perLevel;
        std::printf("%-36s %8d %10d %8d %10.1f %8d %10.1f\n", c.name, c.levels, parameters, int(xml.size() / 1024),
                    ms, lines, peakMb);
    }
    std::printf("target: each load within 1000 ms\n");
    return 0;
}
