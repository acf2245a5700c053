#pragma once

#include "common/SharedTimer.h"
#include "components/DeviceWait.h"
#include "components/LineSettings.h"
#include "components/NetworkAddress.h"
#include "components/SerialComponent.h"
#include "components/TelnetCodec.h"

#include <QByteArray>
#include <QHash>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// The session's serial port on another machine, named in the port map as
// rfc2217://HOST:PORT or tcp://HOST:PORT. Opening it only starts to connect,
// in the background: the port is open at once, with pendingDescription()
// naming the address, and EventOpened follows once the server has shown
// itself (below), or EventDeviceLost saying why no connection was made (the
// host not found, refused, no answer within connectTimeoutMs), and a new try
// every retry interval until the port is closed. Over RFC 2217 the session's
// line settings are sent to the far port at every connection, and a setting the
// server answers with another value becomes a notice; a server that never
// answers the COM-PORT-OPTION is read as raw TCP, with a notice. A lost
// connection is a lost device: EventDeviceLost, then a try to reconnect
// every retry interval, with the bytes from before the loss kept in order.
// As on a local port, the first arrival after a quiet spell is reported at
// once, and while data keeps coming one receive event per throttle interval
// carries all of it.
//
// Over rfc2217 the server's answer to our COM-PORT-OPTION request, or its
// absence within the answer wait, tells telnet from raw TCP; until then its
// bytes are held as they came and nothing else is sent, so that a raw
// device logs unchanged whatever its bytes look like and receives nothing
// but that one request.
//
// A server that refuses a client (its port in use) accepts the connection,
// sends a line of text and closes it. So the first bytes of a connection are
// held back until the server has shown itself: by answering a COM-PORT-OPTION
// command, or for raw TCP by staying connected for a moment. A connection
// closed before that counts as refused, and its bytes are dropped.
class NetworkSerialComponent final : public SerialComponent
{
    Q_OBJECT
    Q_DISABLE_COPY(NetworkSerialComponent)

public:
    static constexpr int connectTimeoutMs = 5000;
    static constexpr int answerTimeoutMs = 3000; // for the first COM-PORT-OPTION answer
    static constexpr int settleMs = 1000;        // raw TCP: a refusing server closes sooner

    explicit NetworkSerialComponent(QObject *parent = nullptr);
    ~NetworkSerialComponent() override;

    void setInputMode(int mode) override;
    void setCommPort(int port) override;
    void setSettings(const QString &settings) override;
    void setHandshaking(int mode) override;
    void setLineSwitch(bool on) override;
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override;
    int commEvent() const override { return m_event; }
    qint64 inBufferCount() const override { return m_buffer.size(); }
    QByteArray input() override { return std::exchange(m_buffer, {}); }
    QString lostDeviceDescription() const override { return m_lost; }
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
    void openPort();
    void closePort();
    void connectNow();
    void startConnection();
    QByteArray unreadBytes();
    void onReadyRead();
    void readNow();
    void take(const QByteArray &bytes);
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void connectFailed(QAbstractSocket::SocketError error, const QString &errorString);
    void connectionEnded();
    void release(bool raw);
    void sendSettings();
    void checkAnswers(const QList<TelnetCodec::Answer> &answers);
    void setNotice(const QString &text, bool warns = true);
    void deliver(const QByteArray &bytes);
    static QString describe(const NetworkAddress &address, QAbstractSocket::SocketError error,
                            const QString &errorString);
    void raise(int event);

    QTcpSocket m_socket;
    TelnetCodec m_codec;
    std::optional<NetworkAddress> m_address;
    LineSettings m_settings;
    int m_handshaking = 0;
    bool m_lineSwitch = false;
    int m_commPort = 1;
    QByteArray m_buffer;                  // the port's bytes for input()
    QByteArray m_heldRaw;                 // bytes held back as they came...
    QByteArray m_heldPort;                // ...and as telnet decoded them
    QHash<quint8, QByteArray> m_asked;    // COM-PORT-OPTION command -> value sent
    QHash<quint8, QByteArray> m_answered; // COM-PORT-OPTION command -> the server's answer
    QTimer m_answerWait;
    QTimer m_settle;
    QTimer m_retry;          // the next try to connect
    QTimer m_connectTimeout; // a try that hangs is given up
    int m_retryMs = DeviceWait::retryIntervalMs;
    SharedTimer m_coalesce; // armed after a receive event: arrivals wait for its tick
    bool m_arrived = false; // bytes came while it was armed
    QString m_lost;
    QString m_notice;
    // rfc2217: telnet or raw TCP, told by the server's answer to our
    // COM-PORT-OPTION request or by its absence.
    enum class Stream { Undecided, Telnet, Raw };
    Stream m_stream = Stream::Raw;
    int m_event = 0;
    int m_inOnComm = 0;
    bool m_open = false;
    bool m_noticeWarns = false;
    bool m_connecting = false;   // no connection: trying to make one
    bool m_reconnecting = false; // a connection worked since the port opened
    bool m_established = false;  // the server has shown itself on this connection
    bool m_closing = false;
    bool m_holding = false;
    bool m_settingsSent = false;
};
