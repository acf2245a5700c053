#include "resources/LoadResource.h"
#include "session/PortSettings.h"
#include "session/SerialSession.h"
#include "session/ShapeIndicator.h"
#include "session/frmDocument.h"
#include "tests/support/ScriptedFileDialog.h"
#include "tests/support/SessionFixture.h"
#include "tests/support/TestEnv.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Language)

// What the session window adds to its session: the controls that drive it,
// the status bar, the activity indicator and the port list's tooltip.
class tst_frmDocument : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    static auto makeWindow(SerialComponent *serial = nullptr, FileDialogComponent *dialog = nullptr)
    {
        return std::make_unique<frmDocument>(nullptr, serial, dialog);
    }
    static SerialSession *session(frmDocument &w)
    {
        return w.findChild<SerialSession *>(QStringLiteral("session"));
    }

private slots:
    void cleanup() { setLanguageOverride(std::nullopt); }

    void portList()
    {
        // Positions are what configurations store: a stored parity 1 must show Even.
        setLanguageOverride(Language::English);
        const QString device = m_env.path(); // any path that exists
        m_env.mapPort(7, device);
        const QString unplugged = m_env.filePath(QStringLiteral("unplugged"));
        m_env.mapPort(8, unplugged);
        auto w = makeWindow();
        QCOMPARE(w->Combo2->count(), 256);
        QCOMPARE(w->Combo2->itemText(0) + w->Combo2->itemText(1) + w->Combo2->itemText(255),
                 QStringLiteral("NONECOM1COM255"));
        QVERIFY(QDir::isAbsolutePath(w->txtLogFile->text())); // never a file in whatever directory is current
        w->show();                                            // the window menu's keys are set up by now
        QCOMPARE(w->systemMenu()->actions().last()->shortcuts(),
                 QKeySequence::keyBindings(QKeySequence::Close));
        w->Combo2->setFocus(); // typing completes a name
        QTRY_VERIFY_WITH_TIMEOUT(w->Combo2->hasFocus(), 30000);
        w->Combo2->clearEditText();
        QTest::keyClicks(w->Combo2, QStringLiteral("co"));
        QCOMPARE(w->Combo2->currentText(), QStringLiteral("coM1"));
        QCOMPARE(w->Combo1[1]->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(w->Combo1[1]->itemText(i).left(1), PortSettings::parityLetter(i));
        const auto tip = [&w](int port) {
            w->Combo2->setCurrentIndex(port);
            return w->Combo2->toolTip();
        };
        m_env.mapPort(9, QStringLiteral("tcp://127.0.0.1:2000"));
        const QString where = u'\n' + LoadResource(4205);
        QCOMPARE(tip(7), "COM7: " + device + ", connected" + where);
        QVERIFY(tip(3).startsWith(QStringLiteral("COM3: /dev/ttyS2, "))); // unmapped
        QCOMPARE(tip(8), "COM8: " + unplugged + ", not connected" + where);
        QCOMPARE(tip(9), "COM9: network port tcp://127.0.0.1:2000" + where);
        // The Connector list's menu opens with the dialog the hover text names,
        // in a group of its own.
        QSignalSpy asked(w.get(), &frmDocument::portsRequested);
        emit w->Combo2->lineEdit()->customContextMenuRequested({});
        auto *menu = w->findChild<QMenu *>(QStringLiteral("mnuPortList"));
        QVERIFY(menu && menu->actions().first()->text() == LoadResource(4200));
        QVERIFY(menu->actions().at(1)->isSeparator());
        menu->actions().first()->trigger();
        QCOMPARE(asked.size(), 1);
    }

    void openListsShowTheLanguageFont_data()
    {
        QTest::addColumn<Language>("language");
        QTest::newRow("English") << Language::English;
        QTest::newRow("Japanese") << Language::Japanese;
    }
    void openListsShowTheLanguageFont()
    {
        QFETCH(Language, language);
        setLanguageOverride(language);
        auto w = makeWindow();
        w->show();
        for (QComboBox *list : {w->Combo2, w->Combo1[0], w->Combo1[4]}) {
            list->showPopup();
            QTRY_VERIFY(list->view()->isVisible());
            QCOMPARE(list->font().family(), resourceFont().family());
            QCOMPARE(list->view()->font(), list->font());
            list->hidePopup();
        }
    }

    void activateButton_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("opens");
        QTest::newRow("opened") << Language::English << "COM3" << true;
        QTest::newRow("opened, Japanese") << Language::Japanese << "COM3" << true;
        QTest::newRow("not available") << Language::English << "COM3" << false;
        QTest::newRow("NONE") << Language::English << "NONE" << true;
    }
    void activateButton()
    {
        QFETCH(Language, language);
        QFETCH(QString, port);
        QFETCH(bool, opens);
        setLanguageOverride(language);
        auto *serial = new RecordingSerial;
        serial->opens = opens;
        auto w = makeWindow(serial);
        w->setWindowTitle(QStringLiteral("before"));
        w->Combo2->setEditText(port);            // typed: the entry it names counts
        const int positions[] = {8, 1, 2, 1, 3}; // 19200, Even, 7, 1.5, Opto-RS
        for (int i = 0; i < 5; ++i)
            w->Combo1[i]->setCurrentIndex(positions[i]);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        const bool active = opens && port != QLatin1String("NONE");
        QVERIFY(port == u"NONE" || serial->calls.join(u';').startsWith(u"port 3;set 19200,E,7,1.5;flow 2"));
        QCOMPARE(w->StatusBar1[0]->text(), session(*w)->status());
        QCOMPARE(session(*w)->portName(), port); // error reports name it
        QCOMPARE(w->Command1->text(), LoadResource(active ? 2160 : 2159));
        QCOMPARE(w->Combo2->isEnabled() || w->Combo1[4]->isEnabled(), !active);
        QVERIFY(w->txtLogFile->isEnabled() && w->Command3[0]->isEnabled());
        const QString title = LoadResource(2143), named = QStringLiteral("COM3 ") + title;
        QCOMPARE(w->windowTitle(), active ? named : opens ? title : QStringLiteral("before"));
        if (!opens) // the tooltip tells which device was missing
            QVERIFY2(w->StatusBar1[0]->toolTip().contains(u"/dev/ttyS2"),
                     qPrintable(w->StatusBar1[0]->toolTip()));
        // A status longer than its line is cut with "…", not mid-word.
        QCOMPARE(w->StatusBar1[0]->shownText(), w->StatusBar1[0]->text());
        w->StatusBar1[0]->setText(QStringLiteral("Status: waiting for it to return; ").repeated(9));
        QVERIFY(w->StatusBar1[0]->shownText().endsWith(u'…'));
        if (!active)
            return;
        // The button recognises its caption in the display language.
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QVERIFY(!serial->open);
        QCOMPARE(w->StatusBar1[0]->text(), LoadResource(2161) + QLatin1Char(' ') + LoadResource(2162));
        QCOMPARE(w->Command1->text(), LoadResource(2159));
        QVERIFY(w->Combo2->isEnabled() && w->Combo1[0]->isEnabled());
        QCOMPARE(w->windowTitle(), named); // still names the port last opened
    }

    void browse()
    {
        const QString before = QStringLiteral("/tmp/before name.txt");
        for (const auto &[index, choose] :
             {std::pair{0, true}, {0, false}, {1, true}}) { // log, outbound file
            auto *dialog = new ScriptedFileDialog;
            if (choose)
                dialog->answer = QStringLiteral("/var/log/serial/chosen.log");
            auto w = makeWindow(nullptr, dialog);
            QLineEdit *const box = index == 0 ? w->txtLogFile : w->txtOutFile;
            box->setText(before);
            w->Command3[index]->setEnabled(
                true); // the outbound one is disabled in use; the handler is the same
            QTest::mouseClick(w->Command3[index], Qt::LeftButton);
            QCOMPARE(dialog->presetName + QString::number(dialog->opens), before + u'1');
            QCOMPARE(box->text(), choose ? *dialog->answer : before);
            QCOMPARE(session(*w)->logFile(), w->txtLogFile->text()); // the session logs where the box says
        }
    }

    void indicatorTurnsGreenOnTheThirdTick()
    {
        auto w = makeWindow();
        ShapeIndicator *const shape = w->Shape1[0];
        QCOMPARE(shape->FillColor(), ShapeIndicator::Green);
        QVERIFY(!w->Timer2.isActive()); // at rest the window does not tick
        for (int round = 0; round < 2; ++round) {
            emit session(*w)->commEvent(SerialComponent::CommEvent::Notice); // any event
            QCOMPARE(shape->FillColor(), ShapeIndicator::Red);
            // The test gives the ticks itself; the real ones wait for the event loop.
            for (int tick = 1; tick <= 3; ++tick) {
                QVERIFY(w->Timer2.isActive());
                emit w->Timer2.timeout();
                QCOMPARE(shape->FillColor(), tick < 3 ? ShapeIndicator::Red : ShapeIndicator::Green);
            }
            QVERIFY(!w->Timer2.isActive());
        }
    }
};

QTEST_MAIN(tst_frmDocument)
#include "tst_frmDocument.moc"
