#include "app/paramfileservice.h"

#include "app/paramserializer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
QString kindWord(bool backup)
{
    return backup ? QStringLiteral("бэкапа") : QStringLiteral("экспорта");
}
}

// Stops the load worker and switches the tools off for the length of a flow, and
// undoes both on every way out of it.
class ParamFileService::FlowGuard
{
public:
    explicit FlowGuard(const ParamFileHooks &hooks) : m_hooks(hooks)
    {
        if (m_hooks.stopLoad)
            m_hooks.stopLoad();
    }
    void toolsOff()
    {
        if (m_hooks.setToolsEnabled)
            m_hooks.setToolsEnabled(false);
    }
    ~FlowGuard()
    {
        if (m_hooks.setToolsEnabled)
            m_hooks.setToolsEnabled(true);
        if (m_hooks.startLoad)
            m_hooks.startLoad();
    }
    FlowGuard(const FlowGuard &) = delete;
    FlowGuard &operator=(const FlowGuard &) = delete;

private:
    const ParamFileHooks &m_hooks;
};

ParamFileService::ParamFileService(ParamFileHooks hooks, std::unique_ptr<FileChooser> chooser,
                                   const QString &applicationDir)
    : m_hooks(std::move(hooks)),
      m_chooser(std::move(chooser)),
      m_applicationDir(applicationDir),
      m_now([] { return QDateTime::currentDateTime(); })
{
}

ParamFileService::~ParamFileService() = default;

QString ParamFileService::exportFolder(const QString &deviceName) const
{
    return m_applicationDir + QStringLiteral("/ConfigurationData/") + deviceName
           + QStringLiteral("/data/");
}

void ParamFileService::exportParams(const QString &deviceName)
{
    FlowGuard flow(m_hooks);
    log(QStringLiteral("Экспорт..."), true);
    flow.toolsOff();
    writeExport(createExportFile(deviceName, false));
}

void ParamFileService::importParams(const QString &deviceName, const ImportOptions &options,
                                    QString &lastImportFile)
{
    FlowGuard flow(m_hooks);
    flow.toolsOff();
    if (options.backupBeforeImport) {
        log(QStringLiteral("Бэкап..."), true);
        if (!writeExport(createExportFile(deviceName, true)))
            return;
    }
    log(QStringLiteral("Загрузка импортируемых параметров из файла..."), true);
    const std::unique_ptr<QFile> file =
        openImportFile(deviceName, options.alwaysImportLastFile, lastImportFile);
    if (!file) {
        log(QStringLiteral("Файл не выбран"), false);
        return;
    }
    readImport(file.get());
    file->close();
}

std::unique_ptr<QSaveFile> ParamFileService::createExportFile(const QString &deviceName, bool backup)
{
    const QString kind = kindWord(backup);
    const QString folder = exportFolder(deviceName);
    if (!QDir(folder).exists())
        QDir().mkdir(folder); // the device folder itself must already be there

    const QString proposed = folder + deviceName + QStringLiteral("_export_")
                             + m_now().toString(QStringLiteral("dd.MM.yyyy hh-mm"));
    QString name = m_chooser ? m_chooser->saveFileName(QStringLiteral("Укажите папку для ") + kind,
                                                       proposed, QStringLiteral("json"))
                             : QString();
    if (name.isEmpty())
        return nullptr;
    if (!name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        name += QLatin1String(".json");

    // Written beside the target and renamed over it only when complete, so a failed
    // export never leaves half a file in place of a good one.
    // Unbuffered, so that a short write (a full disk) is seen by the writer: a
    // buffered flush takes a partial write for success.
    auto file = std::make_unique<QSaveFile>(name);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        log(QStringLiteral("Ошибка создания файла ") + kind + QLatin1Char('.'), false);
        return nullptr;
    }
    return file;
}

bool ParamFileService::writeExport(std::unique_ptr<QSaveFile> file)
{
    if (!file)
        return false;
    const ParamSerializer serializer(ParamSerializer::recordsFromPages(pageParams()));
    QString reason;
    if (!serializer.save(file.get(), &reason)) {
        file->cancelWriting();
        log(QStringLiteral("Процесс экспорта завершился неудачно: %1.").arg(reason), false);
        return false;
    }
    if (!file->commit()) {
        log(QStringLiteral("Процесс экспорта завершился неудачно: файл %1 не записан (%2).")
                .arg(QDir::toNativeSeparators(file->fileName()), file->errorString()),
            false);
        return false;
    }
    log(QStringLiteral("Экспорт завершен."), true);
    return true;
}

std::unique_ptr<QFile> ParamFileService::openImportFile(const QString &deviceName, bool alwaysLast,
                                                        QString &lastImportFile)
{
    QString name;
    if (alwaysLast && !lastImportFile.isEmpty())
        name = lastImportFile;
    else if (m_chooser)
        name = m_chooser->openFileName(QStringLiteral("Выберите файл данных для импорта"),
                                       exportFolder(deviceName));
    if (name.isEmpty())
        return nullptr;
    lastImportFile = name;

    const QFileInfo info(name);
    if (!info.exists()) {
        log(QStringLiteral("Ошибка:файл не найден."), false);
        return nullptr;
    }
    auto file = std::make_unique<QFile>(name);
    if (!info.isFile() || !file->open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Ошибка открытия файла."), false);
        return nullptr;
    }
    return file;
}

bool ParamFileService::readImport(QIODevice *file)
{
    ParamSerializer serializer;
    QString reason;
    if (!serializer.load(file, &reason) || !serializer.applyToPages(pageParams(), &reason)) {
        log(QStringLiteral("Процесс загрузки импортируемых параметров завершился неудачно: %1.")
                .arg(reason),
            false);
        return false;
    }
    return true;
}

QList<PageParam> ParamFileService::pageParams() const
{
    return m_hooks.pageParams ? m_hooks.pageParams() : QList<PageParam>();
}

void ParamFileService::log(const QString &message, bool success) const
{
    if (m_hooks.log)
        m_hooks.log(message, success);
}
