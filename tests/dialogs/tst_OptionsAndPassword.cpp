#include "common/Globals.h"
#include "components/FileDialogComponent.h"
#include "dialogs/Form1.h"
#include "dialogs/Form2.h"
#include "dialogs/frmOptions.h"
#include "tests/support/ScriptedFileDialog.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

// How the user leaves a dialog. Keys go to the control named in the row.
enum class Finish { Ok, Enter, Cancel, Escape, CloseBox };

std::unique_ptr<QDialog> makeDialog(const QString &name, FileDialogComponent *chooser = nullptr)
{
    if (name == QLatin1String("frmOptions"))
        return std::make_unique<frmOptions>(chooser);
    delete chooser; // only the options dialog browses
    if (name == QLatin1String("Form1"))
        return std::make_unique<Form1>();
    return std::make_unique<Form2>();
}

QPushButton *buttonWithText(QDialog &dialog, const QString &text)
{
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Replaces a box's text by typing, as a user would.
void retype(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

void finishDialog(QDialog &dialog, Finish how, const QString &keyTarget = QString())
{
    switch (how) {
    case Finish::Ok:
        QTest::mouseClick(buttonWithText(dialog, QStringLiteral("OK")), Qt::LeftButton);
        break;
    case Finish::Cancel:
        QTest::mouseClick(buttonWithText(dialog, QStringLiteral("Cancel")), Qt::LeftButton);
        break;
    case Finish::Enter:
    case Finish::Escape: {
        auto *target = dialog.findChild<QWidget *>(keyTarget);
        QVERIFY2(target, qPrintable(keyTarget));
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, how == Finish::Enter ? Qt::Key_Return : Qt::Key_Escape);
        break;
    }
    case Finish::CloseBox:
        dialog.close();
        break;
    }
}

bool accepts(Finish how)
{
    return how == Finish::Ok || how == Finish::Enter;
}

// What a message box, if one came up, looked like. Answered with its OK button.
struct MessageSeen
{
    bool looked = false;
    bool shown = false;
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

void answerMessageBox(QObject *context, MessageSeen &seen)
{
    QTimer::singleShot(0, context, [&seen] {
        seen.looked = true;
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.shown = true;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.buttons = box->standardButtons();
        seen.icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
}

const QString mismatchText =
    QStringLiteral("Your confirming password does not match your password. Please re-enter.");

} // namespace

Q_DECLARE_METATYPE(Finish)
Q_DECLARE_METATYPE(QString *)

class tst_OptionsAndPassword : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void window_data();
    void window();
    void geometry_data();
    void geometry();
    void showModal_data();
    void showModal();

    void options_data();
    void options();
    void browse_data();
    void browse();
    void reopenShowsStoredValues();

    void setPassword_data();
    void setPassword();
    void enterPassword_data();
    void enterPassword();
    void longPasswords();
    void passwordBoxes_data();
    void passwordBoxes();
    void centring_data();
    void centring();

private:
    std::unique_ptr<TestEnv> m_env;
};

void tst_OptionsAndPassword::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
}

void tst_OptionsAndPassword::window_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("tabOrder"); // the first has the focus at open; OK is the default

    // 5040 x 3465 and 3120 x 2235 twips.
    QTest::newRow("frmOptions") << "frmOptions"
                                << "Ombrix Options" << QSize(336, 231)
                                << QStringList{"Check1", "Text1", "Command1", "Command2", "Command3"};
    QTest::newRow("Form1") << "Form1"
                           << "Ombrix Password" << QSize(208, 149)
                           << QStringList{"Text1", "Text2", "Command1", "Command2"};
    QTest::newRow("Form2") << "Form2"
                           << "Ombrix Password" << QSize(208, 149)
                           << QStringList{"Text1", "Command1", "Command2"};
}

void tst_OptionsAndPassword::window()
{
    QFETCH(QString, dialog);
    QFETCH(QString, title);
    QFETCH(QSize, size);
    QFETCH(QStringList, tabOrder);

    const auto window = makeDialog(dialog, new ScriptedFileDialog);
    QCOMPARE(window->objectName(), dialog);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(window->minimumSize(), size);
    QCOMPARE(window->maximumSize(), size);
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(buttonWithText(*window, QStringLiteral("OK"))->isDefault());

    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), tabOrder.first());
    // Once round and back to the start.
    for (qsizetype i = 1; i <= tabOrder.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), tabOrder.at(i % tabOrder.size()));
    }
}

void tst_OptionsAndPassword::geometry_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("pixels");

    // Twips / 15, rounded; positions within the parent.
    QTest::newRow("Options Check1") << "frmOptions"
                                    << "Check1"
                                    << "frmOptions" << QRect(16, 92, 317, 21);
    QTest::newRow("Options Text1") << "frmOptions"
                                   << "Text1"
                                   << "Frame1" << QRect(16, 48, 237, 21);
    QTest::newRow("Options Command1") << "frmOptions"
                                      << "Command1"
                                      << "Frame1" << QRect(256, 48, 61, 21);
    QTest::newRow("Options Command3") << "frmOptions"
                                      << "Command3"
                                      << "frmOptions" << QRect(252, 40, 73, 25);
    QTest::newRow("Form1 Text2") << "Form1"
                                 << "Text2"
                                 << "Form1" << QRect(16, 72, 177, 21);
    QTest::newRow("Form1 Label2") << "Form1"
                                  << "Label2"
                                  << "Form1" << QRect(16, 56, 105, 13);
    QTest::newRow("Form2 Text1") << "Form2"
                                 << "Text1"
                                 << "Form2" << QRect(16, 40, 177, 21);
}

void tst_OptionsAndPassword::geometry()
{
    QFETCH(QString, dialog);
    QFETCH(QString, control);
    QFETCH(QString, parent);
    QFETCH(QRect, pixels);

    const auto window = makeDialog(dialog, new ScriptedFileDialog);
    auto *widget = window->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), pixels);
}

void tst_OptionsAndPassword::showModal_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString *>("stored");

    QTest::newRow("frmOptions") << "frmOptions" << &Globals::OnErrorRunApp;
    QTest::newRow("Form1") << "Form1" << &Globals::Password;
    QTest::newRow("Form2") << "Form2" << &Globals::EnteredPassword;
}

void tst_OptionsAndPassword::showModal()
{
    QFETCH(QString, dialog);
    QFETCH(QString *, stored);

    Globals::OnErrorRunApp.clear();
    Globals::Password.clear();
    Globals::EnteredPassword.clear();
    QString shownClass;
    bool ownerless = false;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *window = QApplication::activeModalWidget();
        if (!window)
            return;
        shownClass = QString::fromLatin1(window->metaObject()->className());
        ownerless = !window->parentWidget();
        modal = window->isModal();
        for (QLineEdit *box : window->findChildren<QLineEdit *>())
            box->setText(QStringLiteral("typed"));
        if (QPushButton *ok = buttonWithText(*static_cast<QDialog *>(window), QStringLiteral("OK")))
            ok->click();
        else
            window->close();
    });

    if (dialog == QLatin1String("frmOptions"))
        frmOptions::showModal();
    else if (dialog == QLatin1String("Form1"))
        Form1::showModal();
    else
        Form2::showModal();

    QCOMPARE(shownClass, dialog);
    QVERIFY(ownerless);
    QVERIFY(modal);
    QCOMPARE(*stored, QStringLiteral("typed"));
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_OptionsAndPassword::options_data()
{
    QTest::addColumn<QString>("storedCommand");
    QTest::addColumn<int>("storedLog");
    QTest::addColumn<bool>("shownChecked");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("toggles");
    QTest::addColumn<Finish>("finish");
    QTest::addColumn<QString>("keyTarget");
    QTest::addColumn<QString>("expectedCommand");
    QTest::addColumn<int>("expectedLog");

    const QString blanks = QStringLiteral("  /usr/bin/notify-send \"capture error\"  ");
    QTest::newRow("OK untouched") << "alert -q" << 1 << true << false << "" << 0 << Finish::Ok << ""
                                  << "alert -q" << 1;
    QTest::newRow("OK keeps blanks") << "old" << 0 << false << true << blanks << 0 << Finish::Ok << ""
                                     << blanks << 0;
    QTest::newRow("OK with emptied box") << "old" << 1 << true << true << "" << 0 << Finish::Ok << ""
                                         << "" << 1;
    QTest::newRow("OK ticks box") << "" << 0 << false << false << "" << 1 << Finish::Ok << ""
                                  << "" << 1;
    QTest::newRow("OK unticks box") << "" << 1 << true << false << "" << 1 << Finish::Ok << ""
                                    << "" << 0;
    QTest::newRow("7 kept when untouched") << "" << 7 << true << false << "" << 0 << Finish::Ok << ""
                                           << "" << 7;
    QTest::newRow("-3 kept when untouched") << "" << -3 << true << false << "" << 0 << Finish::Ok << ""
                                            << "" << -3;
    QTest::newRow("7 unticked") << "" << 7 << true << false << "" << 1 << Finish::Ok << ""
                                << "" << 0;
    QTest::newRow("7 ticked off and on again") << "" << 7 << true << false << "" << 2 << Finish::Ok << ""
                                               << "" << 7;
    QTest::newRow("Enter in Text1") << "old" << 0 << false << true << "new" << 0 << Finish::Enter << "Text1"
                                    << "new" << 0;
    QTest::newRow("Enter on Check1") << "old" << 0 << false << false << "" << 1 << Finish::Enter << "Check1"
                                     << "old" << 1;
    QTest::newRow("Cancel after edits") << "old" << 0 << false << true << "new" << 1 << Finish::Cancel << ""
                                        << "old" << 0;
    QTest::newRow("Escape in Text1") << "old" << 0 << false << true << "new" << 1 << Finish::Escape << "Text1"
                                     << "old" << 0;
    QTest::newRow("close box after edits") << "old" << 1 << true << true << "" << 1 << Finish::CloseBox << ""
                                           << "old" << 1;
}

void tst_OptionsAndPassword::options()
{
    QFETCH(QString, storedCommand);
    QFETCH(int, storedLog);
    QFETCH(bool, shownChecked);
    QFETCH(bool, edit);
    QFETCH(QString, typed);
    QFETCH(int, toggles);
    QFETCH(Finish, finish);
    QFETCH(QString, keyTarget);
    QFETCH(QString, expectedCommand);
    QFETCH(int, expectedLog);

    Globals::OnErrorRunApp = storedCommand;
    Globals::LogErrorsToFile = storedLog;
    frmOptions dialog(new ScriptedFileDialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.Check1);
    QCOMPARE(dialog.Check1->isChecked(), shownChecked);
    QCOMPARE(dialog.Text1->text(), storedCommand);

    if (edit)
        retype(dialog.Text1, typed);
    for (int i = 0; i < toggles; ++i) {
        dialog.Check1->setFocus();
        QTest::keyClick(dialog.Check1, Qt::Key_Space);
    }
    finishDialog(dialog, finish, keyTarget);

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), accepts(finish) ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(Globals::OnErrorRunApp, expectedCommand);
    QCOMPARE(Globals::LogErrorsToFile, expectedLog);
}

void tst_OptionsAndPassword::browse_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("path with blanks") << true << "/opt/My Tools/alert program"
                                      << "/opt/My Tools/alert program";
    QTest::newRow("cancelled") << false << ""
                               << "old -x";
    QTest::newRow("chosen without a name") << true << ""
                                           << "old -x";
}

void tst_OptionsAndPassword::browse()
{
    QFETCH(bool, chosen);
    QFETCH(QString, answer);
    QFETCH(QString, expectedText);

    Globals::OnErrorRunApp = QStringLiteral("old -x");
    auto *chooser = new ScriptedFileDialog;
    if (chosen)
        chooser->answer = answer;
    chooser->setFileName(QStringLiteral("/left/over/from/before"));
    chooser->setFilterIndex(2);
    frmOptions dialog(chooser);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    QCOMPARE(chooser->opens, 1);
    QCOMPARE(chooser->shownFlags, 0x1004);
    QCOMPARE(chooser->shownFilter, QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"));
    QCOMPARE(chooser->shownFilterIndex, 1);
    QCOMPARE(chooser->presetName, QString());
    QCOMPARE(dialog.Text1->text(), expectedText);
    // Browsing alone stores nothing; OK does.
    QCOMPARE(Globals::OnErrorRunApp, QStringLiteral("old -x"));
    finishDialog(dialog, Finish::Ok);
    QCOMPARE(Globals::OnErrorRunApp, expectedText);
}

void tst_OptionsAndPassword::reopenShowsStoredValues()
{
    Globals::OnErrorRunApp = QStringLiteral("alert");
    Globals::LogErrorsToFile = 1;
    {
        frmOptions dialog(new ScriptedFileDialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        retype(dialog.Text1, QStringLiteral("typed then cancelled"));
        QTest::keyClick(dialog.Check1, Qt::Key_Space);
        finishDialog(dialog, Finish::Cancel);
    }
    {
        frmOptions dialog(new ScriptedFileDialog);
        QCOMPARE(dialog.Text1->text(), QStringLiteral("alert"));
        QVERIFY(dialog.Check1->isChecked());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        retype(dialog.Text1, QStringLiteral("stored"));
        QTest::keyClick(dialog.Check1, Qt::Key_Space);
        finishDialog(dialog, Finish::Ok);
    }
    frmOptions dialog(new ScriptedFileDialog);
    QCOMPARE(dialog.Text1->text(), QStringLiteral("stored"));
    QVERIFY(!dialog.Check1->isChecked());
}

void tst_OptionsAndPassword::setPassword_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<Finish>("finish");
    QTest::addColumn<QString>("keyTarget");
    QTest::addColumn<bool>("mismatch");
    QTest::addColumn<QString>("expected");

    QTest::newRow("OK untouched") << "secret"
                                  << "secret"
                                  << "secret" << Finish::Ok << "" << false << "secret";
    QTest::newRow("OK untouched, none set") << ""
                                            << ""
                                            << "" << Finish::Ok << "" << false << "";
    QTest::newRow("both emptied") << "secret"
                                  << ""
                                  << "" << Finish::Ok << "" << false << "";
    QTest::newRow("new password") << "secret"
                                  << "n3w Pass"
                                  << "n3w Pass" << Finish::Ok << "" << false << "n3w Pass";
    QTest::newRow("blanks at both ends") << ""
                                         << "  pw  "
                                         << "  pw  " << Finish::Ok << "" << false << "  pw  ";
    QTest::newRow("Enter in Text2") << "secret"
                                    << "other"
                                    << "other" << Finish::Enter << "Text2" << false << "other";
    QTest::newRow("only first changed") << "secret"
                                        << "other"
                                        << "secret" << Finish::Ok << "" << true << "secret";
    QTest::newRow("letter case differs") << "secret"
                                         << "Password"
                                         << "password" << Finish::Ok << "" << true << "secret";
    QTest::newRow("trailing blank differs") << "secret"
                                            << "pass "
                                            << "pass" << Finish::Ok << "" << true << "secret";
    QTest::newRow("Enter with mismatch") << "secret"
                                         << "a"
                                         << "b" << Finish::Enter << "Text1" << true << "secret";
    QTest::newRow("Cancel after typing") << "secret"
                                         << "new"
                                         << "new" << Finish::Cancel << "" << false << "secret";
    QTest::newRow("Escape after typing") << "secret"
                                         << "new"
                                         << "new" << Finish::Escape << "Text2" << false << "secret";
    QTest::newRow("close box after typing") << "secret"
                                            << "new"
                                            << "new" << Finish::CloseBox << "" << false << "secret";
}

void tst_OptionsAndPassword::setPassword()
{
    QFETCH(QString, stored);
    QFETCH(QString, text1);
    QFETCH(QString, text2);
    QFETCH(Finish, finish);
    QFETCH(QString, keyTarget);
    QFETCH(bool, mismatch);
    QFETCH(QString, expected);

    Globals::Password = stored;
    Form1 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.Text1->text(), stored);
    QCOMPARE(dialog.Text2->text(), stored);
    if (text1 != stored)
        retype(dialog.Text1, text1);
    if (text2 != stored)
        retype(dialog.Text2, text2);

    MessageSeen seen;
    answerMessageBox(this, seen);
    finishDialog(dialog, finish, keyTarget);
    QTRY_VERIFY(seen.looked);
    QCOMPARE(seen.shown, mismatch);

    if (mismatch) {
        QCOMPARE(seen.text, mismatchText);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.title, QGuiApplication::applicationDisplayName());
        // Still open, with what the user typed, and nothing stored.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.Text1->text(), text1);
        QCOMPARE(dialog.Text2->text(), text2);
        QCOMPARE(Globals::Password, stored);
        finishDialog(dialog, Finish::Cancel);
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::Password, expected);
}

void tst_OptionsAndPassword::enterPassword_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Finish>("finish");
    QTest::addColumn<QString>("keyTarget");
    QTest::addColumn<QString>("expected");

    QTest::newRow("OK with text") << "secret" << Finish::Ok << ""
                                  << "secret";
    QTest::newRow("OK keeps blanks and case") << "  SeCret  " << Finish::Ok << ""
                                              << "  SeCret  ";
    QTest::newRow("OK empty") << "" << Finish::Ok << ""
                              << "";
    QTest::newRow("Enter") << "secret" << Finish::Enter << "Text1"
                           << "secret";
    QTest::newRow("Cancel after typing") << "secret" << Finish::Cancel << ""
                                         << "";
    QTest::newRow("Escape after typing") << "secret" << Finish::Escape << "Text1"
                                         << "";
    QTest::newRow("close box after typing") << "secret" << Finish::CloseBox << ""
                                            << "";
}

void tst_OptionsAndPassword::enterPassword()
{
    QFETCH(QString, typed);
    QFETCH(Finish, finish);
    QFETCH(QString, keyTarget);
    QFETCH(QString, expected);

    Globals::Password = QStringLiteral("secret");
    Globals::EnteredPassword = QStringLiteral("from before");
    Form2 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.Text1->text(), QString());
    QCOMPARE(QApplication::focusWidget(), dialog.Text1);
    QTest::keyClicks(dialog.Text1, typed);

    MessageSeen seen;
    answerMessageBox(this, seen);
    finishDialog(dialog, finish, keyTarget);
    QTRY_VERIFY(seen.looked);
    QVERIFY(!seen.shown);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), accepts(finish) ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(Globals::EnteredPassword, expected);
    QCOMPARE(Globals::Password, QStringLiteral("secret"));
}

void tst_OptionsAndPassword::longPasswords()
{
    // Longer than the 32767 characters a line edit takes by default.
    QString stored;
    for (int i = 0; i < 40000; ++i)
        stored += QChar(u'a' + i % 26);
    const QString replaced = QStringLiteral("Z") + stored;

    // Loaded from the configuration, both boxes must hold all of it for OK to keep it.
    Globals::Password = stored;
    {
        Form1 dialog;
        dialog.show();
        finishDialog(dialog, Finish::Ok);
        QCOMPARE(Globals::Password, stored);
    }
    Form2 dialog;
    dialog.Text1->setText(replaced);
    dialog.show();
    finishDialog(dialog, Finish::Ok);
    QCOMPARE(Globals::EnteredPassword, replaced);
}

void tst_OptionsAndPassword::passwordBoxes_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("box");

    QTest::newRow("Form1 Text1") << "Form1"
                                 << "Text1";
    QTest::newRow("Form1 Text2") << "Form1"
                                 << "Text2";
    QTest::newRow("Form2 Text1") << "Form2"
                                 << "Text1";
}

void tst_OptionsAndPassword::passwordBoxes()
{
    QFETCH(QString, dialog);
    QFETCH(QString, box);

    const auto window = makeDialog(dialog);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *edit = window->findChild<QLineEdit *>(box);
    QVERIFY(edit);
    edit->setText(QStringLiteral("a B ü"));
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    QCOMPARE(edit->displayText(), QStringLiteral("*****"));
    QCOMPARE(edit->text(), QStringLiteral("a B ü"));
}

void tst_OptionsAndPassword::centring_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::newRow("Form1") << "Form1";
    QTest::newRow("Form2") << "Form2";
}

void tst_OptionsAndPassword::centring()
{
    QFETCH(QString, dialog);

    const auto window = makeDialog(dialog);
    // Left to itself Qt centres an ownerless dialog too, but not one that was
    // placed already; the dialog must centre itself all the same.
    window->move(0, 0);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = window->frameGeometry();
    // Compare doubled centres, so that odd sizes need no rounding here.
    const QPoint offset = (frame.topLeft() * 2 + QPoint(frame.width(), frame.height())) -
                          (screen.topLeft() * 2 + QPoint(screen.width(), screen.height()));
    QVERIFY2(qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2, qPrintable(QStringLiteral("frame at %1,%2 %3x%4")
                                                                            .arg(frame.x())
                                                                            .arg(frame.y())
                                                                            .arg(frame.width())
                                                                            .arg(frame.height())));
}

QTEST_MAIN(tst_OptionsAndPassword)
#include "tst_OptionsAndPassword.moc"
