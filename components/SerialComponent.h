#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

// The contract of a session's serial port: one member per property the
// session drives, and the communication event. Property writes may throw
// ComponentError; reads never throw.
class SerialComponent : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SerialComponent)

public:
    // What an OnComm tells; the values are the communication event codes.
    enum class CommEvent {
        Receive = 2, // bytes are waiting
        // The device went away. The port stays logically open (portOpen() is
        // true) while the component waits for the device to return; see
        // lostDeviceDescription().
        DeviceLost = 1012,
        // Something the user should know about the open port: see notice().
        Notice = 1013,
        // An open port that did not work yet (see pendingDescription()) or
        // any more (DeviceLost) works now. Raised by components that can
        // tell, such as a network port once its server has shown itself; a
        // local port lets its next bytes say so.
        Opened = 1014,
    };
    Q_ENUM(CommEvent)

    using QObject::QObject;
    ~SerialComponent() override = default;

    virtual void setInputMode(int mode) = 0;               // 1: input() yields byte arrays
    virtual void setCommPort(int port) = 0;                // 1..255, COM<port> through the port map
    virtual void setSettings(const QString &settings) = 0; // "baud,parity,data,stop"
    virtual void setHandshaking(int mode) = 0;             // 0 none, 1 XON/XOFF, 2 RTS/CTS
    virtual void setLineSwitch(bool on) = 0;               // DTR
    // True from a successful open until setPortOpen(false), also while the
    // device is away and the component waits for it to return: the session
    // is still active then, and setPortOpen(false) ends the wait.
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;
    // The event being raised, for a receiver of the OnComm signal; the
    // handler given to callOnComm() has it as its argument.
    CommEvent commEvent() const { return m_event; }
    virtual qint64 inBufferCount() const = 0;
    virtual QByteArray input() = 0; // takes every waiting byte
    // After DeviceLost: what happened, naming the device, and that the
    // component waits for it to return (or what keeps it from reopening).
    virtual QString lostDeviceDescription() const = 0;
    // After setPortOpen(true) left the port closed without an error (no
    // device behind the COM number): why, naming the path that was tried.
    virtual QString openFailureDescription() const { return {}; }
    // After Notice: what the user should know while the port stays
    // open (the far side of a network port keeps settings of its own).
    virtual QString notice() const { return {}; }
    // Right after setPortOpen(true) opened the port: empty when it works at
    // once, else what it still waits for (the address a network port
    // connects to, in the background); Opened or DeviceLost
    // follows.
    virtual QString pendingDescription() const { return {}; }
    // True while the port waits for its device to return and follows its
    // COM number's map entry meanwhile: a change of the entry takes effect
    // at once instead of at the next activation.
    virtual bool waitsForDevice() const { return false; }

    // Runs `handler` at each communication event in place of emitting
    // OnComm(): a direct call, where hundreds of ports raising events at
    // every tick notice what an emission costs. For the one owner of the
    // component; an OnComm() emitted by hand reaches it too. The event is
    // the handler's argument, so that one raised from within the handler
    // (a close from it) changes nothing for the handler under way.
    void callOnComm(std::function<void(CommEvent)> handler)
    {
        m_onComm = std::move(handler);
        connect(this, &SerialComponent::OnComm, this, [this](CommEvent event) { m_onComm(event); });
    }

signals:
    void OnComm(SerialComponent::CommEvent event);

protected:
    void raiseOnComm(CommEvent event)
    {
        m_event = event;
        if (!m_onComm) {
            emit OnComm(event);
            return;
        }
        const std::function<void(CommEvent)> handler = m_onComm; // may delete this
        handler(event);
    }

private:
    std::function<void(CommEvent)> m_onComm;
    CommEvent m_event = CommEvent::Receive;
};
