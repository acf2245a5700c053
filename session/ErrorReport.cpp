#include "session/ErrorReport.h"

#include "common/Globals.h"
#include "common/ProgramDir.h"
#include "common/UserStore.h"

#include <QCryptographicHash>
#include <QDir>
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
    QSettings settings = UserStore::open();
    const QString key = answerKey(commandLine);
    if (settings.value(key + QStringLiteral("/CommandLine")).toString() != commandLine)
        return std::nullopt;
    return settings.value(key + QStringLiteral("/Run")).toBool();
}

void rememberAnswer(const QString &commandLine, bool accepted)
{
    QSettings settings = UserStore::open();
    const QString key = answerKey(commandLine);
    settings.setValue(key + QStringLiteral("/CommandLine"), commandLine);
    settings.setValue(key + QStringLiteral("/Run"), accepted);
}

bool questionDue()
{
    const QString line = Globals::OnErrorRunApp;
    if (line.isEmpty() || line == Globals::AcceptedRunApp)
        return false;
    const std::optional<bool> remembered = rememberedAnswer(line);
    Globals::AcceptedRunApp = remembered.value_or(false) ? line : QString();
    return !remembered;
}

void answerQuestion(const QString &commandLine, bool accepted)
{
    rememberAnswer(commandLine, accepted);
    if (accepted && Globals::OnErrorRunApp == commandLine)
        Globals::AcceptedRunApp = commandLine;
}

void rememberAccepted()
{
    if (!Globals::AcceptedRunApp.isEmpty())
        rememberAnswer(Globals::AcceptedRunApp, true);
}

bool writableByOthers(const QString &path)
{
#ifdef Q_OS_UNIX
    // Whoever owns the file or any directory above it, or may write to one
    // of them, can put another program into the file: the owner of a
    // directory may rename what it holds, even a file of root's. A sticky
    // directory keeps others to their own entries. Both the path as named
    // and the file it resolves to count, so a link leads nowhere unseen.
    const uid_t self = ::geteuid();
    const auto foreign = [self](const QString &name, bool directory) {
        struct stat info = {};
        if (::stat(QFile::encodeName(name).constData(), &info) != 0)
            return true;
        if (info.st_uid != 0 && info.st_uid != self)
            return true;
        return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !(directory && (info.st_mode & S_ISVTX) != 0);
    };
    const QFileInfo named(path);
    const QString resolved = named.canonicalFilePath();
    if (resolved.isEmpty() || foreign(resolved, false))
        return true;
    for (QString file : {named.absoluteFilePath(), resolved}) {
        for (QString dir = QFileInfo(file).absolutePath();; dir = QFileInfo(dir).absolutePath()) {
            if (foreign(dir, true))
                return true;
            if (dir == QDir::rootPath())
                break;
        }
    }
    return false;
#else
    // A port to another system must decide this from its own access rules.
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace ErrorReport
