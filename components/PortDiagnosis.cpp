#include "components/PortDiagnosis.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace {

#ifdef Q_OS_UNIX

bool isAlive(qint64 pid)
{
    // EPERM: the process exists but belongs to another user.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The process id in a lock file: Qt's and the ASCII UUCP format start with
// it as text on the first line; the old binary format is four bytes.
qint64 lockFilePid(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray content = file.read(128);
    bool ok = false;
    const qint64 pid = content.left(content.indexOf('\n')).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (content.size() == 4) {
        qint32 binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        return binary;
    }
    return 0;
}

qint64 lockHolder(const QString &device)
{
    // QSerialPort names the lock after the path below /dev with '/' made
    // '_' ("LCK..pts_3"); other programs use the base name ("LCK..ttyUSB0").
    QString below = device;
    if (below.startsWith(QLatin1String("/dev/")))
        below.remove(0, 5);
    below.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList names{QStringLiteral("LCK..") + below};
    const QString base = QStringLiteral("LCK..") + QFileInfo(device).fileName();
    if (!names.contains(base))
        names.append(base);
    QStringList dirs;
    for (const char *dir : {"/var/lock", "/run/lock"}) {
        const QString canonical = QFileInfo(QLatin1String(dir)).canonicalFilePath();
        if (!canonical.isEmpty() && !dirs.contains(canonical))
            dirs.append(canonical);
    }
    for (const QString &dir : dirs) {
        for (const QString &name : names) {
            const qint64 pid = lockFilePid(dir + QLatin1Char('/') + name);
            if (isAlive(pid))
                return pid;
        }
    }
    return 0;
}

// Another process with a descriptor on the device. Only processes this user
// may look into are seen, which is all of them for root.
qint64 descriptorHolder(const QString &device)
{
    const QByteArray target = QFile::encodeName(device);
    const pid_t self = ::getpid();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return 0;
    qint64 found = 0;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        bool ok = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&ok);
        if (!ok || pid == self)
            continue;
        const QByteArray fdDir = "/proc/" + QByteArray(entry->d_name) + "/fd";
        DIR *fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        while (const dirent *fd = ::readdir(fds)) {
            char link[4096];
            const QByteArray path = fdDir + '/' + fd->d_name;
            const ssize_t n = ::readlink(path.constData(), link, sizeof link);
            if (n > 0 && QByteArray(link, n) == target) {
                found = pid;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// Whether the group database lists `user` in group `gid` (as primary or
// supplementary group), which this login may not have yet.
bool groupListsUser(const QByteArray &user, gid_t primary, gid_t gid)
{
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(user.constData(), primary, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        if (::getgrouplist(user.constData(), primary, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(size_t(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

bool loginHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    groups.resize(static_cast<size_t>(qMax(::getgroups(count, groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

void addPermissionFacts(PortDiagnosis::Facts *facts)
{
    const passwd *pw = ::getpwuid(::geteuid());
    const QByteArray user = pw ? QByteArray(pw->pw_name) : qgetenv("USER");
    const gid_t primary = pw ? pw->pw_gid : ::getegid();
    facts->user = QString::fromLocal8Bit(user);
    struct stat st = {};
    if (::stat(QFile::encodeName(facts->device).constData(), &st) != 0)
        return;
    if (const group *gr = ::getgrgid(st.st_gid))
        facts->group = QString::fromLocal8Bit(gr->gr_name);
    facts->groupMayOpen = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    facts->inGroupAfterLogin =
        !user.isEmpty() && groupListsUser(user, primary, st.st_gid) && !loginHasGroup(st.st_gid);
}

#endif // Q_OS_UNIX

} // namespace

QString PortDiagnosis::describe(const Facts &facts)
{
    const QString &device = facts.device;
    switch (facts.kind) {
    case Kind::NoDevice:
        if (facts.port > 0)
            return tr("COM%1: no device at %2").arg(facts.port).arg(device);
        return tr("%1: no such device").arg(device);
    case Kind::PermissionDenied:
        // Joining a group helps only when the device lets its group in; the
        // superuser's group is no group to join.
        if (facts.group.isEmpty() || !facts.groupMayOpen || facts.group == QLatin1String("root"))
            return tr("%1: permission denied").arg(device);
        if (facts.inGroupAfterLogin)
            return tr("%1: permission denied; log in again to join group %2").arg(device, facts.group);
        if (facts.user.isEmpty())
            return tr("%1: permission denied; join group %2, then log in again").arg(device, facts.group);
        return tr("%1: permission denied; run 'sudo usermod -aG %2 %3', then log in again")
            .arg(device, facts.group, facts.user);
    case Kind::InUse:
        if (facts.heldByThisProcess)
            return tr("%1 is in use by another session").arg(device);
        if (facts.holderPid > 0 && !facts.holder.isEmpty())
            return tr("%1 is in use by %2 (process %3)").arg(device, facts.holder).arg(facts.holderPid);
        if (facts.holderPid > 0)
            return tr("%1 is in use by process %2").arg(device).arg(facts.holderPid);
        return tr("%1 is in use by another program").arg(device);
    case Kind::NotSerial:
        return tr("%1: not a serial device").arg(device);
    case Kind::UnsupportedSetting:
        return tr("%1: unsupported setting").arg(device);
    case Kind::Other:
        break;
    }
    // An empty text (or Qt's "Unknown error" when it recorded none) says nothing.
    if (facts.systemText.isEmpty())
        return tr("%1: could not be opened").arg(device);
    return tr("%1: %2").arg(device, facts.systemText);
}

PortDiagnosis::Kind PortDiagnosis::classify(QSerialPort::SerialPortError error, const QString &errorString)
{
    // QSerialPort gives the system's text for the errno of the call that
    // failed; compare with the same text rather than with English words, so
    // that a translated system still gets the right kind.
    const auto is = [&errorString](int code) { return errorString == qt_error_string(code); };
    if (is(EBUSY))
        return Kind::InUse;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return Kind::NoDevice;
    case QSerialPort::PermissionError:
        // Besides a refused open, QSerialPort reports a lock file held by
        // another process as a permission error, in words of its own.
        return is(EACCES) || is(EPERM) ? Kind::PermissionDenied : Kind::InUse;
    case QSerialPort::UnsupportedOperationError:
        // The terminal ioctls fail on anything but a terminal; any other
        // refusal at open is the device rejecting the line settings.
        return is(ENOTTY) ? Kind::NotSerial : Kind::UnsupportedSetting;
    default:
        return is(EISDIR) || is(ENOTTY) ? Kind::NotSerial : Kind::Other;
    }
}

PortDiagnosis::Facts PortDiagnosis::examine(QSerialPort::SerialPortError error, const QString &errorString,
                                            const QString &device)
{
    Facts facts;
    facts.kind = classify(error, errorString);
    facts.device = device;
    if (facts.kind == Kind::Other && error != QSerialPort::NoError)
        facts.systemText = errorString;
#ifdef Q_OS_UNIX
    if (facts.kind == Kind::PermissionDenied) {
        addPermissionFacts(&facts);
    } else if (facts.kind == Kind::InUse) {
        const Holder holder = findHolder(device);
        facts.heldByThisProcess = holder.pid == QCoreApplication::applicationPid();
        facts.holder = holder.name;
        facts.holderPid = holder.pid;
    }
#endif
    return facts;
}

PortDiagnosis::Holder PortDiagnosis::findHolder(const QString &device)
{
    Holder holder;
#ifdef Q_OS_UNIX
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString path = canonical.isEmpty() ? device : canonical;
    holder.pid = lockHolder(path);
    if (holder.pid == 0)
        holder.pid = descriptorHolder(path);
    if (holder.pid != 0)
        holder.name = programName(holder.pid);
#else
    Q_UNUSED(device);
#endif
    return holder;
}
