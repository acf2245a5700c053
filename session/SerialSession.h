#pragma once

#include "common/SharedTimer.h"
#include "components/SerialComponent.h"
#include "session/Capture.h"

#include <QObject>
#include <QString>

struct SessionSettings;

// One logging session without any window: it opens its serial component
// with the chosen settings, appends every received byte to the log file,
// reports capture errors and keeps the status text. The session window
// drives one of these, and so does the logging service.
class SerialSession : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SerialSession)

public:
    enum class Activation {
        NoPort,       // "NONE" selected: nothing opened
        Opened,       // the port is open and logging, or a network port connecting in the background
        NotAvailable, // the component reported the port closed after opening it
        Failed,       // the component raised an error; status() tells it
    };

    // `serial` defaults to the real component; the session owns it.
    explicit SerialSession(SerialComponent *serial = nullptr, QObject *parent = nullptr);
    // Closes an open port: the bytes it still held are written first.
    ~SerialSession() override;

    SerialComponent *serial() const { return m_serial; }

    // The log file, trimmed of blanks afresh at every receive event, so a
    // change takes effect with the next bytes. It stays open while bytes
    // keep coming and is closed when none came for the idle interval, at
    // de-activation and when the session goes.
    void setLogFile(const QString &path) { m_logFile = path; }
    QString logFile() const { return m_logFile; }

    // The port's name as error-log lines give it ("COM3").
    void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }

    // Closes the port if open, then opens `port` (0 is "NONE") with the
    // settings string ("9600,N,8,1") and the flow-control position.
    Activation activate(int port, const QString &settings, int flow);
    // The same from stored settings; also takes their log file and port name.
    Activation activate(const SessionSettings &settings);
    // Closes the port; the status becomes "Closed".
    void deactivate();
    // How long the log file stays open without bytes arriving (1 s): it is
    // closed between one and one and a half intervals after the last bytes.
    void setIdleClose(int ms);
    // Whether the last activation opened the port and no deactivation followed.
    bool isActive() const { return m_active; }

    // The byte path: what it took from the port and holds.
    const Capture &capture() const { return m_capture; }

    QString status() const { return m_status; }
    QString statusDetail() const { return m_statusDetail; }

    // Reports a capture error as the error options ask (error log line,
    // external program), naming portName().
    void LogErrors(const QString &Desc);

signals:
    // Raised for every communication event of the component, before it is handled.
    void commEvent(SerialComponent::CommEvent event);
    // The status text changed; `detail` says more where there is more to say
    // (the file or device concerned and why).
    void statusChanged(const QString &text, const QString &detail);
    // A receive event was handled: its bytes are in the log (Written) or
    // held (FileError). Before the status it brings changes.
    void captured(Capture::Outcome outcome);

private:
    void onComm(SerialComponent::CommEvent event);
    void idleTick();
    void setStatus(const QString &text, const QString &detail = QString());

    SerialComponent *m_serial = nullptr;
    Capture m_capture;
    SharedTimer m_idleClose{this}; // runs while the log file is open
    int m_quietTicks = 0;          // idle ticks since the last bytes
    QString m_logFile;
    QString m_portName;
    QString m_status;
    QString m_statusDetail;
    bool m_active = false;
};
