#include "components/ComPortSettings.h"
#include "components/NetworkAddress.h"
#include "components/ServerStream.h"
#include "components/TelnetCodec.h"

#include <QRandomGenerator>
#include <QTest>

// The parsing of a network port: port map entries, and the telnet stream
// from the server, fed whole and byte by byte.
class tst_NetworkCodec : public QObject
{
    Q_OBJECT

private slots:
    void address_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("result"); // the url, or a piece of why not
        QTest::newRow("name") << "rfc2217://host.example:2000"
                              << "rfc2217://host.example:2000";
        QTest::newRow("upper case, slash") << " TCP://10.0.0.5:4001/ "
                                           << "tcp://10.0.0.5:4001";
        QTest::newRow("IPv6") << "rfc2217://[fe80::1]:7000"
                              << "rfc2217://[fe80::1]:7000";
        QTest::newRow("IPv6 bare") << "rfc2217://::1:7000"
                                   << "must be written in brackets";
        QTest::newRow("IPv4 in brackets") << "tcp://[1.2.3.4]:1"
                                          << "brackets must hold an IPv6";
        QTest::newRow("scheme") << "telnet://h:1"
                                << "the scheme telnet:// is not known";
        QTest::newRow("device") << "/dev/ttyUSB0"
                                << "is not a network address";
        QTest::newRow("no port") << "tcp://h"
                                 << "port number is missing";
        QTest::newRow("port 0") << "tcp://h:0"
                                << "\"0\" is not a TCP port number";
        QTest::newRow("port too big") << "tcp://h:65536"
                                      << "\"65536\" is not a TCP port number";
        QTest::newRow("no host") << "tcp://:1"
                                 << "\"\" is not a host name";
        QTest::newRow("path") << "tcp://h:1/x"
                              << "only HOST:PORT";
        QTest::newRow("password") << "tcp://user:secret@h:1"
                                  << "user names and passwords are not supported";
    }
    void address()
    {
        QFETCH(QString, entry);
        QFETCH(QString, result);
        QString why;
        const std::optional<NetworkAddress> address = NetworkAddress::parse(entry, &why);
        QCOMPARE(address ? address->url() : why.contains(result) ? result : why, result);
        QVERIFY(!why.contains(u"secret"));
    }

    // `asked`: the options are asked for before the bytes come (as once the
    // server has answered our request), or after them, with what that asks
    // for added to the replies.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("answers"); // command:value in hex, each
        QTest::addColumn<QString>("comPort"); // our request: none (no answer), answered, accepted, refused
        QTest::newRow("IAC doubled") << QByteArray("a\xff\xff\xff\xff"
                                                   "b")
                                     << true
                                     << QByteArray("a\xff\xff"
                                                   "b")
                                     << QByteArray() << ""
                                     << "none";
        QTest::newRow("CR NUL as text")
            << QByteArray("\r\0x\r\n\r", 6) << true << QByteArray("\rx\r\n\r") << QByteArray() << ""
            << "none";
        QTest::newRow("CR NUL in binary")
            << QByteArray("\xff\xfb\x00\r\0\r", 6) << true << QByteArray("\r\0\r", 3) << QByteArray() << ""
            << "none";
        QTest::newRow("commands dropped") << QByteArray("a\xff\xf1"
                                                        "b\xff\xf9"
                                                        "c")
                                          << true << QByteArray("abc") << QByteArray() << ""
                                          << "none";
        QTest::newRow("offers refused") << QByteArray("\xff\xfb\x01\xff\xfd\x18\xff\xfd\x03") << true
                                        << QByteArray() << QByteArray("\xff\xfe\x01\xff\xfc\x18") << ""
                                        << "none";
        QTest::newRow("binary withdrawn") << QByteArray("\xff\xfb\x00\xff\xfc\x00\xff\xfc\x00", 9) << true
                                          << QByteArray() << QByteArray("\xff\xfe\x00", 3) << ""
                                          << "none";
        // Refusals of our requests need no reply; a later offer does.
        QTest::newRow("requests refused") << QByteArray("\xff\xfc\x03\xff\xfe\x03\xff\xfb\x03") << true
                                          << QByteArray() << QByteArray("\xff\xfd\x03") << ""
                                          << "none";
        // Offered before we asked: accepted with a reply, and not asked again.
        QTest::newRow("offers before asking")
            << QByteArray("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x2c", 9) << false << QByteArray()
            << QByteArray("\xff\xfd\x00\xff\xfb\x00\xff\xfe\x2c\xff\xfb\x03\xff\xfd\x03", 15) << ""
            << "answered";
        // A raw device's bytes that look like telnet answer nothing.
        QTest::newRow("no answer") << QByteArray("\xff\xfb\x01\xff\xff\xfd\x2c") << false
                                   << QByteArray("\xff\xfd\x2c")
                                   << QByteArray(
                                          "\xff\xfe\x01\xff\xfb\x00\xff\xfd\x00\xff\xfb\x03\xff\xfd\x03", 15)
                                   << ""
                                   << "none";
        QTest::newRow("COM-PORT accepted")
            << QByteArray("\xff\xfd\x2c") << true << QByteArray() << QByteArray() << ""
            << "accepted";
        QTest::newRow("COM-PORT refused")
            << QByteArray("\xff\xfe\x2cz") << true << QByteArray("z") << QByteArray() << ""
            << "refused";
        QTest::newRow("WONT COM-PORT")
            << QByteArray("\xff\xfc\x2c") << true << QByteArray() << QByteArray() << ""
            << "answered";
        QTest::newRow("answers")
            << QByteArray("\xff\xfa\x2c\x65\x00\x00\xff\xff\x00\xff\xf0x\xff\xfa\x2c\x69\x03\xff\xf0", 19)
            << true << QByteArray("x") << QByteArray() << "1:0000ff00 5:03"
            << "none";
        QTest::newRow("notices dropped")
            << QByteArray("\xff\xfa\x2c\x6b\x30\xff\xf0\xff\xfa\x18\x01\xff\xf0y") << true << QByteArray("y")
            << QByteArray() << ""
            << "none";
        QTest::newRow("SE missing") << QByteArray("\xff\xfa\x2c\x66\x07\xff\xfb\x01z") << true
                                    << QByteArray("z") << QByteArray("\xff\xfe\x01") << "2:07"
                                    << "none";
        QTest::newRow("overlong") << QByteArray("\xff\xfa\x2c\x65") + QByteArray(300, 'q') +
                                         QByteArray("\xff\xf0w")
                                  << true << QByteArray("w") << QByteArray() << ""
                                  << "none";
    }
    void decode()
    {
        QFETCH(QByteArray, in);
        QFETCH(bool, asked);
        for (const qsizetype chunk : {in.size(), qsizetype(1)}) {
            TelnetCodec codec;
            QCOMPARE(codec.start(), QByteArray("\xff\xfb\x2c"));
            if (asked) {
                codec.askOptions();
                QCOMPARE(codec.takeReplies(),
                         QByteArray("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x03\xff\xfd\x03", 12));
            }
            QByteArray port, replies;
            QStringList answers;
            for (qsizetype i = 0; i < in.size(); i += chunk) {
                port += codec.decode(in.mid(i, chunk));
                replies += codec.takeReplies();
                for (const TelnetCodec::Answer &a : codec.takeAnswers())
                    answers << QStringLiteral("%1:%2").arg(a.command).arg(
                        QString::fromLatin1(a.value.toHex()));
            }
            if (!asked)
                codec.askOptions();
            QTEST(port, "port");
            QTEST(replies + codec.takeReplies(), "replies");
            QTEST(answers.join(u' '), "answers");
            const char *const states[] = {"answered", "accepted", "refused"};
            QTEST(QString::fromLatin1(codec.answeredComPort() ? states[int(codec.comPort())] : "none"),
                  "comPort");
        }
        QCOMPARE(TelnetCodec::command(TelnetCodec::SetBaudRate, QByteArray("\0\0\xff\0", 4)),
                 QByteArray("\xff\xfa\x2c\x01\x00\x00\xff\xff\x00\xff\xf0", 11));
    }

    // Random data, IAC bytes and all, as a server sends it (IAC doubled,
    // negotiations, other commands and subnegotiations between), cut at
    // random points: exactly the data comes out. Fixed seeds: a failure repeats.
    void decodeRandom()
    {
        for (quint32 seed = 1; seed <= 200; ++seed) {
            QRandomGenerator random(seed);
            const auto bytes = [&random](int most) {
                QByteArray b(random.bounded(most + 1), '\xff');
                for (char &c : b)
                    c = random.bounded(3) ? char(random.bounded(256)) : c;
                return b;
            };
            const auto doubled = [](QByteArray b) { return b.replace("\xff", "\xff\xff"); };
            QByteArray data, stream("\xff\xfb\x00", 3); // binary: CR NUL is data too
            for (int i = 0; i < 40; ++i) {
                const QByteArray piece = bytes(8);
                data += piece;
                stream += doubled(piece) + '\xff';
                const int verb = random.bounded(TelnetCodec::WILL, TelnetCodec::DONT + 1);
                const QByteArray commands[] = {QByteArray(1, char(verb)) + char(1 + random.bounded(255)),
                                               "\xfa" + doubled(bytes(12)) + "\xff\xf0", "\xf1"};
                stream += commands[random.bounded(3)];
            }
            TelnetCodec codec;
            codec.start();
            QByteArray port;
            for (qsizetype at = 0, n = 0; at < stream.size(); at += n)
                port += codec.decode(stream.mid(at, n = random.bounded(1, 24)));
            QVERIFY2(port == data, qPrintable(QStringLiteral("seed %1").arg(seed)));
        }
    }

    // The far port's settings: what is sent, and how the answers read.
    void farSettings_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("flow");
        QTest::addColumn<QString>("answers"); // command:value in hex, each; the server's
        QTest::addColumn<QString>("verdict"); // "!" first: it differs from what was asked
        QTest::newRow("as asked") << "9600,N,8,1" << 0 << "1:00002580 2:08 3:01 4:01 5:01"
                                  << "baud rate 9600, 8 data bits, no parity, 1 stop bit, no flow control";
        QTest::newRow("other values") << "115200,E,7,2" << 2 << "1:00002580 2:07 3:05 4:03 5:03"
                                      << "!baud rate 9600 (not baud rate 115200 as asked), 7 data bits, space "
                                         "parity (not even parity as asked), 1.5 stop bits (not 2 stop bits "
                                         "as asked), RTS/CTS";
        // DTR is answered with SET-CONTROL too; refused or not, it says nothing.
        QTest::newRow("DTR answer, short value") << "300,O,5,1" << 1 << "1:00012c 5:09 2:05 3:02 4:01 5:02"
                                                 << "";
        QTest::newRow("not all answered") << "9600,N,8,1" << 0 << "1:00002580 2:08 3:01 4:01" << "";
    }
    void farSettings()
    {
        QFETCH(QString, settings);
        QFETCH(int, flow);
        QFETCH(QString, answers);
        ComPortSettings far;
        const QByteArray sent =
            far.ask(*LineSettings::parse(settings), *LineSettings::flowControl(flow), true);
        QCOMPARE(sent.count("\xff\xfa\x2c"), 6);
        QVERIFY(sent.endsWith("\xff\xfa\x2c\x05\x08\xff\xf0"));
        QList<TelnetCodec::Answer> list;
        for (const QString &a : answers.split(u' '))
            list.append({quint8(a.section(u':', 0, 0).toInt()), QByteArray::fromHex(a.section(u':', 1).toLatin1())});
        const std::optional<ComPortSettings::Verdict> verdict = far.note(list);
        QTEST(verdict ? (verdict->differs ? "!" : "") + verdict->text : QString(), "verdict");
    }

    // Telnet or raw TCP: decided by the server's answer to our request alone.
    void serverStream_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out"); // while held, then what release() hands over
        QTest::addColumn<bool>("telnet");
        QTest::newRow("raw TCP") << false << QByteArray("\xff\xfd\x2cx") << QByteArray("|\xff\xfd\x2cx") << false;
        QTest::newRow("looks like telnet, never answers")
            << true << QByteArray("a\xff\xff\xff\xfb\x01") << QByteArray("|a\xff\xff\xff\xfb\x01") << false;
        QTest::newRow("answers")
            << true << QByteArray("a\xff\xff\xff\xfd\x2c\xff\xfb\x01") << QByteArray("|a\xff") << true;
    }
    void serverStream()
    {
        QFETCH(bool, rfc2217);
        QFETCH(QByteArray, in);
        ServerStream stream;
        QCOMPARE(stream.start(rfc2217), rfc2217 ? QByteArray("\xff\xfb\x2c") : QByteArray());
        QByteArray out;
        for (const char c : in)
            out += stream.take(QByteArray(1, c));
        out += '|' + stream.release(false);
        QTEST(out, "out");
        QTEST(stream.kind() == ServerStream::Kind::Telnet, "telnet");
        QCOMPARE(stream.take("\xff\xff"), stream.kind() == ServerStream::Kind::Telnet ? "\xff" : "\xff\xff");
    }
};

QTEST_GUILESS_MAIN(tst_NetworkCodec)
#include "tst_NetworkCodec.moc"
