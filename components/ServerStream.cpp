#include "components/ServerStream.h"

QByteArray ServerStream::start(bool rfc2217)
{
    m_heldRaw.clear();
    m_heldPort.clear();
    m_holding = true;
    m_kind = rfc2217 ? Kind::Undecided : Kind::Raw;
    return rfc2217 ? m_codec.start() : QByteArray();
}

QByteArray ServerStream::take(const QByteArray &bytes)
{
    if (m_kind == Kind::Raw) {
        if (!m_holding)
            return bytes;
        m_heldRaw += bytes;
        return {};
    }
    const QByteArray port = m_codec.decode(bytes);
    if (m_kind == Kind::Undecided) {
        m_heldRaw += bytes;
        if (!m_codec.answeredComPort()) {
            m_heldPort += port;
            return {};
        }
        // WILL, WONT, DO or DONT COM-PORT-OPTION: a server that speaks telnet.
        m_kind = Kind::Telnet;
        m_heldRaw.clear();
        m_codec.askOptions();
    }
    if (!m_holding)
        return port;
    m_heldPort += port;
    return {};
}

QByteArray ServerStream::release(bool raw)
{
    if (!m_holding)
        return {};
    m_holding = false;
    if (raw || m_kind != Kind::Telnet)
        m_kind = Kind::Raw;
    QByteArray held = m_kind == Kind::Raw ? m_heldRaw : m_heldPort;
    m_heldRaw.clear();
    m_heldPort.clear();
    return held;
}
