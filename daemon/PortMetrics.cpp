#include "daemon/PortMetrics.h"

#include <QDateTime>
#include <QSet>

namespace {

// A label value: backslash, double quote and line feed escaped.
QByteArray labelValue(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8())
        out += c == '\\'   ? QByteArray("\\\\")
               : c == '"'  ? QByteArray("\\\"")
               : c == '\n' ? "\\n"
                           : QByteArray(1, c);
    return out;
}

QByteArray seconds(qint64 ms)
{
    return ms == 0
               ? QByteArray("0")
               : QByteArray::number(ms / 1000) + '.' + QByteArray::number(ms % 1000).rightJustified(3, '0');
}

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

QByteArray portLabels(const PortSample &p)
{
    return "com=\"" + labelValue(p.com) + "\",device=\"" + labelValue(p.device) + '"';
}

} // namespace

PortMetrics::PortMetrics(SerialSession *session, const QString &device)
    : QObject(session)
    , m_session(session)
    , m_device(device)
{
    connect(session, &SerialSession::commEvent, this, &PortMetrics::onComm);
    connect(session, &SerialSession::captured, this, &PortMetrics::onCaptured);
}

void PortMetrics::activated(SerialSession::Activation outcome)
{
    switch (outcome) {
    case SerialSession::Activation::Opened:
        // A network port connects in the background and says when it works.
        m_state = m_session->serial()->pendingDescription().isEmpty() ? State::Open : State::Connecting;
        return;
    case SerialSession::Activation::NotAvailable:
    case SerialSession::Activation::Failed:
        ++m_openErrors;
        break;
    case SerialSession::Activation::NoPort:
        break;
    }
    m_state = State::Closed;
}

void PortMetrics::onComm(SerialComponent::CommEvent event)
{
    if (event == SerialComponent::CommEvent::Opened) {
        works();
    } else if (event == SerialComponent::CommEvent::DeviceLost) {
        // Said again while the port stays away, whenever the reason changes.
        if (m_state == State::Open)
            ++m_lostErrors, m_state = State::Lost;
        else if (m_state == State::Connecting)
            ++m_openErrors;
    }
}

void PortMetrics::onCaptured(Capture::Outcome outcome)
{
    if (outcome == Capture::Outcome::FileError)
        ++m_writeErrors;
    const qint64 taken = m_session->capture().takenBytes();
    if (taken == m_takenSeen)
        return;
    m_takenSeen = taken;
    m_lastByteMs = QDateTime::currentMSecsSinceEpoch();
    works();
}

void PortMetrics::works()
{
    if (m_state == State::Lost)
        ++m_reconnects;
    if (m_state != State::Closed)
        m_state = State::Open;
}

PortSample PortMetrics::sample() const
{
    const Capture &capture = m_session->capture();
    return {m_session->portName(),
            m_device,
            capture.takenBytes(),
            capture.takenBytes() - capture.heldBytes(),
            isOpen(),
            m_lastByteMs,
            m_reconnects,
            m_openErrors,
            m_lostErrors,
            m_writeErrors};
}

QByteArray PortMetrics::render(const QList<PortSample> &ports, const ServiceSample &service)
{
    QList<PortSample> shown;
    QSet<QString> seen;
    for (const PortSample &p : ports) {
        if (!seen.contains(p.com))
            shown << p, seen << p.com;
    }
    QByteArray out;
    const auto perPort = [&](const char *name, const char *type, const char *help, auto value) {
        family(out, name, type, help);
        for (const PortSample &p : std::as_const(shown))
            out += QByteArray(name) + '{' + portLabels(p) + "} " + value(p) + '\n';
    };
    const auto number = [](qint64 PortSample::*field) {
        return [field](const PortSample &p) { return QByteArray::number(p.*field); };
    };
    perPort("ombrix_port_received_bytes_total", "counter", "Bytes read from the port.",
            number(&PortSample::receivedBytes));
    perPort(
        "ombrix_port_logged_bytes_total", "counter",
        "Bytes written to the log file; the rest of those received wait for a log file that can be written.",
        number(&PortSample::loggedBytes));
    perPort("ombrix_port_open", "gauge", "1 while the port works, 0 while it is closed, connecting or lost.",
            [](const PortSample &p) { return QByteArray(p.open ? "1" : "0"); });
    perPort("ombrix_port_last_byte_timestamp_seconds", "gauge",
            "When the last bytes arrived, in seconds since the epoch; 0 before the first byte.",
            [](const PortSample &p) { return seconds(p.lastByteMs); });
    perPort("ombrix_port_reconnects_total", "counter", "Times the port worked again after it was lost.",
            number(&PortSample::reconnects));
    family(out, "ombrix_port_errors_total", "counter",
           "Errors by kind: open (a try to open the port failed), lost (the device or connection went away), "
           "write (bytes could not be written to the log file).");
    for (const PortSample &p : std::as_const(shown)) {
        const QByteArray labels = '{' + portLabels(p) + ",kind=\"";
        for (const auto &[kind, count] :
             {std::pair{"open", p.openErrors}, {"lost", p.lostErrors}, {"write", p.writeErrors}})
            out += "ombrix_port_errors_total" + labels + kind + "\"} " + QByteArray::number(count) + '\n';
    }
    family(out, "ombrix_sessions_configured", "gauge",
           "Sessions the service logs, open or waiting for their port.");
    out += "ombrix_sessions_configured " + QByteArray::number(service.sessionsConfigured) + '\n';
    family(out, "ombrix_sessions_open", "gauge", "Sessions whose port works.");
    out += "ombrix_sessions_open " + QByteArray::number(service.sessionsOpen) + '\n';
    family(out, "ombrix_build_info", "gauge", "The version of ombrixd, as a label; always 1.");
    out += "ombrix_build_info{version=\"" + labelValue(service.version) + "\"} 1\n";
    return out;
}

QString PortMetrics::summary(const QList<const PortMetrics *> &ports)
{
    constexpr qsizetype reasonsShown = 3;
    QStringList waiting;
    for (const PortMetrics *p : ports) {
        const QString &detail = p->m_session->statusDetail();
        if (!p->isOpen())
            waiting << p->m_session->portName() + QStringLiteral(": ") +
                           (detail.isEmpty() ? p->m_session->status() : detail);
    }
    QString line = QStringLiteral("%1 of %2 ports open").arg(ports.size() - waiting.size()).arg(ports.size());
    if (!waiting.isEmpty())
        line += QStringLiteral("; waiting: ") + waiting.mid(0, reasonsShown).join(QStringLiteral("; "));
    if (waiting.size() > reasonsShown)
        line += QStringLiteral("; and %1 more").arg(waiting.size() - reasonsShown);
    return line;
}
