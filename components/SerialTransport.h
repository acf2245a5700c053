#pragma once

#include "components/LineSettings.h"
#include "components/ReadThrottle.h"
#include "components/SerialComponent.h"

#include <QByteArray>
#include <QSerialPort>
#include <QScopedValueRollback>
#include <QString>

// What a local and a network port have in common: the session's properties
// and their checks, the bytes received and not yet taken by input(), the
// delivery of events, and the order of a close and of a loss. A transport
// only opens, reads, closes and reconnects: it hands what it read to
// received(), raises events through raise(), and tells of a device that went
// away through lost().
//
// Both read at the ticks of a ReadThrottle: the first arrival after a quiet
// spell is reported at once; while data keeps coming, one receive event per
// throttle interval carries all of it.
//
// A close delivers what arrived before it: the transport takes what its
// device still holds (takeRemaining), the receiver gets one last receive
// event while the port is still open, then the transport closes. Bytes the
// receiver leaves stay for input(), also after the close.
class SerialTransport : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(SerialTransport)

public:
    using SerialComponent::SerialComponent;

    void setInputMode(int mode) final;
    void setCommPort(int port) final;
    void setSettings(const QString &settings) final;
    void setHandshaking(int mode) final;
    void setLineSwitch(bool on) final;
    void setPortOpen(bool open) final;
    qint64 inBufferCount() const final { return m_received.size() + waitingInDevice(); }
    QByteArray input() final;
    QString lostDeviceDescription() const final { return m_lost; }

protected:
    // The transport's part. openTransport() may throw ComponentError, or
    // leave the port closed with openFailureDescription() saying why.
    virtual void openTransport() = 0;
    // A close begins: stop reading and take what the device still holds.
    virtual void takeRemaining() = 0;
    virtual void closeTransport() = 0;
    // A property changed while the port is open.
    virtual void lineChanged() {}
    // Bytes the device holds that input() takes (takeWaiting) with the rest.
    virtual qint64 waitingInDevice() const { return 0; }
    virtual void takeWaiting(QByteArray &into) { Q_UNUSED(into) }

    // The device is open and read: not connecting, not waiting to return.
    virtual bool reading() const = 0;
    // The first arrival after a quiet spell: take what input() would not.
    virtual void takeArrival() {}
    // Bytes read from the device at a wake-up or tick; what the port
    // received of them goes to received().
    virtual void arrived(const QByteArray &bytes) { received(bytes); }
    // A read found the device gone.
    virtual void gone() = 0;

    // The byte path, paced by the transport's throttle.
    void onArrival(ReadThrottle &throttle);
    void onTick(ReadThrottle &throttle);

    // Calls into the device may report its failure at once, from within:
    // such a report waits (noteGoneWhileBusy) for the caller to act on it.
    [[nodiscard]] QScopedValueRollback<bool> busyScope() { return QScopedValueRollback<bool>(m_busy, true); }
    bool busy() const { return m_busy; }
    void noteGoneWhileBusy() { m_goneWhileBusy = true; }

    int commPort() const { return m_commPort; }
    const LineSettings &lineSettings() const { return m_settings; }
    QSerialPort::FlowControl flowControl() const { return m_flow; }
    bool lineSwitch() const { return m_lineSwitch; }
    bool closing() const { return m_closing; }

    void received(const QByteArray &bytes) { m_received += bytes; }
    // Bytes beyond those the receiver left waiting at the last event: only
    // these are news, so that a receiver whose log cannot be written hears
    // of each arrival once, not at every tick.
    qint64 freshBytes() const { return inBufferCount() - m_countAfterEvent; }
    void raise(CommEvent event);
    // A receive event for bytes that came now.
    void receivedNews();
    // The device went away, or is still away for another reason: the bytes
    // from before are reported as received data first, for a receiver that
    // reads only on receive events, then the loss, unless the receiver
    // closed the port meanwhile.
    void lost(const QString &why);
    void setLostDescription(const QString &why) { m_lost = why; }

    // False from a reopen until the first bytes: a loss then is not news.
    bool m_reportLoss = true;

private:
    QByteArray m_received; // read from the device, not yet taken by input()
    LineSettings m_settings;
    QSerialPort::FlowControl m_flow = QSerialPort::NoFlowControl;
    int m_commPort = 1;
    bool m_lineSwitch = false;
    bool m_closing = false;
    bool m_busy = false;          // a call into the device is under way
    bool m_goneWhileBusy = false; // the device failed during one
    qint64 m_arrivedInInterval = 0; // reported within the throttle interval under way
    qint64 m_countAfterEvent = 0; // bytes the receiver left waiting at the last event
    QString m_lost;
};
