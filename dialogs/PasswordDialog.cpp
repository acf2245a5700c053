#include "dialogs/PasswordDialog.h"

#include "common/Twips.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <climits>

namespace {

using DesignForm::place;

// Designed client area and left margin, in twips.
constexpr int clientWidth = 3120;
constexpr int clientHeight = 2235;
constexpr int left = 240;

// Moves a top-level window so that its outer frame sits in the middle of the
// primary screen.
void centreOnScreen(QWidget *window)
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
    const double x = area.width() / 2.0 - outer.width() / 2.0;
    const double y = area.height() / 2.0 - outer.height() / 2.0;
    window->move(area.x() + qRound(x), area.y() + qRound(y));
}

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

void PasswordDialog::showEvent(QShowEvent *event)
{
    // Centre once, when the dialog opens; not again when it is restored.
    // Left to itself Qt would not centre a dialog that was placed already.
    if (!m_centred && !event->spontaneous()) {
        m_centred = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}
