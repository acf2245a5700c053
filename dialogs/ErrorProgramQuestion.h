#pragma once

#include <QMessageBox>

#include <functional>

// Asks whether the program that a configuration names may start on errors,
// naming the program, its arguments and the file. It runs no loop of its
// own: it shows, application-modal, and nothing waits for it, so that
// logging goes on until the user answers. answered() tells Yes (true) or No
// (false, also Escape and the close box); a box closed by the program, as at
// an end request, answers nothing.
class ErrorProgramQuestion : public QMessageBox
{
    Q_OBJECT
    Q_DISABLE_COPY(ErrorProgramQuestion)

public:
    ErrorProgramQuestion(const QString &file, const QString &commandLine, QWidget *parent = nullptr);

    // Shows the question over `parent` from the event loop and hands its
    // answer to `answer` with the command line; it goes when closed.
    static void ask(const QString &file, const QString &commandLine, QWidget *parent,
                    std::function<void(const QString &commandLine, bool accepted)> answer);

signals:
    void answered(bool accepted);
};
