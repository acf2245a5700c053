#pragma once

#include <QObject>

class QWidget;

// Keeps a top-level window's outer frame in the middle of the primary screen
// when it first opens. The window manager adds the frame only once the
// window is mapped, so the window is placed again, once, when the frame's
// size becomes known. Later moves by the user are left alone.
class ScreenCentre : public QObject
{
    Q_DISABLE_COPY(ScreenCentre)

public:
    // Installs itself on `window`, which owns it.
    explicit ScreenCentre(QWidget *window);

    static void centre(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *const m_window;
    bool m_shown = false;
    bool m_framed = false;
};
