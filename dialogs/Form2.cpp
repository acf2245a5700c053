#include "dialogs/Form2.h"

#include "common/DesignForm.h"
#include "common/Globals.h"
#include "common/Twips.h"
#include "dialogs/Form1.h"
#include "resources/LoadResource.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

using DesignForm::place;

// Designed client area, in twips.
constexpr int clientWidth = 3120;
constexpr int clientHeight = 2235;

} // namespace

Form2::Form2()
    : QDialog(nullptr, DesignForm::dialogFlags)
{
    setObjectName(QStringLiteral("Form2"));
    // Fixed English captions: this window is not localised.
    setWindowTitle(QStringLiteral("Ombrix Password"));
    installFontSubstitutions();
    setFont(DesignForm::font());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));

    Text1 = new QLineEdit(this);
    place(Text1, "Text1", 240, 600, 2655, 315);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    place(Command1, "Command1", 480, 1680, 975, 375);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    place(Command2, "Command2", 1680, 1680, 975, 375);
    Label1 = new QLabel(QStringLiteral("Enter Password:"), this);
    place(Label1, "Label1", 240, 360, 1395, 195);

    Form1::makePasswordBox(Text1);
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::reject);
}

void Form2::showModal()
{
    Form2 dialog;
    dialog.exec();
}

void Form2::reject()
{
    Globals::EnteredPassword.clear();
    QDialog::reject();
}

void Form2::showEvent(QShowEvent *event)
{
    if (!m_centred && !event->spontaneous()) {
        m_centred = true;
        Form1::centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void Form2::Command1_Click()
{
    Globals::EnteredPassword = Text1->text();
    accept();
}
