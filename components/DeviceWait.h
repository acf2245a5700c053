#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QFileSystemWatcher;

// True when the far end of the terminal behind `port` is gone: it opens, but
// reads nothing ever.
bool portHungUp(const QSerialPort &port);

// The wait for a device that went away (an adapter unplugged, the far end of
// a pseudo-terminal closed). It tries to reopen the same configured path
// every retry interval, and sooner when the device's directory changes.
// When the COM number's map entry changes meanwhile (the Serial Ports
// dialog, an edit of the settings file, a new run of the simulator), it
// waits for the device the entry names from then on.
// Failed tries are quiet; only when something other than absence keeps the
// device from reopening (another program holds it, it is no longer a
// terminal) does the wait say so, once, through reasonChanged().
class DeviceWait : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceWait)

public:
    // Time between tries to reopen a device that went away.
    static constexpr int retryIntervalMs = 1000;

    // Opens `device` for the port; on failure fills in why. A device that
    // opens but turns out hung up counts as not found.
    using Opener =
        std::function<bool(const QString &device, QSerialPort::SerialPortError *error, QString *errorString)>;

    explicit DeviceWait(Opener open, QObject *parent = nullptr);
    ~DeviceWait() override;

    void setRetryInterval(int ms);

    // COM<port> is about to open `device`, which the port map gave as
    // `configured`: the device to wait for should it go.
    void setDevice(int port, const QString &configured, const QString &device);
    QString device() const { return m_device; }

    void start();
    void stop();
    bool isWaiting() const { return m_waiting; }
    // Why the device is not back: away, or what keeps it from reopening.
    QString description() const { return m_description; }

signals:
    void reopened();
    void reasonChanged();
    void retried(); // a regular try is over, whatever came of it

private:
    QString awayText() const;
    void watchDirectories();
    void followEntry();
    void tryReopen(bool scheduled);
    void noteReason(const QString &reason, bool scheduled);

    Opener m_open;
    QTimer m_retry;
    QTimer m_settle; // a change in the device's directory: try soon
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    QString m_configured; // the path the port map gave, followed again at each try
    QString m_device;     // the path opened
    QString m_linkAtOpen; // the configured path's link when the device was opened (see linkStamp)
    QString m_description;
    QString m_candidate; // a reason seen at one try, reported when the next one agrees
    int m_port = 0;
    QString m_entrySeen;          // the port map entry as the wait last looked at it
    bool m_entryMadeAnew = false; // the entry changed during the wait, to m_configured
    bool m_waiting = false;
};
