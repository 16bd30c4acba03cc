#pragma once

#include "app/filechooser.h"
#include "app/logsink.h"
#include "app/pageparam.h"
#include "app/paramrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QFile;
class QIODevice;
class QSaveFile;

// What export and import need of the window and the data source.
struct ParamFileHooks
{
    LogSink log;
    std::function<void()> stopLoad;  // stops the load worker and waits until it has
    std::function<void()> startLoad; // left its loop; starts it again
    std::function<void(bool)> setToolsEnabled;
    // Read only after the file dialogs: their event loop may rebuild the pages.
    std::function<QList<PageParam>()> pageParams;
};

// Export, backup and import of the JSON parameter file for the main window's actions.
// GUI thread only; the load worker is stopped for the whole flow, so no read replaces
// a page value while the file is taken from or put into the pages.
class ParamFileService
{
public:
    struct ImportOptions
    {
        bool backupBeforeImport = false;
        bool alwaysImportLastFile = false;
    };

    // `applicationDir` holds "ConfigurationData", where each device has its export
    // folder.
    ParamFileService(ParamFileHooks hooks, std::unique_ptr<FileChooser> chooser,
                     const QString &applicationDir);
    ~ParamFileService();
    ParamFileService(const ParamFileService &) = delete;
    ParamFileService &operator=(const ParamFileService &) = delete;

    // Time used in proposed file names.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // "Экспорт": writes the page parameters to a file the user names.
    void exportParams(const QString &deviceName);
    // "Импорт": optionally backs up first, then fills the pages from a file.
    // `lastImportFile` is the remembered file; it is updated with the file chosen.
    void importParams(const QString &deviceName, const ImportOptions &options,
                      QString &lastImportFile);

    // ConfigurationData/<device>/data/ under the application directory.
    QString exportFolder(const QString &deviceName) const;
    // The dialogs the classic pages' files use too.
    FileChooser *fileChooser() const { return m_chooser.get(); }

private:
    class FlowGuard;

    std::unique_ptr<QSaveFile> createExportFile(const QString &deviceName, bool backup);
    bool writeExport(std::unique_ptr<QSaveFile> file);
    std::unique_ptr<QFile> openImportFile(const QString &deviceName, bool alwaysLast,
                                          QString &lastImportFile);
    bool readImport(QIODevice *file);
    QList<PageParam> pageParams() const;
    void log(const QString &message, bool success) const;

    ParamFileHooks m_hooks;
    std::unique_ptr<FileChooser> m_chooser;
    QString m_applicationDir;
    std::function<QDateTime()> m_now;
};
