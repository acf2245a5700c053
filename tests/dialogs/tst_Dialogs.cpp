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
#include <QTest>

// After the widgets: it needs QAbstractButton complete.
#include "tests/support/Modal.h"

namespace {

enum Finish { Ok, Cancel };

// Replaces a box's text by typing, as a user would.
void retype(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// Stands in for the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
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
    void aboutLink();

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
    QTest::newRow("OK ticks box") << QString() << 0 << 1 << Ok << "old" << 1;
    QTest::newRow("OK unticks box") << QString() << 1 << 1 << Ok << "old" << 0;
    QTest::newRow("7 kept when untouched") << QString() << 7 << 0 << Ok << "old" << 7;
    QTest::newRow("7 ticked off and on again") << QString() << 7 << 2 << Ok << "old" << 7;
    QTest::newRow("Cancel after edits") << "new" << 0 << 1 << Cancel << "old" << 0;
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
    QTest::mouseClick(how == Ok ? dialog.Command2 : dialog.Command3, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::OnErrorRunApp, command);
    QCOMPARE(Globals::LogErrorsToFile, log);
}

void tst_Dialogs::setPassword_data()
{
    QTest::addColumn<QString>("text1");
    QTest::addColumn<Finish>("how");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<bool>("mismatch");
    QTest::addColumn<QString>("expected");
    QTest::newRow("OK untouched") << "secret" << Ok << "secret" << false << "secret";
    QTest::newRow("blanks at both ends") << "  pw  " << Ok << "  pw  " << false << "  pw  ";
    QTest::newRow("letter case differs") << "Password" << Ok << "password" << true << "secret";
    QTest::newRow("trailing blank differs") << "pass " << Ok << "pass" << true << "secret";
    QTest::newRow("Cancel after typing") << "new" << Cancel << "new" << false << "secret";
}

void tst_Dialogs::setPassword()
{
    QFETCH(QString, text1);
    QFETCH(Finish, how);
    QFETCH(QString, text2);
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
    QTest::mouseClick(how == Ok ? dialog.Command1 : dialog.Command2, Qt::LeftButton);
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
    QTest::newRow("OK keeps blanks and case") << "  SeCret  " << Ok << "  SeCret  ";
    QTest::newRow("Cancel after typing") << "secret" << Cancel << "";
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
    QTest::mouseClick(how == Ok ? dialog.Command1 : dialog.Command2, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Globals::EnteredPassword, expected);
}

void tst_Dialogs::passwordBoxes()
{
    // Shown as stars, and longer than the 32767 characters a line edit takes by default.
    const QString stored = QString(40000, u'x') + u'y';
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

void tst_Dialogs::aboutLink()
{
    UrlCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Label4, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.opened, QList<QUrl>{QUrl(frmAbout::webAddress())});
}

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
