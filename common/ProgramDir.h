#pragma once

#include <QString>

// "The program's directory": where default.bvx and errorlog.txt live and what
// the program makes its current directory.
//
// An installed program (one whose installed data directory, <prefix>/share/ombrix
// beside <prefix>/bin, exists) always uses the per-user data directory, even
// when its own directory is writable (root and /usr/bin). Otherwise it is the
// executable's directory when that is writable (a build tree, a portable copy),
// else the per-user data directory. The per-user data directory is created
// when missing.
QString programDirectory();

// Joins the program directory and a file name with exactly one separator.
QString programFilePath(const QString &fileName);

// The help file ombrix.chm: in the installed data directory for an installed
// program, else beside the executable. The file need not exist.
QString programHelpFilePath();

// The same rules for an executable in exeDir; the functions above pass the
// running program's directory.
QString installedDataDirectory(const QString &exeDir);
QString programDirectoryFor(const QString &exeDir);
QString programHelpFilePathFor(const QString &exeDir);
