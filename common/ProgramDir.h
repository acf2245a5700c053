#pragma once

#include <QString>

// "The program's directory": where default.bvx and errorlog.txt live and what
// the program makes its current directory. It is the executable's directory
// when that is writable (a build tree, a portable install), else the per-user
// data directory, created when missing (an installed program in /usr/bin).
QString programDirectory();

// Joins the program directory and a file name with exactly one separator.
QString programFilePath(const QString &fileName);
