#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Reports a capture error as the error options ask: a line appended to
// errorlog.txt in the program directory (LogErrorsToFile other than 0) and
// the external program started (OnErrorRunApp not empty and accepted). Every
// failure on the way is ignored: reporting never stops or disturbs capture.
namespace ErrorReport {

// "Ombrix Error: <port>, <description>, <mm-dd-yyyy>, <hh:mm:ss>" and CR LF.
QByteArray line(const QString &port, const QString &description, const QDateTime &when);

// The error log's path: errorlog.txt in the program directory.
QString logPath();

// Appends the line and starts the program, each when its option asks.
// Returns whether a program started.
bool report(const QString &port, const QString &description);

// Starts `commandLine` without a shell and without waiting. A command line
// that names no program, or one that cannot start, is skipped. Returns
// whether a program started.
bool startProgram(const QString &commandLine);

// The user's answer to whether a configuration's program may run, kept per
// command line in the per-user settings store; nothing when never asked.
std::optional<bool> rememberedAnswer(const QString &commandLine);
void rememberAnswer(const QString &commandLine, bool accepted);

// The trust in the program that the configuration just loaded names
// (Globals::OnErrorRunApp). Consent is only ever given: by the user's Yes to
// the question about it, or by typing the line in the options dialog. A line
// that an earlier end saved into default.bvx is asked about like any other.
// The remembered answer decides and sets Globals::AcceptedRunApp to match;
// without one the program does not start and the question is due (true).
bool questionDue();
// The user's answer to that question about `commandLine`: remembered, and a
// Yes accepts the line at once while it is still the configuration's program.
void answerQuestion(const QString &commandLine, bool accepted);
// The line the user typed in the options dialog (Globals::AcceptedRunApp):
// from now on no file asks about it.
void rememberAccepted();

// Whether someone other than the running user or root could have put a
// program into the file at `path`: when another user owns the file or any
// directory above it, or group or others may write to one of them (a sticky
// directory aside).
bool writableByOthers(const QString &path);

} // namespace ErrorReport
