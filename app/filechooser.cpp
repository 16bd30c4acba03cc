#include "app/filechooser.h"

#include <QFileDialog>
#include <QStringList>

QString DialogFileChooser::saveFileName(const QString &caption, const QString &proposedPath,
                                        const QString &defaultSuffix)
{
    // A dialog object rather than the static call: only it takes a default suffix, so
    // the overwrite question is asked about the name that is really written.
    QFileDialog dialog(nullptr, caption, proposedPath);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString DialogFileChooser::openFileName(const QString &caption, const QString &folder)
{
    return QFileDialog::getOpenFileName(nullptr, caption, folder);
}
