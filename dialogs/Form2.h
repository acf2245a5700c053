#pragma once

#include "dialogs/PasswordDialog.h"

// The enter-password dialog: asks for the password and leaves the answer in
// WindowGlobals::EnteredPassword (empty unless closed with OK). The caller compares.
class Form2 : public PasswordDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(Form2)

public:
    Form2();

    // Opens a new instance modally with no owner and returns once it closed.
    static void showModal();

    // Cancel, Escape and the close box: the answer is empty.
    void reject() override;

    // Controls, by their designed names; OK and Cancel are Command1 and Command2.
    QLineEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr;

private:
    void Command1_Click();
};
