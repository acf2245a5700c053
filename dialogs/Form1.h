#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

// The set-password dialog: sets, changes or clears Globals::Password. The new
// password must be typed twice; it is stored only when both entries are equal.
class Form1 : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(Form1)

public:
    Form1();

    // Opens a new instance modally with no owner and returns once it closed.
    static void showModal();

    // Moves a top-level window so that its outer frame sits in the middle of
    // the primary screen. Both password dialogs do this when they open.
    static void centreOnScreen(QWidget *window);

    // Makes a line edit a password box that shows "*" for every character
    // and takes text of any length.
    static void makePasswordBox(QLineEdit *box);

    // Controls, by their designed names.
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Command1_Click();

    bool m_centred = false;
};
