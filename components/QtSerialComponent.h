#pragma once

#include "components/DeviceWait.h"
#include "components/LineSettings.h"
#include "components/ReadThrottle.h"
#include "components/SerialComponent.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

// The session's serial port over QSerialPort. Every byte that arrives is
// kept until input() takes it, also when the device goes away or the port is
// closed with bytes still waiting. OnComm is coalesced by the ReadThrottle:
// raised at once when data arrives after a quiet spell, then at most once per
// throttle interval while data keeps coming.
//
// When the device goes away the port raises EventDeviceLost and waits for
// it to return (DeviceWait). portOpen() stays true all the while, so that the
// session's usual "if (portOpen()) setPortOpen(false)" ends the wait; bytes
// from before the loss that the receiver left waiting get one last receive
// event then, as at any close. When something other than absence keeps the
// device from reopening, EventDeviceLost comes once more, with
// lostDeviceDescription() saying why. After a reopen capture goes on with the
// usual receive events, the bytes from before the loss first.
class QtSerialComponent final : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(QtSerialComponent)

public:
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
    QString lostDeviceDescription() const override { return m_wait.description(); }
    QString openFailureDescription() const override { return m_openFailure; }

    void setRetryInterval(int ms) { m_wait.setRetryInterval(ms); }

private:
    void openPort();
    bool openDevice(const QString &device, QSerialPort::SerialPortError *error, QString *errorString);
    void closePort();
    void raise(int event);
    void deviceLost(bool notify);

    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onThrottleTick();

    QSerialPort m_port;
    ReadThrottle m_throttle{m_port};
    DeviceWait m_wait;
    QByteArray m_salvaged; // bytes taken from the port ahead of the receiver: read by us, or saved at a close
    LineSettings m_settings;
    QSerialPort::FlowControl m_flow = QSerialPort::NoFlowControl;
    int m_commPort = 1;
    QString m_openFailure;
    int m_event = 0;
    qint64 m_countAfterEvent = 0;   // bytes the receiver left waiting at the last event
    qint64 m_arrivedInInterval = 0; // reported within the throttle interval under way
    bool m_lineSwitch = false;
    bool m_closing = false;     // setPortOpen(false) is under way
    bool m_lossPending = false; // the device failed during one of our own calls
    bool m_reportLoss = true;   // false from a reopen until the first bytes: a loss then is not news
    int m_busy = 0;             // depth of our own calls into m_port
    int m_inOnComm = 0;         // depth of OnComm emissions
};
