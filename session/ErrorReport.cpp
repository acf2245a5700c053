#include "session/ErrorReport.h"

#include "common/Globals.h"
#include "common/ProgramDir.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ErrorReport {

QByteArray line(const QString &port, const QString &description, const QDateTime &when)
{
    const QString text = QStringLiteral("Ombrix Error: ") + port + QStringLiteral(", ") + description +
                         QStringLiteral(", ") + when.toString(QStringLiteral("MM-dd-yyyy")) +
                         QStringLiteral(", ") + when.toString(QStringLiteral("HH:mm:ss")) +
                         QStringLiteral("\r\n");
    // The log is plain single-byte text; a path or program name that needs
    // more is kept readable as UTF-8 rather than turned into question marks.
    return text.toUtf8();
}

QString logPath()
{
    return programFilePath(QStringLiteral("errorlog.txt"));
}

bool startProgram(const QString &commandLine)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments);
}

bool report(const QString &port, const QString &description)
{
    if (Globals::LogErrorsToFile != 0) {
        QFile log(logPath());
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(line(port, description, QDateTime::currentDateTime()));
    }
    return !Globals::OnErrorRunApp.isEmpty() && Globals::OnErrorRunApp == Globals::AcceptedRunApp &&
           startProgram(Globals::OnErrorRunApp);
}

namespace {

// Settings keys cannot hold every character a command line may have: each
// line is filed under its hash, with the line itself beside the answer.
QString answerKey(const QString &commandLine)
{
    return QStringLiteral("ErrorPrograms/") +
           QString::fromLatin1(
               QCryptographicHash::hash(commandLine.toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace

std::optional<bool> rememberedAnswer(const QString &commandLine)
{
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    const QString key = answerKey(commandLine);
    if (settings.value(key + QStringLiteral("/CommandLine")).toString() != commandLine)
        return std::nullopt;
    return settings.value(key + QStringLiteral("/Run")).toBool();
}

void rememberAnswer(const QString &commandLine, bool accepted)
{
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    const QString key = answerKey(commandLine);
    settings.setValue(key + QStringLiteral("/CommandLine"), commandLine);
    settings.setValue(key + QStringLiteral("/Run"), accepted);
}

bool writableByOthers(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat file = {};
    struct stat dir = {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0 ||
        ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &dir) != 0)
        return true;
    const bool foreignFile = file.st_uid != 0 && file.st_uid != ::geteuid();
    const bool openFile = (file.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    // In a directory others may write, they can replace the file, unless the
    // sticky bit keeps them to their own files.
    const bool openDir = (dir.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (dir.st_mode & S_ISVTX) == 0;
    return foreignFile || openFile || openDir;
#else
    // A port to another system must decide this from its own access rules.
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace ErrorReport
