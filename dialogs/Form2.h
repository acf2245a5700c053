#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

// The enter-password dialog: asks for the password and leaves the answer in
// Globals::EnteredPassword (empty unless closed with OK). The caller compares.
class Form2 : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(Form2)

public:
    Form2();

    // Opens a new instance modally with no owner and returns once it closed.
    static void showModal();

    // Cancel, Escape and the close box: the answer is empty.
    void reject() override;

    // Controls, by their designed names.
    QLineEdit *Text1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Command1_Click();

    bool m_centred = false;
};
