#pragma once

#include "components/TelnetCodec.h"

#include <QByteArray>

// What a network port's server sends, up to the port's own bytes: raw TCP
// as it comes, or telnet decoded. Over rfc2217 the server's answer to our
// COM-PORT-OPTION request tells telnet from raw TCP: until it answers, its
// bytes are held as they came and nothing is sent in reply, so that a raw
// device behind an rfc2217:// entry logs unchanged whatever its bytes look
// like, and receives nothing but that one request.
//
// The first bytes of every connection are held until the connection has
// shown itself (a server refusing a client sends a line of text and
// closes): release() hands them over, as they came for raw TCP, decoded
// for telnet; a connection that ends first has its held bytes dropped.
class ServerStream
{
public:
    enum class Kind { Undecided, Telnet, Raw };

    // A fresh connection: what to send first (the COM-PORT-OPTION request
    // over rfc2217, nothing for raw TCP).
    QByteArray start(bool rfc2217);
    // Bytes from the server: the port's bytes to deliver now, none while
    // held. Replies owed and answers received wait in codec().
    QByteArray take(const QByteArray &bytes);
    // Ends the hold, as raw TCP when `raw` or the server never spoke
    // telnet: the bytes held.
    QByteArray release(bool raw);

    Kind kind() const { return m_kind; }
    bool holding() const { return m_holding; }
    TelnetCodec &codec() { return m_codec; }

private:
    TelnetCodec m_codec;
    Kind m_kind = Kind::Raw;
    bool m_holding = false;
    QByteArray m_heldRaw;  // bytes held back as they came...
    QByteArray m_heldPort; // ...and as telnet decoded them
};
