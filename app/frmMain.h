#pragma once

#include "config/ProfileSettings.h"

#include <QMainWindow>
#include <QTimer>

class FileDialogComponent;
class QAction;
class QMdiArea;
class QMenu;

// The main window: a multiple-document frame holding one window per logging
// session, with the File menu's document commands. It loads the
// configuration at start-up and saves it to default.bvx at every exit.
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

    void getprofilesettings(const QString &FileName,
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
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileExit_Click();

    QString CurrentFileName;
    QMdiArea *const mdiArea;
    FileDialogComponent *dlgCommonDialog = nullptr;
    QTimer Timer1;

    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *mnuFileClose = nullptr;
    QAction *mnuFileSave = nullptr;
    QAction *mnuFileSaveAs = nullptr;
    QAction *mnuFileExit = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    void mnuFile_Click();
    void MDIForm_QueryUnload();
    void MDIForm_Unload();
    void restorePlacement();
    void storePlacement();

    QList<frmDocument *> m_sessions; // in opening order; each leaves the list when destroyed
    QVector<qint16> m_autoActivateMarks{0, 0};
    QRect m_placementTwips; // as read, so that an unmoved window stores exactly that
    bool m_closed = false;
};
