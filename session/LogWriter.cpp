#include "session/LogWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>

#include <algorithm>
#include <unordered_map>
#endif

#ifdef Q_OS_LINUX
namespace {

// Tells whether anything happened to an open log or a directory on its path
// that may have changed what the path names: renamed, deleted, replaced (the
// old file loses a link), or a directory renamed or deleted. The kernel records
// such a change as it happens, so asking before each batch is as exact as
// a stat of the path, without walking the path at every batch: a read of
// one descriptor that finds nothing. A stat decides when something came.
class LogWatch
{
public:
    static LogWatch &instance()
    {
        static LogWatch watch;
        return watch;
    }
    LogWatch(const LogWatch &) = delete;
    LogWatch &operator=(const LogWatch &) = delete;

    // A watch on `name` (file or directory), or -1 when there can be none.
    int add(const QByteArray &name, uint32_t mask)
    {
        const int wd = m_fd < 0 ? -1 : inotify_add_watch(m_fd, name.constData(), mask);
        if (wd >= 0)
            ++m_watches[wd].users;
        return wd;
    }
    void remove(int wd)
    {
        const auto found = m_watches.find(wd);
        if (found == m_watches.end() || --found->second.users > 0)
            return;
        m_watches.erase(found);
        inotify_rm_watch(m_fd, wd);
    }
    // How many changes `wd` has seen, as of the last update(): a count that
    // moved means a change.
    quint64 changes(int wd) const
    {
        const auto found = m_watches.find(wd);
        return found == m_watches.end() ? 0 : found->second.changes;
    }
    // All changes of all watches: most batches need look no further.
    quint64 total() const { return m_total; }
    // Takes in what the kernel noted since the last update.
    void update()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return; // nothing (more) pending
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                const auto found = m_watches.find(event->wd);
                if (found != m_watches.end()) {
                    ++found->second.changes;
                    ++m_total;
                }
            }
        }
    }

private:
    LogWatch()
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {}
    ~LogWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    struct Watch
    {
        int users = 0;
        quint64 changes = 0;
    };
    int m_fd;
    std::unordered_map<int, Watch> m_watches;
    quint64 m_total = 0;
};

constexpr uint32_t fileChanges = IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
constexpr uint32_t directoryChanges = IN_MOVE_SELF | IN_DELETE_SELF;

} // namespace
#endif

LogWriter::~LogWriter()
{
    close();
}

bool LogWriter::namesOpenFile(const QString &path)
{
    if (m_fd < 0 || path != m_path)
        return false;
#ifdef Q_OS_LINUX
    if (!m_watches.empty()) {
        LogWatch &watch = LogWatch::instance();
        watch.update();
        if (watch.total() == m_totalSeen)
            return true;
        m_totalSeen = watch.total();
        const quint64 changes = changeCount();
        if (changes == m_changesSeen)
            return true; // notes on other logs
        m_changesSeen = changes;
    }
#endif
    return pathNamesFile();
}

bool LogWriter::pathNamesFile() const
{
    struct stat named = {};
    return ::stat(m_name.constData(), &named) == 0 && named.st_dev == m_device && named.st_ino == m_inode;
}

void LogWriter::watch()
{
#ifdef Q_OS_LINUX
    // The file, and every directory up to the root: a rename anywhere on
    // the path makes it name something else.
    LogWatch &watch = LogWatch::instance();
    m_watches.push_back(watch.add(m_name, fileChanges));
    for (QString dir = QFileInfo(m_path).absolutePath();;) {
        m_watches.push_back(watch.add(QFile::encodeName(dir), directoryChanges));
        const QString up = QFileInfo(dir).path();
        if (up == dir)
            break;
        dir = up;
    }
    if (std::find(m_watches.cbegin(), m_watches.cend(), -1) != m_watches.cend()) {
        unwatch(); // no watch to be had: a stat per batch instead
        return;
    }
    watch.update();
    m_totalSeen = watch.total();
    m_changesSeen = changeCount();
#endif
}

void LogWriter::unwatch()
{
#ifdef Q_OS_LINUX
    for (const int wd : m_watches) {
        if (wd >= 0)
            LogWatch::instance().remove(wd);
    }
    m_watches.clear();
#endif
}

quint64 LogWriter::changeCount() const
{
    quint64 sum = 0;
#ifdef Q_OS_LINUX
    for (const int wd : m_watches)
        sum += LogWatch::instance().changes(wd);
#endif
    return sum;
}

bool LogWriter::open(const QString &path)
{
    return namesOpenFile(path) || openAnew(path, 2);
}

bool LogWriter::openAnew(const QString &path, int retries)
{
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
    // Watched after the open: a file replaced in between is opened anew.
    watch();
    if (pathNamesFile() || retries == 0)
        return true;
    close();
    return openAnew(path, retries - 1);
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
    unwatch();
}
