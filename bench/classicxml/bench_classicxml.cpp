// Loads per-device XML files whose groups nest deeply into the classic pages,
// off-screen, through loadDeviceConfiguration (files read, records made, pages
// built), and prints the time of each load with the red lines it wrote:
//   - groups nested 20,000 and 200,000 deep, also behind heads that a strict
//     reader stops at and Qt's document builder takes (refused as a whole,
//     with one line);
//   - the deepest nesting taken (64 groups) with 40 parameters on every level,
//     each checked against all its ancestors;
//   - as many parameters one level deep, for scale;
//   - 1,000, 5,000 and 10,000 parameters in one group (linear growth).
// Target: each load within 1 s, the time a user waits for a device's pages.
//
//   QT_QPA_PLATFORM=offscreen bench_classicxml [levels] [parameters per level]
#include "classic/classicpages.h"
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
    const Case cases[] = {
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
    std::printf("%-36s %8s %10s %10s %8s\n", "file", "levels", "params", "load ms", "lines");
    for (const Case& c : cases) {
        if (!writeFile(type + QStringLiteral("/main.xml"), nestedFile(c.levels, c.perLevel, c.head, c.inner)))
            return 1;
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
        const int parameters = c.levels > 0 ? c.levels * c.perLevel : c.perLevel;
        std::printf("%-36s %8d %10d %10.1f %8d\n", c.name, c.levels, parameters, ms, lines);
    }
    std::printf("target: each load within 1000 ms\n");
    return 0;
}
