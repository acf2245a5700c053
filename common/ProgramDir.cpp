#include "common/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef OMBRIX_INSTALLED_DATA_DIR
#define OMBRIX_INSTALLED_DATA_DIR "../share/ombrix"
#endif

namespace {

QString perUserDataDirectory()
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    return dataDir;
}

} // namespace

QString installedDataDirectory(const QString &exeDir)
{
    // The install always puts files into this directory; a build tree or a
    // copy of the executable somewhere else has none beside it.
    if (exeDir.isEmpty())
        return QString();
    const QString dir = QDir::cleanPath(QDir(exeDir).filePath(QStringLiteral(OMBRIX_INSTALLED_DATA_DIR)));
    return QFileInfo(dir).isDir() ? dir : QString();
}

QString programDirectoryFor(const QString &exeDir)
{
    if (!exeDir.isEmpty() && installedDataDirectory(exeDir).isEmpty() && QFileInfo(exeDir).isWritable())
        return exeDir;
    return perUserDataDirectory();
}

QString programHelpFilePathFor(const QString &exeDir)
{
    const QString installed = installedDataDirectory(exeDir);
    return QDir(installed.isEmpty() ? exeDir : installed).filePath(QStringLiteral("ombrix.chm"));
}

QString programDirectory()
{
    return programDirectoryFor(QCoreApplication::applicationDirPath());
}

QString programFilePath(const QString &fileName)
{
    return QDir(programDirectory()).filePath(fileName);
}

QString programHelpFilePath()
{
    return programHelpFilePathFor(QCoreApplication::applicationDirPath());
}
