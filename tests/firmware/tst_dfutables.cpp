// The DFU engine's tables: "-s" texts, memory layouts, the DfuSe file walk,
// progress steps, state and status names, the marker search.
#include "firmware/dfu.h"
#include "firmware/dfuse.h"

#include "dfuenginekit.h"
#include "dfufilebuilder.h"

#include <QTest>

using dfutest::Bytes;

Q_DECLARE_METATYPE(Bytes)

namespace {

QString describe(const MemoryLayout& layout)
{
    QStringList parts;
    for (const MemorySegment& s : layout)
        parts << QString("%1-%2/%3/%4")
                     .arg(s.start, 8, 16, QChar('0'))
                     .arg(s.end, 8, 16, QChar('0'))
                     .arg(s.pagesize)
                     .arg(s.memtype);
    return parts.join(' ');
}

QString settingsText()
{
    const DfuseSettings& s = dfuse_settings();
    QStringList parts;
    if (s.addressGiven)
        parts << QString("address=%1").arg(s.address, 0, 16);
    if (s.uploadLength)
        parts << QString("length=%1").arg(s.uploadLength);
    if (s.force)
        parts << QString("force=%1").arg(s.force);
    if (s.leave)
        parts << "leave";
    if (s.unprotect)
        parts << "unprotect";
    if (s.massErase)
        parts << "mass-erase";
    return parts.join(' ');
}

dfutest::Target target(uint8_t alt, std::vector<dfutest::Element> elements)
{
    dfutest::Target t;
    t.alt = alt;
    t.elements = std::move(elements);
    return t;
}

} // namespace

class TstDfuTables : public QObject {
    Q_OBJECT
private slots:
    void addressTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("settings"); // what the text sets
        QTest::addColumn<QString>("red");      // or the failure line
        QTest::newRow("hexadecimal") << "0x08000000" << "address=8000000" << "";
        QTest::newRow("decimal") << "134217728" << "address=8000000" << "";
        QTest::newRow("octal") << "010" << "address=8" << "";
        QTest::newRow("leave") << "0x08000000:leave" << "address=8000000 leave" << "";
        QTest::newRow("force twice, mass erase") << "0x08000000:force:force:mass-erase"
                                                 << "address=8000000 force=2 mass-erase" << "";
        QTest::newRow("unprotect") << "0x0:force:unprotect" << "address=0 force=1 unprotect" << "";
        QTest::newRow("upload length") << "0x08000000:1024" << "address=8000000 length=1024" << "";
        QTest::newRow("hexadecimal length") << "0x08000000:0x400" << "address=8000000 length=1024" << "";
        QTest::newRow("empty modifiers skipped") << "0x08000000::leave:" << "address=8000000 leave" << "";
        QTest::newRow("modifiers only") << ":leave" << "leave" << "";
        QTest::newRow("not a number") << "0x0800000g" << "" << "Invalid dfuse address: 0x0800000g";
        QTest::newRow("past 32 bits") << "0x100000000" << "" << "Invalid dfuse address: 0x100000000";
        QTest::newRow("negative") << "-1" << "" << "Invalid dfuse address: -1";
        QTest::newRow("empty address") << "" << "" << "Invalid dfuse address: ";
        QTest::newRow("unknown modifier") << "0x08000000:bogus" << "" << "Invalid dfuse modifier: bogus";
    }
    void addressTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, settings);
        QFETCH(QString, red);
        DfuTestScope scope;
        dfuse_reset_settings();
        const QByteArray bytes = text.toUtf8();
        const int code = runDfuLayer([&] { dfuse_parse_options(bytes.constData()); });
        const std::string mismatch = dfuOutcomeMismatch(code, red.toStdString());
        QVERIFY2(mismatch.empty(), mismatch.c_str());
        if (red.isEmpty())
            QCOMPARE(settingsText(), settings);
        dfuse_reset_settings();
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("segments"); // start-end/page/type, or "none"
        QTest::addColumn<QString>("stderrHas");
        QTest::newRow("STM32F4 flash") << "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg"
                                       << "08000000-0800ffff/16384/7 08010000-0801ffff/65536/7 "
                                          "08020000-080fffff/131072/7"
                                       << "";
        QTest::newRow("bytes") << "@RAM/0x20000000/4*256Bg" << "20000000-200003ff/256/7" << "";
        QTest::newRow("megabytes") << "@QSPI/0x90000000/2*1Md" << "90000000-901fffff/1048576/4" << "";
        QTest::newRow("types a b d g") << "@T/0x00000000/1*1Ka,1*1Kb,1*1Kd,1*1Kg"
                                       << "00000000-000003ff/1024/1 00000400-000007ff/1024/2 "
                                          "00000800-00000bff/1024/4 00000c00-00000fff/1024/7"
                                       << "";
        QTest::newRow("type in the multiplier's place") << "@F/0x08000000/8*1a" << "08000000-08000007/1/1"
                                                        << "interpreted as type identifier";
        QTest::newRow("blank multiplier, then type") << "@Option Bytes  /0x1FFFC000/01*016 e"
                                                     << "1fffc000-1fffc00f/16/5" << "assuming bytes";
        QTest::newRow("Device Feature") << "@Device Feature/0xFFFF0000/01*004 g" << "ffff0000-ffff0003/4/5" << "";
        QTest::newRow("two groups") << "@Two/0x08000000/2*1Kg/0x1FFF0000/1*512Ba"
                                    << "08000000-080007ff/1024/7 1fff0000-1fff01ff/512/1" << "";
        QTest::newRow("segment without type skipped") << "@X/0x00000000/1*1K,2*1Kg" << "00000000-000007ff/1024/7"
                                                      << "No valid type for segment 0";
        QTest::newRow("long type skipped") << "@X/0x00000000/1*1Kgg,1*1Ka" << "00000000-000003ff/1024/1"
                                           << "Parsing type identifier 'gg' failed for segment 0";
        QTest::newRow("ends at the top") << "@Top/0xF0000000/1*256Mg" << "f0000000-ffffffff/268435456/7" << "";
        QTest::newRow("past the top") << "@Big/0xF0000000/2*128Mg,1*1Kg" << "none" << "";
        QTest::newRow("wraps in 32 bits") << "@Wrap/0x00001000/65536*65536Bg" << "none" << "";
        QTest::newRow("huge count and size") << "@Wrap/0x00000000/4294967295*4294967295Mg" << "none" << "";
        QTest::newRow("malformed segment") << "@X/0x08000000/abc" << "none" << "";
        QTest::newRow("no at-sign") << "Internal Flash/0x08000000/4*1Kg" << "none" << "Could not read name";
        QTest::newRow("no group") << "@Internal Flash" << "none" << "";
    }
    void layouts()
    {
        QFETCH(QString, name);
        QFETCH(QString, segments);
        QFETCH(QString, stderrHas);
        DfuTestScope scope;
        MemoryLayout layout;
        const QByteArray bytes = name.toUtf8();
        bool ok = false;
        QCOMPARE(runDfuLayer([&] { ok = parse_memory_layout(bytes.constData(), &layout); }), int(DFU_NO_EXIT));
        QCOMPARE(ok ? describe(layout) : QString("none"), segments);
        if (!stderrHas.isEmpty())
            QVERIFY(QString::fromStdString(DfuRecorder::instance().standardError()).contains(stderrHas));
    }

    void segmentLookup()
    {
        MemoryLayout layout;
        DfuTestScope scope;
        QVERIFY(parse_memory_layout("@F/0x08000000/2*1Kg/0x08000000/4*1Ka", &layout));
        QCOMPARE(find_segment(layout, 0x08000000)->memtype, uint8_t(7)); // the first one holding it
        QCOMPARE(find_segment(layout, 0x080007FF)->memtype, uint8_t(7));
        QCOMPARE(find_segment(layout, 0x08000800)->memtype, uint8_t(1));
        QVERIFY(!find_segment(layout, 0x07FFFFFF));
        QVERIFY(!find_segment(layout, 0x08001000));
    }

    void dfuseWalk_data()
    {
        QTest::addColumn<Bytes>("payload");
        QTest::addColumn<QString>("written"); // address:size of each element handed on
        QTest::addColumn<int>("matched");
        QTest::addColumn<QString>("red");

        const Bytes a = dfutest::pattern(400, 1);
        const Bytes two = dfutest::dfuseImage({target(1, {{0x08000000, Bytes(16, 1)}}),
                                               target(0, {{0x08001000, a}, {0x08000000, Bytes(8, 2)}})});
        QTest::newRow("second target, two elements") << two << "8001000:400 8000000:8" << 1 << "";
        QTest::newRow("no target for alternate setting 0")
            << dfutest::dfuseImage({target(1, {{0x08000000, a}})}) << "" << 0 << "";
        Bytes leftover = dfutest::concat(dfutest::dfuseImage({target(0, {{0x08000000, a}})}), Bytes(5, 0));
        QTest::newRow("bytes left over") << leftover << "8000000:400" << 1 << "";

        QTest::newRow("292 bytes") << Bytes(292, 0) << "" << 0 << "File too small for a DfuSe file";
        Bytes badSig = two;
        badSig[0] = 'X';
        QTest::newRow("no DfuSe signature") << badSig << "" << 0 << "No valid DfuSe signature";
        QTest::newRow("format version 2") << dfutest::dfuseImage({target(0, {{0, a}})}, 2) << "" << 0
                                          << "DFU format revision 2 not supported";
        Bytes badTarget = two;
        badTarget[11] = 'X';
        QTest::newRow("no target signature") << badTarget << "" << 0 << "No valid target signature";
        Bytes moreTargets = dfutest::dfuseImage({target(0, {{0x08000000, a}})});
        moreTargets[10] = 2;
        QTest::newRow("target count past the end")
            << moreTargets << "8000000:400" << 1 << "Corrupt DfuSe file: Cannot read 274 bytes from 0 bytes";
        Bytes bigElement = dfutest::dfuseImage({target(0, {{0x08000000, a}})});
        bigElement[11 + 274 + 4 + 1] = 0x02; // size 400 + 512
        QTest::newRow("element larger than the file") << bigElement << "" << 1 << "File too small for element size";
        QTest::newRow("element ends past 0xFFFFFFFF")
            << dfutest::dfuseImage({target(0, {{0xFFFFFF00, a}})}) << "" << 1
            << "Element 1 ends past 0xFFFFFFFF: address 0xffffff00, size 400";
    }
    void dfuseWalk()
    {
        QFETCH(Bytes, payload);
        QFETCH(QString, written);
        QFETCH(int, matched);
        QFETCH(QString, red);
        DfuTestScope scope;
        QStringList seen;
        int targets = -1;
        const int code = runDfuLayer([&] {
            dfuse_walk_file(
                payload.data(), payload.size(), 0,
                [&](uint32_t address, const uint8_t*, uint32_t size) {
                    seen << QString("%1:%2").arg(address, 0, 16).arg(size);
                    return 0;
                },
                &targets);
        });
        QCOMPARE(seen.join(' '), written);
        QCOMPARE(targets, matched);
        const std::string mismatch = dfuOutcomeMismatch(code, red.toStdString());
        QVERIFY2(mismatch.empty(), mismatch.c_str());
        dfuse_reset_settings();
    }

    void progressSteps_data()
    {
        // Each report: done, total, seconds passed before it.
        QTest::addColumn<QVector<QVector<qint64>>>("reports");
        QTest::addColumn<QVector<int>>("steps");
        using R = QVector<QVector<qint64>>;
        QTest::newRow("a transfer") << R{{0, 1, 1}, {1, 4, 0}, {2, 4, 0}, {4, 4, 0}} << QVector<int>{0, 6, 12, 25};
        QTest::newRow("same step, same second") << R{{0, 1, 1}, {1, 100, 0}, {3, 100, 0}} << QVector<int>{0};
        QTest::newRow("same step, next second") << R{{0, 1, 1}, {1, 100, 1}} << QVector<int>{0, 0};
        QTest::newRow("done past total") << R{{5, 3, 1}} << QVector<int>{20};
        QTest::newRow("both zero") << R{{0, 0, 1}} << QVector<int>{0};
        QTest::newRow("large figures") << R{{1LL << 40, 1LL << 41, 1}} << QVector<int>{12};
    }
    void progressSteps()
    {
        QFETCH(QVector<QVector<qint64>>, reports);
        QFETCH(QVector<int>, steps);
        DfuTestScope scope;
        dfu_set_callbacks(nullptr, DfuRecorder::progress, nullptr);
        for (const QVector<qint64>& r : reports) {
            dfuclock::g_nowMs += uint64_t(r[2]) * 1000;
            dfu_progress(r[0], r[1]);
        }
        dfu_set_callbacks(nullptr, nullptr, nullptr);
        const std::vector<int> got = DfuRecorder::instance().steps();
        QCOMPARE(QVector<int>(got.begin(), got.end()), steps);
    }

    void names_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("status");
        QTest::newRow("0") << 0 << "appIDLE" << "No error condition is present";
        QTest::newRow("4") << 4 << "dfuDNBUSY" << "Memory erase function failed";
        QTest::newRow("10") << 10 << "dfuERROR" << "Device's firmware is corrupt. It cannot return to run-time "
                                                   "(non-DFU) operations";
        QTest::newRow("11") << 11 << "" << "iString indicates a vendor specific error";
        QTest::newRow("15") << 15 << "" << "Device stalled an unexpected request";
        QTest::newRow("16") << 16 << "" << "INVALID";
        QTest::newRow("255") << 255 << "" << "INVALID";
    }
    void names()
    {
        QFETCH(int, value);
        QFETCH(QString, state);
        QFETCH(QString, status);
        const char* name = dfu_state_to_string(value);
        QCOMPARE(name ? QString(name) : QString(), state);
        QCOMPARE(QString(dfu_status_to_string(value)), status);
    }

    void markerSearch()
    {
        Bytes b(64, 0xFF);
        std::copy_n("_FWINFO_", 8, b.begin() + 56);
        QCOMPARE(dfuse_find_marker(b.data(), b.size(), "_FWINFO_", 8), int64_t(56));
        QCOMPARE(dfuse_find_marker(b.data(), 63, "_FWINFO_", 8), int64_t(-1));
        QCOMPARE(dfuse_find_marker(b.data(), 4, "_FWINFO_", 8), int64_t(-1));
    }
};

QTEST_GUILESS_MAIN(TstDfuTables)
#include "tst_dfutables.moc"
