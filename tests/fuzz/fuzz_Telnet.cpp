// Any bytes from a server behind an rfc2217:// entry, cut into pieces
// anywhere (the input's first bytes say where): the port bytes and the far
// port's settings come out the same however the bytes were cut, replies stay
// bounded, a raw device's bytes pass unchanged and a telnet server's data
// bytes come out exactly.

#include "components/ComPortSettings.h"
#include "components/ServerStream.h"
#include "tests/fuzz/FuzzFile.h"

#include <algorithm>

namespace {

using T = TelnetCodec;

// The data bytes of a telnet stream without CR NUL: all but the commands,
// IAC IAC giving one 255. A subnegotiation runs to the first IAC that is
// not doubled, which ends it (IAC SE) or starts the next command.
QByteArray dataOf(const QByteArray &s)
{
    QByteArray out;
    const auto iac = [&s](qsizetype i) { return i < s.size() && quint8(s[i]) == T::IAC; };
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (!iac(i))
            out += s[i];
        else if (iac(++i))
            out += s[i];
        else if (i < s.size() && quint8(s[i]) >= T::WILL && quint8(s[i]) <= T::DONT)
            ++i;
        else if (i < s.size() && quint8(s[i]) == T::SB) {
            qsizetype j = i + 1;
            while (j < s.size() && (!iac(j) || iac(j + 1)))
                j += iac(j) ? 2 : 1;
            i = j + 1 < s.size() && quint8(s[j + 1]) == T::SE ? j + 1 : j - 1;
        }
    }
    return out;
}

struct Outcome
{
    QByteArray port, replies;
    QString verdict; // the far port's settings as the last answers gave them
    ServerStream::Kind kind = ServerStream::Kind::Undecided;
};

// Feeds `stream` in pieces ending at `cuts`, ends the hold at `release`, and
// takes replies and answers after each piece as a network port does.
Outcome feed(const QByteArray &stream, QList<qsizetype> cuts, qsizetype release)
{
    ServerStream server;
    ComPortSettings far;
    Outcome out;
    out.replies = server.start(true) + far.ask(LineSettings(), QSerialPort::NoFlowControl, true);
    cuts << release << stream.size();
    std::sort(cuts.begin(), cuts.end());
    qsizetype from = 0;
    for (const qsizetype cut : std::as_const(cuts)) {
        out.port += server.take(stream.mid(from, cut - from));
        from = cut;
        if (cut == release)
            out.port += server.release(false);
        if (server.kind() != ServerStream::Kind::Telnet)
            continue;
        out.replies += server.codec().takeReplies();
        if (const auto verdict = far.note(server.codec().takeAnswers()))
            out.verdict = verdict->text;
    }
    out.kind = server.kind();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Byte 0: how many cut bytes follow byte 1 (the release point); then the stream.
    const size_t head = size > 0 ? 2 + data[0] % 8 : 0;
    if (size < head)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data + head), qsizetype(size - head));
    const auto at = [&](size_t i) { return qsizetype(data[i]) * stream.size() / 255; };
    QList<qsizetype> cuts;
    for (size_t i = 2; i < head; ++i)
        cuts << at(i);
    const qsizetype release = size > 0 ? at(1) : 0;
    const Outcome whole = feed(stream, {}, release), split = feed(stream, cuts, release);
    FUZZ_CHECK(split.port == whole.port && split.kind == whole.kind && split.verdict == whole.verdict);
    // Our requests, the settings asked for, then at most one reply per negotiation.
    FUZZ_CHECK(qMax(split.replies.size(), whole.replies.size()) <= 60 + stream.size());
    if (whole.kind == ServerStream::Kind::Raw)
        FUZZ_CHECK(whole.port == stream);
    else if (!stream.contains(QByteArrayView("\r\0", 2)))
        FUZZ_CHECK(whole.port == dataOf(stream));
    return 0;
}
