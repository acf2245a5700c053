#include "app/frmMain.h"

#include "app/ConfigurationFiles.h"
#include "app/HelpViewer.h"

#include "common/Globals.h"
#include "common/ProgramDir.h"
#include "common/Twips.h"
#include "components/QtFileDialogComponent.h"
#include "dialogs/ErrorProgramQuestion.h"
#include "dialogs/Form1.h"
#include "dialogs/WindowGlobals.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmPorts.h"
#include "resources/LoadResource.h"
#include "resources/ProgramIcon.h"
#include "session/ErrorReport.h"
#include "session/frmDocument.h"
#include "tray/basSubclass.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QMdiArea>
#include <QMenuBar>
#include <QScreen>
#include <QThread>
#include <QUrl>

namespace {

constexpr int TextSessionTitle = 2143;
using M = frmMain; // keeps the rows of the menu table short

} // namespace

frmMain::frmMain(FileDialogComponent *dialog)
    : mdiArea(new QMdiArea(this))
    , m_helpViewers(new HelpViewers(this))
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
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    Timer1.start();
    m_endTimer.setSingleShot(true);
    m_endTimer.setInterval(10);
    connect(&m_endTimer, &QTimer::timeout, this, [this] {
        if (closeNestedLoops())
            m_endTimer.start();
        else
            endNow();
    });

    createMenus();
}

frmMain::~frmMain()
{
    // Sessions go before the frame, each writing what its port still holds.
    closeAllSessions();
}

// One item of a menu as designed; a null action is a separator. Captions
// are string-table ids until the load translates them.
struct frmMain::MenuItem
{
    QMenu *frmMain::*menu = nullptr;
    QAction *frmMain::*action = nullptr;
    const char *name = nullptr;
    const char *id = nullptr;
    void (frmMain::*triggered)() = nullptr;
    char ctrl = 0;       // the shortcut: Ctrl and this letter
    bool hidden = false; // kept as an action, shown nowhere
};

const frmMain::MenuItem frmMain::menuItems[] = {
    {&M::mnuFile, &M::mnuFileNew, "mnuFileNew", "2103", &M::mnuFileNew_Click, 'N'},
    {&M::mnuFile, &M::mnuFileOpen, "mnuFileOpen", "2104", &M::mnuFileOpen_Click, 'O'},
    {&M::mnuFile, &M::mnuFileClose, "mnuFileClose", "2129", &M::mnuFileClose_Click},
    {&M::mnuFile, nullptr, "mnuFileBar1"},
    {&M::mnuFile, &M::mnuFileSave, "mnuFileSave", "2105", &M::mnuFileSave_Click, 'S'},
    {&M::mnuFile, &M::mnuFileSaveAs, "mnuFileSaveAs", "2106", &M::mnuFileSaveAs_Click},
    {&M::mnuFile, nullptr, "mnuFileBar5"},
    {&M::mnuFile, &M::mnuOptions, "mnuOptions(0)", "2130", nullptr, 0, true},
    {&M::mnuFile, &M::mPassword, "mPassword", "2219", nullptr, 0, true},
    {&M::mnuFile, nullptr, "mnuFileBar6", nullptr, nullptr, 0, true},
    {&M::mnuFile, &M::mnuFileExit, "mnuFileExit", "2107", &M::mnuFileExit_Click},
    {&M::mnuWindow, &M::mnuWindowCascade, "mnuWindowCascade", "2132"},
    {&M::mnuWindow, &M::mnuWindowTileHorizontal, "mnuWindowTileHorizontal", "2133"},
    {&M::mnuWindow, &M::mnuWindowTileVertical, "mnuWindowTileVertical", "2134"},
    {&M::mnuWindow, &M::mnuWindowArrangeIcons, "mnuWindowArrangeIcons", "2135"},
    {&M::mnuHelp, &M::mnuHelpContents, "mnuHelpContents", "2126", &M::mnuHelpContents_Click},
    {&M::mnuHelp, &M::mnuHelpSearch, "mnuHelpSearch", "2136", nullptr, 0, true},
    {&M::mnuHelp, nullptr, "mnuHelpBar2"},
    {&M::mnuHelp, &M::mnuVelder, "mnuVelder", "2127", &M::mnuVelder_Click},
    {&M::mnuHelp, nullptr, "mnuHelpBar1"},
    {&M::mnuHelp, &M::mnuHelpAbout, "mnuHelpAbout", "2128", &M::mnuHelpAbout_Click},
    {&M::mnuPopUp, &M::mnuOpen, "mnuOpen", "2138", &M::mnuOpen_Click},
    {&M::mnuPopUp, &M::mnuHide, "mnuHide", "2139", &QWidget::hide, 0, true},
    {&M::mnuPopUp, &M::mnuExit, "mnuExit", "2140", &M::mnuFileExit_Click, 0, true},
    {&M::mnuPopUp, nullptr, "sep10"},
    {&M::mnuPopUp, &M::mnuAbout, "mnuAbout", "2141", &M::mnuHelpAbout_Click},
};

void frmMain::createMenus()
{
    const auto addMenu = [this](QMenu *&menu, const char *name, const char *caption) {
        menu = menuBar()->addMenu(QString::fromLatin1(caption));
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(menu->objectName());
    };
    addMenu(mnuFile, "mnuFile", "2102");
    addMenu(mnuWindow, "mnuWindow", "2131");
    addMenu(mnuHelp, "mnuHelp", "2125");
    addMenu(mnuPopUp, "mnuPopUp", "Popup Menu");
    mnuPopUp->menuAction()->setVisible(false);
    for (const MenuItem &item : menuItems) {
        QMenu *menu = this->*item.menu;
        QAction *action = item.id ? menu->addAction(QString::fromLatin1(item.id)) : menu->addSeparator();
        action->setObjectName(QString::fromLatin1(item.name));
        if (item.ctrl)
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(item.ctrl)));
        if (item.hidden)
            action->setVisible(false);
        if (item.action)
            this->*item.action = action;
        if (item.triggered)
            connect(action, &QAction::triggered, this, item.triggered);
    }
    mnuHelpSearch->setEnabled(false);

    connect(mnuFile, &QMenu::aboutToShow, this, &frmMain::mnuFile_Click);
    connect(mnuWindow, &QMenu::aboutToShow, this, &frmMain::mnuWindow_Click);
    connect(mnuOptions, &QAction::triggered, this, [] {
        frmOptions::showModal();
        ErrorReport::rememberAccepted();
    });
    connect(mPassword, &QAction::triggered, this, [] { Form1::showModal(); });
    // The arrangements in the order of Arrange.
    const QAction *const arrangements[] = {mnuWindowCascade, mnuWindowTileHorizontal, mnuWindowTileVertical,
                                           mnuWindowArrangeIcons};
    for (int mode = Cascade; mode <= ArrangeIcons; ++mode)
        connect(arrangements[mode], &QAction::triggered, this, [this, mode] { arrange(mode); });
}

void frmMain::mnuWindow_Click()
{
    // Below the arrangements, the open sessions by caption, the active one checked.
    for (QAction *entry : std::as_const(m_windowList))
        delete entry;
    m_windowList.clear();
    const QList<frmDocument *> open = sessions();
    if (!open.isEmpty())
        m_windowList << mnuWindow->addSeparator();
    for (int i = 0; i < open.size(); ++i) {
        frmDocument *session = open.at(i);
        QAction *entry =
            mnuWindow->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(session->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(mdiArea->activeSubWindow() == session);
        connect(entry, &QAction::triggered, this, [this, session] {
            if (sessions().contains(session))
                mdiArea->setActiveSubWindow(session);
        });
        m_windowList << entry;
    }
}

void frmMain::arrange(int mode)
{
    if (mode == Cascade) {
        mdiArea->cascadeSubWindows();
        return;
    }
    QList<frmDocument *> normal;
    QList<frmDocument *> minimised;
    for (frmDocument *session : sessions())
        (session->isMinimized() ? minimised : normal).append(session);
    const QRect area = mdiArea->viewport()->rect();
    if (mode == ArrangeIcons) {
        // The minimised windows lined up along the bottom, left to right.
        int left = 0;
        for (frmDocument *session : std::as_const(minimised)) {
            session->move(left, area.height() - session->height());
            left += session->width();
        }
        return;
    }
    if (normal.isEmpty())
        return;
    // Horizontal: stacked one above the other, each the full width;
    // vertical: side by side, each the full height. A session window has a
    // fixed size, so it takes its slot's place and as much of it as it can.
    const int count = int(normal.size());
    for (int i = 0; i < count; ++i) {
        const QRect slot = mode == TileHorizontal
                               ? QRect(0, area.height() * i / count, area.width(), area.height() / count)
                               : QRect(area.width() * i / count, 0, area.width() / count, area.height());
        normal.at(i)->setGeometry(slot);
        normal.at(i)->move(slot.topLeft());
    }
}

void frmMain::mnuVelder_Click()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QDesktopServices::openUrl(QUrl(QStringLiteral("https://www.velder.example/")));
    QGuiApplication::restoreOverrideCursor();
}

void frmMain::mnuHelpAbout_Click()
{
    frmAbout::showModal(this);
}

void frmMain::MDIForm_Load(const QString &fileName)
{
    ApplyResourceStrings(this);
    QDir::setCurrent(programDirectory());
    const QRect placed =
        m_placement.restore(QRect(pos(), size()), screen() ? screen()->availableVirtualSize() : QSize());
    move(placed.topLeft());
    resize(placed.size());
    m_autoActivateMarks = QVector<qint16>{0, 0};
    if (!getprofilesettings(fileName))
        ConfigurationFiles::keepBackup(fileName);
    ProfileSettings::activateMarkedSessions(*this);
    // The tray icon and the hook that makes it answer the mouse.
    WindowGlobals::TrayActive = SubclassForm(this, mnuPopUp, QStringLiteral("Ombrix"), mnuAbout);
    QDir::setCurrent(programDirectory());
}

bool frmMain::getprofilesettings(const QString &FileName, ProfileSettings::Refused refused)
{
    const bool whole = ProfileSettings::getprofilesettings(*this, FileName, refused);
    // Asked at load, while the user knows which file was just opened: an
    // error may come at night, and a question then would hold back the very
    // program that should tell someone. The sessions log meanwhile; only the
    // program waits for the answer, which counts for this line only,
    // whatever file is loaded by then.
    if (ErrorReport::questionDue() && !m_ending)
        ErrorProgramQuestion::ask(ProfileSettings::resolvePath(FileName), Globals::OnErrorRunApp, this,
                                  &ErrorReport::answerQuestion);
    return whole;
}

bool frmMain::writeprofilesettings(const QString &FileName)
{
    return ConfigurationFiles::save(*this, FileName);
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
    connect(session, &frmDocument::portsRequested, this, [this, session] {
        // Numbers the dialog must leave alone: a session waiting for its
        // device follows a change of its number's entry.
        QSet<int> active;
        for (const frmDocument *open : sessions()) {
            if (open->isActive() && !open->MSComm1->waitsForDevice())
                active.insert(open->portNumber());
        }
        frmPorts::showModal(active, session->portNumber());
    });
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
    return windowState() & Qt::WindowMinimized ? 1 : windowState() & Qt::WindowMaximized ? 2 : 0;
}

void frmMain::setMainWindowState(int state)
{
    setWindowState(state == 1 ? Qt::WindowMinimized : state == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
}

void frmMain::mnuFile_Click()
{
    mnuFileClose->setEnabled(false);
    mnuFileClose->setEnabled(!sessions().isEmpty());
}

void frmMain::mnuFileOpen_Click()
{
    if (ConfigurationFiles::askOpen(*dlgCommonDialog, CurrentFileName))
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
    if (ConfigurationFiles::askSaveAs(*dlgCommonDialog, CurrentFileName))
        writeprofilesettings(CurrentFileName);
}

void frmMain::MDIForm_QueryUnload()
{
    // Close the help viewers, let other work run, then save while every
    // session is still open.
    m_helpViewers->endAll();
    QThread::yieldCurrentThread();
    writeprofilesettings(QString());
}

void frmMain::MDIForm_Unload()
{
    // A minimised window keeps the placement from before it was minimised.
    if (!(windowState() & Qt::WindowMinimized))
        m_placement.store(QRect(pos(), size()));
    if (WindowGlobals::TrayActive) {
        TaskBar().DeleteIcon(1);
        UnhookWindow(this);
        WindowGlobals::TrayActive = false;
    }
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    MDIForm_Resize();
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Minimising is a change of state here, not a resize.
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Never refused, nothing asked; the window goes when the end has run.
    event->setAccepted(m_closed);
    requestEnd();
}

void frmMain::requestEnd()
{
    if (m_closed)
        return;
    m_ending = true;
    closeNestedLoops();
    // The end runs from the event loop itself, never inside the handler
    // that asked for it, and only once no nested loop runs any more.
    if (!m_endTimer.isActive())
        m_endTimer.start();
}

bool frmMain::closeNestedLoops()
{
    // Beneath a nested loop lie the handlers that started it: a menu's key
    // handler under the Serial Ports dialog, a session's button under its
    // file dialog. Each must have returned before the end deletes anything.
    bool running = QThread::currentThread()->loopLevel() > 1;
    for (QWidget *popup = QApplication::activePopupWidget(); popup && popup->close();
         popup = QApplication::activePopupWidget())
        running = true;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !window->isModal())
            continue;
        running = true;
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject(); // a box closed so gives no answer
        else
            window->close();
    }
    return running;
}

void frmMain::endNow()
{
    m_closed = true;
    m_endTimer.stop();
    MDIForm_QueryUnload();
    closeAllSessions();
    MDIForm_Unload();
    hide();
    // The program ends once the help viewers have.
    m_helpViewers->whenEnded([this] { emit unloaded(); });
}
