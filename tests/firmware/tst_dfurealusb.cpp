// The engine linked with the real libusb-1.0 on a machine without a DFU
// device: the device check answers false with one red line, whichever way
// libusb finds the machine.
#include "firmware/dfuengine.h"

#include "dfuenginekit.h"

#include <QTest>

class TstDfuRealUsb : public QObject {
    Q_OBJECT
private slots:
    void noDeviceIsOneRedLine()
    {
        DfuTestScope scope;
        QVERIFY(!dfu_device_check(DfuRecorder::log));
        const std::vector<DfuLogLine> lines = DfuRecorder::instance().lines();
        QCOMPARE(lines.size(), size_t(1));
        QCOMPARE(lines[0].kind, int(DFU_LOG_FAILURE));
        // Where libusb starts and lists no device, or where it cannot start at all.
        const QString text = QString::fromStdString(lines[0].text);
        QVERIFY2(text == "Нет доступных устройств, запущенных в режиме dfu." || text == "Internal error #341",
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TstDfuRealUsb)
#include "tst_dfurealusb.moc"
