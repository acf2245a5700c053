#include "components/TelnetCodec.h"

#include <algorithm>

namespace {

// Longer subnegotiations than any COM-PORT-OPTION answer (a signature
// string at most) are dropped rather than collected without end.
constexpr qsizetype maxSubnegotiation = 256;

// What we do or let the server do; the COM-PORT-OPTION only we do.
bool wanted(quint8 option)
{
    return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead;
}

} // namespace

QByteArray TelnetCodec::start()
{
    *this = TelnetCodec();
    // Only the request whose answer tells telnet from a raw device: the
    // other options are asked for once the server has answered it, so that
    // a raw device receives as little as possible.
    ask(WILL, ComPort);
    return takeReplies();
}

void TelnetCodec::askOptions()
{
    for (const quint8 option : {Binary, SuppressGoAhead}) {
        if (!m_local[option] && !m_askedLocal[option])
            ask(WILL, option);
        if (!m_remote[option] && !m_askedRemote[option])
            ask(DO, option);
    }
}

QByteArray TelnetCodec::decode(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        if (m_state == State::Data) {
            // The common case: a run of plain bytes, copied in one go.
            const char *stop = std::find_if(p, end, [this](char c) {
                return quint8(c) == IAC || (quint8(c) == '\r' && !m_remote[Binary]);
            });
            out.append(p, stop - p);
            p = stop;
            if (p == end)
                break;
        }
        if (step(quint8(*p), out))
            ++p;
    }
    return out;
}

bool TelnetCodec::step(quint8 c, QByteArray &out)
{
    switch (m_state) {
    case State::Data:
        if (c == IAC) {
            m_state = State::Iac;
        } else { // CR outside binary mode: a NUL after it is padding
            out.append(char(c));
            m_state = State::Cr;
        }
        break;
    case State::Cr:
        m_state = State::Data;
        if (c == 0)
            break;
        return false; // anything else is data (or IAC) in its own right
    case State::Iac:
        m_state = State::Data;
        if (c == IAC)
            out.append(char(IAC));
        else if (c >= WILL && c <= DONT) {
            m_verb = c;
            m_state = State::Verb;
        } else if (c == SB) {
            m_sub.clear();
            m_subOverflow = false;
            m_state = State::Sub;
        }
        // Other commands (NOP, GA, BREAK, AYT...) carry no port bytes.
        break;
    case State::Verb:
        m_state = State::Data;
        negotiate(m_verb, c);
        break;
    case State::Sub:
        if (c == IAC)
            m_state = State::SubIac;
        else if (m_sub.size() < maxSubnegotiation)
            m_sub.append(char(c));
        else
            m_subOverflow = true;
        break;
    case State::SubIac:
        if (c == IAC) {
            m_state = State::Sub;
            if (m_sub.size() < maxSubnegotiation)
                m_sub.append(char(IAC));
        } else {
            // IAC SE ends it; a server that leaves out the SE ends it too.
            m_state = State::Data;
            subnegotiation();
            if (c != SE) {
                m_state = State::Iac;
                return false;
            }
        }
        break;
    }
    return true;
}

void TelnetCodec::negotiate(quint8 verb, quint8 option)
{
    if (option == ComPort)
        m_answeredComPort = true;
    // The answer to a request of ours needs no reply; an offer or a request
    // of the server's that changes an option's state gets one.
    switch (verb) {
    case WILL:
        if (!wanted(option))
            reply(DONT, option);
        else if (!m_remote[option]) {
            m_remote[option] = true;
            if (!std::exchange(m_askedRemote[option], false))
                reply(DO, option);
        }
        break;
    case WONT:
        m_askedRemote[option] = false;
        if (m_remote[option]) {
            m_remote[option] = false;
            reply(DONT, option);
        }
        break;
    case DO:
        if (!wanted(option) && option != ComPort)
            reply(WONT, option);
        else if (!m_local[option]) {
            m_local[option] = true;
            if (!std::exchange(m_askedLocal[option], false))
                reply(WILL, option);
            if (option == ComPort)
                m_comPort = ComPortState::Accepted;
        }
        break;
    case DONT:
        m_askedLocal[option] = false;
        if (option == ComPort)
            m_comPort = ComPortState::Refused;
        if (m_local[option]) {
            m_local[option] = false;
            reply(WONT, option);
        }
        break;
    }
}

void TelnetCodec::subnegotiation()
{
    // Only the server's COM-PORT-OPTION answers matter; NOTIFY-LINESTATE,
    // NOTIFY-MODEMSTATE and flow-control notices are taken and dropped.
    if (m_subOverflow || m_sub.size() < 2 || quint8(m_sub.at(0)) != ComPort)
        return;
    const quint8 command = quint8(m_sub.at(1));
    if (command <= ServerOffset + SetControl && command > ServerOffset)
        m_answers.append({quint8(command - ServerOffset), m_sub.mid(2)});
}

void TelnetCodec::ask(quint8 verb, quint8 option)
{
    (verb == WILL ? m_askedLocal : m_askedRemote)[option] = true;
    reply(verb, option);
}

void TelnetCodec::reply(quint8 verb, quint8 option)
{
    m_replies.append(char(IAC));
    m_replies.append(char(verb));
    m_replies.append(char(option));
}

QByteArray TelnetCodec::command(Command command, const QByteArray &value)
{
    QByteArray out;
    out.append(char(IAC)).append(char(SB)).append(char(ComPort)).append(char(command));
    for (const char c : value) {
        out.append(c);
        if (quint8(c) == IAC)
            out.append(c);
    }
    out.append(char(IAC)).append(char(SE));
    return out;
}
