#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Serves the service's metrics over HTTP at /metrics, from the event loop:
// GET /metrics answers with what `render` gives, in the Prometheus text
// format; any other method there is 405, any other path 404.
class MetricsServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MetricsServer)

public:
    struct Address
    {
        QHostAddress host;
        quint16 port = 0;
    };

    explicit MetricsServer(std::function<QByteArray()> render, QObject *parent = nullptr);

    // "127.0.0.1:9101", "[::1]:9101", "localhost:9101", "0.0.0.0:9101": a
    // literal address (IPv6 in brackets) or localhost, and a port from 1 to
    // 65535. Nothing is looked up. Empty with `why` for anything else.
    static std::optional<Address> parse(const QString &text, QString *why);
    // False with `why` when the address cannot be had (in use, not ours).
    bool listen(const Address &address, QString *why);

private:
    QHttpServer m_http;
};
