#include "dialogs/Form1.h"

#include "common/DesignForm.h"
#include "common/Globals.h"
#include "common/Twips.h"
#include "resources/LoadResource.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <climits>

namespace {

using DesignForm::place;

// Designed client area, in twips; Form2 has the same.
constexpr int clientWidth = 3120;
constexpr int clientHeight = 2235;

} // namespace

Form1::Form1()
    : QDialog(nullptr, DesignForm::dialogFlags)
{
    setObjectName(QStringLiteral("Form1"));
    // Fixed English captions: this window is not localised.
    setWindowTitle(QStringLiteral("Ombrix Password"));
    installFontSubstitutions();
    setFont(DesignForm::font());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));

    Text1 = new QLineEdit(this);
    place(Text1, "Text1", 240, 360, 2655, 315);
    Text2 = new QLineEdit(this);
    place(Text2, "Text2", 240, 1080, 2655, 315);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    place(Command1, "Command1", 480, 1680, 975, 375);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    place(Command2, "Command2", 1680, 1680, 975, 375);
    Label1 = new QLabel(QStringLiteral("Enter Password:"), this);
    place(Label1, "Label1", 240, 120, 1395, 195);
    Label2 = new QLabel(QStringLiteral("Confirm Password:"), this);
    place(Label2, "Label2", 240, 840, 1575, 195);

    makePasswordBox(Text1);
    makePasswordBox(Text2);
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();

    // Both boxes start with the password in force, so OK without typing keeps it.
    Text1->setText(Globals::Password);
    Text2->setText(Globals::Password);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    // Cancel, Escape and the close box all end in reject(), which stores nothing.
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void Form1::showModal()
{
    Form1 dialog;
    dialog.exec();
}

void Form1::centreOnScreen(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Before the window is mapped the frame is not known yet; its client
    // size is the best guess then.
    QSize outer = window->frameGeometry().size();
    if (!outer.isValid() || outer.isEmpty())
        outer = window->size();
    const double left = area.width() / 2.0 - outer.width() / 2.0;
    const double top = area.height() / 2.0 - outer.height() / 2.0;
    window->move(area.x() + qRound(left), area.y() + qRound(top));
}

void Form1::makePasswordBox(QLineEdit *box)
{
    box->setEchoMode(QLineEdit::Password);
    // Styles differ in their mask character (a bullet on most desktops); the
    // boxes show "*".
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    // Qt would cut text at 32767 characters; a password has no limit here.
    box->setMaxLength(INT_MAX);
}

void Form1::showEvent(QShowEvent *event)
{
    // Centre once, when the dialog opens; not again when it is restored.
    if (!m_centred && !event->spontaneous()) {
        m_centred = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
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
