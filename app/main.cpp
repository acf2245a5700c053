// The start routine: create the main window, load it, show it, run.

#include "app/TitleBarIconStyle.h"
#include "app/frmMain.h"
#include "common/ProcessMemory.h"
#include "common/UnixSignals.h"
#include "components/PortNumbering.h"
#include "dialogs/WindowGlobals.h"
#include "resources/LoadResource.h"
#include "resources/ProgramIcon.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>

#include <cstdio>
#include <cstring>

namespace {

// The configuration named on the command line: the arguments after the
// program's name, joined by blanks (the shell split them), resolved against
// the directory the program was started in. Empty for none.
QString configurationArgument(const QStringList &arguments)
{
    const QString path = arguments.mid(1).join(QLatin1Char(' '));
    return path.isEmpty() ? path : QDir::current().absoluteFilePath(path);
}

// "--help" and "--version" alone print and end, without a display; any other
// command line names a configuration.
int printOnly(const char *argument)
{
    if (std::strcmp(argument, "--version") == 0) {
        std::fputs("ombrix " OMBRIX_VERSION "\n", stdout);
        return 0;
    }
    if (std::strcmp(argument, "--help") == 0) {
        std::fputs("Usage: ombrix [CONFIG]\n"
                   "Logs serial ports to files, one window per port.\n\n"
                   "CONFIG is the configuration (.bvx) to open; the whole command line is taken\n"
                   "as one path. Without it the program opens default.bvx in its program\n"
                   "directory. At every exit, also on SIGTERM, SIGINT and SIGHUP, it saves what is\n"
                   "open to default.bvx.\n\n"
                   "  --help     print this text and exit\n"
                   "  --version  print the version and exit\n\n"
                   "See ombrix(1); ombrixd(8) logs a configuration without a window.\n",
                   stdout);
        return 0;
    }
    return -1;
}

#ifdef Q_OS_UNIX
// Whether the window can be shown at all. Qt aborts when its platform
// plugin finds no display, with a message that blames the installation;
// a platform chosen explicitly (offscreen, vnc, …) is left to Qt.
bool displayReachable(int argc, char *argv[])
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    }
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
#else
bool displayReachable(int, char *[])
{
    return true;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    if (argc == 2) {
        if (const int status = printOnly(argv[1]); status >= 0)
            return status;
    }
    if (!displayReachable(argc, argv)) {
        std::fputs("ombrix: the window needs a graphical display (DISPLAY is not set); "
                   "ombrixd logs a configuration without one\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    QApplication::setWindowIcon(programIcon());
    installFontSubstitutions();
    TitleBarIconStyle::install();
    const QString fileName = configurationArgument(QApplication::arguments());

    frmMain window;
    // A close request from outside (kill, Ctrl+C, the end of the desktop
    // session) saves and ends like File > Exit.
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::closeRequested, &window, &frmMain::requestEnd);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, &frmMain::requestEnd);
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // Only the close sequence ends the program. With the window in the tray,
    // closing a password prompt or a message would otherwise close the last
    // window and end it without saving.
    QApplication::setQuitOnLastWindowClosed(false);

    // USB serial devices get their COM numbers before any session opens one.
    PortNumbering numbering;
    numbering.start();
    window.MDIForm_Load(fileName);
    // A configuration saved minimised starts with only the tray icon, when
    // there is a tray; the tray menu's Open brings the window.
    if (!(window.windowState().testFlag(Qt::WindowMinimized) && WindowGlobals::TrayActive))
        window.show();
    return app.exec();
}
