#pragma once

#include "components/DeviceWait.h"
#include "components/ReadThrottle.h"
#include "components/SerialTransport.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

// The session's serial port over QSerialPort. Every byte that arrives is
// kept until input() takes it, also when the device goes away or the port is
// closed with bytes still waiting. OnComm is coalesced by the ReadThrottle:
// raised at once when data arrives after a quiet spell, then at most once per
// throttle interval while data keeps coming.
//
// When the device goes away the port raises DeviceLost and waits for
// it to return (DeviceWait). portOpen() stays true all the while, so that the
// session's usual "if (portOpen()) setPortOpen(false)" ends the wait; bytes
// from before the loss that the receiver left waiting get one last receive
// event then, as at any close. When something other than absence keeps the
// device from reopening, DeviceLost comes once more, with
// lostDeviceDescription() saying why. After a reopen capture goes on with the
// usual receive events, the bytes from before the loss first.
class QtSerialComponent final : public SerialTransport
{
    Q_OBJECT
    Q_DISABLE_COPY(QtSerialComponent)

public:
    explicit QtSerialComponent(QObject *parent = nullptr);
    ~QtSerialComponent() override;

    bool portOpen() const override;
    QString openFailureDescription() const override { return m_openFailure; }
    bool waitsForDevice() const override { return m_wait.isWaiting(); }

    void setRetryInterval(int ms) { m_wait.setRetryInterval(ms); }

private:
    void openTransport() override;
    void takeRemaining() override;
    void closeTransport() override;
    void lineChanged() override;
    qint64 waitingInDevice() const override;
    void takeWaiting(QByteArray &into) override;

    bool reading() const override;
    void gone() override;

    bool openDevice(const QString &device, QSerialPort::SerialPortError *error, QString *errorString);
    void deviceLost(bool notify);
    void onErrorOccurred(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    ReadThrottle m_throttle{m_port};
    DeviceWait m_wait;
    QString m_openFailure;
};
