#include "classic/paramfile.h"

#include "classic/classichost.h"
#include "classic/modbuslink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <array>

namespace {
const quint32 kNullText = 0xFFFFFFFFu;
// The pages stored in the file, in file order.
const std::array<ClassicPage, 3> kStoredPages{ClassicPage::Main, ClassicPage::Extra, ClassicPage::Calibration};

void writeTexts(QDataStream& out, const QStringList& texts)
{
    out << qint32(texts.size());
    for (const QString& text : texts)
        out << text;
}

void writeRecord(QDataStream& out, const QString& key, const ParamEntry& e)
{
    out << key << qint32(e.bitIndex);
    writeTexts(out, e.blockMembers);
    out << e.caption << e.description << qint32(e.channelIndex);
    writeTexts(out, e.childNames);
    out << qint32(e.coeffNumberAddress) << qint32(e.auxNumber) << qint64(e.currentRaw) << e.currentBool
        << qint64(e.auxValue) << e.currentText;
    out << qint32(e.valueList.size());
    for (const auto& pair : e.valueList)
        out << pair.second << pair.first;
    out << qint32(e.dataType) << qint32(e.canDataType) << e.boolValue << qint64(e.rawValue) << e.valueText
        << qint32(e.editorType) << e.expanded << e.constant << e.hasChildren << e.visible << e.maxValue
        << e.minValue << e.auxFlag << e.name << e.parentName << e.blockName << e.readOnly << qint32(e.byteSize)
        << e.scriptAction << e.scriptActionTitle << e.scriptFormula << e.scriptOnChange << e.scriptOnInit
        << e.updatable << qint32(e.addressBegin) << qint32(e.addressEnd) << e.objectIndex << e.objectSubIndex;
}

// Reads a section item by item, never trusting a count or a length beyond the
// bytes that are left. The first fault ends the reading with its reason.
class SectionReader {
public:
    explicit SectionReader(QDataStream& in) : m_in(in) {}

    bool ok() const { return m_reason.isEmpty(); }
    QString reason() const { return m_reason; }
    void fail(const QString& reason)
    {
        if (ok())
            m_reason = reason;
    }

    int integer()
    {
        qint32 v = 0;
        m_in >> v;
        check();
        return v;
    }
    qint64 wide()
    {
        qint64 v = 0;
        m_in >> v;
        check();
        return v;
    }
    bool flag()
    {
        qint8 v = 0;
        m_in >> v;
        check();
        return v != 0;
    }
    QString text()
    {
        quint32 bytes = 0;
        m_in >> bytes;
        if (!check())
            return QString();
        if (bytes == kNullText)
            return QString();
        if ((bytes & 1u) || qint64(bytes) > left()) {
            fail(QStringLiteral("длина текста %1 байт больше остатка файла").arg(bytes));
            return QString();
        }
        QByteArray raw(int(bytes), Qt::Uninitialized);
        m_in.readRawData(raw.data(), int(bytes));
        if (!check())
            return QString();
        QString out(int(bytes / 2), Qt::Uninitialized);
        for (int i = 0; i < out.size(); ++i)
            out[i] = QChar(ushort((uchar(raw[2 * i]) << 8) | uchar(raw[2 * i + 1])));
        return bytes == 0 ? QString(QLatin1String("")) : out;
    }
    // A count of items each taking at least `itemBytes`.
    int count(int itemBytes)
    {
        const int n = integer();
        if (ok() && (n < 0 || qint64(n) * itemBytes > left()))
            fail(QStringLiteral("число элементов %1 больше, чем помещается в остатке файла").arg(n));
        return ok() ? n : 0;
    }
    QStringList texts()
    {
        QStringList out;
        const int n = count(4);
        for (int i = 0; i < n && ok(); ++i)
            out << text();
        return out;
    }
    ValueList valueList()
    {
        ValueList out;
        const int n = count(8);
        for (int i = 0; i < n && ok(); ++i) {
            const QString caption = text();
            const QString value = text();
            out.append(qMakePair(value, caption));
        }
        return out;
    }

private:
    qint64 left() const { return m_in.device()->bytesAvailable(); }
    bool check()
    {
        if (ok() && m_in.status() != QDataStream::Ok)
            fail(QStringLiteral("файл обрывается посреди записи"));
        return ok();
    }

    QDataStream& m_in;
    QString m_reason;
};

// Why a record read whole cannot be taken, or an empty text. Registers and
// bits are counted and shifted by: a range past what Modbus addresses would
// list registers without end, a bit past 63 shifts past the value.
QString rangeFault(const ParamEntry& e)
{
    if (!ParamEntry::isRegisterOrNone(e.addressBegin) || !ParamEntry::isRegisterOrNone(e.addressEnd))
        return QStringLiteral("регистры %1..%2 записи %3 вне диапазона 0..%4")
            .arg(e.addressBegin)
            .arg(e.addressEnd)
            .arg(e.name)
            .arg(ParamEntry::kMaxRegisterAddress);
    if (e.bitIndex < -1 || e.bitIndex > 63)
        return QStringLiteral("номер бита %1 записи %2 вне диапазона 0..63").arg(e.bitIndex).arg(e.name);
    return QString();
}

void readRecord(SectionReader& r, ParamEntry& e)
{
    e.bitIndex = r.integer();
    e.blockMembers = r.texts();
    e.caption = r.text();
    e.description = r.text();
    e.channelIndex = r.integer();
    e.childNames = r.texts();
    e.coeffNumberAddress = r.integer();
    e.auxNumber = r.integer();
    e.currentRaw = r.wide();
    e.currentBool = r.flag();
    e.auxValue = r.wide();
    e.currentText = r.text();
    e.valueList = r.valueList();
    e.dataType = r.integer();
    e.canDataType = r.integer();
    e.boolValue = r.flag();
    e.rawValue = r.wide();
    e.valueText = r.text();
    e.editorType = r.integer();
    e.expanded = r.flag();
    e.constant = r.flag();
    e.hasChildren = r.flag();
    e.visible = r.flag();
    e.maxValue = r.text();
    e.minValue = r.text();
    e.auxFlag = r.flag();
    e.name = r.text();
    e.parentName = r.text();
    e.blockName = r.text();
    e.readOnly = r.flag();
    e.byteSize = r.integer();
    e.scriptAction = r.text();
    e.scriptActionTitle = r.text();
    e.scriptFormula = r.text();
    e.scriptOnChange = r.text();
    e.scriptOnInit = r.text();
    e.updatable = r.flag();
    e.addressBegin = r.integer();
    e.addressEnd = r.integer();
    e.objectIndex = r.text();
    e.objectSubIndex = r.text();
}
}

void writeParamMap(QDataStream& stream, const ParamEntryMap& map)
{
    stream << qint32(map.size());
    for (const auto& [key, entry] : map)
        writeRecord(stream, key, entry);
}

bool readParamMap(QDataStream& stream, ParamEntryMap& map, QString* reason)
{
    SectionReader r(stream);
    // A record takes far more than 4 bytes; the bound only has to stop a
    // count that the file cannot hold.
    const int records = r.count(4);
    for (int i = 0; i < records && r.ok(); ++i) {
        const QString key = r.text();
        ParamEntry entry;
        readRecord(r, entry);
        if (r.ok())
            r.fail(rangeFault(entry));
        if (r.ok())
            map.insert(key, entry);
    }
    if (!r.ok() && reason)
        *reason = r.reason();
    return r.ok();
}

ClassicParamFile::ClassicParamFile(ClassicData& data, const ClassicHost& host, ModbusLink& link)
    : m_data(data), m_host(host), m_link(link), m_now([] { return QDateTime::currentDateTime(); })
{
}

QString ClassicParamFile::exportFolder() const
{
    return m_host.deviceFolder() + QStringLiteral("/data/");
}

bool ClassicParamFile::exportParams(bool backup)
{
    const QString folder = exportFolder();
    if (!QDir(folder).exists())
        QDir().mkdir(folder); // only "data": the device folder itself marks a supported device
    const QString proposed = folder + m_host.device()[0] + QStringLiteral("_export_")
        + m_now().toString(QStringLiteral("dd.MM.yyyy hh-mm"));
    const QString caption = backup ? QStringLiteral("Укажите папку для backup-a")
                                   : QStringLiteral("Укажите папку для выгрузки");
    const QString name = m_host.saveFileName ? m_host.saveFileName(caption, proposed) : QString();

    // Written beside the target and renamed over it only when whole, in one
    // unbuffered write so that a short write is seen.
    QSaveFile file(name);
    if (name.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_host.toLog(QStringLiteral("Ошибка создания файла."), false);
        return false;
    }
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        for (ClassicPage page : kStoredPages) {
            const ParamEntryMap& map = m_data.page(page).map;
            if (!map.isEmpty())
                writeParamMap(out, map);
        }
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        m_host.toLog(QStringLiteral("Ошибка записи файла %1: %2").arg(QDir::toNativeSeparators(name), file.errorString()),
                     false);
        file.cancelWriting();
        return false;
    }
    return true;
}

QString ClassicParamFile::chooseImportFile(const ClassicImportOptions& options)
{
    const QString last = m_host.lastImportFile ? m_host.lastImportFile() : QString();
    if (options.alwaysImportLastFile && !last.isEmpty())
        return last;
    if (!m_host.openFileName)
        return QString();
    return m_host.openFileName(QStringLiteral("Выберите файл данных для импорта"),
                               last.isEmpty() ? exportFolder() : last);
}

bool ClassicParamFile::importParams()
{
    const ClassicImportOptions options = m_host.importOptions ? m_host.importOptions() : ClassicImportOptions();
    if (options.backupBeforeImport && !exportParams(true)) {
        m_host.toLog(QStringLiteral("Ошибка backup-а."), false);
        return false;
    }
    const QString name = chooseImportFile(options);
    if (name.isEmpty())
        return false;
    if (m_host.setLastImportFile)
        m_host.setLastImportFile(name);
    if (!QFileInfo::exists(name)) {
        m_host.toLog(QStringLiteral("Ошибка:файл не найден."), false);
        return false;
    }
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_host.toLog(QStringLiteral("Ошибка открытия файла."), false);
        return false;
    }
    return applyImport(&file);
}

bool ClassicParamFile::applyImport(QIODevice* file)
{
    // The file holds no markers: it fits only with one section for each map
    // that has records now, and nothing after them. Parsed apart first, so a
    // file that does not fit changes nothing.
    QDataStream in(file);
    std::array<ParamEntryMap, 3> parsed;
    QList<int> present;
    QString reason;
    for (int i = 0; i < int(kStoredPages.size()); ++i) {
        if (m_data.page(kStoredPages[i]).map.isEmpty())
            continue;
        present << i;
        if (!readParamMap(in, parsed[i], &reason))
            break;
    }
    if (reason.isEmpty() && !in.atEnd())
        reason = QStringLiteral("после разделов остались лишние данные (%1 байт)").arg(file->bytesAvailable());
    if (!reason.isEmpty()) {
        m_host.toLog(QStringLiteral("Файл импорта повреждён: ") + reason, false);
        return false;
    }

    // Records are replaced in place, never the maps: pages, formulas and
    // worker lists point into them. Without a link the file is still read:
    // the pages show its values, and the line says the device did not get them.
    const bool linked = m_link.isOpen();
    bool complete = true;
    for (int i : present) {
        ClassicPageData& page = m_data.page(kStoredPages[i]);
        for (const auto& [key, entry] : parsed[i])
            page.map.insert(key, entry);
        if (linked) {
            RegisterList writable;
            writableRegisterList(page.map, writable);
            sortRegisterList(writable);
            complete = m_link.writeRegisterParams(page.map, writable, kRegisterRun) && complete;
            complete = m_link.readRegisterParams(page.map, page.registers, kRegisterRun) && complete;
        }
        if (m_host.refreshPage)
            m_host.refreshPage(kStoredPages[i]);
    }
    if (!linked)
        m_host.toLog(QStringLiteral("Значения из файла не записаны в устройство: нет связи с устройством."), false);
    return complete;
}

void ClassicParamFile::runFlow(const FlowTexts& texts, const std::function<bool()>& flow)
{
    m_data.operationMode = QLatin1String(texts.mode);
    m_host.toLog(QString::fromUtf8(texts.start), true);
    const ToolsPause tools(m_host);
    const bool ok = flow();
    tools.giveBack();
    m_data.operationMode = QLatin1String("");
    m_host.toLog(QString::fromUtf8(ok ? texts.done : texts.failed), ok);
}

void ClassicParamFile::onExport()
{
    runFlow({"export", "Экспорт...", "Экспорт завершен!", "Ошибка экспорта!"}, [this] { return exportParams(false); });
}

void ClassicParamFile::onImport()
{
    runFlow({"import", "Импорт...", "Импорт завершен!", "Ошибка импорта!"}, [this] { return importParams(); });
}
