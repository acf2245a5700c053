#pragma once

#include "tray/clsTaskBar.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QEvent;
class QMenu;
class QWidget;

// The main window's tray icon and its mouse handling. The hook is an event
// filter on the main window: it takes the icon's callback message (a
// TrayCallbackEvent) and lets every other event through untouched.

// The operating-system version record; only the size, the two version
// numbers and the platform are used.
struct OsVersionInfo
{
    static constexpr quint32 RecordSize = 148;

    quint32 dwOSVersionInfoSize = 0;
    quint32 dwMajorVersion = 0;
    quint32 dwMinorVersion = 0;
    quint32 dwBuildNumber = 0;
    quint32 dwPlatformId = 0;
    std::array<char, 128> szCSDVersion{};
};

// Fills `info`. On systems other than Windows the answer is platform 2
// (the NT family), version 10.0.
bool GetVersionExA(OsVersionInfo &info);

// Whether a system of this version has a tray: platform 1 always, platform 2
// from version 3.51, nothing else.
bool VersionHasTray(const OsVersionInfo &info);

// The single tray icon object, created on first use over the QSystemTrayIcon shell.
clsTaskBar &TaskBar();

bool SubclassForm(QWidget *frm, QMenu *menu, const QString &tip, QAction *defaultItem);
bool HookWindow(QWidget *frm);
bool UnhookWindow(QWidget *frm);

// Handles the icon's callback message `uMsg`; lParam is the mouse message.
// The hook calls it only for that message and lets every other event reach
// the window unchanged. Returns the message result, always 0.
qint32 WindowProc(QWidget *hWnd, quint32 uMsg, qint32 wParam, qint32 lParam);

// Test seams. Each call replaces the previous one; an empty function returns
// to the system's own behaviour.
namespace basSubclassTest {
using VersionQuery = std::function<bool(OsVersionInfo &)>;
using MenuPopup = std::function<void(QMenu *menu, QWidget *owner)>;
void setVersionQuery(VersionQuery query);
void setMenuPopup(MenuPopup popup);
// Replaces the tray icon object by a fresh one over `shell` and forgets the
// hooked window, menu and default item.
void reset(std::unique_ptr<TrayShell> shell);
} // namespace basSubclassTest
