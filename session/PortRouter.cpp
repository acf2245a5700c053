#include "session/PortRouter.h"

#include "components/ComponentError.h"
#include "components/NetworkAddress.h"
#include "components/NetworkSerialComponent.h"
#include "components/PortMap.h"
#include "components/QtSerialComponent.h"
#include "session/ErrorReport.h"

PortRouter::PortRouter(QObject *parent)
    : SerialComponent(parent)
    , m_local(new QtSerialComponent(this))
    , m_network(new NetworkSerialComponent(this))
    , m_active(m_local)
{
    for (SerialComponent *c :
         {static_cast<SerialComponent *>(m_local), static_cast<SerialComponent *>(m_network)})
        c->callOnComm([this, c](CommEvent event) { onComm(c, event); });
}

// Both components keep the properties, so that either opens with them.
void PortRouter::setInputMode(int mode)
{
    m_local->setInputMode(mode);
    m_network->setInputMode(mode);
}

void PortRouter::setCommPort(int port)
{
    m_local->setCommPort(port);
    m_network->setCommPort(port);
    m_port = port;
}

void PortRouter::setSettings(const QString &settings)
{
    m_local->setSettings(settings);
    m_network->setSettings(settings);
}

void PortRouter::setHandshaking(int mode)
{
    m_local->setHandshaking(mode);
    m_network->setHandshaking(mode);
}

void PortRouter::setLineSwitch(bool on)
{
    m_local->setLineSwitch(on);
    m_network->setLineSwitch(on);
}

void PortRouter::setPortOpen(bool open)
{
    if (!open || m_active->portOpen()) {
        m_active->setPortOpen(open);
        return;
    }
    // The entry is looked up at every open: the user may have edited the map.
    if (!NetworkAddress::isUrl(PortMap::devicePath(m_port))) {
        m_active = m_local;
        m_local->setPortOpen(true);
        return;
    }
    m_active = m_network;
    try {
        m_network->setPortOpen(true);
    } catch (const ComponentError &error) {
        report(error.description());
        throw;
    }
}

void PortRouter::onComm(SerialComponent *from, CommEvent event)
{
    if (from != m_active)
        return;
    if (from == m_network) {
        if (event == CommEvent::Notice && m_network->noticeWarns())
            report(from->notice());
        else if (event == CommEvent::DeviceLost)
            report(from->lostDeviceDescription());
        else if (event == CommEvent::Opened)
            m_reported.clear();
    }
    raiseOnComm(event);
}

void PortRouter::report(const QString &trouble)
{
    // Every report of the port's trouble passes here. A port that keeps
    // failing the same way -- retrying by itself, or activated again and
    // again by the service -- is reported once; once it has worked again
    // (Opened), its next trouble is news.
    const QString port = QStringLiteral("COM%1").arg(m_port);
    const QString state = port + QLatin1Char('\n') + trouble;
    if (state == m_reported)
        return;
    m_reported = state;
    ErrorReport::report(port, trouble);
}
