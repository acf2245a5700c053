#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

class QWidget;

// Keeps a top-level window's outer frame in the middle of the primary screen
// when it first opens. The window manager adds the frame only after the
// window is mapped, and no event says when; until then the window is centred
// by its own size, then moved until its frame is centred. Later moves by the
// user are left alone.
class ScreenCentre : public QObject
{
    Q_DISABLE_COPY(ScreenCentre)

public:
    // Installs itself on `window`, which owns it.
    explicit ScreenCentre(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPoint centred() const;
    void checkFrame();

    QWidget *const m_window;
    QTimer m_frameCheck;
    int m_checksLeft = 0;
    bool m_shown = false;
};
