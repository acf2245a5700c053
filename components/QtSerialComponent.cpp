#include "components/QtSerialComponent.h"

#include "components/ComponentError.h"
#include "components/PortDiagnosis.h"
#include "components/PortMap.h"

#include <utility>

namespace {

// Counts nesting for the lifetime of a scope, also when an exception leaves it.
class DepthGuard
{
public:
    explicit DepthGuard(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &m_depth;
};

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
    , m_wait(
          [this](const QString &device, QSerialPort::SerialPortError *error, QString *errorString) {
              DepthGuard busy(m_busy);
              if (!openDevice(device, error, errorString))
                  return false;
              if (!portHungUp(m_port))
                  return true;
              // A terminal whose far end is gone opens but reads nothing ever.
              m_port.close();
              m_port.clearError();
              *error = QSerialPort::DeviceNotFoundError;
              return false;
          },
          this)
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComponent::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComponent::onErrorOccurred);
    m_throttle.callOnTick([this] { onThrottleTick(); });
    connect(&m_wait, &DeviceWait::reopened, this, [this] { m_reportLoss = false; });
    connect(&m_wait, &DeviceWait::reasonChanged, this, [this] { raise(EventDeviceLost); });
}

QtSerialComponent::~QtSerialComponent()
{
    // No signals from here: the receiver may be half destroyed already.
    m_throttle.stop();
    m_wait.stop();
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialComponent::setInputMode(int mode)
{
    if (mode != 1) // byte arrays are the only input mode
        throw ComponentError(QStringLiteral("Invalid property value"));
}

void QtSerialComponent::setCommPort(int port)
{
    if (port < PortMap::firstPort || port > PortMap::lastPort)
        throw ComponentError(QStringLiteral("Invalid port number"));
    // The device is looked up at open, so a port map edited in between counts.
    m_commPort = port;
}

void QtSerialComponent::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        throw ComponentError(QStringLiteral("Invalid setting"));
    m_settings = *parsed;
    if (m_port.isOpen()) {
        // A live change that the device rejects (a pseudo-terminal refuses
        // parity and short characters with "Invalid argument") leaves the
        // port open as it was; the values apply in full at the next open.
        DepthGuard busy(m_busy);
        m_settings.applyTo(m_port);
    }
}

void QtSerialComponent::setHandshaking(int mode)
{
    const std::optional<QSerialPort::FlowControl> flow = LineSettings::flowControl(mode);
    if (!flow)
        throw ComponentError(QStringLiteral("Invalid property value"));
    m_flow = *flow;
    if (m_port.isOpen()) {
        DepthGuard busy(m_busy);
        m_port.setFlowControl(m_flow);
    }
}

void QtSerialComponent::setLineSwitch(bool on)
{
    m_lineSwitch = on;
    if (m_port.isOpen()) {
        // A device without modem lines (a pseudo-terminal) refuses; that is
        // no reason to fail.
        DepthGuard busy(m_busy);
        m_port.setDataTerminalReady(on);
    }
}

bool QtSerialComponent::portOpen() const
{
    return m_port.isOpen() || m_wait.isWaiting();
}

void QtSerialComponent::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

int QtSerialComponent::commEvent() const
{
    return m_event;
}

qint64 QtSerialComponent::inBufferCount() const
{
    return m_salvaged.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
}

QByteArray QtSerialComponent::input()
{
    // Salvaged bytes arrived before anything the port holds now.
    QByteArray bytes;
    bytes.swap(m_salvaged);
    if (m_port.isOpen() && m_port.bytesAvailable() > 0) {
        bytes.append(m_port.readAll());
        m_throttle.keepPaused();
    }
    return bytes;
}

void QtSerialComponent::openPort()
{
    if (portOpen())
        return;
    const QString configured = PortMap::devicePath(m_commPort);
    const QString device = PortMap::resolvedPath(configured);

    DepthGuard busy(m_busy);
    m_wait.setDevice(configured, device);
    m_openFailure.clear();
    m_reportLoss = true;
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString errorString;
    if (openDevice(device, &error, &errorString))
        return;
    // A device that is not there is not an error: the port stays closed
    // and portOpen() says so.
    if (error == QSerialPort::DeviceNotFoundError) {
        PortDiagnosis::Facts facts;
        facts.kind = PortDiagnosis::Kind::NoDevice;
        facts.device = configured;
        facts.port = m_commPort;
        m_openFailure = PortDiagnosis::describe(facts);
        return;
    }
    throw ComponentError(PortDiagnosis::describe(PortDiagnosis::examine(error, errorString, device)));
}

bool QtSerialComponent::openDevice(const QString &device, QSerialPort::SerialPortError *error,
                                   QString *errorString)
{
    m_port.setPortName(device);
    m_settings.applyTo(m_port);
    m_port.setFlowControl(m_flow);
    m_throttle.reset();
    m_arrivedInInterval = 0;
    m_lossPending = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        *error = m_port.error();
        *errorString = m_port.errorString();
        m_port.clearError();
        return false;
    }
    m_port.setDataTerminalReady(m_lineSwitch);
    return true;
}

void QtSerialComponent::closePort()
{
    if (m_wait.isWaiting()) {
        // The port itself closed when the device went; only the wait is left,
        // and what the receiver could not write before the loss: it gets one
        // last event, as at any close.
        m_wait.stop();
        if (m_inOnComm == 0 && !m_salvaged.isEmpty())
            raise(EventReceive);
        return;
    }
    if (!m_port.isOpen() || m_closing)
        return;
    m_closing = true;
    m_throttle.stop();
    {
        DepthGuard busy(m_busy);
        m_throttle.readAtClose(m_salvaged);
    }
    // Bytes held back by the throttle, or left by a receiver that could not
    // write them, get one last event so that the receiver can write them
    // before the port goes. A receiver that closes from its own OnComm
    // handler is draining already and finds them in input() when it goes on.
    if (m_inOnComm == 0 && m_port.isOpen() && inBufferCount() > 0)
        raise(EventReceive);
    if (m_port.isOpen()) {
        DepthGuard busy(m_busy);
        m_salvaged.append(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_throttle.reset();
    m_closing = false;
}

void QtSerialComponent::raise(int event)
{
    m_event = event;
    if (event == EventReceive)
        m_reportLoss = true;
    {
        DepthGuard inOnComm(m_inOnComm);
        raiseOnComm();
    }
    // What the receiver left waiting (its log file could not be opened) is
    // not news: only bytes beyond it raise the next event, so a failing
    // receiver hears of each arrival once, not at every tick.
    m_countAfterEvent = inBufferCount();
}

void QtSerialComponent::deviceLost(bool notify)
{
    m_throttle.stop();
    {
        // Take what the port still buffers before closing discards it.
        DepthGuard busy(m_busy);
        m_salvaged.append(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_throttle.reset();
    if (!notify) // the port was closing anyway
        return;
    // Bytes salvaged beyond what the receiver has heard of are news; so is
    // the loss, unless the device went again right after a reopen, before
    // anything came: the receiver's last word is then still the first loss.
    const bool news = m_reportLoss || inBufferCount() > m_countAfterEvent;
    m_wait.start();
    if (!news)
        return;
    // Bytes that came before the loss are reported as received data first,
    // for a receiver that reads only on EventReceive.
    if (!m_salvaged.isEmpty())
        raise(EventReceive);
    if (m_wait.isWaiting()) // unless the receiver closed the port meanwhile
        raise(EventDeviceLost);
}

void QtSerialComponent::onReadyRead()
{
    // Reads of our own are reported by their caller.
    if (m_busy > 0 || m_closing)
        return;
    if (m_throttle.isActive()) {
        if (m_throttle.arrivedWhileArmed())
            return; // read at the tick
        bool lost = false;
        {
            DepthGuard busy(m_busy);
            lost = m_throttle.readFreely(m_salvaged);
        }
        if (lost) {
            deviceLost(true);
            return;
        }
        // A device faster than the disk is written in pieces of a write's
        // worth rather than a whole interval's: a large write holds up
        // reading while the device's buffers fill and its sender waits.
        if (inBufferCount() - m_countAfterEvent < ReadThrottle::writeBytes)
            return;
        m_arrivedInInterval += inBufferCount() - m_countAfterEvent;
        raise(EventReceive);
        return;
    }
    // Armed before raising, so that a nested event loop in the receiver
    // finds the port throttled; paused at once, so that the next bytes wait
    // for the tick rather than wake the program.
    m_throttle.arm();
    m_throttle.arrivedWhileArmed();
    raise(EventReceive);
}

void QtSerialComponent::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // Only a failing read means the device is gone (an unplugged adapter, or
    // the far end of a pseudo-terminal closed). Everything else -- a setting
    // refused, no modem lines, the empty poll of a tick, NotOpenError after
    // a close -- leaves the port as it is.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port.isOpen())
        return;
    if (m_busy > 0) {
        m_lossPending = true;
        return;
    }
    // Close at once: an open port whose device is gone keeps reporting the
    // error hundreds of thousands of times a second.
    deviceLost(!m_closing);
}

void QtSerialComponent::onThrottleTick()
{
    if (!m_port.isOpen() || m_closing) {
        m_throttle.stop();
        return;
    }
    m_lossPending = false;
    {
        DepthGuard busy(m_busy);
        if (m_throttle.readAtTick(m_salvaged))
            m_lossPending = true;
    }
    if (m_lossPending) {
        deviceLost(true);
        return;
    }
    // What the port holds beyond what the receiver left came in this
    // interval, after what was reported in it already.
    const qint64 fresh = inBufferCount() - m_countAfterEvent;
    const qint64 arrived = std::exchange(m_arrivedInInterval, 0) + fresh;
    if (m_throttle.intervalEnded(arrived) && fresh > 0)
        raise(EventReceive);
}
