#pragma once

#include <QRect>
#include <QSize>

// The main window's placement, kept in twips in the per-user settings store
// (group "Settings": MainLeft, MainTop, MainWidth, MainHeight). In pixels it
// is the window's position (of its frame) and the size of its client area.
class WindowPlacement
{
public:
    // The geometry the stored placement asks for. A stored value that is not
    // a number leaves that property as `current` has it; the size stays
    // within `desktop` (an empty one: within what a window system can
    // address), and so does the position.
    QRect restore(const QRect &current, const QSize &desktop);
    // Stores `pixels`. A window that still has what restore() gave stores
    // exactly what was read, so that the twips do not drift by the rounding
    // to whole pixels at every start.
    void store(const QRect &pixels) const;

private:
    QRect m_twips; // as read
};
