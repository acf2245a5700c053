#include "common/Globals.h"
#include "components/PortMap.h"
#include "dialogs/Form1.h"
#include "dialogs/Form2.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmPorts.h"
#include "resources/ResourceText.h"
#include "tests/support/Pty.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "tests/support/Modal.h"

Q_DECLARE_METATYPE(Language)

class tst_Dialogs : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void options_data()
    {
        QTest::addColumn<QString>("typed"); // null: the box is left alone
        QTest::addColumn<int>("storedLog");
        QTest::addColumn<int>("toggles");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("log");
        QTest::newRow("OK ticks box") << "new" << 0 << 1 << true << "new" << 1;
        QTest::newRow("OK unticks box") << QString() << 1 << 1 << true << "old" << 0;
        QTest::newRow("7 kept when untouched") << QString() << 7 << 0 << true << "old" << 7;
        QTest::newRow("7 ticked off and on again") << QString() << 7 << 2 << true << "old" << 7;
        QTest::newRow("Cancel after edits") << "new" << 0 << 1 << false << "old" << 0;
    }
    void options()
    {
        QFETCH(QString, typed);
        QFETCH(int, storedLog);
        QFETCH(int, toggles);
        QFETCH(bool, ok);
        Globals::OnErrorRunApp = QStringLiteral("old");
        Globals::LogErrorsToFile = storedLog;
        frmOptions dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        if (!typed.isNull())
            dialog.Text1->setText(typed);
        for (int i = 0; i < toggles; ++i)
            QTest::keyClick(dialog.Check1, Qt::Key_Space);
        QTest::mouseClick(ok ? dialog.Command2 : dialog.Command3, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QTEST(Globals::OnErrorRunApp, "command");
        QTEST(Globals::LogErrorsToFile, "log");
    }

    void setPassword_data()
    {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<bool>("mismatch");
        QTest::addColumn<QString>("expected");
        QTest::newRow("OK untouched") << "secret" << true << "secret" << false << "secret";
        QTest::newRow("blanks at both ends") << "  pw  " << true << "  pw  " << false << "  pw  ";
        QTest::newRow("letter case differs") << "Password" << true << "password" << true << "secret";
        QTest::newRow("trailing blank differs") << "pass " << true << "pass" << true << "secret";
        QTest::newRow("Cancel after typing") << "new" << false << "new" << false << "secret";
        // Longer than the 32767 characters a line edit takes by default.
        const QString huge = QString(40000, u'x') + u'y';
        QTest::newRow("longer than a line edit's default") << huge << true << huge << false << huge;
    }
    void setPassword()
    {
        QFETCH(bool, ok);
        QFETCH(bool, mismatch);
        Globals::Password = QStringLiteral("secret");
        Form1 dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.Text2->text(), QStringLiteral("secret"));
        QCOMPARE(dialog.Text2->displayText(), QStringLiteral("******")); // both boxes come from one maker
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        dialog.Text1->setText(text1);
        dialog.Text2->setText(text2);
        const auto seen = answerMessageBox(this);
        QTest::mouseClick(ok ? dialog.Command1 : dialog.Command2, Qt::LeftButton);
        QCOMPARE(!seen->isNull(), mismatch);
        if (mismatch) {
            QCOMPARE(*seen, "Your confirming password does not match your password. Please re-enter.");
            QVERIFY(dialog.isVisible()); // still open, nothing stored
            QCOMPARE(Globals::Password, QStringLiteral("secret"));
            dialog.close();
        }
        QVERIFY(!dialog.isVisible());
        QTEST(Globals::Password, "expected");
    }

    // Driven by keys and clicks as a user would: a device moved to another
    // number, an address typed for one, an active session's number left alone.
    void ports_data()
    {
        QTest::addColumn<Language>("language");
        QTest::newRow("English") << Language::English;
        QTest::newRow("Japanese") << Language::Japanese;
    }
    void ports()
    {
        QFETCH(Language, language);
        setLanguageOverride(language);
        Pty adapter;
        const QString link = m_env.filePath(QStringLiteral("usb-A"));
        QFile::remove(link);
        QVERIFY(QFile::link(adapter.slavePath(), link));
        qputenv("OMBRIX_SERIAL_BY_ID", m_env.path().toLocal8Bit());
        for (int port : PortMap::entries().keys())
            PortMap::removeEntry(port);
        m_env.mapPort(3, link);
        m_env.mapPort(5, QStringLiteral("/dev/ttyUSB9"));
        m_env.mapPort(8, adapter.slavePath()); // a second name of the adapter
        frmPorts dialog({5, 6}, 3);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const auto row = [&dialog](const QString &number) {
            const auto items = dialog.lstPorts->findItems(number, Qt::MatchExactly, frmPorts::ColumnNumber);
            return items.isEmpty() ? QStringList() : QStringList{items[0]->text(1), items[0]->text(3)};
        };
        const QString yes = LoadResource(4210);
        QCOMPARE(dialog.cboFree->findText(QStringLiteral("COM6")), -1); // in use by an active session
        dialog.cboFree->setCurrentIndex(dialog.cboFree->findText(QStringLiteral("COM7")));
        QTest::keyClick(dialog.cmdMove, Qt::Key_Space);
        QCOMPARE(dialog.lblInfo->text(), LoadResource(4223).arg(7).arg(link));
        QCOMPARE(row("COM7").value(1), yes);
        QVERIFY(row("COM3").isEmpty());

        dialog.cboPort->setCurrentIndex(dialog.cboPort->findText(QStringLiteral("COM9")));
        dialog.txtPath->setText(QStringLiteral("tcp://127.0.0.1:2000"));
        QTest::keyClick(dialog.txtPath, Qt::Key_Return);
        QCOMPARE(row("COM9"),
                 (QStringList{"tcp://127.0.0.1:2000", QString()})); // an address, not a missing file

        dialog.lstPorts->setCurrentItem(dialog.lstPorts->findItems("COM5", Qt::MatchExactly)[0]);
        const QMap<int, QString> before = PortMap::entries();
        for (QPushButton *button : {dialog.cmdMove, dialog.cmdRemove, dialog.cmdSet})
            QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(dialog.lblInfo->text(), LoadResource(4221).arg(5));
        QCOMPARE(PortMap::entries(), before);
        QCOMPARE(before.keys(), (QList<int>{5, 7, 8, 9}));
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
