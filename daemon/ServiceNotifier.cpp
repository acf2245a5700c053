#include "daemon/ServiceNotifier.h"

#ifdef OMBRIX_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <ctime>

ServiceNotifier::ServiceNotifier(QObject *parent)
    : QObject(parent)
{
#ifdef OMBRIX_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        m_watchdog.setInterval(int(qBound<uint64_t>(1, usec / 2000, INT_MAX)));
        connect(&m_watchdog, &QTimer::timeout, this, [this] { notify("WATCHDOG=1"); });
        m_watchdog.start();
    }
#endif
}

void ServiceNotifier::ready()
{
    notify("READY=1");
}

void ServiceNotifier::reloading()
{
    // systemd 253 and later want the moment of the reload with it.
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    notify("RELOADING=1\nMONOTONIC_USEC=" +
           QByteArray::number(qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000));
}

void ServiceNotifier::stopping()
{
    notify("STOPPING=1");
}

void ServiceNotifier::setStatus(const QString &line)
{
    if (line == m_status)
        return;
    m_status = line;
    notify("STATUS=" + line.toUtf8().replace('\n', ' '));
}

void ServiceNotifier::notify(const QByteArray &state)
{
#ifdef OMBRIX_SYSTEMD
    sd_notify(0, state.constData());
#else
    Q_UNUSED(state)
#endif
}
