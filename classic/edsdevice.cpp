#include "classic/edsdevice.h"

#include "classic/classichost.h"
#include "link/connectionsettings.h"
#include "link/sdoaccess.h"

#include <QFile>

#include <cstring>
#include <new>

// libzpaq reports what it cannot decompress through this hook of its user:
// the message (a literal of the library's) comes back as the exception.
void libzpaq::error(const char* msg)
{
    throw msg;
}

namespace {
const QString kSaveFailed = QStringLiteral("Не удалось сохранить eds в файл.");

QString cachePath(const ClassicHost& host, quint32 checksum)
{
    return host.deviceFolder() + QLatin1Char('/') + QString::number(checksum, 16) + QStringLiteral(".eds");
}

// Every segment of every block, each checked against the hash stored with it
// (a flipped byte may decompress without a word from the library). Empty
// when the whole output is in `out`, else what went wrong.
QString unpack(InZpaq& in, OutZpaq& out)
{
    try {
        libzpaq::Decompresser d;
        libzpaq::SHA1 sha1;
        d.setInput(&in);
        while (d.findBlock()) {
            while (d.findFilename()) {
                d.readComment();
                d.setOutput(&out);
                d.setSHA1(&sha1);
                d.decompress();
                char stored[21];
                d.readSegmentEnd(stored);
                const char* computed = sha1.result();
                if (stored[0] == 1 && std::memcmp(computed, stored + 1, 20) != 0)
                    return QStringLiteral("контрольная сумма не совпала");
            }
        }
    } catch (const char* message) {
        return QString::fromLatin1(message);
    } catch (const OutZpaq::EdsTooLarge&) {
        return QStringLiteral("больше %1 МиБ после распаковки").arg(OutZpaq::kMaxBytes / (1024 * 1024));
    } catch (const std::bad_alloc&) {
        return QStringLiteral("не хватило памяти для распаковки");
    }
    return out.size() == 0 ? QStringLiteral("нет данных") : QString();
}

bool storeEds(const QByteArray& packed, const QString& path, const ClassicHost& host)
{
    InZpaq in(packed.constData(), packed.size());
    OutZpaq out(path);
    if (!out.isOpen()) {
        host.toLog(kSaveFailed, false);
        return false;
    }
    const QString failure = unpack(in, out);
    if (!failure.isEmpty()) {
        host.toLog(QStringLiteral("EDS из устройства повреждён: ") + failure, false);
        return false;
    }
    if (!out.commit()) {
        host.toLog(kSaveFailed, false);
        return false;
    }
    return true;
}
}

int InZpaq::get()
{
    return m_position < m_length ? quint8(m_data[m_position++]) : -1;
}

OutZpaq::OutZpaq(const QString& path) : m_file(path)
{
    m_file.open(QIODevice::WriteOnly);
}

void OutZpaq::put(int c)
{
    if (m_size >= kMaxBytes)
        throw EdsTooLarge();
    m_file.putChar(char(c));
    ++m_size;
}

bool readEdsFromDevice(const ClassicHost& host, QString& edsPath)
{
    const uint8_t node = connectionSettings().nodeId;
    const SdoOutcome crc = sdoRead(node, 0x2000, 6, CO_UNSIGNED32, SDO_WAIT_STACK_TIMEOUT);
    if (!crc.ok || crc.data.isEmpty() || crc.data.size() > 4) {
        host.toLog(QStringLiteral("Не удалось считать crc eds: ") + sdoAbortCodeName(crc.abortCode), false);
        host.tools(false);
        return false;
    }
    quint32 checksum = 0;
    for (int i = 0; i < crc.data.size(); ++i)
        checksum |= quint32(quint8(crc.data.at(i))) << (8 * i);
    if (checksum == 0)
        return false; // the device holds no EDS

    edsPath = cachePath(host, checksum);
    if (QFile::exists(edsPath))
        return true;

    SdoOutcome eds;
    {
        std::lock_guard<std::mutex> request(sdoRequestLock());
        for (int i = 0; i < SDO_TRIES && !eds.ok; ++i)
            eds = sdoReadEdsOnce(node, SDO_WAIT_STACK_TIMEOUT);
    }
    if (!eds.ok) {
        host.toLog(QStringLiteral("Не удалось считать eds: ") + sdoAbortCodeName(eds.abortCode), false);
        host.dropCanLink();
        host.tools(false);
        return false;
    }
    return storeEds(eds.data, edsPath, host);
}

bool chooseEds(const ClassicHost& host, QString& edsPath)
{
    const bool fromDevice = host.edsFromDevice();
    if (fromDevice && readEdsFromDevice(host, edsPath))
        return true;
    edsPath = host.openFileName ? host.openFileName(QStringLiteral("Открытие файла eds"), host.deviceFolder())
                                : QString();
    if (!edsPath.isEmpty())
        return true;
    host.toLog(fromDevice ? QStringLiteral("Файл eds не найден или не выбран.") : QStringLiteral("Файл eds не выбран."),
               false);
    return false;
}
