// The fixed tables of the link: abort-code names and bit-rate codes.
#include "link/canlink.h"
#include "link/sdoaccess.h"

#include <QTest>

class TstLinkTables : public QObject {
    Q_OBJECT
private slots:
    void abortCodeNames_data()
    {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("read of write-only") << 0x06010001u << "OD_READ_NOT_ALLOWED";
        QTest::newRow("write of read-only") << 0x06010002u << "OD_WRITE_NOT_ALLOWED";
        QTest::newRow("no object") << 0x06020000u << "OD_NO_SUCH_OBJECT";
        QTest::newRow("not mappable") << 0x06040041u << "OD_NOT_MAPPABLE";
        QTest::newRow("length") << 0x06070010u << "OD_LENGTH_DATA_INVALID";
        QTest::newRow("no sub-index") << 0x06090011u << "OD_NO_SUCH_SUBINDEX";
        QTest::newRow("range") << 0x06090030u << "OD_VALUE_RANGE_EXCEEDED";
        QTest::newRow("too low") << 0x06090031u << "OD_VALUE_TOO_LOW";
        QTest::newRow("too high") << 0x06090032u << "OD_VALUE_TOO_HIGH";
        QTest::newRow("toggle") << 0x05030000u << "SDOABT_TOGGLE_NOT_ALTERNED";
        QTest::newRow("timed out") << 0x05040000u << "SDOABT_TIMED_OUT";
        QTest::newRow("out of memory") << 0x05040005u << "SDOABT_OUT_OF_MEMORY";
        QTest::newRow("general") << 0x08000000u << "SDOABT_GENERAL_ERROR";
        QTest::newRow("local control") << 0x08000021u << "SDOABT_LOCAL_CTRL_ERROR";
        QTest::newRow("ended locally") << 0u << "";
        QTest::newRow("not in the table") << 0x06040047u << "";
        QTest::newRow("all ones") << 0xFFFFFFFFu << "";
    }
    void abortCodeNames()
    {
        QFETCH(uint, code);
        QFETCH(QString, name);
        QCOMPARE(sdoAbortCodeName(code), name);
    }

    void bitRateCodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<char>("code");
        QTest::newRow("10k") << "10000" << '0';
        QTest::newRow("20k") << "20000" << '1';
        QTest::newRow("50k") << "50000" << '2';
        QTest::newRow("100k") << "100000" << '3';
        QTest::newRow("125k") << "125000" << '4';
        QTest::newRow("250k") << "250000" << '5';
        QTest::newRow("500k") << "500000" << '6';
        QTest::newRow("800k") << "800000" << '7';
        QTest::newRow("1M") << "1000000" << '8';
        QTest::newRow("unlisted") << "33333" << '2';
        QTest::newRow("not a number") << "fast" << '2';
        QTest::newRow("empty") << "" << '2';
        QTest::newRow("trailing text") << "250000bps" << '2';
    }
    void bitRateCodes()
    {
        QFETCH(QString, text);
        QFETCH(char, code);
        QCOMPARE(canBitRateCode(text), code);
    }
};

QTEST_GUILESS_MAIN(TstLinkTables)
#include "tst_linktables.moc"
