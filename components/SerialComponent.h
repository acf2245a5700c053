#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The contract of a session's serial port: one member per property the
// session drives, and the communication event. Property writes may throw
// ComponentError; reads never throw.
class SerialComponent : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SerialComponent)

public:
    // commEvent() codes
    static constexpr int EventReceive = 2;       // bytes are waiting
    static constexpr int EventDeviceLost = 1012; // the device went away; the port is closed

    using QObject::QObject;
    ~SerialComponent() override = default;

    virtual void setInputMode(int mode) = 0;               // 1: input() yields byte arrays
    virtual void setCommPort(int port) = 0;                // 1..255, COM<port> through the port map
    virtual void setSettings(const QString &settings) = 0; // "baud,parity,data,stop"
    virtual void setHandshaking(int mode) = 0;             // 0 none, 1 XON/XOFF, 2 RTS/CTS
    virtual void setLineSwitch(bool on) = 0;               // DTR
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual int commEvent() const = 0;
    virtual qint64 inBufferCount() const = 0;
    virtual QByteArray input() = 0; // takes every waiting byte
    // After EventDeviceLost: what happened, naming the device.
    virtual QString lostDeviceDescription() const = 0;

signals:
    void OnComm();
};
