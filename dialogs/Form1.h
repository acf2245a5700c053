#pragma once

#include "dialogs/PasswordDialog.h"

// The set-password dialog: sets, changes or clears Globals::Password. The new
// password must be typed twice; it is stored only when both entries are equal.
class Form1 : public PasswordDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(Form1)

public:
    Form1();

    // Opens a new instance modally with no owner and returns once it closed.
    static void showModal();

    // Controls, by their designed names; OK and Cancel are Command1 and Command2.
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;

private:
    void Command1_Click();
};
