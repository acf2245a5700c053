#include "app/PasswordGuard.h"

#include "common/Globals.h"
#include "dialogs/Form2.h"
#include "dialogs/WindowGlobals.h"

#include <QApplication>
#include <QMessageBox>
#include <QScopeGuard>
#include <QWidget>

PasswordGuard::PasswordGuard(QWidget *window, std::function<bool()> ending)
    : m_window(window)
    , m_ending(std::move(ending))
{}

bool PasswordGuard::minimised() const
{
    return m_window->windowState().testFlag(Qt::WindowMinimized);
}

void PasswordGuard::tick()
{
    WindowGlobals::WasMinimized = minimised();
}

void PasswordGuard::windowResized()
{
    if (m_inResize || m_ending() || m_asking)
        return;
    m_inResize = true;
    const auto leave = qScopeGuard([this] { m_inResize = false; });

    if (WindowGlobals::WasMinimized && !minimised()) {
        // Brought back by the desktop (its task bar, not the tray menu),
        // after having been minimised: hidden again until the password is
        // right.
        WindowGlobals::WasMinimized = false;
        if (!Globals::Password.isEmpty()) {
            m_window->hide();
            const bool right = accepted();
            if (m_ending())
                return;
            m_window->setWindowState(right ? Qt::WindowNoState : Qt::WindowMinimized);
            // Without a tray a refused window stays minimised where the
            // desktop shows such windows, or it could never be reached again.
            if (right || !WindowGlobals::TrayActive)
                m_window->show();
        }
    }
    // A minimised window leaves only its tray icon.
    if (minimised() && WindowGlobals::TrayActive)
        m_window->hide();
}

bool PasswordGuard::mayOpen()
{
    // While the password prompt is up, the window must not come back past
    // it: bring the prompt to the front instead.
    if (m_asking) {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        return false;
    }
    // A minimised window is asked for while nothing of it shows; a wrong or
    // cancelled answer leaves it exactly as it was.
    if (minimised() && !accepted())
        return false;
    WindowGlobals::WasMinimized = false;
    return true;
}

void PasswordGuard::open(const std::function<void()> &remake)
{
    if (!mayOpen())
        return;
    // Un-minimising a window that is off the screen maps it at once on X11,
    // before its hints stop asking for it to be iconified; a quick window
    // manager then sends it straight back to the tray. A hidden window is
    // made anew instead, in the normal state.
    if (minimised() && !m_window->isVisible())
        remake();
    m_window->setWindowState(m_window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool PasswordGuard::accepted()
{
    if (Globals::Password.isEmpty())
        return true;
    if (m_ending())
        return false;
    m_asking = true;
    const auto done = qScopeGuard([this] { m_asking = false; });
    WindowGlobals::EnteredPassword.clear();
    Form2::showModal();
    // An end request while it asked closed it: nothing more is asked.
    if (m_ending())
        return false;
    if (WindowGlobals::EnteredPassword == Globals::Password)
        return true;
    if (!WindowGlobals::EnteredPassword.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ombrix"), QStringLiteral("Invalid password"),
                        QMessageBox::Ok);
        box.exec();
    }
    return false;
}
