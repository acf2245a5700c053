#include "app/frmMain.h"

#include "common/ProgramDir.h"
#include "common/Twips.h"
#include "components/QtFileDialogComponent.h"
#include "resources/LoadResource.h"
#include "resources/ProgramIcon.h"
#include "session/frmDocument.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMdiArea>
#include <QMenuBar>
#include <QSettings>
#include <QThread>

namespace {

constexpr int TextSessionTitle = 2143;

// The placement store: group "Settings" of the per-user settings.
const char *const placementKeys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
constexpr int placementDefaults[] = {1000, 1000, 7000, 5000};

QAction *menuItem(QMenu *menu, const char *name, const char *id, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(QString::fromLatin1(id));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QAction *separator(QMenu *menu, const char *name)
{
    QAction *action = menu->addSeparator();
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

} // namespace

frmMain::frmMain(FileDialogComponent *dialog)
    : mdiArea(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Ombrix"));
    setWindowIcon(programIcon());
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea);
    // Designed client area 7365 x 4620 twips; the stored placement overrides it.
    resize(Twips::toPixels(7365), Twips::toPixels(4620));

    dlgCommonDialog = dialog ? dialog : new QtFileDialogComponent(this);
    dlgCommonDialog->setParent(this);
    dlgCommonDialog->setObjectName(QStringLiteral("dlgCommonDialog"));

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(250);
    Timer1.start();

    createMenus();
}

frmMain::~frmMain()
{
    // Sessions go before the frame, each writing what its port still holds.
    closeAllSessions();
}

void frmMain::createMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("2102"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    mnuFileNew = menuItem(mnuFile, "mnuFileNew", "2103", QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileOpen = menuItem(mnuFile, "mnuFileOpen", "2104", QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFileClose = menuItem(mnuFile, "mnuFileClose", "2129");
    separator(mnuFile, "mnuFileBar1");
    mnuFileSave = menuItem(mnuFile, "mnuFileSave", "2105", QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuFileSaveAs = menuItem(mnuFile, "mnuFileSaveAs", "2106");
    separator(mnuFile, "mnuFileBar5");
    mnuFileExit = menuItem(mnuFile, "mnuFileExit", "2107");

    connect(mnuFile, &QMenu::aboutToShow, this, &frmMain::mnuFile_Click);
    connect(mnuFileNew, &QAction::triggered, this, &frmMain::mnuFileNew_Click);
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileClose, &QAction::triggered, this, &frmMain::mnuFileClose_Click);
    connect(mnuFileSave, &QAction::triggered, this, &frmMain::mnuFileSave_Click);
    connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
}

void frmMain::MDIForm_Load(const QString &fileName)
{
    ApplyResourceStrings(this);
    QDir::setCurrent(programDirectory());
    restorePlacement();
    m_autoActivateMarks = QVector<qint16>{0, 0};
    getprofilesettings(fileName);

    // Sessions marked in the file start active, in session order.
    const QList<frmDocument *> open = sessions();
    for (int k = 1; k <= open.size() && k < m_autoActivateMarks.size(); ++k) {
        if (m_autoActivateMarks[k] == 1) {
            open.at(k - 1)->Command1_Click();
            m_autoActivateMarks[k] = 0;
        }
    }
    QDir::setCurrent(programDirectory());
}

void frmMain::restorePlacement()
{
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    settings.beginGroup(QStringLiteral("Settings"));
    int twips[4];
    for (int i = 0; i < 4; ++i) {
        twips[i] = Twips::fromPixels(i == 0 ? x() : i == 1 ? y() : i == 2 ? width() : height());
        bool ok = false;
        const float value =
            settings.value(QLatin1String(placementKeys[i]), QString::number(placementDefaults[i]))
                .toString()
                .toFloat(&ok);
        // A value that is not a number leaves that property as designed.
        if (ok && qAbs(value) < 1e7f)
            twips[i] = qRound(value);
        if (i == 0)
            move(Twips::toPixels(twips[0]), y());
        else if (i == 1)
            move(x(), Twips::toPixels(twips[1]));
        else if (i == 2)
            resize(qMax(1, Twips::toPixels(twips[2])), height());
        else
            resize(width(), qMax(1, Twips::toPixels(twips[3])));
    }
    m_placementTwips = QRect(twips[0], twips[1], twips[2], twips[3]);
}

void frmMain::storePlacement()
{
    const QRect pixels(x(), y(), width(), height());
    // An unmoved window stores exactly what was read, so that the twips do
    // not drift by the rounding to whole pixels at every start.
    const QRect stored = pixels == Twips::toRect(m_placementTwips.x(), m_placementTwips.y(),
                                                 m_placementTwips.width(), m_placementTwips.height())
                             ? m_placementTwips
                             : QRect(Twips::fromPixels(pixels.x()), Twips::fromPixels(pixels.y()),
                                     Twips::fromPixels(pixels.width()), Twips::fromPixels(pixels.height()));
    QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    settings.beginGroup(QStringLiteral("Settings"));
    const int values[] = {stored.x(), stored.y(), stored.width(), stored.height()};
    for (int i = 0; i < 4; ++i)
        settings.setValue(QLatin1String(placementKeys[i]), QString::number(float(values[i])));
}

void frmMain::getprofilesettings(const QString &FileName, ProfileSettings::Refused refused)
{
    ProfileSettings::getprofilesettings(*this, FileName, refused);
}

bool frmMain::writeprofilesettings(const QString &FileName)
{
    QString error;
    if (ProfileSettings::writeprofilesettings(*this, FileName, &error))
        return true;
    qWarning("Ombrix: the configuration could not be saved to %s: %s",
             qPrintable(ProfileSettings::resolvePath(FileName)), qPrintable(error));
    return false;
}

void frmMain::closeAllSessions()
{
    // The most recently opened first. Deleted at once rather than closed
    // later, so that the sessions a load opens next are the only ones.
    while (!m_sessions.isEmpty())
        delete m_sessions.takeLast();
}

frmDocument *frmMain::NewSession()
{
    auto *session = new frmDocument;
    mdiArea->addSubWindow(session);
    m_sessions.append(session);
    // Compares addresses only: the window is half destroyed by then.
    connect(session, &QObject::destroyed, this, [this, session] { m_sessions.removeOne(session); });
    session->setWindowTitle(LoadResource(TextSessionTitle));
    session->show();
    return session;
}

QList<frmDocument *> frmMain::sessions() const
{
    QList<frmDocument *> open;
    for (frmDocument *session : m_sessions) {
        // A window closed by the user goes away at the next turn of the
        // event loop; it is no longer part of the configuration.
        if (!session->isHidden())
            open.append(session);
    }
    return open;
}

int frmMain::mainWindowState() const
{
    if (windowState() & Qt::WindowMinimized)
        return 1;
    if (windowState() & Qt::WindowMaximized)
        return 2;
    return 0;
}

void frmMain::setMainWindowState(int state)
{
    switch (state) {
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowMaximized);
        break;
    default:
        setWindowState(Qt::WindowNoState);
        break;
    }
}

void frmMain::mnuFile_Click()
{
    mnuFileClose->setEnabled(false);
    mnuFileClose->setEnabled(!sessions().isEmpty());
}

void frmMain::mnuFileNew_Click()
{
    NewSession();
}

void frmMain::mnuFileOpen_Click()
{
    dlgCommonDialog->setFilter(QStringLiteral("Ombrix Files (*.BVX)|*.bvx|All Files (*.*)|*.*"));
    dlgCommonDialog->setFilterIndex(1);
    dlgCommonDialog->setDefaultExt(QString());
    dlgCommonDialog->setFlags(FileDialogComponent::FlagFileMustExist + FileDialogComponent::FlagHideReadOnly);
    if (!dlgCommonDialog->ShowOpen() || dlgCommonDialog->FileName().isEmpty())
        return;
    CurrentFileName = dlgCommonDialog->FileName();
    getprofilesettings(CurrentFileName, ProfileSettings::Refused::SkipValue);
}

void frmMain::mnuFileClose_Click()
{
    if (QMdiSubWindow *active = mdiArea->activeSubWindow())
        active->close();
}

void frmMain::mnuFileSave_Click()
{
    if (CurrentFileName.isEmpty())
        mnuFileSaveAs_Click();
    else
        writeprofilesettings(CurrentFileName);
}

void frmMain::mnuFileSaveAs_Click()
{
    dlgCommonDialog->setFilter(QStringLiteral("Ombrix Configuration (*.BVX)|*.bvx|All Files (*.*)|*.*"));
    dlgCommonDialog->setFilterIndex(1);
    dlgCommonDialog->setDefaultExt(QStringLiteral("bvx"));
    dlgCommonDialog->setFlags(FileDialogComponent::FlagHideReadOnly);
    if (!dlgCommonDialog->ShowSave() || dlgCommonDialog->FileName().isEmpty())
        return;
    CurrentFileName = dlgCommonDialog->FileName();
    writeprofilesettings(CurrentFileName);
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::MDIForm_QueryUnload()
{
    // Help viewers would close here; then let other work run, then save
    // while every session is still open.
    QThread::yieldCurrentThread();
    writeprofilesettings(QString());
}

void frmMain::MDIForm_Unload()
{
    // A minimised window keeps the placement from before it was minimised.
    if (!(windowState() & Qt::WindowMinimized))
        storePlacement();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Never refused, nothing asked. A second request (a signal during the
    // first) finds the work done.
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    MDIForm_QueryUnload();
    closeAllSessions();
    MDIForm_Unload();
}
