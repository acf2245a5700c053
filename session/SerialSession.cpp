#include "session/SerialSession.h"

#include "components/ComponentError.h"
#include "components/PortMap.h"
#include "resources/ResourceText.h"
#include "session/ErrorReport.h"
#include "session/PortRouter.h"
#include "session/PortSettings.h"
#include "session/SessionSettings.h"

namespace {

// String-table ids of the texts activation shows.
constexpr int TextStatus = 2161;
constexpr int TextClosed = 2162;
constexpr int TextOpen = 2163;
constexpr int TextError = 2167;
constexpr int TextDeviceNotAvailable = 4030;
constexpr int TextConnecting = 4230;

// The log file closes at the third tick of half this interval without bytes.
constexpr int idleCloseMs = 1000;
constexpr int quietTicksToClose = 2;

// "Status: Open" and the like, in the display language.
QString statusOf(int text)
{
    return LoadResource(TextStatus) + QLatin1Char(' ') + LoadResource(text);
}

QString errorStatus(const QString &description)
{
    return LoadResource(TextStatus) + QStringLiteral(" - ") + LoadResource(TextError) +
           QStringLiteral(" - ") + description;
}

} // namespace

SerialSession::SerialSession(SerialComponent *serial, QObject *parent)
    : QObject(parent)
    , m_serial(serial ? serial : new PortRouter)
{
    m_serial->setParent(this);
    m_serial->setInputMode(1);
    m_serial->callOnComm([this](SerialComponent::CommEvent event) { onComm(event); });
    m_idleClose.setObjectName(QStringLiteral("idleClose"));
    m_idleClose.setInterval(idleCloseMs / quietTicksToClose);
    m_idleClose.callOnTimeout([this] { idleTick(); });
}

SerialSession::~SerialSession()
{
    // Closing the port raises one last event for what arrived since the
    // previous one; it is written before the session goes.
    if (m_serial->portOpen())
        m_serial->setPortOpen(false);
}

SerialSession::Activation SerialSession::activate(int port, const QString &settings, int flow)
{
    m_active = false;
    if (m_serial->portOpen())
        m_serial->setPortOpen(false);
    if (port == PortSettings::portNone) {
        setStatus(LoadResource(TextStatus));
        return Activation::NoPort;
    }
    try {
        m_serial->setCommPort(port);
        m_serial->setSettings(settings);
        if (flow < PortSettings::flowOptoRs) {
            m_serial->setLineSwitch(true);
            m_serial->setHandshaking(flow);
        } else {
            // Opto-RS: hardware handshake with the line switch cleared.
            m_serial->setHandshaking(PortSettings::flowRtsCts);
            m_serial->setLineSwitch(false);
        }
        m_serial->setPortOpen(true);
        if (!m_serial->portOpen()) {
            setStatus(statusOf(TextDeviceNotAvailable), tr("No device at %1").arg(PortMap::devicePath(port)));
            return Activation::NotAvailable;
        }
    } catch (const ComponentError &error) {
        if (m_serial->portOpen())
            m_serial->setPortOpen(false);
        setStatus(errorStatus(error.description()));
        return Activation::Failed;
    }
    m_active = true;
    // A network port connects in the background: it is open, and says so
    // once it works (Opened) or why it does not (DeviceLost).
    const QString pending = m_serial->pendingDescription();
    setStatus(statusOf(pending.isEmpty() ? TextOpen : TextConnecting), pending);
    return Activation::Opened;
}

SerialSession::Activation SerialSession::activate(const SessionSettings &settings)
{
    setLogFile(settings.logFile);
    setPortName(settings.portName());
    return activate(settings.port, settings.settingsString(), settings.flow);
}

void SerialSession::deactivate()
{
    if (m_serial->portOpen())
        m_serial->setPortOpen(false);
    // The port's last event has written what it held: others may have the file.
    m_capture.close();
    m_idleClose.stop();
    m_active = false;
    setStatus(statusOf(TextClosed));
}

void SerialSession::setIdleClose(int ms)
{
    m_idleClose.setInterval(qMax(1, ms / quietTicksToClose));
}

void SerialSession::idleTick()
{
    // Shared ticks cost nothing per batch; a batch only resets the count.
    if (++m_quietTicks <= quietTicksToClose)
        return;
    m_capture.close();
    m_idleClose.stop();
}

void SerialSession::LogErrors(const QString &Desc)
{
    ErrorReport::report(m_portName, Desc);
}

void SerialSession::onComm(SerialComponent::CommEvent event)
{
    emit commEvent(event);
    switch (event) {
    case SerialComponent::CommEvent::DeviceLost:
        // Nothing can arrive any more: say so rather than go on showing "Open".
        setStatus(errorStatus(m_serial->lostDeviceDescription()));
        return;
    case SerialComponent::CommEvent::Notice:
        setStatus(m_status, m_serial->notice());
        return;
    case SerialComponent::CommEvent::Opened:
        setStatus(statusOf(TextOpen), m_serial->notice());
        return;
    case SerialComponent::CommEvent::Receive:
        break;
    }
    const QString path = m_logFile.trimmed();
    const Capture::Outcome outcome = m_capture.receive(*m_serial, path);
    if (m_capture.isFileOpen()) {
        m_quietTicks = 0;
        m_idleClose.start();
    }
    emit captured(outcome);
    switch (outcome) {
    case Capture::Outcome::Written:
        // Fixed English texts from here on, whatever the display language.
        // What the port has to say (a network port's far settings) stays.
        setStatus(QStringLiteral("Status: Open"), m_serial->notice());
        break;
    case Capture::Outcome::FileError:
        setStatus(QStringLiteral("Status: File I/O Error"),
                  path.isEmpty() ? m_capture.error() : path + QStringLiteral(": ") + m_capture.error());
        LogErrors(QStringLiteral("File I/O Error"));
        break;
    }
}

void SerialSession::setStatus(const QString &text, const QString &detail)
{
    if (text == m_status && detail == m_statusDetail)
        return;
    m_status = text;
    m_statusDetail = detail;
    emit statusChanged(text, detail);
}
