#include "session/ErrorReport.h"

#include "common/Globals.h"
#include "common/ProgramDir.h"

#include <QFile>
#include <QProcess>

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

void report(const QString &port, const QString &description)
{
    if (Globals::LogErrorsToFile != 0) {
        QFile log(logPath());
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(line(port, description, QDateTime::currentDateTime()));
    }
    if (!Globals::OnErrorRunApp.isEmpty())
        startProgram(Globals::OnErrorRunApp);
}

} // namespace ErrorReport
