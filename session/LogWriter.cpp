#include "session/LogWriter.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LogWriter::~LogWriter()
{
    close();
}

bool LogWriter::namesOpenFile(const QString &path) const
{
    // One stat per batch: far cheaper than the open, lock and close it saves.
    struct stat named = {};
    return m_fd >= 0 && path == m_path && ::stat(m_name.constData(), &named) == 0 &&
           named.st_dev == m_device && named.st_ino == m_inode;
}

bool LogWriter::open(const QString &path)
{
    if (namesOpenFile(path))
        return true;
    close();
    m_error.clear();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no log file named");
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }

    // Others may read the file meanwhile, but not write it.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int err = errno;
        if (err == EAGAIN || err == EACCES) {
            ::close(fd);
            m_error = QStringLiteral("in use by another program");
            return false;
        }
        // A file system without such locks (some network shares): write anyway.
    }
    struct stat opened = {};
    if (::fstat(fd, &opened) == 0) {
        m_device = opened.st_dev;
        m_inode = opened.st_ino;
    }
    m_fd = fd;
    m_path = path;
    m_name = name;
    return true;
}

qsizetype LogWriter::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return 0;
    // O_APPEND puts every write at the end as it is now: a file truncated
    // meanwhile goes on at its new end, without a hole.
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            m_error =
                n < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("nothing written");
            break;
        }
    }
    return done;
}

void LogWriter::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing also releases the lock
    m_fd = -1;
}
