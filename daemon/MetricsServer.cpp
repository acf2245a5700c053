#include "daemon/MetricsServer.h"

#include "components/NetworkAddress.h"
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
    // HOST:PORT as a port map's network entries write it, but only a literal
    // address: nothing is looked up before the service listens.
    QString unused;
    const std::optional<NetworkAddress> entry = NetworkAddress::parse(QStringLiteral("tcp://") + text, &unused);
    const QHostAddress address(!entry                         ? QString()
                               : entry->host == u"localhost" ? QStringLiteral("127.0.0.1")
                                                              : entry->host);
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (address.isNull() || v6 != text.startsWith(u'[')) {
        *why = QStringLiteral("'%1' is not an address and port such as 127.0.0.1:9101, [::1]:9101 or "
                              "localhost:9101")
                   .arg(text);
        return std::nullopt;
    }
    return Address{address, entry->port};
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
