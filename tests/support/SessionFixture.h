#pragma once

#include "components/ComponentError.h"
#include "components/SerialComponent.h"

#include <QStringList>

// A serial component that records the calls ("port 3", "set 9600,N,8,1", "dtr 1", "flow 2", "open 1")
// and opens, stays closed or raises as told: it shows what a pseudo-terminal cannot, the call order.
class RecordingSerial : public SerialComponent
{
public:
    QStringList calls;
    bool opens = true;
    QString raiseOn; // the call that throws, such as "open 1"
    bool open = false;

    void setInputMode(int) override {}
    void setCommPort(int port) override { record(QStringLiteral("port %1").arg(port)); }
    void setSettings(const QString &settings) override { record(QStringLiteral("set ") + settings); }
    void setHandshaking(int mode) override { record(QStringLiteral("flow %1").arg(mode)); }
    void setLineSwitch(bool on) override { record(QStringLiteral("dtr %1").arg(on)); }
    bool portOpen() const override { return open; }
    void setPortOpen(bool value) override
    {
        open = value && opens, record(QStringLiteral("open %1").arg(value));
    }
    qint64 inBufferCount() const override { return 0; }
    QByteArray input() override { return {}; }
    QString lostDeviceDescription() const override { return {}; }

private:
    void record(const QString &call)
    {
        calls << call;
        if (!raiseOn.isEmpty() && call == raiseOn)
            throw ComponentError(QStringLiteral("Broken ") + raiseOn);
    }
};
