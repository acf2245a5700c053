#pragma once

#include "SerialComponent.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <QTimer>

// The session's serial port over QSerialPort. Every byte that arrives is
// kept until input() takes it, also when the device goes away or the port is
// closed with bytes still waiting. OnComm is coalesced: raised at once when
// data arrives after a quiet spell, then at most once per throttle interval
// while data keeps coming, so that hundreds of busy ports stay cheap.
class QtSerialComponent final : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(QtSerialComponent)

public:
    // Longest time between the arrival of bytes and the OnComm that reports
    // them while data keeps coming.
    static constexpr int throttleIntervalMs = 20;

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

    // The description of a failed open, naming the device and the cause in
    // words a user can act on.
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
    void closePort();
    void pullPending(int maxReads);
    void pauseReading();
    void resumeReading();
    void raise(int event);
    void deviceLost(bool notify);

    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onThrottleTimeout();

    QSerialPort m_port;
    QTimer m_throttle;
    QByteArray m_salvaged; // bytes taken from a port that has since closed
    LineSettings m_settings;
    QSerialPort::FlowControl m_flow = QSerialPort::NoFlowControl;
    int m_commPort = 1;
    QString m_device; // the path opened
    QString m_lostDescription;
    int m_event = 0;
    qint64 m_countAfterEvent = 0; // bytes the receiver left waiting at the last event
    bool m_lineSwitch = false;
    bool m_paused = false;       // the port's read buffer is capped until the next tick
    bool m_busyInterval = false; // the last throttle interval brought plenty
    bool m_closing = false;      // setPortOpen(false) is under way
    bool m_lossPending = false;  // the device failed during one of our own calls
    int m_busy = 0;              // depth of our own calls into m_port
    int m_inOnComm = 0;          // depth of OnComm emissions
};
