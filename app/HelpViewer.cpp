#include "app/HelpViewer.h"

#include "common/ProgramDir.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString helpViewerOverride;

// The value of `key` in the group `group` of a desktop-style file.
QString desktopValue(const QString &path, const QString &group, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
        else if (inGroup && line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

// An Exec line with its field codes replaced: the file for %f, %F, %u and
// %U (or added at the end when there is none), nothing for the others.
QStringList execCommand(const QString &exec, const QString &file)
{
    QStringList command;
    bool placed = false;
    for (QString word : QProcess::splitCommand(exec)) {
        if (word == QLatin1String("%f") || word == QLatin1String("%F") || word == QLatin1String("%u") ||
            word == QLatin1String("%U")) {
            command << file;
            placed = true;
        } else if (word.size() != 2 || word.front() != QLatin1Char('%')) {
            command << word.replace(QLatin1String("%%"), QLatin1String("%"));
        }
    }
    if (!placed && !command.isEmpty())
        command << file;
    return command;
}

} // namespace

QStringList desktopViewerCommand(const QString &file)
{
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    // The user's and the system's choices first, then what is installed.
    QList<QPair<QString, QString>> sources;
    for (const auto location :
         {QStandardPaths::GenericConfigLocation, QStandardPaths::ApplicationsLocation}) {
        for (const QString &dir : QStandardPaths::standardLocations(location))
            sources.append({dir + QStringLiteral("/mimeapps.list"), QStringLiteral("Default Applications")});
    }
    for (const QString &cache :
         QStandardPaths::locateAll(QStandardPaths::ApplicationsLocation, QStringLiteral("mimeinfo.cache")))
        sources.append({cache, QStringLiteral("MIME Cache")});
    for (const auto &[path, group] : std::as_const(sources)) {
        const QStringList entries =
            desktopValue(path, group, type).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &entry : entries) {
            const QString desktop = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
            const QStringList command =
                execCommand(desktop.isEmpty() ? QString()
                                              : desktopValue(desktop, QStringLiteral("Desktop Entry"),
                                                             QStringLiteral("Exec")),
                            file);
            if (!command.isEmpty())
                return command;
        }
    }
    return {};
}

HelpViewers::HelpViewers(QObject *parent)
    : QObject(parent)
{
    m_grace.setSingleShot(true);
    m_grace.setInterval(graceMs);
    connect(&m_grace, &QTimer::timeout, this, [this] {
        for (const QPointer<QProcess> &viewer : std::as_const(m_running)) {
            if (viewer)
                viewer->kill();
        }
    });
}

QString HelpViewers::helpFilePath()
{
    return programHelpFilePath();
}

QString HelpViewers::helpViewer()
{
    if (!helpViewerOverride.isNull())
        return helpViewerOverride;
    for (const char *viewer : {"xchm", "kchmviewer"}) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(viewer));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

void HelpViewers::setHelpViewer(const QString &program)
{
    helpViewerOverride = program;
}

void HelpViewers::openHelp()
{
    const QString file = helpFilePath();
    const QString viewer = helpViewer();
    const QStringList command = viewer.isEmpty() ? desktopViewerCommand(file) : QStringList{viewer, file};
    if (QFileInfo::exists(file) && !command.isEmpty())
        open(command);
}

void HelpViewers::open(QStringList command)
{
    auto *process = new QProcess(this);
    const auto gone = [this, process] {
        m_running.removeAll(process);
        process->deleteLater();
        finishIfEnded();
    };
    connect(process, &QProcess::finished, this, gone);
    connect(process, &QProcess::errorOccurred, this, [gone](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            gone();
    });
    m_running.append(process);
    const QString program = command.takeFirst();
    process->start(program, command);
}

void HelpViewers::endAll()
{
    for (const QPointer<QProcess> &viewer : std::as_const(m_running)) {
        if (viewer)
            viewer->terminate();
    }
    m_grace.start();
}

void HelpViewers::whenEnded(std::function<void()> done)
{
    m_done = std::move(done);
    finishIfEnded();
}

void HelpViewers::finishIfEnded()
{
    m_running.removeAll(nullptr);
    if (!m_running.isEmpty() || !m_done)
        return;
    m_grace.stop();
    std::exchange(m_done, {})();
}
