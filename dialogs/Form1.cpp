#include "dialogs/Form1.h"

#include "common/Globals.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

Form1::Form1()
    : PasswordDialog(QStringLiteral("Form1"))
{
    Text1 = passwordBox("Text1", 360);
    Text2 = passwordBox("Text2", 1080);
    Label1 = label("Label1", QStringLiteral("Enter Password:"), 120, 1395);
    Label2 = label("Label2", QStringLiteral("Confirm Password:"), 840, 1575);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();

    // Both boxes start with the password in force, so OK without typing keeps it.
    Text1->setText(Globals::Password);
    Text2->setText(Globals::Password);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

void Form1::showModal()
{
    Form1 dialog;
    dialog.exec();
}

void Form1::Command1_Click()
{
    // Exact comparison: letter case and blanks at either end count.
    if (Text2->text() != Text1->text()) {
        QMessageBox box(
            QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
            QStringLiteral("Your confirming password does not match your password. Please re-enter."),
            QMessageBox::Ok, this);
        box.exec();
        return;
    }
    Globals::Password = Text1->text();
    accept();
}
