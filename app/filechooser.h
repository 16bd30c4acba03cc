#pragma once

#include <QString>

// The file dialogs of export and import, behind one seam so that tests answer them.
// An empty answer means the user cancelled.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // Save dialog starting at `proposedPath` (folder and file name); the dialog adds
    // `defaultSuffix` to a name typed without it and asks before overwriting.
    virtual QString saveFileName(const QString &caption, const QString &proposedPath,
                                 const QString &defaultSuffix) = 0;
    virtual QString openFileName(const QString &caption, const QString &folder) = 0;
    // The same with a name filter such as "*.dfu"; a chooser that offers no
    // filter answers as above.
    virtual QString saveFileName(const QString &caption, const QString &proposedPath,
                                 const QString &defaultSuffix, const QString &filter)
    {
        Q_UNUSED(filter);
        return saveFileName(caption, proposedPath, defaultSuffix);
    }
    virtual QString openFileName(const QString &caption, const QString &folder, const QString &filter)
    {
        Q_UNUSED(filter);
        return openFileName(caption, folder);
    }
};

// Modal QFileDialog without parent; no filter unless one is given.
class DialogFileChooser : public FileChooser
{
public:
    QString saveFileName(const QString &caption, const QString &proposedPath,
                         const QString &defaultSuffix) override;
    QString openFileName(const QString &caption, const QString &folder) override;
    QString saveFileName(const QString &caption, const QString &proposedPath,
                         const QString &defaultSuffix, const QString &filter) override;
    QString openFileName(const QString &caption, const QString &folder, const QString &filter) override;
};
