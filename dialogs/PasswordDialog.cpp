#include "dialogs/PasswordDialog.h"

#include "common/Twips.h"
#include "dialogs/ScreenCentre.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <climits>

namespace {

using DesignForm::place;

// Designed client area and left margin, in twips.
constexpr int clientWidth = 3120;
constexpr int clientHeight = 2235;
constexpr int left = 240;

} // namespace

PasswordDialog::PasswordDialog(const QString &name)
    : QDialog(nullptr, DesignForm::dialogFlags)
{
    setObjectName(name);
    // Fixed English captions: these windows are not localised.
    setWindowTitle(QStringLiteral("Ombrix Password"));
    installFontSubstitutions();
    setFont(DesignForm::font());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    place(Command1, "Command1", 480, 1680, 975, 375);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    place(Command2, "Command2", 1680, 1680, 975, 375);
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    new ScreenCentre(this);
}

QLineEdit *PasswordDialog::passwordBox(const char *name, int top)
{
    auto *box = new QLineEdit(this);
    place(box, name, left, top, 2655, 315);
    box->setEchoMode(QLineEdit::Password);
    // Styles differ in their mask character (a bullet on most desktops); the
    // boxes show "*".
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    // Qt would cut text at 32767 characters; a password has no limit here.
    box->setMaxLength(INT_MAX);
    return box;
}

QLabel *PasswordDialog::label(const char *name, const QString &text, int top, int width)
{
    auto *label = new QLabel(text, this);
    place(label, name, left, top, width, 195);
    return label;
}
