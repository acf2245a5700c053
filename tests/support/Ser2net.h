#pragma once

#include "tests/support/Pty.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

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

// A server that never answers a connect, as a host that is down: it listens
// with no room in its queue and fills that with a client it never accepts,
// so that the kernel drops every further connection request.
class SilentServer
{
public:
    quint16 port = 0;

    SilentServer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const auto *a = reinterpret_cast<sockaddr *>(&address);
        m_fds[0] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(m_fds[0], a, size);
        ::listen(m_fds[0], 0);
        ::getsockname(m_fds[0], reinterpret_cast<sockaddr *>(&address), &size);
        port = ntohs(address.sin_port);
        // The first filler completes at once and takes the queue; a second
        // one only makes sure.
        m_fds[1] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(m_fds[1], a, size);
        m_fds[2] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(m_fds[2], a, size);
    }
    ~SilentServer()
    {
        for (const int fd : m_fds)
            ::close(fd);
    }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

private:
    int m_fds[3] = {-1, -1, -1};
};
