#include "tests/support/Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    int slave = -1;
    if (openpty(&m_master, &slave, name, &raw, nullptr) != 0) {
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // The slave is closed again: a component must be able to take the
    // device exclusively. The master keeps the pair alive.
    ::close(slave);
}

Pty::~Pty()
{
    closeMaster();
}

bool Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(60000);
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        // The kernel buffer is full: let the reader (on this thread) drain it.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 5);
    }
    return true;
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool Pty::waitQueuedAtSlave(qsizetype count, int timeoutMs) const
{
    const int fd =
        ::open(m_slavePath.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    QDeadlineTimer deadline(timeoutMs);
    bool queued = false;
    while (!queued && !deadline.hasExpired()) {
        int waiting = 0;
        if (::ioctl(fd, FIONREAD, &waiting) != 0)
            break;
        queued = waiting >= count;
        if (!queued)
            ::poll(nullptr, 0, 1); // the kernel moves written bytes across shortly
    }
    ::close(fd);
    return queued;
}
