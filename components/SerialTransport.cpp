#include "components/SerialTransport.h"

#include "components/ComponentError.h"
#include "components/PortMap.h"

#include <utility>

void SerialTransport::setInputMode(int mode)
{
    if (mode != 1) // byte arrays are the only input mode
        throw ComponentError(QStringLiteral("Invalid property value"));
}

void SerialTransport::setCommPort(int port)
{
    if (port < PortMap::firstPort || port > PortMap::lastPort)
        throw ComponentError(QStringLiteral("Invalid port number"));
    // The device is looked up at open, so a port map edited in between counts.
    m_commPort = port;
}

void SerialTransport::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        throw ComponentError(QStringLiteral("Invalid setting"));
    m_settings = *parsed;
    if (portOpen())
        lineChanged();
}

void SerialTransport::setHandshaking(int mode)
{
    const std::optional<QSerialPort::FlowControl> flow = LineSettings::flowControl(mode);
    if (!flow)
        throw ComponentError(QStringLiteral("Invalid property value"));
    m_flow = *flow;
    if (portOpen())
        lineChanged();
}

void SerialTransport::setLineSwitch(bool on)
{
    m_lineSwitch = on;
    if (portOpen())
        lineChanged();
}

void SerialTransport::setPortOpen(bool open)
{
    if (open) {
        if (!portOpen())
            openTransport();
        return;
    }
    if (!portOpen() || m_closing)
        return;
    QScopedValueRollback closing(m_closing, true);
    takeRemaining();
    // What arrived since the last event gets one more before the port goes.
    // A receiver that closes from its own handler has taken what came before
    // already, and hears of the rest here as anyone would.
    if (inBufferCount() > 0)
        raise(CommEvent::Receive);
    closeTransport();
}

QByteArray SerialTransport::input()
{
    // Bytes read before arrived before anything the device holds now.
    QByteArray bytes;
    bytes.swap(m_received);
    takeWaiting(bytes);
    return bytes;
}

void SerialTransport::raise(CommEvent event)
{
    raiseOnComm(event);
    m_countAfterEvent = inBufferCount();
}

void SerialTransport::lost(const QString &why)
{
    m_lost = why;
    if (!m_received.isEmpty())
        raise(CommEvent::Receive);
    if (portOpen())
        raise(CommEvent::DeviceLost);
}

void SerialTransport::receivedNews()
{
    m_reportLoss = true;
    raise(CommEvent::Receive);
}

void SerialTransport::onArrival(ReadThrottle &throttle)
{
    // Reads of our own are reported by their caller.
    if (m_busy || m_closing)
        return;
    if (!throttle.isActive()) {
        // Armed before raising, so that a nested event loop in the receiver
        // finds the device throttled; paused at once, so that the next
        // bytes wait for the tick rather than wake the program.
        m_arrivedInInterval = 0;
        throttle.arm();
        throttle.arrivedWhileArmed();
        takeArrival();
        receivedNews();
        return;
    }
    if (throttle.arrivedWhileArmed())
        return; // read at the tick
    QByteArray bytes;
    bool lost = false;
    {
        const auto scope = busyScope();
        lost = throttle.readFreely(bytes);
    }
    arrived(bytes);
    if (lost) {
        gone();
        return;
    }
    // A device faster than the disk is written in pieces of a write's worth
    // rather than a whole interval's: a large write holds up reading while
    // the device's buffers fill and its sender waits.
    if (freshBytes() < ReadThrottle::writeBytes)
        return;
    m_arrivedInInterval += freshBytes();
    receivedNews();
}

void SerialTransport::onTick(ReadThrottle &throttle)
{
    if (!reading() || m_closing) {
        throttle.stop();
        return;
    }
    m_goneWhileBusy = false;
    QByteArray bytes;
    {
        const auto scope = busyScope();
        if (throttle.readAtTick(bytes))
            m_goneWhileBusy = true;
    }
    arrived(bytes);
    if (std::exchange(m_goneWhileBusy, false)) {
        gone();
        return;
    }
    // What the device holds beyond what the receiver left came in this
    // interval, after what was reported in it already.
    const qint64 fresh = freshBytes();
    const qint64 arrivedNow = std::exchange(m_arrivedInInterval, 0) + fresh;
    if (throttle.intervalEnded(arrivedNow) && fresh > 0)
        receivedNews();
}
