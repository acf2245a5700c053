#include "components/NetworkAddress.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("NetworkAddress", text);
}

const QLatin1String separator("://");

bool isHostName(const QString &host)
{
    // Letters, digits, hyphens and dots, as DNS names and IPv4 addresses are.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return name.match(host).hasMatch();
}

// What follows "SCHEME://" in `text`, without a '/' at the end; nullopt
// with `why` set when it holds more than HOST:PORT.
std::optional<QString> authority(const QString &text, qsizetype schemeEnd, const QString &scheme,
                                 QString *why)
{
    QString rest = text.mid(schemeEnd + separator.size());
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    // A user name or password has no place here: it would be shown in status
    // texts and journals, so the entry is not repeated.
    if (rest.contains(QLatin1Char('@'))) {
        *why = tr("The %1:// entry names a user; user names and passwords are not supported").arg(scheme);
        return std::nullopt;
    }
    if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('?')) ||
        rest.contains(QLatin1Char('#'))) {
        *why = tr("%1: only HOST:PORT may follow %2://").arg(text, scheme);
        return std::nullopt;
    }
    return rest;
}

// Splits `rest` of `text` into the host (an IPv6 address in brackets, a name
// or an IPv4 address) and the text of the port; false with `why` set when
// the host is malformed or the port missing.
bool splitHostPort(const QString &text, const QString &rest, QString *host, QString *portText, QString *why)
{
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        const QHostAddress ip(rest.mid(1, close - 1));
        if (close < 0 || ip.protocol() != QAbstractSocket::IPv6Protocol) {
            *why = tr("%1: the brackets must hold an IPv6 address").arg(text);
            return false;
        }
        *host = rest.mid(1, close - 1);
        if (rest.mid(close + 1, 1) != QLatin1String(":")) {
            *why = tr("%1: the port number is missing (HOST:PORT)").arg(text);
            return false;
        }
        *portText = rest.mid(close + 2);
        return true;
    }
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        *why = tr("%1: the port number is missing (HOST:PORT)").arg(text);
        return false;
    }
    *host = rest.left(colon);
    *portText = rest.mid(colon + 1);
    if (host->contains(QLatin1Char(':'))) {
        *why = tr("%1: an IPv6 address must be written in brackets, as in [::1]:PORT").arg(text);
        return false;
    }
    if (!isHostName(*host)) {
        *why = tr("%1: \"%2\" is not a host name or address").arg(text, *host);
        return false;
    }
    return true;
}

// The TCP port `portText` of `text` names; nullopt with `why` set when none.
std::optional<quint16> portNumber(const QString &text, const QString &portText, QString *why)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const uint port = portText.toUInt();
    if (!digits.match(portText).hasMatch() || port < 1 || port > 65535) {
        *why = tr("%1: \"%2\" is not a TCP port number (1 to 65535)").arg(text, portText);
        return std::nullopt;
    }
    return quint16(port);
}

} // namespace

bool NetworkAddress::isUrl(const QString &entry)
{
    // A scheme as URLs have them: a letter, then letters, digits, '+', '-', '.'.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(entry.trimmed()).hasMatch();
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &entry, QString *why)
{
    const QString text = entry.trimmed();
    const qsizetype schemeEnd = text.indexOf(separator);
    if (!isUrl(text)) {
        *why = tr("%1 is not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)").arg(text);
        return std::nullopt;
    }
    NetworkAddress address;
    const QString scheme = text.left(schemeEnd).toLower();
    if (scheme == QLatin1String("rfc2217"))
        address.kind = Kind::Rfc2217;
    else if (scheme == QLatin1String("tcp"))
        address.kind = Kind::Tcp;
    else {
        *why = tr("%1: the scheme %2:// is not known; use rfc2217:// or tcp://").arg(text, scheme);
        return std::nullopt;
    }
    const std::optional<QString> rest = authority(text, schemeEnd, scheme, why);
    QString portText;
    if (!rest || !splitHostPort(text, *rest, &address.host, &portText, why))
        return std::nullopt;
    const std::optional<quint16> port = portNumber(text, portText, why);
    if (!port)
        return std::nullopt;
    address.port = *port;
    return address;
}

QString NetworkAddress::url() const
{
    const QString host =
        this->host.contains(QLatin1Char(':')) ? QLatin1Char('[') + this->host + QLatin1Char(']') : this->host;
    return (kind == Kind::Rfc2217 ? QStringLiteral("rfc2217://") : QStringLiteral("tcp://")) + host +
           QLatin1Char(':') + QString::number(port);
}
