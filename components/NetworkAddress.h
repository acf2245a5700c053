#pragma once

#include <QString>

#include <optional>

// A port on another machine, as a port map entry names it:
// "rfc2217://HOST:PORT" (telnet with the COM-PORT-OPTION, so that the
// session's line settings reach the far port) or "tcp://HOST:PORT" (raw
// bytes; the far side's settings apply). HOST is a name, an IPv4 address or
// an IPv6 address in brackets.
struct NetworkAddress
{
    enum class Kind { Rfc2217, Tcp };

    Kind kind = Kind::Tcp;
    QString host{}; // without brackets
    quint16 port = 0;

    // Whether `entry` is meant as a network address ("scheme://..."), parsable
    // or not; such an entry is never a device path.
    static bool isUrl(const QString &entry);

    // The address in `entry`, or nullopt with `why` saying what is wrong.
    static std::optional<NetworkAddress> parse(const QString &entry, QString *why);

    // The entry written back in its plain form, as status texts name it.
    QString url() const;
};
