#pragma once

#include "app/HelpViewer.h"
#include "app/PasswordGuard.h"
#include "common/WindowPlacement.h"
#include "config/ProfileSettings.h"

#include <QMainWindow>
#include <QTimer>

class FileDialogComponent;
class QAction;
class QMdiArea;
class QMenu;

// The main window: a multiple-document frame holding one window per logging
// session, with the menus, the window arrangements and list, and the end
// sequence. It loads the configuration at start-up and saves it to
// default.bvx at every exit. Its other duties have units of their own: the
// password and tray hiding rule (PasswordGuard), the placement
// (WindowPlacement), help (HelpViewers), the configuration's file choice and
// backup (ConfigurationFiles) and the trust in error programs (ErrorReport).
class frmMain : public QMainWindow, public ProfileWorkspace
{
    Q_OBJECT
    Q_DISABLE_COPY(frmMain)

public:
    // `dialog` defaults to the real file dialog; tests may hand in their own.
    explicit frmMain(FileDialogComponent *dialog = nullptr);
    ~frmMain() override;

    // The start-up sequence; `fileName` is the configuration named on the
    // command line (empty: default.bvx).
    void MDIForm_Load(const QString &fileName);

    // False when the load stopped early. A program the file names to start
    // on errors is asked about, unless the user answered for it before.
    bool getprofilesettings(const QString &FileName,
                            ProfileSettings::Refused refused = ProfileSettings::Refused::StopLoad);
    bool writeprofilesettings(const QString &FileName);

    // ProfileWorkspace
    void closeAllSessions() override;
    frmDocument *NewSession() override;
    QList<frmDocument *> sessions() const override;
    int mainWindowState() const override;
    void setMainWindowState(int state) override;
    QVector<qint16> &AutoActivateMarks() override { return m_autoActivateMarks; }

    // Document commands.
    void mnuFileNew_Click() { NewSession(); }
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileExit_Click() { close(); }

    QString CurrentFileName;
    QMdiArea *const mdiArea;
    FileDialogComponent *dlgCommonDialog = nullptr;
    QTimer Timer1;

    // Window arrangements, as the Window menu offers them.
    enum Arrange { Cascade = 0, TileHorizontal = 1, TileVertical = 2, ArrangeIcons = 3 };
    void arrange(int mode);

    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *mnuFileClose = nullptr;
    QAction *mnuFileSave = nullptr;
    QAction *mnuFileSaveAs = nullptr;
    QAction *mnuOptions = nullptr; // element 0 of a menu array
    QAction *mPassword = nullptr;
    QAction *mnuFileExit = nullptr;
    QMenu *mnuWindow = nullptr;
    QAction *mnuWindowCascade = nullptr;
    QAction *mnuWindowTileHorizontal = nullptr;
    QAction *mnuWindowTileVertical = nullptr;
    QAction *mnuWindowArrangeIcons = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpContents = nullptr;
    QAction *mnuHelpSearch = nullptr;
    QAction *mnuVelder = nullptr;
    QAction *mnuHelpAbout = nullptr;
    // The tray menu: a top-level menu that is never shown in the menu bar.
    QMenu *mnuPopUp = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuHide = nullptr;
    QAction *mnuExit = nullptr;
    QAction *mnuAbout = nullptr;

    // Tray hiding and the password guard (PasswordGuard): the timer notes
    // whether the window was minimised; the resize rule hides a minimised
    // window, and asks for the password before one that the desktop brings
    // back is shown again. The tray menu's Open asks before it shows anything.
    void Timer1_Timer() { m_guard.tick(); }
    void MDIForm_Resize() { m_guard.windowResized(); }

    // An end request: SIGTERM, SIGINT, SIGHUP, the end of the desktop
    // session, Exit, or closing the main window; the same as close(). It
    // may come at any moment, also while a modal window, a message box or a
    // menu runs a loop of its own, whose handlers may still touch what the
    // end destroys. So it closes every such window and menu, and the end
    // itself runs from the event loop once their loops have returned:
    // unloaded() follows. Never refused; the configuration is saved as at
    // any end.
    void requestEnd();

signals:
    // The close sequence is over: the program ends, whatever other window
    // (a modeless about box) is still open.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct MenuItem;
    static const MenuItem menuItems[]; // the menus' items as designed
    void createMenus();
    void mnuFile_Click();
    void mnuWindow_Click();
    void mnuHelpContents_Click() { m_helpViewers->openHelp(); }
    void mnuVelder_Click();
    void mnuHelpAbout_Click();
    void mnuOpen_Click()
    {
        m_guard.open([this] { destroy(); });
    }
    static bool closeNestedLoops();
    void endNow();
    void MDIForm_QueryUnload();
    void MDIForm_Unload();

    QList<QAction *> m_windowList; // the Window menu's entries for the open sessions
    HelpViewers *m_helpViewers = nullptr;
    QList<frmDocument *> m_sessions; // in opening order; each leaves the list when destroyed
    QVector<qint16> m_autoActivateMarks{0, 0};
    WindowPlacement m_placement; // as read at the load, stored at the end
    QTimer m_endTimer;           // runs the end from the event loop, again while nested loops unwind
    bool m_ending = false;       // an end request came: nothing new is asked
    bool m_closed = false;       // the end has run
    PasswordGuard m_guard{this, [this] { return m_ending; }};
};
