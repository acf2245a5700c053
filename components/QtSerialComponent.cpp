#include "components/QtSerialComponent.h"

#include "components/ComponentError.h"
#include "components/PortDiagnosis.h"
#include "components/PortMap.h"


QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialTransport(parent)
    , m_wait(
          [this](const QString &device, QSerialPort::SerialPortError *error, QString *errorString) {
              const auto scope = busyScope();
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
    connect(&m_port, &QSerialPort::readyRead, this, [this] { onArrival(m_throttle); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComponent::onErrorOccurred);
    m_throttle.callOnTick([this] { onTick(m_throttle); });
    connect(&m_wait, &DeviceWait::reopened, this, [this] { m_reportLoss = false; });
    connect(&m_wait, &DeviceWait::reasonChanged, this, [this] {
        setLostDescription(m_wait.description());
        raise(CommEvent::DeviceLost);
    });
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

void QtSerialComponent::lineChanged()
{
    // A live change that the device rejects (a pseudo-terminal refuses
    // parity and short characters with "Invalid argument", and has no modem
    // lines) leaves the port open as it was; the values apply in full at the
    // next open.
    if (!m_port.isOpen())
        return;
    const auto scope = busyScope();
    lineSettings().applyTo(m_port);
    m_port.setFlowControl(flowControl());
    m_port.setDataTerminalReady(lineSwitch());
}

bool QtSerialComponent::portOpen() const
{
    return m_port.isOpen() || m_wait.isWaiting();
}

qint64 QtSerialComponent::waitingInDevice() const
{
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

void QtSerialComponent::takeWaiting(QByteArray &into)
{
    if (m_port.isOpen() && m_port.bytesAvailable() > 0) {
        into.append(m_port.readAll());
        m_throttle.keepPaused();
    }
}

void QtSerialComponent::openTransport()
{
    const QString configured = PortMap::devicePath(commPort());
    const QString device = PortMap::resolvedPath(configured);

    const auto scope = busyScope();
    m_wait.setDevice(commPort(), configured, device);
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
        facts.port = commPort();
        m_openFailure = PortDiagnosis::describe(facts);
        return;
    }
    throw ComponentError(PortDiagnosis::describe(PortDiagnosis::examine(error, errorString, device)));
}

bool QtSerialComponent::openDevice(const QString &device, QSerialPort::SerialPortError *error,
                                   QString *errorString)
{
    m_port.setPortName(device);
    lineSettings().applyTo(m_port);
    m_port.setFlowControl(flowControl());
    m_throttle.reset();
    if (!m_port.open(QIODevice::ReadWrite)) {
        *error = m_port.error();
        *errorString = m_port.errorString();
        m_port.clearError();
        return false;
    }
    m_port.setDataTerminalReady(lineSwitch());
    return true;
}

void QtSerialComponent::takeRemaining()
{
    // Waiting for a device that went: the port closed with it, and what
    // the receiver could not write before the loss is held already.
    if (!m_port.isOpen())
        return;
    m_throttle.stop();
    QByteArray bytes;
    {
        const auto scope = busyScope();
        m_throttle.readAtClose(bytes);
    }
    received(bytes);
}

void QtSerialComponent::closeTransport()
{
    m_wait.stop();
    if (m_port.isOpen()) {
        const auto scope = busyScope();
        received(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_throttle.reset();
}

void QtSerialComponent::deviceLost(bool notify)
{
    m_throttle.stop();
    {
        // Take what the port still buffers before closing discards it.
        const auto scope = busyScope();
        received(m_port.readAll());
        m_port.close();
        m_port.clearError();
    }
    m_throttle.reset();
    if (!notify) // the port was closing anyway
        return;
    // Bytes salvaged beyond what the receiver has heard of are news; so is
    // the loss, unless the device went again right after a reopen, before
    // anything came: the receiver's last word is then still the first loss.
    const bool news = m_reportLoss || freshBytes() > 0;
    m_wait.start();
    if (news)
        lost(m_wait.description());
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
    if (busy()) {
        noteGoneWhileBusy();
        return;
    }
    // Close at once: an open port whose device is gone keeps reporting the
    // error hundreds of thousands of times a second.
    deviceLost(!closing());
}

bool QtSerialComponent::reading() const
{
    return m_port.isOpen();
}

void QtSerialComponent::gone()
{
    deviceLost(true);
}
