#pragma once

#include <QString>

class FileDialogComponent;
class ProfileWorkspace;

// The main window's configuration files around the load and save themselves
// (config/ProfileSettings): the file choice of File > Open and Save As, the
// copy of default.bvx that a short start-up load keeps, and the word about a
// save that failed. A file name that is empty means default.bvx.
namespace ConfigurationFiles {

// Asks for a configuration to open, or for the name to save it as, and
// puts it into `fileName`; false, leaving `fileName` alone, when the dialog
// was cancelled.
bool askOpen(FileDialogComponent &dialog, QString &fileName);
bool askSaveAs(FileDialogComponent &dialog, QString &fileName);

// After a start-up load of `fileName` that stopped early. The end would write
// back less than default.bvx holds, so that file is kept as it was beside
// it, as default.bvx.bak; any other file is left alone.
void keepBackup(const QString &fileName);

// Saves the open configuration; a failure is told on the error output.
// Returns whether the file was written.
bool save(const ProfileWorkspace &workspace, const QString &fileName);

} // namespace ConfigurationFiles
