#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

// Answers the next modal widget of type T once it is up: `answer` runs from
// the event loop that the modal exec() starts. Returns a flag that tells
// whether one came up.
template <typename T>
std::shared_ptr<bool> answerModal(QObject *context, std::function<void(T *)> answer)
{
    auto seen = std::make_shared<bool>(false);
    QTimer::singleShot(0, context, [seen, answer] {
        if (auto *w = qobject_cast<T *>(QApplication::activeModalWidget())) {
            *seen = true;
            answer(w);
        }
    });
    return seen;
}

// What a message box said before the test closed it with `button`.
struct MessageSeen
{
    bool shown = false;
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline std::shared_ptr<MessageSeen> answerMessageBox(QObject *context,
                                                     QMessageBox::StandardButton button = QMessageBox::Ok)
{
    auto seen = std::make_shared<MessageSeen>();
    QTimer::singleShot(0, context, [seen, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *seen = {true, box->text(), box->windowTitle(), box->standardButtons(), box->icon()};
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->close();
    });
    return seen;
}
