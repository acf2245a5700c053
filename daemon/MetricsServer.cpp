#include "daemon/MetricsServer.h"

#include "daemon/PortMetrics.h"

#include <QTcpServer>

MetricsServer::MetricsServer(std::function<QByteArray()> render, QObject *parent)
    : QObject(parent)
{
    m_http.route(QStringLiteral("/metrics"), [render = std::move(render)](const QHttpServerRequest &request) {
        if (request.method() != QHttpServerRequest::Method::Get) {
            QHttpServerResponse refusal(QHttpServerResponse::StatusCode::MethodNotAllowed);
            refusal.setHeader("Allow", "GET");
            return refusal;
        }
        return QHttpServerResponse(PortMetrics::contentType, render());
    });
}

std::optional<MetricsServer::Address> MetricsServer::parse(const QString &text, QString *why)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = text.left(colon);
    bool numeric = false;
    const uint port = text.mid(colon + 1).toUInt(&numeric);
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host);
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (colon < 0 || address.isNull() || v6 != bracketed || !numeric || port < 1 || port > 65535) {
        *why = QStringLiteral("'%1' is not an address and port such as 127.0.0.1:9101, [::1]:9101 or "
                              "localhost:9101")
                   .arg(text);
        return std::nullopt;
    }
    return Address{address, quint16(port)};
}

bool MetricsServer::listen(const Address &address, QString *why)
{
    auto *tcp = new QTcpServer(this);
    if (!tcp->listen(address.host, address.port)) {
        *why = tcp->errorString();
        delete tcp;
        return false;
    }
    m_http.bind(tcp);
    return true;
}
