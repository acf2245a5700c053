#pragma once

#include "components/SerialComponent.h"

class NetworkSerialComponent;
class QtSerialComponent;

// The session's serial component: at each open it looks at the port map
// entry of the COM number and drives the local device (QtSerialComponent)
// or the port on another machine (NetworkSerialComponent). A network port's
// troubles (it cannot be reached, its server answers other settings, the
// connection drops) are also written to the error report, naming COM<n>:
// once per change of the port's state, never once per retry.
class PortRouter final : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(PortRouter)

public:
    explicit PortRouter(QObject *parent = nullptr);

    void setInputMode(int mode) override;
    void setCommPort(int port) override;
    void setSettings(const QString &settings) override;
    void setHandshaking(int mode) override;
    void setLineSwitch(bool on) override;
    bool portOpen() const override { return m_active->portOpen(); }
    void setPortOpen(bool open) override;
    qint64 inBufferCount() const override { return m_active->inBufferCount(); }
    QByteArray input() override { return m_active->input(); }
    QString lostDeviceDescription() const override { return m_active->lostDeviceDescription(); }
    QString openFailureDescription() const override { return m_active->openFailureDescription(); }
    QString notice() const override { return m_active->notice(); }
    QString pendingDescription() const override { return m_active->pendingDescription(); }
    bool waitsForDevice() const override { return m_active->waitsForDevice(); }

private:
    void onComm(SerialComponent *from, CommEvent event);
    void report(const QString &trouble);

    QtSerialComponent *const m_local;
    NetworkSerialComponent *const m_network;
    SerialComponent *m_active;
    int m_port = 1;
    QString m_reported; // port and trouble reported last, until the port works again
};
