#include "common/Globals.h"
#include "dialogs/Form1.h"
#include "dialogs/Form2.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

#include <memory>

// After the widgets: it needs QAbstractButton complete.
#include "tests/support/Modal.h"

namespace {

// How the user leaves a dialog: OK, Cancel or the close box.
enum class Finish { Ok, Cancel, CloseBox };

void finish(QDialog &dialog, QPushButton *ok, QPushButton *cancel, Finish how)
{
    if (how == Finish::CloseBox)
        dialog.close();
    else
        QTest::mouseClick(how == Finish::Ok ? ok : cancel, Qt::LeftButton);
}

// Replaces a box's text by typing, as a user would.
void retype(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// Stands in for the browser: remembers the addresses it was asked to open
// and the pointer the screen showed meanwhile.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    QList<Qt::CursorShape> pointers;

public slots:
    void open(const QUrl &url)
    {
        opened.append(url);
        const QCursor *cursor = QGuiApplication::overrideCursor();
        pointers.append(cursor ? cursor->shape() : Qt::ArrowCursor);
    }
};

} // namespace

Q_DECLARE_METATYPE(Finish)

class tst_Dialogs : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void setPassword_data();
    void setPassword();
    void enterPassword_data();
    void enterPassword();
    void passwordBoxes();
    void centring_data();
    void centring();
    void notice_data();
    void notice();
    void linkClick_data();
    void linkClick();

private:
    TestEnv m_env;
};

void tst_Dialogs::options_data()
{
    QTest::addColumn<QString>("typed"); // null: the box is left alone
    QTest::addColumn<int>("storedLog");
    QTest::addColumn<int>("toggles");
    QTest::addColumn<Finish>("how");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("log");
    const QString blanks = QStringLiteral("  /usr/bin/notify-send \"capture error\"  ");
    QTest::newRow("OK keeps blanks") << blanks << 0 << 0 << Finish::Ok << blanks << 0;
    QTest::newRow("OK with emptied box") << "" << 1 << 0 << Finish::Ok << "" << 1;
    QTest::newRow("OK ticks box") << QString() << 0 << 1 << Finish::Ok << "old" << 1;
    QTest::newRow("OK unticks box") << QString() << 1 << 1 << Finish::Ok << "old" << 0;
    QTest::newRow("7 kept when untouched") << QString() << 7 << 0 << Finish::Ok << "old" << 7;
    QTest::newRow("7 unticked") << QString() << 7 << 1 << Finish::Ok << "old" << 0;
    QTest::newRow("7 ticked off and on again") << QString() << 7 << 2 << Finish::Ok << "old" << 7;
    QTest::newRow("Cancel after edits") << "new" << 0 << 1 << Finish::Cancel << "old" << 0;
    QTest::newRow("close box after edits") << "new" << 1 << 1 << Finish::CloseBox << "old" << 1;
}

void tst_Dialogs::options()
{
    QFETCH(QString, typed);
    QFETCH(int, storedLog);
    QFETCH(int, toggles);
    QFETCH(Finish, how);
    QFETCH(QString, command);
    QFETCH(int, log);
    Globals::OnErrorRunApp = QStringLiteral("old");
    Globals::LogErrorsToFile = storedLog;
    frmOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.Check1->isChecked(), storedLog != 0);
    QCOMPARE(dialog.Text1->text(), QStringLiteral("old"));
    if (!typed.isNull())
        retype(dialog.Text1, typed);
    for (int i = 0; i < toggles; ++i)
        QTest::keyClick(dialog.Check1, Qt::Key_Space);
    finish(dialog, dialog.Command2, dialog.Command3, how);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::OnErrorRunApp, command);
    QCOMPARE(Globals::LogErrorsToFile, log);
}

void tst_Dialogs::setPassword_data()
{
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<Finish>("how");
    QTest::addColumn<bool>("mismatch");
    QTest::addColumn<QString>("expected");
    const struct
    {
        const char *row, *text1, *text2;
        Finish how;
        bool mismatch;
        const char *expected;
    } rows[] = {
        {"OK untouched", "secret", "secret", Finish::Ok, false, "secret"},
        {"both emptied", "", "", Finish::Ok, false, ""},
        {"blanks at both ends", "  pw  ", "  pw  ", Finish::Ok, false, "  pw  "},
        {"letter case differs", "Password", "password", Finish::Ok, true, "secret"},
        {"trailing blank differs", "pass ", "pass", Finish::Ok, true, "secret"},
        {"Cancel after typing", "new", "new", Finish::Cancel, false, "secret"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString(r.text1) << QString(r.text2) << r.how << r.mismatch
                             << QString(r.expected);
}

void tst_Dialogs::setPassword()
{
    QFETCH(QString, text1);
    QFETCH(QString, text2);
    QFETCH(Finish, how);
    QFETCH(bool, mismatch);
    QFETCH(QString, expected);
    Globals::Password = QStringLiteral("secret");
    Form1 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.Text2->text(), QStringLiteral("secret"));
    retype(dialog.Text1, text1);
    retype(dialog.Text2, text2);
    const auto seen = answerMessageBox(this);
    finish(dialog, dialog.Command1, dialog.Command2, how);
    QCOMPARE(seen->shown, mismatch);
    if (mismatch) {
        QCOMPARE(seen->text,
                 QStringLiteral("Your confirming password does not match your password. Please re-enter."));
        // Still open, nothing stored.
        QVERIFY(dialog.isVisible());
        QCOMPARE(Globals::Password, QStringLiteral("secret"));
        dialog.close();
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::Password, expected);
}

void tst_Dialogs::enterPassword_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Finish>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("OK keeps blanks and case") << "  SeCret  " << Finish::Ok << "  SeCret  ";
    QTest::newRow("OK empty") << "" << Finish::Ok << "";
    QTest::newRow("Cancel after typing") << "secret" << Finish::Cancel << "";
    QTest::newRow("close box after typing") << "secret" << Finish::CloseBox << "";
}

void tst_Dialogs::enterPassword()
{
    QFETCH(QString, typed);
    QFETCH(Finish, how);
    QFETCH(QString, expected);
    Globals::EnteredPassword = QStringLiteral("from before");
    Form2 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClicks(dialog.Text1, typed);
    finish(dialog, dialog.Command1, dialog.Command2, how);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::EnteredPassword, expected);
}

void tst_Dialogs::passwordBoxes()
{
    // Shown as stars, and longer than the 32767 characters a line edit takes by default.
    QString stored;
    for (int i = 0; i < 40000; ++i)
        stored += QChar(u'a' + i % 26);
    Globals::Password = stored;
    Form1 set;
    QCOMPARE(set.Text2->displayText(), QString(stored.size(), u'*'));
    set.Command1->click();
    QCOMPARE(Globals::Password, stored);
    Form2 enter;
    enter.Text1->setText(stored);
    QCOMPARE(enter.Text1->displayText(), QString(stored.size(), u'*'));
    enter.Command1->click();
    QCOMPARE(Globals::EnteredPassword, stored);
}

void tst_Dialogs::centring_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("Form1") << true;
    QTest::newRow("Form2") << false;
}

void tst_Dialogs::centring()
{
    QFETCH(bool, confirm);
    const std::unique_ptr<QDialog> dialog =
        confirm ? std::unique_ptr<QDialog>(new Form1) : std::unique_ptr<QDialog>(new Form2);
    // Qt centres an ownerless dialog too, but not one placed already.
    dialog->move(0, 0);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint offset =
        dialog->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void tst_Dialogs::notice_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("span");
    QTest::newRow("future year") << QDate(2031, 6, 15) << QStringLiteral("2001-2031");
    QTest::newRow("three-digit year padded") << QDate(999, 3, 1) << QStringLiteral("2001-0999");
}

void tst_Dialogs::notice()
{
    QFETCH(QDate, today);
    QFETCH(QString, span);
    frmAbout::setToday(today);
    const frmAbout box;
    frmAbout::setToday(std::nullopt);
    // Eight lines joined by a lone CR, shown one under another.
    const QStringList lines = box.lblDescription->property("Caption").toString().split(u'\r');
    QCOMPARE(lines.size(), 8);
    QVERIFY2(lines.at(0).endsWith(span + QStringLiteral(", Velder")), qPrintable(lines.at(0)));
    QCOMPARE(box.lblDescription->text().split(u'\n'), lines);
}

void tst_Dialogs::linkClick_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left button") << Qt::LeftButton << true;
    QTest::newRow("right button") << Qt::RightButton << false;
}

void tst_Dialogs::linkClick()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, opens);
    UrlCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); });
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Label4, button);
    QCOMPARE(browser.opened, opens ? QList<QUrl>{QUrl(frmAbout::webAddress())} : QList<QUrl>{});
    QCOMPARE(browser.pointers, opens ? QList<Qt::CursorShape>{Qt::WaitCursor} : QList<Qt::CursorShape>{});
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(box.isVisible());
}

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
