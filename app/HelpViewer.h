#pragma once

#include <QStringList>

// The command that opens `file` in the desktop's own viewer for its type:
// the default application that the desktop's mimeapps.list files name (else
// the first one that declares the type), from its desktop entry's Exec line.
// Started directly rather than through xdg-open, which hands the file on and
// ends at once, the viewer is a process of ours that can be ended at exit.
// Empty when the desktop has no viewer for the type.
QStringList desktopViewerCommand(const QString &file);
