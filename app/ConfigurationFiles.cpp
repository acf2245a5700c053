#include "app/ConfigurationFiles.h"

#include "components/FileDialogComponent.h"
#include "config/ProfileSettings.h"

#include <QFileInfo>
#include <QSaveFile>

namespace ConfigurationFiles {

namespace {

// The file dialog set up for one command.
bool ask(FileDialogComponent &dialog, QString &fileName, const QString &filter, const QString &defaultExt,
         int flags, bool (FileDialogComponent::*show)())
{
    dialog.setFilter(filter);
    dialog.setFilterIndex(1);
    dialog.setDefaultExt(defaultExt);
    dialog.setFlags(flags);
    if (!(dialog.*show)() || dialog.FileName().isEmpty())
        return false;
    fileName = dialog.FileName();
    return true;
}

} // namespace

bool askOpen(FileDialogComponent &dialog, QString &fileName)
{
    return ask(dialog, fileName, QStringLiteral("Ombrix Files (*.BVX)|*.bvx|All Files (*.*)|*.*"), QString(),
               FileDialogComponent::FlagFileMustExist + FileDialogComponent::FlagHideReadOnly,
               &FileDialogComponent::ShowOpen);
}

bool askSaveAs(FileDialogComponent &dialog, QString &fileName)
{
    return ask(dialog, fileName, QStringLiteral("Ombrix Configuration (*.BVX)|*.bvx|All Files (*.*)|*.*"),
               QStringLiteral("bvx"), FileDialogComponent::FlagHideReadOnly, &FileDialogComponent::ShowSave);
}

void keepBackup(const QString &fileName)
{
    // Only default.bvx in the program directory: the file this user's own
    // exits write.
    const QString path = ProfileSettings::resolvePath(fileName);
    if (QFileInfo(path) != QFileInfo(ProfileSettings::resolvePath(QString())) || !QFileInfo::exists(path))
        return;
    const QString backup = path + QStringLiteral(".bak");
    QFile source(path);
    QSaveFile copy(backup);
    if (source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly) &&
        copy.write(source.readAll()) >= 0 && copy.commit())
        qWarning("Ombrix: %s was not read to its end; it is kept as %s", qPrintable(path),
                 qPrintable(backup));
    else
        qWarning("Ombrix: %s was not read to its end and could not be kept as %s", qPrintable(path),
                 qPrintable(backup));
}

bool save(const ProfileWorkspace &workspace, const QString &fileName)
{
    QString error;
    if (ProfileSettings::writeprofilesettings(workspace, fileName, &error))
        return true;
    qWarning("Ombrix: the configuration could not be saved to %s: %s",
             qPrintable(ProfileSettings::resolvePath(fileName)), qPrintable(error));
    return false;
}

} // namespace ConfigurationFiles
