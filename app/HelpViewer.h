#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <functional>

// The command that opens `file` in the desktop's own viewer for its type:
// the default application that the desktop's mimeapps.list files name (else
// the first one that declares the type), from its desktop entry's Exec line.
// Started directly rather than through xdg-open, which hands the file on and
// ends at once, the viewer is a process of ours that can be ended at exit.
// Empty when the desktop has no viewer for the type.
QStringList desktopViewerCommand(const QString &file);

// The help viewers the program started: Help > Contents opens the help file
// in one. Each is a process of ours, ended with the program: asked to end
// first, and killed when it has not ended within a grace period. Nothing
// waits for them on the way.
class HelpViewers : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HelpViewers)

public:
    static constexpr int graceMs = 500;

    explicit HelpViewers(QObject *parent = nullptr);

    // The help viewer: a program that opens ombrix.chm; the first of those
    // installed, unless a test names another (an empty name: none). Without
    // one, the desktop's viewer for the type.
    static QString helpViewer();
    static void setHelpViewer(const QString &program);
    static QString helpFilePath();

    // Opens the help file in the help viewer. A missing help file or viewer
    // does nothing and says nothing.
    void openHelp();
    // Starts `command` (program and arguments).
    void open(QStringList command);
    // Asks every running viewer to end.
    void endAll();
    // Runs `done` once no viewer runs any more, at once when none does.
    void whenEnded(std::function<void()> done);

private:
    void finishIfEnded();

    QList<QPointer<QProcess>> m_running;
    QTimer m_grace;
    std::function<void()> m_done;
};
