#include "components/NetworkSerialComponent.h"

#include "components/ComponentError.h"
#include "components/PortMap.h"

#include <QEventLoop>

#include <memory>
#include <vector>

NetworkSerialComponent::NetworkSerialComponent(QObject *parent)
    : SerialTransport(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkSerialComponent::onReadyRead);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        if (m_state == State::Connecting)
            enter(State::Negotiating);
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkSerialComponent::connectionEnded);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkSerialComponent::onSocketError);
    m_throttle.callOnTick([this] { onTick(m_throttle); });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { enter(State::Connecting); });
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setTimerType(Qt::PreciseTimer); // the status says "within 5 s"
    m_connectTimeout.setInterval(connectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this,
            [this] { connectFailed(QAbstractSocket::SocketTimeoutError, QString()); });
    m_answerWait.setSingleShot(true);
    m_answerWait.setInterval(answerTimeoutMs);
    connect(&m_answerWait, &QTimer::timeout, this, &NetworkSerialComponent::answerWaitEnded);
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { establish(true); });
}

NetworkSerialComponent::~NetworkSerialComponent()
{
    // No signals from here: the receiver may be half destroyed already.
    m_throttle.stop();
    disconnect(&m_socket, nullptr, this, nullptr);
    m_socket.abort();
}

void NetworkSerialComponent::enter(State next, int retryMs)
{
    m_retry.stop();
    m_connectTimeout.stop();
    m_answerWait.stop();
    m_settle.stop();
    if (next != State::Streaming)
        m_throttle.stop();
    m_state = next;
    switch (next) {
    case State::Closed:
        m_socket.abort();
        break;
    case State::WaitingToRetry:
        m_socket.abort();
        m_retry.start(retryMs >= 0 ? retryMs : m_retryMs);
        break;
    case State::Connecting:
        m_socket.abort();
        m_throttle.reset();
        m_connectTimeout.start();
        m_socket.connectToHost(m_address->host, m_address->port);
        break;
    case State::Negotiating:
        m_farSettings.clear();
        m_socket.write(m_stream.start(m_address->kind == NetworkAddress::Kind::Rfc2217));
        (m_address->kind == NetworkAddress::Kind::Rfc2217 ? m_answerWait : m_settle).start();
        break;
    case State::Streaming:
        m_everStreamed = true;
        break;
    }
}

void NetworkSerialComponent::openTransport()
{
    QString why;
    m_address = NetworkAddress::parse(PortMap::devicePath(commPort()), &why);
    if (!m_address)
        throw ComponentError(why);
    setLostDescription({});
    m_notice.clear();
    m_everStreamed = false;
    // The connection is made in the background, from the event loop: a host
    // that does not answer must not hold up every other port for seconds.
    enter(State::WaitingToRetry, 0);
}

void NetworkSerialComponent::takeRemaining()
{
    if (m_state != State::Negotiating && m_state != State::Streaming)
        return;
    // What came before the close is the port's, as on a local port: what
    // the socket buffered, then what the kernel holds.
    m_throttle.stop();
    QByteArray bytes;
    m_throttle.readAtClose(bytes);
    arrived(bytes);
    // The user ends it: what the server sent meanwhile is the port's too.
    received(m_stream.release(m_stream.kind() != ServerStream::Kind::Telnet));
}

void NetworkSerialComponent::closeTransport()
{
    enter(State::Closed);
}

void NetworkSerialComponent::lineChanged()
{
    if (m_farSettings.asked())
        sendSettings();
}

void NetworkSerialComponent::onReadyRead()
{
    // While the server has not shown itself, every byte may decide.
    if (m_state == State::Negotiating)
        arrived(m_socket.readAll());
    else if (m_state == State::Streaming)
        onArrival(m_throttle);
}

void NetworkSerialComponent::takeArrival()
{
    arrived(m_socket.readAll());
}

void NetworkSerialComponent::arrived(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    received(m_stream.take(bytes));
    if (m_stream.kind() != ServerStream::Kind::Telnet)
        return;
    TelnetCodec &codec = m_stream.codec();
    if (const QByteArray replies = codec.takeReplies(); !replies.isEmpty())
        m_socket.write(replies);
    if (!m_farSettings.asked() && codec.comPort() == TelnetCodec::ComPortState::Accepted)
        sendSettings();
    const QList<TelnetCodec::Answer> answers = codec.takeAnswers();
    const bool refused = codec.comPort() == TelnetCodec::ComPortState::Refused;
    // Answering a COM-PORT-OPTION command, or refusing the option, the
    // server has shown itself.
    const bool shown = m_state == State::Negotiating && !closing() && (refused || !answers.isEmpty());
    if (shown)
        establish(false);
    if (const std::optional<ComPortSettings::Verdict> verdict = m_farSettings.note(answers))
        setNotice(tr("%1: the far port runs with %2").arg(m_address->url(), verdict->text), verdict->differs);
    if (shown && refused)
        setNotice(tr("%1 refuses the COM-PORT-OPTION (RFC 2217): the far port keeps its own line settings")
                      .arg(m_address->url()));
}

void NetworkSerialComponent::establish(bool raw)
{
    const QByteArray held = m_stream.release(raw);
    enter(State::Streaming);
    // Received before the receiver hears that the port works: one that
    // closes the port from that event still gets them with the close.
    received(held);
    raise(CommEvent::Opened);
    if (m_state != State::Streaming)
        return;
    if (!held.isEmpty()) {
        m_throttle.arm();
        receivedNews();
    }
    if (m_state == State::Streaming && m_address->kind == NetworkAddress::Kind::Tcp)
        setNotice(tr("%1 is raw TCP: the session's line settings do not reach the far port, whose own "
                     "settings apply")
                      .arg(m_address->url()),
                  false);
}

void NetworkSerialComponent::answerWaitEnded()
{
    // A server that never answered our request is raw TCP, whatever its
    // bytes look like; one that did speaks telnet.
    const bool telnet = m_stream.kind() == ServerStream::Kind::Telnet;
    establish(!telnet);
    if (m_state != State::Streaming)
        return;
    setNotice(telnet ? tr("%1 does not answer the COM-PORT-OPTION (RFC 2217): the far port keeps its "
                          "own line settings")
                           .arg(m_address->url())
                     : tr("%1 does not speak RFC 2217 (no answer within %2 s): logging its bytes as raw "
                          "TCP; the far port keeps its own line settings")
                           .arg(m_address->url())
                           .arg(answerTimeoutMs / 1000));
}

void NetworkSerialComponent::sendSettings()
{
    if (m_stream.kind() != ServerStream::Kind::Telnet ||
        m_stream.codec().comPort() != TelnetCodec::ComPortState::Accepted ||
        m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_socket.write(m_farSettings.ask(lineSettings(), flowControl(), lineSwitch()));
}

void NetworkSerialComponent::setNotice(const QString &text, bool warns)
{
    if (text == m_notice)
        return;
    m_notice = text;
    m_noticeWarns = warns;
    raise(CommEvent::Notice);
}

void NetworkSerialComponent::onSocketError(QAbstractSocket::SocketError error)
{
    if (closing())
        return;
    if (m_state == State::Connecting)
        connectFailed(error, m_socket.errorString());
    else
        connectionEnded();
}

void NetworkSerialComponent::connectFailed(QAbstractSocket::SocketError error, const QString &errorString)
{
    enter(State::WaitingToRetry);
    // After a lost connection, nothing listening (the server restarts) is
    // what the wait expects. Anything else, and every reason a first
    // connection fails, is told once while it stays the same.
    if (m_everStreamed &&
        (error == QAbstractSocket::ConnectionRefusedError ||
         error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::SocketTimeoutError))
        return;
    const QString reason =
        describe(*m_address, error, errorString) +
        (m_everStreamed ? tr("; still trying to reconnect") : tr("; still trying to connect"));
    if (reason == lostDeviceDescription())
        return;
    setLostDescription(reason);
    raise(CommEvent::DeviceLost);
}

void NetworkSerialComponent::connectionEnded()
{
    if ((m_state != State::Negotiating && m_state != State::Streaming) || closing())
        return;
    if (m_socket.isOpen())
        arrived(m_socket.readAll()); // what the socket still holds came before the end
    QString reason = tr("%1: the connection was closed; waiting for it to return").arg(m_address->url());
    // A connection that worked for a while is news whenever it ends.
    bool news = m_state == State::Streaming;
    if (m_state == State::Negotiating) {
        // Closed before the server showed itself: a refusal. Its words are
        // not the port's bytes.
        m_stream.release(true);
        reason = tr("%1: the server closed the connection at once; its port may be in use by another client. "
                    "Still trying to connect")
                     .arg(m_address->url());
    }
    news = news || reason != lostDeviceDescription();
    enter(State::WaitingToRetry);
    if (news)
        lost(reason);
}

QString NetworkSerialComponent::pendingDescription() const
{
    return m_state != State::Closed && m_state != State::Streaming ? m_address->url() : QString();
}

QStringList NetworkSerialComponent::tryConnections(const QList<NetworkAddress> &addresses)
{
    // All at once, each given connectTimeoutMs, in a loop of its own: the
    // caller opens no port, so nothing else waits meanwhile.
    QStringList reasons;
    for (const NetworkAddress &address : addresses)
        reasons << describe(address, QAbstractSocket::SocketTimeoutError, QString());
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    QEventLoop loop;
    qsizetype waiting = addresses.size();
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        QTcpSocket *socket = sockets.emplace_back(std::make_unique<QTcpSocket>()).get();
        const auto answered = [&, i, socket](const QString &reason) {
            QObject::disconnect(socket, nullptr, &loop, nullptr);
            reasons[i] = reason;
            if (--waiting == 0)
                loop.quit();
        };
        connect(socket, &QTcpSocket::connected, &loop, [answered] { answered(QString()); });
        connect(socket, &QTcpSocket::errorOccurred, &loop,
                [&, i, socket, answered](QAbstractSocket::SocketError error) {
                    answered(describe(addresses.at(i), error, socket->errorString()));
                });
        socket->connectToHost(addresses.at(i).host, addresses.at(i).port);
    }
    QTimer::singleShot(connectTimeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (waiting > 0)
        loop.exec();
    return reasons;
}

QString NetworkSerialComponent::describe(const NetworkAddress &address, QAbstractSocket::SocketError error,
                                         const QString &errorString)
{
    const QString url = address.url();
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return tr("%1: the host %2 was not found").arg(url, address.host);
    case QAbstractSocket::ConnectionRefusedError:
        return tr("%1: the connection was refused; nothing listens on port %2 of %3")
            .arg(url)
            .arg(address.port)
            .arg(address.host);
    case QAbstractSocket::SocketTimeoutError:
        return tr("%1: the connection timed out; %2 did not answer within %3 s")
            .arg(url, address.host)
            .arg(connectTimeoutMs / 1000);
    default:
        return tr("%1: %2").arg(url, errorString);
    }
}
