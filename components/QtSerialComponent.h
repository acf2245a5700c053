#pragma once

#include "SerialComponent.h"

#include "common/SharedTimer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <memory>

class QFileSystemWatcher;

// The session's serial port over QSerialPort. Every byte that arrives is
// kept until input() takes it, also when the device goes away or the port is
// closed with bytes still waiting. OnComm is coalesced: raised at once when
// data arrives after a quiet spell, then at most once per throttle interval
// while data keeps coming, so that hundreds of busy ports stay cheap.
//
// When the device goes away (an adapter unplugged, the far end of a
// pseudo-terminal closed) the port raises EventDeviceLost and then waits for
// the device to return: it tries to reopen the same path with the same
// settings every retry interval, and sooner when the device's directory
// changes. A pseudo-terminal counts as back only through a link made anew:
// the same number later belongs to another one. portOpen() stays true all the while, so that the session's
// usual "if (portOpen()) setPortOpen(false)" ends the wait; bytes from before
// the loss that the receiver left waiting get one last receive event then, as
// at any close. Failed tries are quiet; only when something other
// than absence keeps the device from reopening (another program holds it, it is no longer a terminal) does
// EventDeviceLost come once more, with lostDeviceDescription() saying so.
// After a successful reopen capture goes on with the usual receive events,
// the bytes from before the loss first.
class QSocketNotifier;

class QtSerialComponent final : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(QtSerialComponent)

public:
    // Longest time between the arrival of bytes and the OnComm that reports
    // them while data keeps coming.
    static constexpr int throttleIntervalMs = 20;
    // Time between tries to reopen a device that went away.
    static constexpr int retryIntervalMs = 1000;

    explicit QtSerialComponent(QObject *parent = nullptr);
    ~QtSerialComponent() override;

    void setInputMode(int mode) override;
    void setCommPort(int port) override;
    void setSettings(const QString &settings) override;
    void setHandshaking(int mode) override;
    void setLineSwitch(bool on) override;
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    int commEvent() const override;
    qint64 inBufferCount() const override;
    QByteArray input() override;
    QString lostDeviceDescription() const override { return m_lostDescription; }
    QString openFailureDescription() const override { return m_openFailure; }

    void setRetryInterval(int ms);

    // The description of a failed open, naming the device and the cause in
    // words a user can act on (see PortDiagnosis).
    static QString describeOpenError(QSerialPort::SerialPortError error, const QString &errorString,
                                     const QString &device);

private:
    struct LineSettings
    {
        qint32 baudRate = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };

    static bool parseSettings(const QString &text, LineSettings *out);
    void applyLineSettings();
    void openPort();
    bool openDevice(const QString &device, QSerialPort::SerialPortError *error, QString *errorString);
    void closePort();
    void startWaiting();
    void stopWaiting();
    void watchDeviceDirectories();
    void tryReopen(bool scheduled);
    void noteWaitReason(const QString &reason, bool scheduled);
    bool hungUp();
    void pullPending(int maxReads);
    void pauseReading();
    void resumeReading();
    void readPaused(); // a tick's read while paused
    QSocketNotifier *portReadNotifier() const;
    void setPortWatching(bool on);
    void arm();
    void raise(int event);
    void deviceLost(bool notify);

    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onThrottleTimeout();

    QSerialPort m_port;
    // Throttle ticks are shared by every component, so that hundreds of busy
    // ports are served in one wake-up; m_armed says when this port's
    // interval began.
    SharedTimer m_throttle;
    QElapsedTimer m_armed;
    QTimer m_retry;                                // while waiting for a lost device
    QTimer m_settle;                               // a change in the device's directory: try soon
    std::unique_ptr<QFileSystemWatcher> m_watcher; // only while waiting
    QByteArray m_salvaged;                         // bytes taken from a port that has since closed
    LineSettings m_settings;
    QSerialPort::FlowControl m_flow = QSerialPort::NoFlowControl;
    int m_commPort = 1;
    QString m_configured; // the path the port map gave at the open, followed again at each retry
    QString m_device;     // the path opened
    QString m_lostDescription;
    QString m_waitCandidate; // a reason seen at one retry, reported when the next one agrees
    QString m_linkAtOpen;    // the configured path's link when the device was opened (see linkStamp)
    QString m_openFailure;
    int m_event = 0;
    qint64 m_countAfterEvent = 0; // bytes the receiver left waiting at the last event
    bool m_lineSwitch = false;
    bool m_paused = false;       // the port is not watched for data until the next tick
    bool m_capped = false;       // paused by capping the port's read buffer
    bool m_busyInterval = false; // the last throttle interval brought plenty
    bool m_closing = false;      // setPortOpen(false) is under way
    bool m_lossPending = false;  // the device failed during one of our own calls
    bool m_waiting = false;      // the device went away; retrying
    bool m_reportLoss = true;    // false from a reopen until the first bytes: a loss then is not news
    int m_busy = 0;              // depth of our own calls into m_port
    int m_inOnComm = 0;          // depth of OnComm emissions
};
