#pragma once

#include "common/SharedTimer.h"
#include "components/PortDiagnosis.h"
#include "components/QtSerialComponent.h"
#include "components/ReadThrottle.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Plays the session's part: notes each event and takes received input until none is left.
class Receiver : public QObject
{
public:
    explicit Receiver(SerialComponent &c)
    {
        connect(&c, &SerialComponent::OnComm, this, [this, &c](SerialComponent::CommEvent event) {
            events.append(event);
            openAtEvent.append(c.portOpen());
            while (drain && event == SerialComponent::CommEvent::Receive && c.inBufferCount() > 0)
                bytes += c.input();
        });
    }
    qsizetype otherEvents() const { return events.size() - events.count(SerialComponent::CommEvent::Receive); }

    bool drain = true; // false: leave bytes waiting, as when the log can't be opened
    QByteArray bytes;
    QList<SerialComponent::CommEvent> events;
    QList<bool> openAtEvent;
};

inline QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// The lock file of an open port names the process holding it.
inline bool openHere(const QString &device)
{
    return PortDiagnosis::findHolder(device).pid == QCoreApplication::applicationPid();
}

inline std::unique_ptr<QtSerialComponent> openComponent(TestEnv &env, int port, const QString &device,
                                                        int retryMs = DeviceWait::retryIntervalMs)
{
    env.mapPort(port, device);
    auto component = std::make_unique<QtSerialComponent>();
    component->setRetryInterval(retryMs);
    component->setCommPort(port);
    component->setPortOpen(true);
    return component;
}

// Time counted in the throttle's own ticks: SharedTimers of one interval tick together.
inline bool throttleTicksPass(int count)
{
    SharedTimer ticks;
    ticks.setInterval(ReadThrottle::intervalMs);
    QSignalSpy spy(&ticks, &SharedTimer::timeout);
    ticks.start();
    return QTest::qWaitFor([&] { return spy.count() >= count; }, 30000);
}

// Another program holding a device open, with a lock file, until released.
struct Holder : QProcess
{
    explicit Holder(const QString &device)
    {
        start(QStringLiteral(OPENPORT_HELPER), {QStringLiteral("--hold"), device});
        while (waitForReadyRead(30000) && !canReadLine()) {
        }
        holding = readLine().trimmed() == "open";
    }
    ~Holder() { release(); }
    void release()
    {
        closeWriteChannel();
        waitForFinished(30000);
    }
    bool holding = false;
};

// A device behind a link, as /dev/serial/by-id gives one, that can be pulled and plugged in again.
struct PluggableDevice
{
    QString link;
    std::unique_ptr<Pty> pty;

    QString device() const { return canonical(pty->slavePath()); }
    void pull(bool removeLink)
    {
        pty->closeMaster();
        if (removeLink)
            QFile::remove(link);
    }
    bool plugIn()
    {
        pty = std::make_unique<Pty>();
        QFile::remove(link);
        return QFile::link(pty->slavePath(), link);
    }
};
