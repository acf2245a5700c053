#pragma once

#include "config/ProfileModel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class PortMetrics;
class SerialSession;
class QTextStream;

// The logging service: runs the sessions of a configuration file without
// any window. It starts the sessions marked AutoActivate (or all of them),
// reloads the file on request keeping unchanged sessions running, and stops
// them all, each writing what its port still held. It never writes the
// configuration file.
class LoggingService : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(LoggingService)

public:
    // A session that could not open its port is tried again this often.
    static constexpr int retryIntervalMs = 5000;

    // `configPath` is used as given; `all` starts every session.
    LoggingService(const QString &configPath, bool all, QObject *parent = nullptr);
    ~LoggingService() override;

    // Reads the configuration and starts its sessions. False when the file
    // cannot be read: nothing is started then.
    bool start();
    // Reads the configuration again: sessions whose port and line settings
    // are unchanged go on without a gap (a new log file name takes effect
    // with the next bytes), changed ones are restarted, removed ones stopped,
    // new ones started. A file that cannot be read changes nothing.
    bool reload();
    // Closes every port; what each still held is written first.
    void stop();

    // Sessions this service holds, started or waiting for their port.
    qsizetype sessionCount() const { return m_running.size(); }
    qsizetype activeCount() const;
    // The metrics of every port and of the service, in the Prometheus text
    // format (see PortMetrics).
    QByteArray metrics() const;
    // One line for systemd's status: how many ports work, and why the first
    // few others do not.
    QString summary() const;

    // Something that would keep a session (or the whole service) from
    // logging as the configuration asks.
    struct Problem
    {
        enum class Kind {
            Unreadable,   // the configuration cannot be read
            DamagedCount, // NumSessions is out of range
            RefusedValue, // a value that its list does not offer
            NoPort,       // a session to start names no port
            Device,       // the device is missing or no character device
            LogFile,      // the log file cannot be appended to
            SharedDevice, // a second session opens the same device
        };
        Kind kind = Kind::Unreadable;
        int session = 0; // 0: the file itself or its section "Ombrix"
        QString text;
    };
    // Every problem start() would meet, in file order. Opens no port, but
    // connects once to each network port it would open, all at once, in a
    // local event loop of at most a few seconds: for ombrixd --check.
    QList<Problem> problems() const;
    // Prints what start() would do and every problem; returns their number.
    int check(QTextStream &out) const;

signals:
    // One line for the journal: a status change, a reload, a problem.
    void message(const QString &line);

private:
    struct Running
    {
        int number = 0; // session number in the file
        SessionSettings settings;
        QString device;
        SerialSession *session = nullptr;
        PortMetrics *metrics = nullptr; // the session's child
    };
    struct Wanted
    {
        int number = 0;
        SessionSettings settings;
        QString device;
    };

    bool readConfiguration(ProfileSettings::Profile *profile);
    QList<Problem> problemsIn(const ProfileSettings::Profile &profile) const;
    // Whether start() would start session `session` (1-based) of `profile`.
    bool activates(const ProfileSettings::Profile &profile, int session) const;
    // Why each network port that `profile` would open cannot be reached
    // (empty when it can), by device: all connected to at once.
    QHash<QString, QString> networkProblems(const ProfileSettings::Profile &profile) const;
    QList<Wanted> wantedSessions(const ProfileSettings::Profile &profile, bool report);
    void startSession(const Wanted &wanted);
    void stopSession(const Running &running);
    void activate(const Running &running);
    void retryInactive();

    const QString m_configPath;
    const bool m_all;
    QList<Running> m_running;
    QTimer m_retry;
    QString m_refusedProgram; // an error program already refused, said once
};
