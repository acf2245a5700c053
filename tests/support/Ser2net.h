#pragma once

#include "tests/support/Pty.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

// A real ser2net on 127.0.0.1, started by the test on free ports: `rfcPort`
// accepts telnet with RFC 2217 and `rawPort` plain TCP, each serving a
// pseudo-terminal of its own; `telnetPort` is telnet without RFC 2217 on
// the raw port's terminal.
class Ser2net
{
public:
    Pty rfcPty, rawPty;
    const quint16 rfcPort = freePort(), rawPort = freePort(), telnetPort = freePort();

    Ser2net()
    {
        QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral("%YAML 1.1\n---\n"
                                        "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                        "  connector: serialdev,%2,9600n81,local\n"
                                        "connection: &raw\n  accepter: tcp,127.0.0.1,%3\n"
                                        "  connector: serialdev,%4,9600n81,local\n"
                                        "connection: &telnet\n  accepter: telnet,tcp,127.0.0.1,%5\n"
                                        "  connector: serialdev,%4,9600n81,local\n")
                             .arg(rfcPort)
                             .arg(rfcPty.slavePath())
                             .arg(rawPort)
                             .arg(rawPty.slavePath())
                             .arg(telnetPort)
                             .toUtf8());
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("out")));
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("err")));
    }
    ~Ser2net() { stop(); }

    // Starts it and waits until both ports listen.
    bool start()
    {
        m_process.start(QStringLiteral("ser2net"),
                        {QStringLiteral("-n"), QStringLiteral("-c"),
                         m_dir.filePath(QStringLiteral("ser2net.yaml")), QStringLiteral("-P"),
                         m_dir.filePath(QStringLiteral("pid"))});
        return m_process.waitForStarted(30000) &&
               QTest::qWaitFor([this] { return listening(rfcPort) && listening(rawPort); }, 30000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(30000);
    }
    QString url(bool rfc2217) const
    {
        return rfc2217 ? QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort)
                       : QStringLiteral("tcp://localhost:%1").arg(rawPort);
    }

    // The pseudo-terminal's line settings as the far port has them.
    static termios settingsOf(const Pty &pty)
    {
        termios t = {};
        tcgetattr(pty.masterFd(), &t);
        return t;
    }
    // Sets the pseudo-terminal to 1200 baud, runs `open` and waits until the
    // server has opened the device: it sets its own or the asked speed then.
    template<class Open> static bool opens(const Pty &pty, Open open)
    {
        termios t = settingsOf(pty);
        cfsetspeed(&t, B1200);
        tcsetattr(pty.masterFd(), TCSANOW, &t);
        return open() && QTest::qWaitFor([&pty] { return speedOf(pty) != int(B1200); }, 30000);
    }
    static int speedOf(const Pty &pty)
    {
        const termios t = settingsOf(pty);
        return int(cfgetospeed(&t));
    }

    static quint16 freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        return server.serverPort();
    }

private:
    // A port someone listens on cannot be bound again; nothing connects to it.
    static bool listening(quint16 port)
    {
        QTcpServer probe;
        return !probe.listen(QHostAddress::LocalHost, port);
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};
