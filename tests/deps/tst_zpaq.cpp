#include <QTest>
#include <libzpaq.h>
#include <stdexcept>
#include <string>

// libzpaq reports failures through a hook of the application's.
void libzpaq::error(const char* msg) { throw std::runtime_error(msg); }

namespace {
struct StringReader : libzpaq::Reader {
    explicit StringReader(const std::string& s) : data(s) {}
    int get() override { return pos < data.size() ? (unsigned char)data[pos++] : -1; }
    std::string data;
    size_t pos = 0;
};
struct StringWriter : libzpaq::Writer {
    void put(int c) override { out.push_back(char(c)); }
    std::string out;
};
}

class TstZpaq : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("text") << QByteArray("[DeviceInfo]\nVendorName=Sample\n").repeated(40);
        QTest::newRow("binary") << QByteArray::fromHex("00ff10200d0a7f80").repeated(300);
        QTest::newRow("one byte") << QByteArray("x");
    }
    void roundTrip() {
        QFETCH(QByteArray, input);
        StringReader in(input.toStdString());
        StringWriter packed;
        libzpaq::compress(&in, &packed, "3");
        QVERIFY(!packed.out.empty());

        StringReader back(packed.out);
        StringWriter plain;
        libzpaq::decompress(&back, &plain);
        QCOMPARE(QByteArray::fromStdString(plain.out), input);
    }
    void corruptInputFails() {
        StringReader in(std::string("zPQ not an archive at all"));
        StringWriter out;
        bool threw = false;
        try { libzpaq::decompress(&in, &out); } catch (const std::exception&) { threw = true; }
        // A corrupt stream either throws or yields nothing; it never invents data.
        QVERIFY(threw || out.out.empty());
    }
};

QTEST_GUILESS_MAIN(TstZpaq)
#include "tst_zpaq.moc"
