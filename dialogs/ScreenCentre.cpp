#include "dialogs/ScreenCentre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

ScreenCentre::ScreenCentre(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
}

void ScreenCentre::centre(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Before the window is mapped the frame is not known yet; its client
    // size is the best guess then.
    QSize outer = window->frameGeometry().size();
    if (!outer.isValid() || outer.isEmpty())
        outer = window->size();
    const double x = area.width() / 2.0 - outer.width() / 2.0;
    const double y = area.height() / 2.0 - outer.height() / 2.0;
    window->move(area.x() + qRound(x), area.y() + qRound(y));
}

bool ScreenCentre::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // Once, when it opens; not again when it is restored.
        if (!m_shown && !event->spontaneous()) {
            m_shown = true;
            centre(m_window);
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (m_shown && !m_framed && m_window->frameGeometry().size() != m_window->size()) {
            m_framed = true;
            centre(m_window);
        }
        break;
    default:
        break;
    }
    return false;
}
