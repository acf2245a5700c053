#include "components/DeviceWait.h"

#include "components/NetworkAddress.h"
#include "components/PortDiagnosis.h"
#include "components/PortMap.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/stat.h>
#endif

namespace {

// A change in a watched directory comes in bursts (udev makes the node, then
// its links, then sets its group): try once the burst is over.
constexpr int settleMs = 50;

// Identifies a symbolic link itself (not its target), so that a link made
// anew is told from one left as it was; empty when `path` is no link.
QString linkStamp(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    return QStringLiteral("%1:%2.%3")
        .arg(quint64(st.st_ino))
        .arg(qint64(st.st_ctim.tv_sec))
        .arg(qint64(st.st_ctim.tv_nsec));
#else
    Q_UNUSED(path);
    return {};
#endif
}

bool isPseudoTerminal(const QString &device)
{
    return device.startsWith(QLatin1String("/dev/pts/"));
}

QString underDev(const QString &configured)
{
    return QDir(QStringLiteral("/dev")).absoluteFilePath(configured);
}

} // namespace

bool portHungUp(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    pollfd p{int(port.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLNVAL)) != 0;
#else
    Q_UNUSED(port);
    return false;
#endif
}

DeviceWait::DeviceWait(Opener open, QObject *parent)
    : QObject(parent)
    , m_open(std::move(open))
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        tryReopen(true);
        emit retried();
    });
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { tryReopen(false); });
}

DeviceWait::~DeviceWait() = default;

void DeviceWait::setRetryInterval(int ms)
{
    m_retry.setInterval(qMax(ms, 1));
}

void DeviceWait::setDevice(int port, const QString &configured, const QString &device)
{
    m_port = port;
    m_configured = configured;
    m_entryMadeAnew = false;
    m_device = device;
    m_description.clear();
    // The link as it is when the device is opened: a device that goes and
    // comes back before the loss is noticed still comes back through a new one.
    m_linkAtOpen = linkStamp(underDev(configured));
}

QString DeviceWait::awayText() const
{
    return tr("%1: the device is no longer available; waiting for it to return").arg(m_device);
}

void DeviceWait::start()
{
    m_waiting = true;
    m_candidate.clear();
    // An entry changed before the loss counts at the next activation, as
    // for a device still present; changes from now on are followed.
    m_entrySeen = PortMap::devicePath(m_port);
    m_description = awayText();
    m_retry.start();
    watchDirectories();
}

void DeviceWait::stop()
{
    m_waiting = false;
    m_retry.stop();
    m_settle.stop();
    m_watcher.reset();
}

void DeviceWait::watchDirectories()
{
    // The directories that show the device coming back: the configured
    // path's (a by-id link) and the device node's, or the nearest ancestor
    // that exists when a directory went with the device.
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
            watchDirectories();
            m_settle.start();
        });
    }
    QStringList wanted;
    for (const QString &path : {QDir::cleanPath(underDev(m_configured)), m_device}) {
        QFileInfo dir(QFileInfo(path).absolutePath());
        while (!dir.isDir() && !dir.isRoot())
            dir.setFile(dir.absolutePath());
        if (!wanted.contains(dir.absoluteFilePath()))
            wanted.append(dir.absoluteFilePath());
    }
    const QStringList watched = m_watcher->directories();
    for (const QString &dir : watched) {
        if (!wanted.contains(dir))
            m_watcher->removePath(dir);
    }
    for (const QString &dir : std::as_const(wanted)) {
        if (!watched.contains(dir))
            m_watcher->addPath(dir);
    }
}

void DeviceWait::followEntry()
{
    // Read afresh: the map is read again whenever its file changed.
    const QString entry = PortMap::devicePath(m_port);
    if (entry == m_entrySeen)
        return;
    m_entrySeen = entry;
    // A network address is another kind of port: the session takes it up
    // at its next activation.
    if (NetworkAddress::isUrl(entry))
        return;
    // Also when the entry came back to the path it had: a simulator run
    // again may get the pseudo-terminal number of the one before.
    m_configured = entry;
    m_device = PortMap::resolvedPath(entry);
    m_entryMadeAnew = true;
    watchDirectories();
}

void DeviceWait::tryReopen(bool scheduled)
{
    if (!m_waiting)
        return;
    followEntry();
    // A cheap look first: most tries find nothing there.
    const QString path = underDev(m_configured);
    if (!QFileInfo::exists(path)) {
        noteReason(awayText(), scheduled);
        return;
    }
    const QString stamp = linkStamp(path);
    const QString device = PortMap::resolvedPath(m_configured);
    // A pseudo-terminal whose far end closed is gone for good: its number is
    // soon given to another one, quite likely someone's shell, which is not
    // ours to read. One comes back only when the link or the map entry to it
    // is made anew.
    if (isPseudoTerminal(device) && !m_entryMadeAnew && (stamp.isEmpty() || stamp == m_linkAtOpen)) {
        noteReason(awayText(), scheduled);
        return;
    }
    PortDiagnosis::Facts facts;
    facts.device = device;
#ifdef Q_OS_UNIX
    // Only a character device can be the device back; opening anything else
    // (a FIFO, a file left in its place) is no business of ours.
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        facts.kind = PortDiagnosis::Kind::NotSerial;
        noteReason(tr("%1; still trying to reopen it").arg(PortDiagnosis::describe(facts)), scheduled);
        return;
    }
#endif
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString errorString;
    if (m_open(device, &error, &errorString)) {
        stop();
        m_linkAtOpen = stamp;
        m_device = device;
        m_entryMadeAnew = false;
        emit reopened();
        return;
    }
    if (error == QSerialPort::DeviceNotFoundError) {
        noteReason(awayText(), scheduled);
        return;
    }
    facts = PortDiagnosis::examine(error, errorString, device);
    noteReason(tr("%1; still trying to reopen it").arg(PortDiagnosis::describe(facts)), scheduled);
}

void DeviceWait::noteReason(const QString &reason, bool scheduled)
{
    // Tries prompted by a directory change may catch a device half set up
    // (udev has yet to give it its group); only the regular tries, one
    // retry interval apart, may tell of a new reason, and only when two of
    // them in a row agree.
    if (!scheduled)
        return;
    if (reason == m_description) {
        m_candidate.clear();
        return;
    }
    if (reason != m_candidate) {
        m_candidate = reason;
        return;
    }
    m_candidate.clear();
    m_description = reason;
    emit reasonChanged();
}
