#pragma once

#include "components/ComPortSettings.h"
#include "components/DeviceWait.h"
#include "components/NetworkAddress.h"
#include "components/ReadThrottle.h"
#include "components/SerialTransport.h"
#include "components/ServerStream.h"

#include <QByteArray>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// The session's serial port on another machine, named in the port map as
// rfc2217://HOST:PORT or tcp://HOST:PORT. Opening it only starts to connect,
// in the background: the port is open at once, with pendingDescription()
// naming the address, and Opened follows once the server has shown
// itself (below), or DeviceLost saying why no connection was made (the
// host not found, refused, no answer within connectTimeoutMs), and a new try
// every retry interval until the port is closed. Over RFC 2217 the session's
// line settings are sent to the far port at every connection, and a setting the
// server answers with another value becomes a notice; a server that never
// answers the COM-PORT-OPTION is read as raw TCP, with a notice. A lost
// connection is a lost device: DeviceLost, then a try to reconnect
// every retry interval, with the bytes from before the loss kept in order.
// As on a local port, the socket is read at the ticks of a ReadThrottle.
//
// A server that refuses a client (its port in use) accepts the connection,
// sends a line of text and closes it. So the first bytes of a connection are
// held back (ServerStream) until the server has shown itself: by answering
// a COM-PORT-OPTION command, or for raw TCP by staying connected for a
// moment. A connection closed before that counts as refused, and its bytes
// are dropped. A server that never answers the COM-PORT-OPTION within the
// answer wait is read as raw TCP.
//
// The port is always in one state; enter() is the only way from one to the
// next, and starts the timers of the state it enters:
//   Closed --open--> WaitingToRetry --retry timer--> Connecting
//   Connecting --connected--> Negotiating; --failed, timed out--> WaitingToRetry
//   Negotiating --server shown, answer wait, settle--> Streaming
//   Negotiating, Streaming --connection ended--> WaitingToRetry
//   any --close--> Closed
class NetworkSerialComponent final : public SerialTransport
{
    Q_OBJECT
    Q_DISABLE_COPY(NetworkSerialComponent)

public:
    static constexpr int connectTimeoutMs = 5000;
    static constexpr int answerTimeoutMs = 3000; // for the first COM-PORT-OPTION answer
    static constexpr int settleMs = 1000;        // raw TCP: a refusing server closes sooner

    enum class State { Closed, WaitingToRetry, Connecting, Negotiating, Streaming };

    explicit NetworkSerialComponent(QObject *parent = nullptr);
    ~NetworkSerialComponent() override;

    bool portOpen() const override { return m_state != State::Closed; }
    QString notice() const override { return m_notice; }
    QString pendingDescription() const override;
    // Whether notice() tells of trouble (settings not taken, no RFC 2217),
    // not just what the far port runs with.
    bool noticeWarns() const { return m_noticeWarns; }

    void setRetryInterval(int ms) { m_retryMs = qMax(ms, 1); }

    // Connects to each address once, all at once, and closes again: for
    // each, empty when that worked, else why not, in the words of the
    // status. Runs a local event loop for connectTimeoutMs at most; for a
    // program that has no port open (ombrixd --check).
    static QStringList tryConnections(const QList<NetworkAddress> &addresses);

private:
    void openTransport() override;
    void takeRemaining() override;
    void closeTransport() override;
    void lineChanged() override;
    bool reading() const override { return m_state == State::Streaming; }
    void takeArrival() override;
    void arrived(const QByteArray &bytes) override;
    void gone() override { connectionEnded(); }

    // The one transition: leaves the state under way and enters `next`.
    void enter(State next, int retryMs = -1);
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void connectFailed(QAbstractSocket::SocketError error, const QString &errorString);
    void connectionEnded();
    void establish(bool raw);
    void answerWaitEnded();
    void sendSettings();
    void setNotice(const QString &text, bool warns = true);
    static QString describe(const NetworkAddress &address, QAbstractSocket::SocketError error,
                            const QString &errorString);

    QTcpSocket m_socket;
    ReadThrottle m_throttle{m_socket};
    ServerStream m_stream;
    ComPortSettings m_farSettings;
    std::optional<NetworkAddress> m_address;
    State m_state = State::Closed;
    QTimer m_retry;          // WaitingToRetry: the next try to connect
    QTimer m_connectTimeout; // Connecting: a try that hangs is given up
    QTimer m_answerWait;     // Negotiating over rfc2217: the COM-PORT-OPTION answer
    QTimer m_settle;         // Negotiating over raw TCP: a refusing server closes sooner
    int m_retryMs = DeviceWait::retryIntervalMs;
    bool m_everStreamed = false; // since the port opened: a refused reconnect is what the wait expects
    QString m_notice;
    bool m_noticeWarns = false;
};
