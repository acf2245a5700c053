#include "common/Globals.h"
#include "components/NetworkSerialComponent.h"
#include "resources/ResourceText.h"
#include "session/ErrorReport.h"
#include "session/SerialSession.h"
#include "tests/support/Files.h"
#include "tests/support/Ser2net.h"
#include "tests/support/TestEnv.h"

#include <QTest>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <unistd.h>

using Activation = SerialSession::Activation;

// Sessions on ports of another machine, against a real ser2net serving
// pseudo-terminals: bytes, line settings, a restarted server, failures.
class tst_NetworkPort : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    Ser2net m_server;
    SilentServer m_silent;

    std::unique_ptr<SerialSession> session(const QString &entry, const QString &log)
    {
        m_env.mapPort(5, entry);
        auto s = std::make_unique<SerialSession>();
        s->setPortName(QStringLiteral("COM5"));
        s->setLogFile(log);
        return s;
    }
    static QString errorLog() { return QString::fromUtf8(readFile(ErrorReport::logPath())); }

private slots:
    void initTestCase()
    {
        setLanguageOverride(Language::English);
        Globals::LogErrorsToFile = 1;
        QVERIFY(m_server.start());
    }

    // Every byte value, runs of 0xFF and CR NUL pairs, through telnet (where
    // they are escaped) and raw; and a telnet client facing a raw server,
    // whose first bytes look like a telnet negotiation: they are logged as
    // they came, and the far device receives nothing but our request.
    void bytesExact_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QByteArray>("request"); // what the far device may receive
        QTest::newRow("rfc2217") << "rfc2217" << int(m_server.rfcPort) << "runs with baud rate 9600"
                                 << QByteArray();
        QTest::newRow("tcp") << "tcp" << int(m_server.rawPort) << "is raw TCP" << QByteArray();
        QTest::newRow("rfc2217 on a raw server")
            << "rfc2217" << int(m_server.rawPort) << "does not speak RFC 2217" << QByteArray("\xff\xfb\x2c");
        QTest::newRow("rfc2217 on telnet")
            << "rfc2217" << int(m_server.telnetPort) << "refuses the COM-PORT-OPTION" << QByteArray();
    }
    void bytesExact()
    {
        QFETCH(QString, scheme);
        QFETCH(int, server);
        QFETCH(QString, notice);
        QFETCH(QByteArray, request);
        const QByteArray early(
            "\xff\xfb\x01\xff\xfd\x03\xff\xfb\x00\xff\xfd\x18\xff\xfa\x1f\x00\x50\xff\xf0\xff\xff", 21);
        QByteArray sent;
        for (int i = 0; i < 256; ++i)
            sent += char(i);
        sent += QByteArray(300, '\xff') + QByteArray("\r\0\r\0\r\n\0\xff\r", 10).repeated(40) + sent;
        const QString log = m_env.filePath(QTest::currentDataTag());
        auto s = session(scheme + QStringLiteral("://127.0.0.1:%1").arg(server), log);
        int notices = 0;
        connect(s.get(), &SerialSession::commEvent, this,
                [&](SerialComponent::CommEvent event) { notices += event == SerialComponent::CommEvent::Notice; });
        Pty &pty = server == m_server.rfcPort ? m_server.rfcPty : m_server.rawPty;
        char received[4096];
        while (::read(pty.masterFd(), received, sizeof received) > 0) {
        }
        QVERIFY(Ser2net::opens(
            pty, [&] { return s->activate(5, QStringLiteral("9600,N,8,1"), 0) == Activation::Opened; }));
        QVERIFY(pty.write(early));
        QTRY_VERIFY_WITH_TIMEOUT(s->statusDetail().contains(notice), 30000);
        QVERIFY(pty.write(sent));
        sent.prepend(early);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log).size(), sent.size(), 30000);
        QCOMPARE(readFile(log), sent);
        const ssize_t n = ::read(pty.masterFd(), received, sizeof received);
        QVERIFY(request.startsWith(QByteArray(received, qMax<ssize_t>(n, 0))));
        QCOMPARE(notices, 1);
    }

    // The settings of an activated session reach the far port; what a
    // pseudo-terminal cannot keep comes back in the server's answers.
    void settingsReachFarPort_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("flow");
        QTest::addColumn<int>("speed");
        QTest::addColumn<tcflag_t>("cflags");
        QTest::addColumn<tcflag_t>("iflags");
        QTest::addColumn<QString>("answered");
        QTest::newRow("19200,O,8,2 RTS/CTS")
            << "19200,O,8,2" << 2 << int(B19200) << tcflag_t(CSTOPB | CRTSCTS | PARODD) << tcflag_t(0)
            << "8 data bits, odd parity, 2 stop bits, RTS/CTS";
        QTest::newRow("14400,N,7,1 XON/XOFF")
            << "14400,N,7,1" << 1
            << int(CBAUDEX) /* BOTHER: a speed without its own constant */ << tcflag_t(0) << tcflag_t(IXON)
            << "7 data bits, no parity, 1 stop bit, XON/XOFF";
        QTest::newRow("38400,E,8,1 Opto-RS") << "38400,E,8,1" << 3 << int(B38400) << tcflag_t(CRTSCTS)
                                             << tcflag_t(0) << "8 data bits, even parity";
    }
    void settingsReachFarPort()
    {
        QFETCH(QString, settings);
        QFETCH(int, flow);
        QFETCH(int, speed);
        QFETCH(tcflag_t, cflags);
        QFETCH(tcflag_t, iflags);
        QFETCH(QString, answered);
        auto s = session(m_server.url(true), m_env.filePath(QStringLiteral("settings.log")));
        QCOMPARE(s->activate(5, settings, flow), Activation::Opened);
        QTRY_COMPARE_WITH_TIMEOUT(Ser2net::speedOf(m_server.rfcPty), speed, 30000);
        const termios t = Ser2net::settingsOf(m_server.rfcPty);
        QCOMPARE(t.c_cflag & (CSTOPB | CRTSCTS | PARODD), cflags);
        QCOMPARE(t.c_iflag & IXON, iflags);
        QTRY_VERIFY_WITH_TIMEOUT(s->statusDetail().contains(answered), 30000);
    }

    // The server goes and comes back: the session waits, reconnects, sends
    // its settings again and logs on, the bytes from before the loss first.
    void serverRestarts()
    {
        const QString log = m_env.filePath(QStringLiteral("restart.log"));
        auto s = session(m_server.url(true), log);
        QVERIFY(Ser2net::opens(m_server.rfcPty, [&] {
            return s->activate(5, QStringLiteral("19200,N,8,1"), 0) == Activation::Opened;
        }));
        QVERIFY(m_server.rfcPty.write("before"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("before"), 30000);
        m_server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(s->status().contains(u"the connection was closed; waiting"), 30000);
        QVERIFY(s->serial()->portOpen());
        QVERIFY(Ser2net::opens(m_server.rfcPty, [this] { return m_server.start(); }));
        QTRY_COMPARE_WITH_TIMEOUT(Ser2net::speedOf(m_server.rfcPty), int(B19200), 30000);
        QVERIFY(m_server.rfcPty.write("after"));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(log), QByteArray("beforeafter"), 30000);
    }

    // A port held by another client: the server's refusal is told, and
    // its words never reach the log.
    void portInUse()
    {
        auto first = session(m_server.url(false), m_env.filePath(QStringLiteral("first.log")));
        QCOMPARE(first->activate(5, QStringLiteral("9600,N,8,1"), 0), Activation::Opened);
        const QString log = m_env.filePath(QStringLiteral("second.log"));
        auto second = session(m_server.url(false), log);
        QCOMPARE(second->activate(5, QStringLiteral("9600,N,8,1"), 0), Activation::Opened);
        QTRY_VERIFY_WITH_TIMEOUT(second->status().contains(u"may be in use by another client"), 30000);
        first.reset();
        // The server opens the device anew for the second client: bytes come
        // through from some moment on, and nothing else does.
        QVERIFY(QTest::qWaitFor([&] { return m_server.rawPty.write("mine") && !readFile(log).isEmpty(); },
                                30000));
        const QByteArray logged = readFile(log);
        QVERIFY2(QByteArray("mine").repeated(logged.size() / 4 + 1).startsWith(logged), logged.constData());
    }

    // ser2net takes every setting; a server that answers other values (a
    // device server without 7 data bits) is played here.
    void answerDiffers()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray received;
        connect(&server, &QTcpServer::newConnection, this, [&server, &received] {
            QTcpSocket *c = server.nextPendingConnection();
            c->write("\xff\xfd\x2c"); // DO COM-PORT-OPTION
            connect(c, &QTcpSocket::readyRead, c, [c, &received] {
                const QByteArray bytes = c->readAll();
                received += bytes;
                if (bytes.contains("\xff\xfa\x2c\x05"))
                    c->write(QByteArray::fromHex("fffa2c6500004b00fff0"
                                                 "fffa2c6608fff0"
                                                 "fffa2c6703fff0"
                                                 "fffa2c6801fff0"
                                                 "fffa2c6901fff0"));
            });
        });
        auto s = session(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort()),
                         m_env.filePath(QStringLiteral("differs.log")));
        QCOMPARE(s->activate(5, QStringLiteral("19200,E,7,1"), 0), Activation::Opened);
        const QString expected = u"baud rate 19200, 8 data bits (not 7 data bits as asked), even parity"_qs;
        QTRY_VERIFY_WITH_TIMEOUT(s->statusDetail().contains(expected), 30000);
        QVERIFY(errorLog().contains(expected));
        // Our request first; BINARY and SUPPRESS-GO-AHEAD only once answered.
        QVERIFY(received.startsWith(QByteArray::fromHex("fffb2c"
                                                        "fffb00fffd00fffb03fffd03")));
    }

    // A port that cannot be reached: the activation returns at once with the
    // port connecting, a local port logs meanwhile, the reason follows, and
    // it is reported once however often it is tried, by itself or activated
    // anew (as the service does). An unparsable address fails at once.
    void failures_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Activation>("outcome");
        QTest::addColumn<QString>("why");
        QTest::newRow("refused") << QStringLiteral("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort())
                                 << Activation::Opened
                                 << "the connection was refused; nothing listens on port";
        QTest::newRow("unknown host")
            << "tcp://no-such-host.invalid:2000" << Activation::Opened
            << "the host no-such-host.invalid was not found; still trying to connect";
        QTest::newRow("never accepts") << QStringLiteral("tcp://127.0.0.1:%1").arg(m_silent.port)
                                       << Activation::Opened << "did not answer within 5 s; still trying";
        QTest::newRow("unparsable") << "rfc2217://[::1:2000" << Activation::Failed
                                    << "the brackets must hold an IPv6 address";
    }
    void failures()
    {
        QFETCH(QString, entry);
        QFETCH(Activation, outcome);
        QFETCH(QString, why);
        QFile::remove(ErrorReport::logPath());
        Pty pty;
        m_env.mapPort(6, pty.slavePath());
        SerialSession local;
        local.setLogFile(m_env.filePath(QStringLiteral("local.log")));
        QFile::remove(local.logFile());
        auto s = session(entry, m_env.filePath(QStringLiteral("failed.log")));
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(s->activate(5, QStringLiteral("9600,N,8,1"), 0), outcome);
            if (outcome == Activation::Opened)
                QCOMPARE(s->status() + s->statusDetail(), QStringLiteral("Status: Connecting") + entry);
            if (round == 0) {
                QCOMPARE(local.activate(6, QStringLiteral("9600,N,8,1"), 0), Activation::Opened);
                // A host that never answers keeps the port connecting for
                // seconds, all without holding up the local port.
                for (const QByteArray &sent : {QByteArray("local"), QByteArray("local, again")}) {
                    QVERIFY(pty.write(sent.mid(readFile(local.logFile()).size())));
                    QTRY_COMPARE_WITH_TIMEOUT(readFile(local.logFile()), sent, 30000);
                    QVERIFY(s->status().contains(outcome == Activation::Opened ? u"Connecting"_qs : why) ||
                            (!why.startsWith(u"did not answer") && s->status().endsWith(u"still trying to connect")));
                }
            }
            QTRY_VERIFY2_WITH_TIMEOUT(s->status().contains(why), qPrintable(s->status()), 30000);
        }
        const QString line =
            QStringLiteral("Ombrix Error: COM5, ") + s->status().section(u" - "_qs, 2) + u", "_qs;
        QVERIFY2(errorLog().startsWith(line) && errorLog().count(u"Ombrix Error") == 1,
                 qPrintable(errorLog()));
    }

    // However often a port fails the same way it is reported once; working
    // again, then failing, is news each time.
    void reportsOncePerChange()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int tries = 0;
        bool keep = false;
        QList<QTcpSocket *> kept;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *c = server.nextPendingConnection()) {
                ++tries;
                keep ? kept.append(c) : c->close(); // as a server whose port is in use
            }
        });
        QFile::remove(ErrorReport::logPath());
        const QString log = m_env.filePath(QStringLiteral("recovers.log"));
        auto s = session(QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()), log);
        s->serial()->findChild<NetworkSerialComponent *>()->setRetryInterval(1);
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(s->activate(5, QStringLiteral("9600,N,8,1"), 0), Activation::Opened);
            const int before = tries;
            QTRY_VERIFY_WITH_TIMEOUT(tries >= before + 5, 30000);
        }
        QCOMPARE(errorLog().count(u"Ombrix Error: COM5, "), 1);
        QVERIFY(errorLog().contains(u"may be in use by another client"));
        keep = true;
        QByteArray sent;
        for (int drop = 1; drop <= 2; ++drop) {
            QTRY_COMPARE_WITH_TIMEOUT(s->status(), QStringLiteral("Status: Open"), 30000);
            QTRY_COMPARE_WITH_TIMEOUT(kept.size(), 1, 30000);
            // Bytes sent just before a drop are in the log when the drop is told.
            for (const QByteArray &bytes : {QByteArray("first "), QByteArray("just before the drop ")}) {
                QVERIFY(kept[0]->write(bytes) == bytes.size() && kept[0]->flush());
                sent += bytes;
                if (bytes.startsWith("first"))
                    QTRY_COMPARE_WITH_TIMEOUT(readFile(log), sent, 30000);
            }
            std::exchange(kept, {})[0]->close();
            QTRY_COMPARE_WITH_TIMEOUT(errorLog().count(u"the connection was closed; waiting"), drop, 30000);
            QCOMPARE(readFile(log), sent);
        }
        QCOMPARE(errorLog().count(u"Ombrix Error: COM5, "), 3);
    }

    // A receiver that closes the port when it starts to work still gets
    // the bytes the server sent first, with the close.
    void closedWhenOpened()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this,
                [&] { server.nextPendingConnection()->write("first bytes"); });
        m_env.mapPort(7, QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
        NetworkSerialComponent port;
        QByteArray bytes;
        connect(&port, &SerialComponent::OnComm, this, [&](SerialComponent::CommEvent event) {
            if (event == SerialComponent::CommEvent::Opened)
                port.setPortOpen(false);
            else if (event == SerialComponent::CommEvent::Receive)
                bytes += port.input();
        });
        port.setCommPort(7);
        port.setPortOpen(true);
        QTRY_VERIFY_WITH_TIMEOUT(!port.portOpen(), 30000);
        QCOMPARE(bytes, QByteArray("first bytes"));
    }

    // A raw server behind rfc2217:// whose first bytes are a whole telnet
    // negotiation: they are logged as they came, the server receives nothing
    // but our request, and a close takes the bytes the socket has not read.
    void rawServerBehindRfc2217()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray first = QByteArray::fromHex("fffb01fffb03fffd18fffd1ffffa1800fff0ffff0d00fffe01");
        QTcpSocket *far = nullptr;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            far = server.nextPendingConnection();
            far->write(first);
        });
        const QString log = m_env.filePath(QStringLiteral("raw.log"));
        auto s = session(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort()), log);
        QCOMPARE(s->activate(5, QStringLiteral("9600,N,8,1"), 0), Activation::Opened);
        QTRY_VERIFY_WITH_TIMEOUT(s->statusDetail().contains(u"does not speak RFC 2217"), 30000);
        QCOMPARE(readFile(log), first);
        QCOMPARE(far->readAll(), QByteArray("\xff\xfb\x2c"));
        QVERIFY(far->write("last") == 4 && far->flush());
        // Without running the event loop: they are ours once acknowledged.
        int unacknowledged = 4;
        for (QDeadlineTimer d(30000); unacknowledged > 0 && !d.hasExpired();)
            ::ioctl(int(far->socketDescriptor()), SIOCOUTQ, &unacknowledged);
        s->deactivate();
        QCOMPARE(readFile(log), first + "last");
    }
};

QTEST_GUILESS_MAIN(tst_NetworkPort)
#include "tst_NetworkPort.moc"
