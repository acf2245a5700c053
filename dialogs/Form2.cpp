#include "dialogs/Form2.h"

#include "dialogs/WindowGlobals.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

Form2::Form2()
    : PasswordDialog(QStringLiteral("Form2"))
{
    Text1 = passwordBox("Text1", 600);
    Label1 = label("Label1", QStringLiteral("Enter Password:"), 360, 1395);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::showModal()
{
    Form2 dialog;
    dialog.exec();
}

void Form2::reject()
{
    WindowGlobals::EnteredPassword.clear();
    PasswordDialog::reject();
}

void Form2::Command1_Click()
{
    WindowGlobals::EnteredPassword = Text1->text();
    accept();
}
