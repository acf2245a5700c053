#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <memory>

// Answers the next modal widget of type T from the event loop that its exec()
// starts; the flag tells whether one came up.
template <typename T>
std::shared_ptr<bool> answerModal(QObject *context, std::function<void(T *)> answer)
{
    auto seen = std::make_shared<bool>(false);
    QTimer::singleShot(0, context, [seen, answer] {
        if (auto *w = qobject_cast<T *>(QApplication::activeModalWidget()))
            *seen = true, answer(w);
    });
    return seen;
}

// The text of the next message box, closed with `button`; null when none came up.
inline std::shared_ptr<QString> answerMessageBox(QObject *context,
                                                 QMessageBox::StandardButton button = QMessageBox::Ok)
{
    auto text = std::make_shared<QString>();
    answerModal<QMessageBox>(context, [text, button](QMessageBox *box) {
        *text = box->text().isNull() ? QLatin1String("") : box->text();
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->close();
    });
    return text;
}
