#pragma once

#include "session/SessionSettings.h"

#include <QList>
#include <QString>

class PrivateProfile;

// A configuration file read into plain values, free of windows: what the
// main window's load applies to its session windows and what the logging
// service runs. Reading never stops early; every value a field would refuse
// is recorded, in file order, together with the field it was meant for, so
// that each reader can apply its own rule.
namespace ProfileSettings {

// A configuration holds at most this many sessions: a file asking for more
// is damaged, and opening millions of windows would hang the program.
inline constexpr int maxSessions = 1024;

// The fields a load sets, in the order it reads them.
enum class Field {
    WindowState,
    LogFile,
    OutputFile,
    AppendLinefeeds,
    Connector,
    BaudRate,
    Parity,
    Databits,
    Stopbits,
    FlowControl,
};

struct RefusedValue
{
    int session = 0; // 0: section "Ombrix"
    Field field = Field::WindowState;
    QString key;
    int value = 0;
};

struct Profile
{
    QString path;          // the file read
    bool readable = false; // the file existed and was read
    qint32 numSessions = 0;
    bool countValid = true; // NumSessions lies within 0..maxSessions
    int windowState = 0;    // 0 normal, 1 minimised, 2 maximised
    QString password;
    // One entry per stored session. A refused value leaves its field at the
    // default; AutoActivate is set only for a stored value of exactly 1.
    QList<SessionSettings> sessions;
    // From the last session's section; only read when there is a session.
    QString onErrorRunApp;
    qint32 logErrors = 0;
    QList<RefusedValue> refused;
};

// "default.bvx" in the program directory for an empty path, else the path.
QString resolvePath(const QString &path);

// Reads the configuration file at `path` (empty: the default file). A
// missing or unreadable file reads as one without keys.
Profile readProfile(const QString &path);
// The same for a file already read.
Profile readProfile(const PrivateProfile &file);

// The key under which `field` is stored.
QString keyOf(Field field);

// Writes one session's keys into section "Session<number>", in file order.
void writeSession(PrivateProfile &file, int number, const SessionSettings &settings);

} // namespace ProfileSettings
