#pragma once

#include <functional>

class QWidget;

// The main window's password guard and tray hiding rule. The window's timer
// notes whether it was minimised; a minimised window leaves only its tray
// icon; one that the desktop brings back is hidden again until the password
// is right; the tray menu's Open asks before it shows anything. Nothing is
// asked once an end request came.
class PasswordGuard
{
public:
    // `ending` tells whether an end request came.
    PasswordGuard(QWidget *window, std::function<bool()> ending);

    // The timer's tick.
    void tick();
    // After a resize or a change of the window's state.
    void windowResized();
    // The tray menu's Open: the window comes back, past the password when it
    // was minimised; while the prompt is up, the prompt comes to the front
    // instead. `remake` makes the window's native window anew.
    void open(const std::function<void()> &remake);

private:
    bool mayOpen();
    // Asks for the password when there is one; true when it was right, or
    // when there is none. A wrong one is told in a message box.
    bool accepted();
    bool minimised() const;

    QWidget *const m_window;
    const std::function<bool()> m_ending;
    bool m_inResize = false; // the rule's own state changes must not re-enter it
    bool m_asking = false;   // the password prompt is up
};
