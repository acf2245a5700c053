#include "daemon/LoggingService.h"

#include "common/Globals.h"
#include "components/NetworkAddress.h"
#include "components/NetworkSerialComponent.h"
#include "components/PortMap.h"
#include "components/SerialComponent.h"
#include "daemon/PortMetrics.h"
#include "session/ErrorReport.h"
#include "session/SerialSession.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using ProfileSettings::Profile;
using ProfileSettings::RefusedValue;

QString sectionName(int session)
{
    return session == 0 ? QStringLiteral("Ombrix") : QStringLiteral("Session%1").arg(session);
}

QString refusalText(const RefusedValue &r)
{
    return QStringLiteral("[%1] %2=%3 is not a value its list offers")
        .arg(sectionName(r.session), r.key)
        .arg(r.value);
}

bool sessionRefused(const Profile &profile, int number)
{
    return std::any_of(profile.refused.begin(), profile.refused.end(),
                       [number](const RefusedValue &r) { return r.session == number; });
}

// Log paths are taken from the current directory, as the session does.
QString absoluteLogPath(const QString &logFile)
{
    const QString path = logFile.trimmed();
    return path.isEmpty() ? path : QDir::current().absoluteFilePath(path);
}

bool writable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Why bytes could not be appended to `logFile`, or empty when they could.
QString logFileProblem(const QString &logFile)
{
    const QString path = absoluteLogPath(logFile);
    if (path.isEmpty())
        return QStringLiteral("no log file is named");
    const QFileInfo file(path);
    if (file.exists()) {
        if (file.isDir())
            return path + QStringLiteral(" is a directory");
        if (!writable(path))
            return path + QStringLiteral(" is not writable");
        return {};
    }
    // The nearest existing ancestor tells why the file cannot be created.
    QString dir = file.absolutePath();
    while (!QFileInfo::exists(dir) && dir != QDir::rootPath())
        dir = QFileInfo(dir).absolutePath();
    if (!QFileInfo(dir).isDir())
        return dir + QStringLiteral(" is not a directory");
    if (dir != file.absolutePath())
        return QStringLiteral("the log directory ") + file.absolutePath() + QStringLiteral(" does not exist");
    if (!writable(dir))
        return QStringLiteral("the log directory ") + dir + QStringLiteral(" is not writable");
    return {};
}

// Why the device cannot be a serial port, or empty when it may be one. For
// a port on another machine `unreachable` has what connecting to it gave.
QString deviceProblem(const QString &device, const QHash<QString, QString> &unreachable)
{
    if (NetworkAddress::isUrl(device)) {
        QString why;
        return NetworkAddress::parse(device, &why) ? unreachable.value(device) : why;
    }
    struct stat info = {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return device + QStringLiteral(" does not exist");
    if (!S_ISCHR(info.st_mode))
        return device + QStringLiteral(" is not a character device");
    return {};
}

// Open and logging. A session whose device went away and whose port closed
// with it counts as not running: it is opened again like one that never was.
bool logging(const SerialSession *session)
{
    return session->isActive() && session->serial()->portOpen();
}

QString flowName(int flow)
{
    return PortSettings::flowControls().value(flow, QStringLiteral("(none)"));
}

} // namespace

LoggingService::LoggingService(const QString &configPath, bool all, QObject *parent)
    : QObject(parent)
    , m_configPath(configPath)
    , m_all(all)
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &LoggingService::retryInactive);
}

LoggingService::~LoggingService()
{
    stop();
}

qsizetype LoggingService::activeCount() const
{
    return std::count_if(m_running.begin(), m_running.end(),
                         [](const Running &r) { return logging(r.session); });
}

QByteArray LoggingService::metrics() const
{
    QList<PortSample> ports;
    for (const Running &r : m_running)
        ports << r.metrics->sample();
    const qsizetype open = std::count_if(m_running.begin(), m_running.end(),
                                         [](const Running &r) { return r.metrics->isOpen(); });
    return PortMetrics::render(ports, {QStringLiteral(OMBRIX_VERSION), m_running.size(), open});
}

QString LoggingService::summary() const
{
    QList<const PortMetrics *> ports;
    for (const Running &r : m_running)
        ports << r.metrics;
    return PortMetrics::summary(ports);
}

bool LoggingService::readConfiguration(Profile *profile)
{
    *profile = ProfileSettings::readProfile(m_configPath);
    if (!profile->readable) {
        emit message(QStringLiteral("Cannot read the configuration %1").arg(m_configPath));
        return false;
    }
    if (!profile->countValid) {
        emit message(QStringLiteral("The configuration %1 is damaged: NumSessions=%2 is not within 0 to %3")
                         .arg(m_configPath, QString::number(profile->numSessions),
                              QString::number(ProfileSettings::maxSessions)));
        return false;
    }
    // The error options come with the sessions, as in the window's load.
    if (profile->numSessions > 0) {
        Globals::OnErrorRunApp = profile->onErrorRunApp;
        Globals::LogErrorsToFile = profile->logErrors;
        // Nobody is there to ask: a program is started only from a file that
        // no one but its owner (this user) or root can have written.
        const bool trusted = !ErrorReport::writableByOthers(m_configPath);
        Globals::AcceptedRunApp = trusted ? profile->onErrorRunApp : QString();
        if (!trusted && !profile->onErrorRunApp.isEmpty() && profile->onErrorRunApp != m_refusedProgram)
            emit message(QStringLiteral("OnErrorRunApp=%1 is not started on errors: users other than its "
                                        "owner or root may change %2")
                             .arg(profile->onErrorRunApp, m_configPath));
        // Said once, not again at every reload.
        m_refusedProgram = trusted ? QString() : profile->onErrorRunApp;
    }
    return true;
}

QList<LoggingService::Wanted> LoggingService::wantedSessions(const Profile &profile, bool report)
{
    QList<Wanted> wanted;
    for (int i = 1; i <= profile.sessions.size(); ++i) {
        const SessionSettings &s = profile.sessions.at(i - 1);
        if (!m_all && !s.autoActivate)
            continue;
        // A value the file should not hold would run the port with other
        // settings than the ones asked for: such a session is left alone.
        if (sessionRefused(profile, i)) {
            if (report) {
                for (const RefusedValue &r : profile.refused) {
                    if (r.session == i)
                        emit message(refusalText(r) + QStringLiteral("; session %1 is not started").arg(i));
                }
            }
            continue;
        }
        if (s.port == PortSettings::portNone) {
            if (report)
                emit message(QStringLiteral("Session %1 names no port (NONE); it is not started").arg(i));
            continue;
        }
        wanted.append({i, s, PortMap::resolvedDevicePath(s.port)});
    }
    return wanted;
}

bool LoggingService::start()
{
    Profile profile;
    if (!readConfiguration(&profile))
        return false;
    for (const RefusedValue &r : profile.refused) {
        if (r.session == 0)
            emit message(refusalText(r));
    }
    const QList<Wanted> wanted = wantedSessions(profile, true);
    if (wanted.isEmpty())
        emit message(QStringLiteral("No session of %1 is to be started").arg(m_configPath));
    for (const Wanted &w : wanted)
        startSession(w);
    m_retry.start();
    return true;
}

bool LoggingService::reload()
{
    Profile profile;
    if (!readConfiguration(&profile)) {
        emit message(QStringLiteral("Reload failed; the running sessions go on"));
        return false;
    }
    const QList<Wanted> wanted = wantedSessions(profile, true);

    // A running session goes on when a wanted one has the same port, line
    // settings and device; each running session serves at most one.
    QList<Running> keep;
    QList<Wanted> fresh;
    QList<Running> old = std::exchange(m_running, {});
    for (const Wanted &w : wanted) {
        const auto match = std::find_if(old.begin(), old.end(), [&w](const Running &r) {
            return logging(r.session) && r.settings.sameLine(w.settings) && r.device == w.device;
        });
        if (match == old.end()) {
            fresh.append(w);
            continue;
        }
        Running r = *match;
        old.erase(match);
        r.number = w.number;
        r.settings = w.settings;
        r.session->setLogFile(w.settings.logFile);
        keep.append(r);
    }
    // Ports are released before new sessions may want them.
    for (const Running &r : std::as_const(old))
        stopSession(r);
    m_running = keep;
    for (const Wanted &w : std::as_const(fresh))
        startSession(w);
    emit message(QStringLiteral("Reloaded %1: %2 kept, %3 stopped, %4 started")
                     .arg(m_configPath, QString::number(keep.size()), QString::number(old.size()),
                          QString::number(fresh.size())));
    return true;
}

void LoggingService::stop()
{
    m_retry.stop();
    for (const Running &r : std::exchange(m_running, {}))
        stopSession(r);
}

void LoggingService::startSession(const Wanted &wanted)
{
    auto *session = new SerialSession(nullptr, this);
    const QString name = wanted.settings.portName();
    connect(session, &SerialSession::statusChanged, this,
            [this, name](const QString &text, const QString &detail) {
                emit message(
                    name + QStringLiteral(": ") + text +
                    (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + QLatin1Char(')')));
            });
    const Running running{wanted.number, wanted.settings, wanted.device, session,
                          new PortMetrics(session, PortMap::devicePath(wanted.settings.port))};
    m_running.append(running);
    activate(running);
}

void LoggingService::activate(const Running &running)
{
    running.metrics->activated(running.session->activate(running.settings));
}

void LoggingService::stopSession(const Running &running)
{
    // Closing the port writes what it still held; the last status follows.
    running.session->deactivate();
    delete running.session;
}

void LoggingService::retryInactive()
{
    // A device that was missing or busy at start-up may have come since.
    for (const Running &r : std::as_const(m_running)) {
        if (!logging(r.session))
            activate(r);
    }
}

QList<LoggingService::Problem> LoggingService::problems() const
{
    return problemsIn(ProfileSettings::readProfile(m_configPath));
}

bool LoggingService::activates(const Profile &profile, int session) const
{
    const SessionSettings &s = profile.sessions.at(session - 1);
    return (m_all || s.autoActivate) && !sessionRefused(profile, session) && s.port != PortSettings::portNone;
}

QHash<QString, QString> LoggingService::networkProblems(const Profile &profile) const
{
    QStringList devices;
    QList<NetworkAddress> addresses;
    for (int i = 1; i <= profile.sessions.size(); ++i) {
        if (!activates(profile, i))
            continue;
        const QString device = PortMap::resolvedDevicePath(profile.sessions.at(i - 1).port);
        QString why;
        const std::optional<NetworkAddress> address = NetworkAddress::parse(device, &why);
        if (address && !devices.contains(device)) {
            devices << device;
            addresses << *address;
        }
    }
    const QStringList reasons = NetworkSerialComponent::tryConnections(addresses);
    QHash<QString, QString> problems;
    for (qsizetype i = 0; i < devices.size(); ++i)
        problems.insert(devices.at(i), reasons.at(i));
    return problems;
}

QList<LoggingService::Problem> LoggingService::problemsIn(const Profile &profile) const
{
    using Kind = Problem::Kind;
    QList<Problem> found;
    if (!profile.readable) {
        found.append({Kind::Unreadable, 0,
                      m_configPath + (QFileInfo::exists(m_configPath) ? QStringLiteral(" cannot be read")
                                                                      : QStringLiteral(" does not exist"))});
        return found;
    }
    if (!profile.countValid) {
        found.append({Kind::DamagedCount, 0,
                      QStringLiteral("NumSessions=%1 is not within 0 to %2")
                          .arg(profile.numSessions)
                          .arg(ProfileSettings::maxSessions)});
        return found;
    }
    QHash<QString, int> deviceUsers; // device -> first session that opens it
    const QHash<QString, QString> unreachable = networkProblems(profile);
    for (int i = 1; i <= profile.sessions.size(); ++i) {
        const SessionSettings &s = profile.sessions.at(i - 1);
        for (const RefusedValue &r : profile.refused) {
            if (r.session == i)
                found.append({Kind::RefusedValue, i,
                              refusalText(r) + QStringLiteral("; the session would not be started")});
        }
        if (!(m_all || s.autoActivate) || sessionRefused(profile, i))
            continue;
        if (s.port == PortSettings::portNone) {
            found.append({Kind::NoPort, i, QStringLiteral("session %1 names no port (NONE)").arg(i)});
            continue;
        }
        const QString device = PortMap::resolvedDevicePath(s.port);
        if (const QString why = deviceProblem(device, unreachable); !why.isEmpty())
            found.append({Kind::Device, i, QStringLiteral("session %1: COM%2: %3").arg(i).arg(s.port).arg(why)});
        if (const QString why = logFileProblem(s.logFile); !why.isEmpty())
            found.append({Kind::LogFile, i, QStringLiteral("session %1: %2").arg(i).arg(why)});
        if (deviceUsers.contains(device))
            found.append({Kind::SharedDevice, i,
                          QStringLiteral("session %1 opens %2, as session %3 does")
                              .arg(QString::number(i), device, QString::number(deviceUsers[device]))});
        else
            deviceUsers.insert(device, i);
    }
    for (const RefusedValue &r : profile.refused) {
        if (r.session == 0)
            found.append({Kind::RefusedValue, 0, refusalText(r)});
    }
    return found;
}

int LoggingService::check(QTextStream &out) const
{
    out << "Configuration: " << m_configPath << '\n';
    const Profile profile = ProfileSettings::readProfile(m_configPath);
    if (profile.readable && profile.countValid)
        out << "Sessions: " << profile.sessions.size() << '\n';
    for (int i = 1; profile.countValid && i <= profile.sessions.size(); ++i) {
        const SessionSettings &s = profile.sessions.at(i - 1);
        out << "Session " << i << ": " << (s.portName().isEmpty() ? QStringLiteral("(none)") : s.portName());
        if (s.port >= PortMap::firstPort && s.port <= PortMap::lastPort) {
            const QString device = PortMap::resolvedDevicePath(s.port);
            out << " -> " << PortMap::devicePath(s.port);
            if (device != PortMap::devicePath(s.port))
                out << " (" << device << ')';
        }
        out << ", " << s.settingsString() << ", flow " << flowName(s.flow) << ", log "
            << absoluteLogPath(s.logFile) << ", "
            << (activates(profile, i)       ? "activates"
                : !m_all && !s.autoActivate ? "does not activate (AutoActivate is not 1)"
                                            : "does not activate")
            << '\n';
    }
    if (profile.countValid && profile.numSessions > 0) {
        out << "Error log: " << (profile.logErrors != 0 ? ErrorReport::logPath() : QStringLiteral("off"))
            << ", program on errors: "
            << (profile.onErrorRunApp.isEmpty() ? QStringLiteral("(none)") : profile.onErrorRunApp)
            << (!profile.onErrorRunApp.isEmpty() && ErrorReport::writableByOthers(m_configPath)
                    ? " (not started: users other than its owner or root may change this file)"
                    : "")
            << '\n';
    }
    // The problems of the very file read above, not of a second read.
    const QList<Problem> found = problemsIn(profile);
    for (const Problem &p : found)
        out << "Problem: " << p.text << '\n';
    out << (found.isEmpty() ? QStringLiteral("No problems found")
                            : QStringLiteral("%1 problem(s) found").arg(found.size()))
        << '\n';
    return int(found.size());
}
