#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells systemd how the service is doing (sd_notify, for a unit of
// Type=notify): ready, reloading, stopping, one status line, and the
// watchdog's keep-alive, sent from the event loop at half the unit's
// WatchdogSec= so that a stuck loop is what the watchdog sees. Without
// NOTIFY_SOCKET, or built without libsystemd, it does nothing.
class ServiceNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ServiceNotifier)

public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    void ready();
    void reloading();
    void stopping();
    // Sent when it differs from the last line sent.
    void setStatus(const QString &line);

private:
    void notify(const QByteArray &state);

    QTimer m_watchdog;
    QString m_status;
};
