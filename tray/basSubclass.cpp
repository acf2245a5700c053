#include "tray/basSubclass.h"

#include "dialogs/frmAbout.h"
#include "resources/ProgramIcon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace {

constexpr quint32 PlatformWin32s = 0;
constexpr quint32 PlatformWindows = 1;
constexpr quint32 PlatformNT = 2;
constexpr qint16 FirstNTWithTray = 351; // 3.51

// Sits on the hooked window and hands it the icon's callback messages.
class TrayHook : public QObject
{
    Q_DISABLE_COPY(TrayHook)

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

struct ModuleState
{
    std::unique_ptr<clsTaskBar> taskBar;
    QPointer<QWidget> hookedForm;
    QPointer<QMenu> trayMenu;
    QPointer<QAction> trayDefaultItem;
    QPointer<TrayHook> hook; // in place of the replaced window procedure
    basSubclassTest::VersionQuery versionQuery;
    basSubclassTest::MenuPopup menuPopup;
};

ModuleState &state()
{
    static ModuleState s;
    return s;
}

bool TrayHook::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != TrayCallbackEvent::eventType() || !watched->isWidgetType())
        return false;
    const auto *callback = static_cast<const TrayCallbackEvent *>(event);
    // A callback event that is not the icon's message goes on like any other event.
    if (callback->message() != static_cast<quint16>(TaskBar().CallbackMessage()))
        return false;
    WindowProc(static_cast<QWidget *>(watched), callback->message(), 0, callback->mouseMessage());
    return true;
}

void popUpTrayMenu()
{
    ModuleState &s = state();
    if (!s.trayMenu)
        return;
    // Set on every pop-up: no default item means no bold item.
    s.trayMenu->setDefaultAction(s.trayDefaultItem.data());
    if (s.menuPopup)
        s.menuPopup(s.trayMenu, s.hookedForm);
    else
        s.trayMenu->exec(QCursor::pos());
}

void showAboutBox()
{
    // A modeless box cannot come up over a modal window of ours (the options,
    // the password prompt, a message box): bring that window forward instead.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    frmAbout::showModeless();
}

} // namespace

bool GetVersionExA(OsVersionInfo &info)
{
    if (const auto &query = state().versionQuery)
        return query(info);
    info.dwMajorVersion = 10;
    info.dwMinorVersion = 0;
    info.dwBuildNumber = 0;
    info.dwPlatformId = PlatformNT;
    info.szCSDVersion.fill('\0');
    return true;
}

bool VersionHasTray(const OsVersionInfo &info)
{
    switch (info.dwPlatformId) {
    case PlatformWindows:
        return true;
    case PlatformNT:
        return static_cast<qint16>(info.dwMajorVersion * 100 + info.dwMinorVersion) >= FirstNTWithTray;
    case PlatformWin32s:
    default:
        return false;
    }
}

clsTaskBar &TaskBar()
{
    auto &taskBar = state().taskBar;
    if (!taskBar)
        taskBar = std::make_unique<clsTaskBar>(std::make_unique<QtTrayShell>());
    return *taskBar;
}

bool SubclassForm(QWidget *frm, QMenu *menu, const QString &tip, QAction *defaultItem)
{
    ModuleState &s = state();
    s.hookedForm = frm;
    s.trayMenu = menu;
    s.trayDefaultItem = defaultItem;

    OsVersionInfo version;
    version.dwOSVersionInfoSize = OsVersionInfo::RecordSize;
    GetVersionExA(version);
    if (!VersionHasTray(version))
        return false;

    if (!TaskBar().Exists())
        return false;
    if (!HookWindow(frm))
        return false;

    TaskBar().hwnd(frm);
    // The tray shows the window's own icon; the program's icon if it has none.
    QIcon icon = frm->windowIcon();
    if (icon.isNull())
        icon = programIcon();
    TaskBar().AddIcon(icon, 1);
    TaskBar().ChangeTip(tip, 1);
    return true;
}

bool HookWindow(QWidget *frm)
{
    if (!frm)
        return false;
    ModuleState &s = state();
    // Hooking twice would leave two filters; one is enough.
    if (s.hook && s.hook->parent() == frm)
        return true;
    // A child of the window, the hook is gone when the window is.
    s.hook = new TrayHook(frm);
    frm->installEventFilter(s.hook);
    return true;
}

bool UnhookWindow(QWidget *frm)
{
    ModuleState &s = state();
    if (!frm || !s.hook || s.hook->parent() != frm)
        return false;
    frm->removeEventFilter(s.hook);
    delete s.hook.data();
    return true;
}

qint32 WindowProc(QWidget *hWnd, quint32 uMsg, qint32 wParam, qint32 lParam)
{
    Q_UNUSED(hWnd);
    Q_UNUSED(wParam);
    if (uMsg != static_cast<quint16>(TaskBar().CallbackMessage()))
        return 0;
    switch (lParam) {
    case TrayMouse::LeftDoubleClick:
        showAboutBox();
        break;
    case TrayMouse::RightUp:
        popUpTrayMenu();
        break;
    default:
        break;
    }
    return 0;
}

namespace basSubclassTest {

void setVersionQuery(VersionQuery query)
{
    state().versionQuery = std::move(query);
}

void setMenuPopup(MenuPopup popup)
{
    state().menuPopup = std::move(popup);
}

void reset(std::unique_ptr<TrayShell> shell)
{
    ModuleState &s = state();
    if (s.hook && s.hook->parent())
        UnhookWindow(static_cast<QWidget *>(s.hook->parent()));
    s.taskBar = std::make_unique<clsTaskBar>(std::move(shell));
    s.hookedForm = nullptr;
    s.trayMenu = nullptr;
    s.trayDefaultItem = nullptr;
}

} // namespace basSubclassTest
