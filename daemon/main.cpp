// ombrixd: the logging service. Runs the sessions of a configuration file
// without any window, with the same byte path, status texts and error
// reports as the program's session windows.

#include "common/ProcessMemory.h"
#include "common/ProgramDir.h"
#include "common/UnixSignals.h"
#include "components/PortMap.h"
#include "daemon/LoggingService.h"
#include "daemon/MetricsServer.h"
#include "daemon/ServiceNotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>

namespace {

constexpr int exitOk = 0;
constexpr int exitFailure = 1;

const char description[] = "Logs serial ports as the sessions of an Ombrix configuration file (.bvx) ask,\n"
                           "without a window: every byte received is appended to the session's log file.\n"
                           "\n"
                           "Starts the sessions marked AutoActivate=1 (every session with --all). Each\n"
                           "status change is one line on standard error, such as \"COM3: Status: Open\".\n"
                           "The configuration file is read, never written; it must be named: a\n"
                           "service logs the file it is given, nothing else.\n"
                           "\n"
                           "Signals: SIGTERM and SIGINT close every port, writing what it still held, and\n"
                           "end the program. SIGHUP reads the configuration again: unchanged sessions go\n"
                           "on without a gap, changed ones restart, removed ones stop, new ones start.\n"
                           "A session whose port could not be opened is tried again every 5 seconds;\n"
                           "a network port connects in the background and retries every second.\n"
                           "A session with a value its list does not offer is not started.\n"
                           "\n"
                           "Metrics: --metrics ADDRESS:PORT, or the environment variable OMBRIXD_METRICS\n"
                           "(the option wins), serves Prometheus metrics at http://ADDRESS:PORT/metrics;\n"
                           "off unless asked. Any address but a loopback one (127.0.0.1, [::1],\n"
                           "localhost) lets other machines read them: name such an address only when\n"
                           "they should, such as 0.0.0.0:9101 for every interface.\n"
                           "\n"
                           "Exit status: 0 after SIGTERM or SIGINT, and for --check when it found no\n"
                           "problem; 1 for wrong usage, a configuration that cannot be read, metrics\n"
                           "that cannot be served there, or --check finding problems.";

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stderr);
    std::fflush(stderr);
}

// The port map as this user has it and the serial devices present, one
// line each; reads the map, never writes it.
void listPorts(QTextStream &out)
{
    for (const PortMap::Row &row : PortMap::rows()) {
        out << (row.hasEntry ? QStringLiteral("COM%1=").arg(row.port) : QStringLiteral("no entry: "))
            << row.value;
        if (row.network) {
            out << ", network port\n";
            continue;
        }
        out << (row.present && row.node != row.value ? " -> " + row.node : QString())
            << (row.present ? ", present" : ", not present")
            << (row.description.isEmpty() ? QString() : ", " + row.description) << '\n';
    }
}

// Serves the service's metrics where the command line or OMBRIXD_METRICS
// asks; false, having said why, when that cannot be done.
bool serveMetrics(const QString &where, const QString &asker, MetricsServer *server)
{
    QString why;
    const std::optional<MetricsServer::Address> address = MetricsServer::parse(where, &why);
    if (!address) {
        printLine(QStringLiteral("ombrixd: %1: %2").arg(asker, why));
        return false;
    }
    if (!server->listen(*address, &why)) {
        printLine(QStringLiteral("ombrixd: cannot serve metrics on %1: %2").arg(where, why));
        return false;
    }
    printLine(
        QStringLiteral("Metrics at http://%1/metrics%2")
            .arg(where, address->host.isLoopback() ? QString() : QStringLiteral(", open to other machines")));
    return true;
}

// What the command line asks for. `exitNow` is set when nothing more is to
// be done: help or the port list shown, or wrong usage said.
struct CommandLine
{
    bool all = false, check = false;
    QString config;
    bool metricsAsked = false;
    QString metricsAt, metricsAsker; // where to serve metrics, and who asked
    std::optional<int> exitNow;
};

CommandLine readCommandLine()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Start every session, marked or not."));
    const QCommandLineOption check(
        QStringLiteral("check"), QStringLiteral("Print what would be done and every problem seen. Opens no "
                                                "serial port and no log file; connects once to each network "
                                                "port, to see that it answers. Exit status 0 when there is no "
                                                "problem, else 1."));
    const QCommandLineOption ports(
        QStringLiteral("ports"),
        QStringLiteral("List the port map (COM number = device) and the serial devices "
                       "present, then exit. The map is read, never written."));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        QStringLiteral("Serve Prometheus metrics at http://ADDRESS:PORT/metrics (also OMBRIXD_METRICS)."),
        QStringLiteral("ADDRESS:PORT"));
    parser.addOptions({all, metrics, check, ports});
    parser.addPositionalArgument(QStringLiteral("CONFIG"), QStringLiteral("The configuration file (.bvx)."));
    CommandLine line;
    if (!parser.parse(QCoreApplication::arguments())) {
        printLine(QStringLiteral("ombrixd: ") + parser.errorText());
        printLine(QStringLiteral("Try 'ombrixd --help'."));
        line.exitNow = exitFailure;
    } else if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        line.exitNow = exitOk;
    } else if (parser.isSet(ports)) {
        QTextStream out(stdout);
        listPorts(out);
        line.exitNow = exitOk;
    } else if (parser.positionalArguments().size() != 1) {
        printLine(QStringLiteral("ombrixd: name one configuration file, such as "
                                 "'ombrixd /etc/ombrix/lab.bvx'; try 'ombrixd --help'."));
        line.exitNow = exitFailure;
    } else {
        line.config = parser.positionalArguments().constFirst();
    }
    line.all = parser.isSet(all);
    line.check = parser.isSet(check);
    line.metricsAsker = parser.isSet(metrics) ? QStringLiteral("--metrics") : QStringLiteral("OMBRIXD_METRICS");
    line.metricsAt = parser.isSet(metrics) ? parser.value(metrics) : qEnvironmentVariable("OMBRIXD_METRICS");
    line.metricsAsked = parser.isSet(metrics) || !line.metricsAt.isEmpty();
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    // Standard error may be a pipe to the journal: a journal that restarts
    // must not end the logging.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    // The same names as the program's, for the per-user settings (the port
    // map) and the per-user data directory.
    QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Ombrix"));
    const CommandLine line = readCommandLine();
    if (line.exitNow)
        return *line.exitNow;

    // A relative path is taken from where the program was started; then the
    // program directory becomes the current one, as for the window program,
    // so relative log paths mean the same to both.
    const QString configPath = QDir::current().absoluteFilePath(line.config);
    QDir::setCurrent(programDirectory());

    LoggingService service(configPath, line.all);
    if (line.check) {
        QTextStream out(stdout);
        return service.check(out) == 0 ? exitOk : exitFailure;
    }

    QObject::connect(&service, &LoggingService::message, &app, &printLine);
    // systemd hears one status line after each burst of status changes.
    ServiceNotifier notifier;
    QTimer statusUpdate;
    statusUpdate.setSingleShot(true);
    QObject::connect(&statusUpdate, &QTimer::timeout, &notifier,
                     [&notifier, &service] { notifier.setStatus(service.summary()); });
    QObject::connect(&service, &LoggingService::message, &statusUpdate, qOverload<>(&QTimer::start));
    UnixSignals signals_;
    QObject::connect(&signals_, &UnixSignals::closeRequested, &service, [&](int signalNumber) {
        if (signalNumber == SIGHUP) {
            notifier.reloading();
            service.reload();
            notifier.ready();
            return;
        }
        notifier.stopping();
        service.stop();
        QCoreApplication::exit(exitOk);
    });
    MetricsServer metricsServer([&service] { return service.metrics(); });
    if (line.metricsAsked && !serveMetrics(line.metricsAt, line.metricsAsker, &metricsServer))
        return exitFailure;
    if (!service.start())
        return exitFailure;
    // Every port is open, connecting or waiting for its device now.
    notifier.setStatus(service.summary());
    notifier.ready();
    return app.exec();
}
