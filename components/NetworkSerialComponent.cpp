#include "components/NetworkSerialComponent.h"

#include "components/ComponentError.h"
#include "components/PortMap.h"
#include "components/ReadThrottle.h"

#include <QEventLoop>
#include <QtEndian>

#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

namespace {

// COM-PORT-OPTION values (the server answers in the same terms).
QByteArray parityValue(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity:
        return QByteArray(1, 2);
    case QSerialPort::EvenParity:
        return QByteArray(1, 3);
    case QSerialPort::MarkParity:
        return QByteArray(1, 4);
    case QSerialPort::SpaceParity:
        return QByteArray(1, 5);
    default:
        return QByteArray(1, 1);
    }
}

// SET-CONTROL values: outbound flow control, then DTR on and off.
constexpr char flowValues[] = {1, 2, 3};
constexpr char dtrOn = 8, dtrOff = 9;

// Reads of what the kernel holds at a close, at most.
constexpr int readsOnClose = 64;

QString valueText(quint8 command, const QByteArray &value)
{
    const quint8 v = value.isEmpty() ? 0 : quint8(value.at(0));
    switch (command) {
    case TelnetCodec::SetBaudRate:
        return NetworkSerialComponent::tr("baud rate %1").arg(qFromBigEndian<quint32>(value.constData()));
    case TelnetCodec::SetDataSize:
        return NetworkSerialComponent::tr("%1 data bits").arg(v);
    case TelnetCodec::SetParity: {
        static const char *const names[] = {"no", "odd", "even", "mark", "space"};
        return v >= 1 && v <= 5 ? NetworkSerialComponent::tr("%1 parity").arg(QLatin1String(names[v - 1]))
                                : NetworkSerialComponent::tr("parity %1").arg(v);
    }
    case TelnetCodec::SetStopSize:
        return v == 1   ? NetworkSerialComponent::tr("1 stop bit")
               : v == 3 ? NetworkSerialComponent::tr("1.5 stop bits")
                        : NetworkSerialComponent::tr("%1 stop bits").arg(v);
    default: {
        static const char *const names[] = {"no flow control", "XON/XOFF", "RTS/CTS"};
        return v >= 1 && v <= 3 ? NetworkSerialComponent::tr(names[v - 1])
                                : NetworkSerialComponent::tr("flow control %1").arg(v);
    }
    }
}

} // namespace

NetworkSerialComponent::NetworkSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkSerialComponent::onReadyRead);
    connect(&m_socket, &QTcpSocket::connected, this, &NetworkSerialComponent::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkSerialComponent::connectionEnded);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkSerialComponent::onSocketError);
    m_answerWait.setSingleShot(true);
    m_answerWait.setInterval(answerTimeoutMs);
    connect(&m_answerWait, &QTimer::timeout, this, [this] {
        // A server that never answered our request is raw TCP, whatever its
        // bytes look like; one that did speaks telnet.
        const bool telnet = m_stream == Stream::Telnet;
        release(!telnet);
        setNotice(telnet ? tr("%1 does not answer the COM-PORT-OPTION (RFC 2217): the far port keeps its "
                              "own line settings")
                               .arg(m_address->url())
                         : tr("%1 does not speak RFC 2217 (no answer within %2 s): logging its bytes as raw "
                              "TCP; the far port keeps its own line settings")
                               .arg(m_address->url())
                               .arg(answerTimeoutMs / 1000));
    });
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { release(true); });
    m_coalesce.setInterval(ReadThrottle::intervalMs);
    connect(&m_coalesce, &SharedTimer::timeout, this, [this] {
        m_socket.setReadBufferSize(0);
        readNow();
        if (!std::exchange(m_arrived, false))
            m_coalesce.stop();
        else if (!m_buffer.isEmpty())
            raise(EventReceive);
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &NetworkSerialComponent::connectNow);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setTimerType(Qt::PreciseTimer); // the status says "within 5 s"
    m_connectTimeout.setInterval(connectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        m_socket.abort();
        connectFailed(QAbstractSocket::SocketTimeoutError, QString());
    });
}

NetworkSerialComponent::~NetworkSerialComponent()
{
    // No signals from here: the receiver may be half destroyed already.
    disconnect(&m_socket, nullptr, this, nullptr);
    m_socket.abort();
}

void NetworkSerialComponent::setInputMode(int mode)
{
    if (mode != 1)
        throw ComponentError(QStringLiteral("Invalid property value"));
}

void NetworkSerialComponent::setCommPort(int port)
{
    if (port < PortMap::firstPort || port > PortMap::lastPort)
        throw ComponentError(QStringLiteral("Invalid port number"));
    m_commPort = port;
}

void NetworkSerialComponent::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        throw ComponentError(QStringLiteral("Invalid setting"));
    m_settings = *parsed;
    if (m_settingsSent)
        sendSettings();
}

void NetworkSerialComponent::setHandshaking(int mode)
{
    if (!LineSettings::flowControl(mode))
        throw ComponentError(QStringLiteral("Invalid property value"));
    m_handshaking = mode;
    if (m_settingsSent)
        sendSettings();
}

void NetworkSerialComponent::setLineSwitch(bool on)
{
    m_lineSwitch = on;
    if (m_settingsSent)
        sendSettings();
}

void NetworkSerialComponent::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void NetworkSerialComponent::openPort()
{
    if (m_open)
        return;
    QString why;
    m_address = NetworkAddress::parse(PortMap::devicePath(m_commPort), &why);
    if (!m_address)
        throw ComponentError(why);
    m_lost.clear();
    m_notice.clear();
    m_open = true;
    m_connecting = true;
    m_reconnecting = false;
    m_established = false;
    // The connection is made in the background, from the event loop: a host
    // that does not answer must not hold up every other port for seconds.
    m_retry.start(0);
}

void NetworkSerialComponent::connectNow()
{
    if (!m_open || !m_connecting)
        return;
    m_socket.abort();
    m_connectTimeout.start();
    m_socket.connectToHost(m_address->host, m_address->port);
}

void NetworkSerialComponent::startConnection()
{
    m_heldRaw.clear();
    m_heldPort.clear();
    m_asked.clear();
    m_answered.clear();
    m_settingsSent = false;
    m_holding = true;
    m_stream = m_address->kind == NetworkAddress::Kind::Rfc2217 ? Stream::Undecided : Stream::Raw;
    if (m_stream == Stream::Undecided) {
        m_socket.write(m_codec.start());
        m_answerWait.start();
    } else {
        m_settle.start();
    }
    m_socket.setReadBufferSize(0);
    if (m_socket.bytesAvailable() > 0)
        readNow();
}

void NetworkSerialComponent::closePort()
{
    if (!m_open || m_closing)
        return;
    m_closing = true;
    m_retry.stop();
    m_connectTimeout.stop();
    m_coalesce.stop();
    m_arrived = false;
    m_answerWait.stop();
    m_settle.stop();
    if (!m_connecting) {
        // What came before the close is the port's, as on a local port:
        // what the socket buffered, then what the kernel holds.
        m_socket.setReadBufferSize(0);
        readNow();
        take(unreadBytes());
        if (m_holding) // the user ends it: what came is the port's
            release(m_stream != Stream::Telnet);
    }
    m_connecting = false;
    // What arrived since the last event gets one more, as at any close.
    if (m_inOnComm == 0 && !m_buffer.isEmpty())
        raise(EventReceive);
    m_socket.abort();
    m_open = false;
    m_closing = false;
}

QByteArray NetworkSerialComponent::unreadBytes()
{
    QByteArray bytes;
#ifdef Q_OS_UNIX
    // Read past the socket, which would take them only at its next wake-up;
    // a read without data returns at once, it never waits.
    const qintptr fd = m_socket.socketDescriptor();
    char chunk[65536];
    for (int i = 0; fd >= 0 && i < readsOnClose; ++i) {
        const ssize_t n = ::recv(int(fd), chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0)
            bytes.append(chunk, qsizetype(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
#endif
    return bytes;
}

void NetworkSerialComponent::onReadyRead()
{
    if (!m_open || m_connecting || m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    if (m_coalesce.isActive() && !m_holding) {
        // Gathered at the tick. Meanwhile a read buffer that is full makes
        // the socket stop watching for data: no wake-up per TCP segment.
        m_arrived = true;
        m_socket.setReadBufferSize(1);
        return;
    }
    readNow();
}

void NetworkSerialComponent::readNow()
{
    // Also after the server closed: what the socket holds came before that.
    if (m_open && !m_connecting && m_socket.isOpen())
        take(m_socket.readAll());
}

void NetworkSerialComponent::take(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_stream == Stream::Raw) {
        if (m_holding)
            m_heldRaw += bytes;
        else
            deliver(bytes);
        return;
    }
    const QByteArray port = m_codec.decode(bytes);
    if (m_stream == Stream::Undecided) {
        // Until the server has answered our request, its bytes may be a
        // raw device's that look like telnet: they are held as they came,
        // and nothing is sent in reply.
        m_heldRaw += bytes;
        if (!m_codec.answeredComPort()) {
            m_heldPort += port;
            return;
        }
        m_stream = Stream::Telnet;
        m_heldRaw.clear();
        m_codec.askOptions();
    }
    if (const QByteArray replies = m_codec.takeReplies(); !replies.isEmpty())
        m_socket.write(replies);
    if (!m_settingsSent && m_codec.comPort() == TelnetCodec::ComPortState::Accepted)
        sendSettings();
    const QList<TelnetCodec::Answer> answers = m_codec.takeAnswers();
    const bool refused = m_codec.comPort() == TelnetCodec::ComPortState::Refused;
    // Answering a COM-PORT-OPTION command, or refusing the option, the
    // server has shown itself.
    const bool shown = m_holding && (refused || !answers.isEmpty());
    if (m_holding)
        m_heldPort += port;
    else
        deliver(port);
    if (shown)
        release(false);
    checkAnswers(answers);
    if (shown && refused)
        setNotice(tr("%1 refuses the COM-PORT-OPTION (RFC 2217): the far port keeps its own line settings")
                      .arg(m_address->url()));
}

void NetworkSerialComponent::release(bool raw)
{
    m_answerWait.stop();
    m_settle.stop();
    if (!m_holding)
        return;
    m_holding = false;
    if (raw)
        m_stream = Stream::Raw;
    const QByteArray held = raw ? m_heldRaw : m_heldPort;
    m_heldRaw.clear();
    m_heldPort.clear();
    if (!m_closing) {
        m_established = true;
        m_reconnecting = true;
        raise(EventOpened);
    }
    deliver(held);
    if (!m_closing && m_open && m_address->kind == NetworkAddress::Kind::Tcp)
        setNotice(tr("%1 is raw TCP: the session's line settings do not reach the far port, whose own "
                     "settings apply")
                      .arg(m_address->url()),
                  false);
}

void NetworkSerialComponent::deliver(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_buffer += bytes;
    if (m_closing || !m_open)
        return;
    if (m_coalesce.isActive()) {
        m_arrived = true;
        return;
    }
    m_coalesce.start();
    raise(EventReceive);
}

void NetworkSerialComponent::sendSettings()
{
    if (m_stream != Stream::Telnet || m_codec.comPort() != TelnetCodec::ComPortState::Accepted ||
        m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_settingsSent = true;
    char baud[4];
    qToBigEndian<quint32>(quint32(m_settings.baudRate), baud);
    const QSerialPort::FlowControl flow = *LineSettings::flowControl(m_handshaking);
    const QList<QPair<TelnetCodec::Command, QByteArray>> commands{
        {TelnetCodec::SetBaudRate, QByteArray(baud, 4)},
        {TelnetCodec::SetDataSize, QByteArray(1, char(m_settings.dataBits))},
        {TelnetCodec::SetParity, parityValue(m_settings.parity)},
        {TelnetCodec::SetStopSize, QByteArray(1, m_settings.stopBits == QSerialPort::TwoStop ? 2 : 1)},
        {TelnetCodec::SetControl, QByteArray(1, flowValues[flow == QSerialPort::SoftwareControl   ? 1
                                                           : flow == QSerialPort::HardwareControl ? 2
                                                                                                  : 0])},
    };
    // Answers to settings sent before are no answers to these.
    m_answered.clear();
    QByteArray out;
    for (const auto &[command, value] : commands) {
        m_asked.insert(command, value);
        out += TelnetCodec::command(command, value);
    }
    out += TelnetCodec::command(TelnetCodec::SetControl, QByteArray(1, m_lineSwitch ? dtrOn : dtrOff));
    m_socket.write(out);
}

void NetworkSerialComponent::checkAnswers(const QList<TelnetCodec::Answer> &answers)
{
    for (const TelnetCodec::Answer &answer : answers) {
        const auto asked = m_asked.constFind(answer.command);
        // An answer to a setting this side never sent, or of the wrong
        // length, says nothing readable. The DTR switch is answered with
        // SET-CONTROL too; a port without modem lines may refuse it, which
        // is no reason to complain.
        if (asked == m_asked.constEnd() || answer.value.size() != asked->size() ||
            (answer.command == TelnetCodec::SetControl && quint8(answer.value.at(0)) > 3))
            continue;
        m_answered.insert(answer.command, answer.value);
    }
    if (answers.isEmpty() || m_answered.size() < m_asked.size())
        return;
    // Once every setting is answered, the status tells what the far port
    // runs with: data bits and parity that no local read-back could show.
    QStringList texts;
    bool differs = false;
    for (quint8 command = TelnetCodec::SetBaudRate; command <= TelnetCodec::SetControl; ++command) {
        const QByteArray answer = m_answered.value(command);
        QString text = valueText(command, answer);
        if (answer != m_asked.value(command)) {
            differs = true;
            text += tr(" (not %1 as asked)").arg(valueText(command, m_asked.value(command)));
        }
        texts << text;
    }
    setNotice(tr("%1: the far port runs with %2").arg(m_address->url(), texts.join(QStringLiteral(", "))),
              differs);
}

void NetworkSerialComponent::setNotice(const QString &text, bool warns)
{
    if (text == m_notice)
        return;
    m_notice = text;
    m_noticeWarns = warns;
    raise(EventNotice);
}

void NetworkSerialComponent::onConnected()
{
    if (!m_open || !m_connecting)
        return;
    m_connectTimeout.stop();
    m_connecting = false;
    startConnection();
}

void NetworkSerialComponent::onSocketError(QAbstractSocket::SocketError error)
{
    if (!m_open || m_closing)
        return;
    if (m_connecting)
        connectFailed(error, m_socket.errorString());
    else
        connectionEnded();
}

void NetworkSerialComponent::connectFailed(QAbstractSocket::SocketError error, const QString &errorString)
{
    m_connectTimeout.stop();
    m_retry.start(m_retryMs);
    // After a lost connection, nothing listening (the server restarts) is
    // what the wait expects. Anything else, and every reason a first
    // connection fails, is told once while it stays the same.
    if (m_reconnecting &&
        (error == QAbstractSocket::ConnectionRefusedError ||
         error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::SocketTimeoutError))
        return;
    const QString reason =
        describe(*m_address, error, errorString) +
        (m_reconnecting ? tr("; still trying to reconnect") : tr("; still trying to connect"));
    if (reason != m_lost) {
        m_lost = reason;
        raise(EventDeviceLost);
    }
}

void NetworkSerialComponent::connectionEnded()
{
    if (!m_open || m_connecting || m_closing)
        return;
    m_socket.setReadBufferSize(0);
    readNow(); // what the socket still holds came before the end
    QString reason = tr("%1: the connection was closed; waiting for it to return").arg(m_address->url());
    if (m_holding) {
        // Closed before the server showed itself: a refusal. Its words are
        // not the port's bytes.
        m_heldRaw.clear();
        m_heldPort.clear();
        reason = tr("%1: the server closed the connection at once; its port may be in use by another client. "
                    "Still trying to connect")
                     .arg(m_address->url());
    }
    m_holding = false;
    m_answerWait.stop();
    m_settle.stop();
    // A connection that worked for a while is news whenever it ends.
    const bool news = reason != m_lost || std::exchange(m_established, false);
    m_connecting = true;
    m_socket.abort();
    m_retry.start(m_retryMs);
    if (!news)
        return;
    m_lost = reason;
    // Bytes from before the loss are reported first, for a receiver that
    // reads only on receive events.
    if (!m_buffer.isEmpty())
        raise(EventReceive);
    if (m_connecting)
        raise(EventDeviceLost);
}

QString NetworkSerialComponent::pendingDescription() const
{
    return m_open && !m_established ? m_address->url() : QString();
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

void NetworkSerialComponent::raise(int event)
{
    m_event = event;
    ++m_inOnComm;
    raiseOnComm();
    --m_inOnComm;
}
