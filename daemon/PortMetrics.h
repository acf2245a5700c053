#pragma once

#include "session/SerialSession.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// What /metrics tells of one port at one moment.
struct PortSample
{
    QString com;    // "COM3"
    QString device; // as the port map gives it: "/dev/ttyUSB0", "rfc2217://host:2217"
    qint64 receivedBytes = 0;
    qint64 loggedBytes = 0;
    bool open = false;
    qint64 lastByteMs = 0; // since the epoch; 0 before the first byte
    qint64 reconnects = 0;
    qint64 openErrors = 0;
    qint64 lostErrors = 0;
    qint64 writeErrors = 0;
};

// What /metrics tells of the whole service.
struct ServiceSample
{
    QString version;
    qsizetype sessionsConfigured = 0;
    qsizetype sessionsOpen = 0;
};

// Counts, for the metrics of the logging service, what one session goes
// through: from the session's own events and the outcome of each activation
// the service makes. The bytes are the session's capture's own counts.
//
// A port is open while it works: from an activation that opened it, or from
// the moment a network port's server showed itself, until it is lost. A lost
// port works again (a reconnect) when a network port is connected anew or a
// local device's first bytes after its return arrive -- the moments its
// status line says "Open" again. Errors: "open" for each activation that
// could not open the port (the service retries every few seconds) and each
// new reason why a network port's first connection fails; "lost" once per
// loss; "write" for each receive event whose bytes could not be logged.
class PortMetrics : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PortMetrics)

public:
    static constexpr char contentType[] = "text/plain; version=0.0.4; charset=utf-8";

    // Follows `session` as its child, so it goes with it. `device` is the
    // port map's value for the session's COM number.
    PortMetrics(SerialSession *session, const QString &device);

    // The service activated the session, with this outcome.
    void activated(SerialSession::Activation outcome);
    bool isOpen() const { return m_state == State::Open; }
    PortSample sample() const;

    // The Prometheus text exposition format, version 0.0.4. A port whose COM
    // number came earlier in `ports` is left out (a configuration may name
    // one port twice; only one of them can hold it).
    static QByteArray render(const QList<PortSample> &ports, const ServiceSample &service);
    // One line: how many of `ports` are open, and why the first few others
    // are not, in their sessions' words.
    static QString summary(const QList<const PortMetrics *> &ports);

private:
    enum class State { Closed, Connecting, Open, Lost };

    void onComm(SerialComponent::CommEvent event);
    void onCaptured(Capture::Outcome outcome);
    void works();

    SerialSession *const m_session;
    const QString m_device;
    State m_state = State::Closed;
    qint64 m_takenSeen = 0;
    qint64 m_lastByteMs = 0;
    qint64 m_reconnects = 0;
    qint64 m_openErrors = 0;
    qint64 m_lostErrors = 0;
    qint64 m_writeErrors = 0;
};
