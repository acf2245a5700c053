#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

// The telnet side of a network port, without any socket: bytes from the
// server go in, the port's own bytes come out, together with the replies
// owed to the server and the COM-PORT-OPTION answers it sent. It asks for
// the COM-PORT-OPTION as a client first, and only once the server has
// answered that (so speaks telnet) for BINARY in both directions and
// SUPPRESS-GO-AHEAD; everything else the server offers or asks for is
// refused. An option is answered only when its state changes, and an answer
// to our own request is not answered again, so no negotiation loops. No
// telnet command, no escape and no CR NUL padding reaches the port bytes.
class TelnetCodec
{
public:
    static constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
    static constexpr quint8 Binary = 0, SuppressGoAhead = 3, ComPort = 44;

    // COM-PORT-OPTION commands a client sends; the server answers with the
    // same command plus 100.
    enum Command : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        ServerOffset = 100,
    };

    struct Answer
    {
        quint8 command = 0; // the client's command it answers (SetBaudRate...)
        QByteArray value;
    };

    enum class ComPortState { Unknown, Accepted, Refused };

    // Starts a fresh connection; returns the request to send first
    // (WILL COM-PORT-OPTION).
    QByteArray start();
    // Asks for BINARY and SUPPRESS-GO-AHEAD where the server has not agreed
    // to them already: queued after the replies owed (takeReplies()).
    void askOptions();

    // Decodes bytes from the server: returns the port's bytes.
    QByteArray decode(const QByteArray &bytes);
    // Replies decode() owes the server, to be sent in this order.
    QByteArray takeReplies() { return std::exchange(m_replies, {}); }
    QList<Answer> takeAnswers() { return std::exchange(m_answers, {}); }

    // Whether the server answered our request: WILL, WONT, DO or DONT
    // COM-PORT-OPTION. Only that shows a server speaking telnet to us; any
    // other bytes may be a raw device's that merely look like telnet.
    bool answeredComPort() const { return m_answeredComPort; }
    ComPortState comPort() const { return m_comPort; }

    // A COM-PORT-OPTION command with its value, IAC doubled inside.
    static QByteArray command(Command command, const QByteArray &value);

private:
    enum class State { Data, Cr, Iac, Verb, Sub, SubIac };

    // One byte outside a run of plain data; false when it is to be read
    // again in the state it led to.
    bool step(quint8 c, QByteArray &out);
    void negotiate(quint8 verb, quint8 option);
    void subnegotiation();
    void reply(quint8 verb, quint8 option);
    void ask(quint8 verb, quint8 option);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub; // option and data of the subnegotiation being read
    bool m_subOverflow = false;
    QByteArray m_replies;
    QList<Answer> m_answers;
    bool m_remote[256] = {};      // the server does the option (WILL acknowledged)
    bool m_local[256] = {};       // we do the option (DO acknowledged)
    bool m_askedRemote[256] = {}; // our DO awaits the server's WILL or WONT
    bool m_askedLocal[256] = {};  // our WILL awaits the server's DO or DONT
    bool m_answeredComPort = false;
    ComPortState m_comPort = ComPortState::Unknown;
};
