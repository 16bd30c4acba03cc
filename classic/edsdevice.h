// The EDS a device may carry: compressed (libzpaq) in object 0x1021, its
// checksum in 0x2000 sub-index 6. The decompressed text is kept as
// "<application folder>/ConfigurationData/<device name>/<checksum>.eds", so a
// device whose EDS did not change is not read again; or the user picks a file.
//
// GUI thread. The device reads go through the synchronous SDO access and wait
// as long as the transfer keeps going (a whole 102,400-byte upload takes about
// 15 s); a silent device ends each try after the link's own time-out.
#pragma once

#include <QSaveFile>
#include <QString>

#include <libzpaq.h>

struct ClassicHost;

// libzpaq's reader over a block of memory it does not own.
class InZpaq : public libzpaq::Reader {
public:
    InZpaq(const char* data, int length) : m_data(data), m_length(length) {}
    // The next byte (0 to 255), or -1 at the end, as often as it is asked.
    int get() override;

private:
    const char* m_data;
    int m_length;
    int m_position = 0;
};

// libzpaq's writer onto a file that is replaced only by commit(): a failed or
// partial decompression leaves whatever was there before. Every byte is kept;
// past kMaxBytes put() throws EdsTooLarge, so a stream cannot grow without end.
class OutZpaq : public libzpaq::Writer {
public:
    enum { kMaxBytes = 16 * 1024 * 1024 };
    struct EdsTooLarge {};

    explicit OutZpaq(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    void put(int c) override;
    qint64 size() const { return m_size; }
    bool commit() { return m_file.commit(); }
    QString errorString() const { return m_file.errorString(); }

private:
    QSaveFile m_file;
    qint64 m_size = 0;
};

// The device's EDS into its cache file; edsPath becomes the cache path once
// the checksum is known. True when that file exists or was written whole and
// verified. A failed checksum read switches the tools off; a failed EDS read
// also drops the CAN link. Each failure is one red line.
bool readEdsFromDevice(const ClassicHost& host, QString& edsPath);

// Where the EDS comes from: the device when the host's get-EDS-from-device
// option is on and that read succeeded, else a file the user picks (edsPath
// empty when cancelled). True when edsPath names an EDS to read.
bool chooseEds(const ClassicHost& host, QString& edsPath);
