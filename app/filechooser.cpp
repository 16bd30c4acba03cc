#include "app/filechooser.h"

#include <QFileDialog>
#include <QStringList>

QString DialogFileChooser::saveFileName(const QString &caption, const QString &proposedPath,
                                        const QString &defaultSuffix)
{
    return saveFileName(caption, proposedPath, defaultSuffix, QString());
}

QString DialogFileChooser::openFileName(const QString &caption, const QString &folder)
{
    return openFileName(caption, folder, QString());
}

QString DialogFileChooser::saveFileName(const QString &caption, const QString &proposedPath,
                                        const QString &defaultSuffix, const QString &filter)
{
    // A dialog object rather than the static call: only it takes a default suffix, so
    // the overwrite question is asked about the name that is really written.
    QFileDialog dialog(nullptr, caption, proposedPath);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString DialogFileChooser::openFileName(const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(nullptr, caption, folder, filter);
}
