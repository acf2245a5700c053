#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// What the two password dialogs share: an ownerless fixed dialog of the
// designed size, with OK (Command1, the default) and Cancel (Command2) along
// the bottom, centred on the screen when it first opens. Cancel, Escape and
// the close box all end in reject().
class PasswordDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(PasswordDialog)

public:
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

protected:
    explicit PasswordDialog(const QString &name);

    // A box placed in twips that shows "*" for every character and takes
    // text of any length.
    QLineEdit *passwordBox(const char *name, int top);
    QLabel *label(const char *name, const QString &text, int top, int width);
};
