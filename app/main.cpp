// The start routine: create the main window, load it, show it, run.

#include "common/UnixSignals.h"
#include "app/frmMain.h"
#include "common/Globals.h"
#include "components/PortNumbering.h"
#include "resources/LoadResource.h"
#include "resources/ProgramIcon.h"

#include <QApplication>
#include <QDir>

namespace {

// The configuration named on the command line: the arguments after the
// program's name, joined by blanks (the shell split them), resolved against
// the directory the program was started in. Empty for none.
QString configurationArgument(const QStringList &arguments)
{
    const QString path = arguments.mid(1).join(QLatin1Char(' '));
    return path.isEmpty() ? path : QDir::current().absoluteFilePath(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationName(QStringLiteral("Ombrix"));
    QApplication::setWindowIcon(programIcon());
    installFontSubstitutions();
    const QString fileName = configurationArgument(QApplication::arguments());

    frmMain window;
    // A close request from outside (kill, Ctrl+C, the end of the desktop
    // session) saves and ends like File > Exit.
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::closeRequested, &window, &QWidget::close);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, &QWidget::close);
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // USB serial devices get their COM numbers before any session opens one.
    PortNumbering numbering;
    numbering.start();
    window.MDIForm_Load(fileName);
    // A configuration saved minimised starts with only the tray icon, when
    // there is a tray; the tray menu's Open brings the window.
    if (!(window.windowState().testFlag(Qt::WindowMinimized) && Globals::TrayActive))
        window.show();
    return app.exec();
}
