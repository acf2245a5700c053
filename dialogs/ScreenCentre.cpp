#include "dialogs/ScreenCentre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

ScreenCentre::ScreenCentre(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
    m_frameCheck.setInterval(50);
    connect(&m_frameCheck, &QTimer::timeout, this, [this] { checkFrame(); });
}

QPoint ScreenCentre::centred() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return m_window->pos();
    const QWindow *handle = m_window->windowHandle();
    const QSize outer = m_window->size().grownBy(handle ? handle->frameMargins() : QMargins());
    const QRect area = screen->geometry();
    return {area.x() + qRound(area.width() / 2.0 - outer.width() / 2.0),
            area.y() + qRound(area.height() / 2.0 - outer.height() / 2.0)};
}

void ScreenCentre::checkFrame()
{
    // Where the window manager put the frame, from what it last said of it;
    // it may answer a move late, so the check goes on until the frame sits
    // where it should.
    const QWindow *handle = m_window->windowHandle();
    const bool framed = handle && !handle->frameMargins().isNull();
    if (framed && handle->framePosition() == centred())
        m_checksLeft = 0;
    else if (framed)
        m_window->move(centred());
    if (--m_checksLeft <= 0)
        m_frameCheck.stop();
}

bool ScreenCentre::eventFilter(QObject *watched, QEvent *event)
{
    // Once, when it opens; not again when it is restored.
    if (watched == m_window && event->type() == QEvent::Show && !m_shown && !event->spontaneous()) {
        m_shown = true;
        m_window->move(centred());
        // Up to 10 s for a frame; without a window manager none comes.
        m_checksLeft = 200;
        m_frameCheck.start();
    }
    return false;
}
