#include "app/frmMain.h"
#include "common/Globals.h"
#include "components/QtSerialComponent.h"
#include "config/PrivateProfile.h"
#include "dialogs/ErrorProgramQuestion.h"
#include "dialogs/WindowGlobals.h"
#include "dialogs/frmPorts.h"
#include "resources/LoadResource.h"
#include "session/ErrorReport.h"
#include "session/frmDocument.h"
#include "tests/support/Files.h"
#include "tests/support/Pty.h"
#include "tests/support/ScriptedFileDialog.h"
#include "tests/support/TestEnv.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

#include "tests/support/Modal.h"

namespace {

// Answers Save dialogs as it answers Open ones.
struct SaveDialog : ScriptedFileDialog
{
    bool ShowSave() override { return ShowOpen(); }
};

QString defaultFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx");
}

std::unique_ptr<frmMain> makeMain(FileDialogComponent *dialog = nullptr, const QString &commandLine = {})
{
    auto window = std::make_unique<frmMain>(dialog);
    window->MDIForm_Load(commandLine);
    return window;
}

// Asks the window to end (`request`, else close()) and waits until it has.
bool ended(frmMain &window, const std::function<void()> &request = {})
{
    QSignalSpy unloaded(&window, &frmMain::unloaded);
    request ? request() : void(window.close());
    return unloaded.wait(30000);
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT
    QString path(const QString &name) const { return m_env.filePath(name); }
    TestEnv m_env;

private slots:
    void initTestCase() { setLanguageOverride(Language::English); }
    void init()
    {
        Globals::Password.clear();
        WindowGlobals::TrayActive = false;
        WindowGlobals::WasMinimized = false;
        Globals::OnErrorRunApp.clear();
        Globals::AcceptedRunApp.clear();
        QSettings settings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
        settings.remove(QStringLiteral("Settings"));
        settings.remove(QStringLiteral("ErrorPrograms"));
    }
    void cleanup() { QFile::remove(defaultFile()); }

    // A viewer that notes what it was asked to open and stays until ended.
    void helpIndex()
    {
        const QString marker = path("viewer-opened"), viewer = path("viewer.sh");
        // It does not heed a request to end: the end must not wait for it for ever.
        QVERIFY(writeFile(viewer, "#!/bin/sh\ntrap '' TERM\necho \"$1\" > '" + marker.toUtf8() +
                                      "'\nexec sleep 600\n"));
        QVERIFY(QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString help = HelpViewers::helpFilePath();
        const QByteArray kept = readFile(help);
        QVERIFY(writeFile(help, "help"));
        // Named, or the desktop's default for the type, from its desktop entry.
        const QString apps = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        QVERIFY(QDir().mkpath(apps) &&
                writeFile(apps + "/v.desktop", "[Desktop Entry]\nExec=" + viewer.toUtf8() + " %f\n"));
        QVERIFY(writeFile(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              "/mimeapps.list",
                          "[Default Applications]\napplication/vnd.ms-htmlhelp=v.desktop\n"));
        for (const QString &named : {viewer, QStringLiteral("")}) {
            QFile::remove(marker);
            HelpViewers::setHelpViewer(named);
            auto w = makeMain();
            w->mnuHelpContents->trigger();
            QTRY_COMPARE(readFile(marker).trimmed(), help.toUtf8());
            QPointer<QProcess> process = w->findChild<QProcess *>();
            QTRY_COMPARE(process->state(), QProcess::Running);
            QVERIFY(ended(*w)); // once the viewer it started has

            QVERIFY(!process || process->state() == QProcess::NotRunning);
        }
        HelpViewers::setHelpViewer(QString());
        QVERIFY(kept.isEmpty() || writeFile(help, kept));
    }

    void passwordGuard_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("prompted");
        QTest::addColumn<QString>("answer"); // null: Cancel
        QTest::addColumn<bool>("restored");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("tray"); // without one, a minimised window must not hide
        QTest::newRow("right") << "s3cret" << true << "s3cret" << true << "" << true;
        QTest::newRow("cancel") << "s3cret" << true << QString() << false << "" << true;
        QTest::newRow("wrong case") << "s3cret" << true << "S3cret" << false << "Invalid password" << true;
        QTest::newRow("blanks count") << " pw " << true << "pw" << false << "Invalid password" << true;
        QTest::newRow("blanks kept") << " pw " << true << " pw " << true << "" << true;
        QTest::newRow("empty") << "s3cret" << true << "" << false << "" << true;
        QTest::newRow("no password") << "" << false << QString() << true << "" << true;
        QTest::newRow("no tray, not hidden") << "" << false << QString() << true << "" << false;
    }
    void passwordGuard()
    {
        QFETCH(QString, password);
        QFETCH(QString, answer);
        QFETCH(bool, restored);
        auto w = makeMain();
        QFETCH(bool, tray);
        WindowGlobals::TrayActive = tray;
        Globals::Password = password;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->setWindowState(Qt::WindowMaximized);
        w->setWindowState(Qt::WindowMinimized);
        QCOMPARE(w->isHidden(), tray);      // only the tray icon is left
        QTRY_VERIFY(WindowGlobals::WasMinimized); // the next tick of Timer1
        bool stayedHidden = false;
        // Nothing of the window may show before the answer. Counted on the
        // widget: a window brought back from the tray gets a new native window.
        struct ShowCount : QObject
        {
            int shown = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                shown += event->type() == QEvent::Show && !event->spontaneous();
                return false;
            }
        } counter;
        w->installEventFilter(&counter);
        const int &shown = counter.shown;
        std::shared_ptr<QString> box;
        // Tied to the window: a row without a prompt leaves no answer for a later test.
        const auto prompt = answerModal<QDialog>(w.get(), [&](QDialog *dialog) {
            // Hidden while it asks; the tray's Open cannot get past the prompt.
            w->mnuOpen->trigger();
            stayedHidden = shown == 0 && w->isHidden() && QApplication::activeModalWidget() == dialog;
            if (answer.isNull())
                return dialog->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
            box = answerMessageBox(w.get());
            dialog->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(answer);
            dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        });
        w->mnuOpen->trigger(); // the tray menu's Open
        QTEST(*prompt, "prompted");
        QCOMPARE(stayedHidden, *prompt);
        QTEST(box ? *box : QString(), "message");
        QCOMPARE(w->isVisible(), restored);
        QCOMPARE(w->isHidden(), !restored && tray);
        QCOMPARE(shown, int(restored && tray));
        QCOMPARE(w->windowState().testFlag(Qt::WindowMinimized), !restored);
    }

    // A program named by a configuration runs only once the user accepted
    // it; the error line is written either way. While the question waits,
    // the file's sessions log and the program does not run.
    void errorProgram_data()
    {
        QTest::addColumn<QString>("from");   // default.bvx, another file, or the options dialog
        QTest::addColumn<int>("remembered"); // the answer stored before: -1 none, 0 no, 1 yes
        QTest::addColumn<int>("answer");     // the button given to the question; 0: none asked, -1: an end
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("remembers");
        QTest::newRow("default.bvx, yes") << "default" << -1 << int(QMessageBox::Yes) << true << 1;
        QTest::newRow("other file, yes") << "other" << -1 << int(QMessageBox::Yes) << true << 1;
        QTest::newRow("other file, no") << "other" << -1 << int(QMessageBox::No) << false << 0;
        QTest::newRow("other file, end, then a plain start") << "other" << -1 << -1 << false << -1;
        QTest::newRow("other file, yes before") << "other" << 1 << 0 << true << 1;
        QTest::newRow("default.bvx, no before") << "default" << 0 << 0 << false << 0;
        QTest::newRow("options dialog") << "options" << 0 << 0 << true << 1;
    }
    void errorProgram()
    {
        QFETCH(QString, from);
        QFETCH(int, remembered);
        QFETCH(int, answer);
        const QString marker = path("ran"), line = "touch \"" + marker + '"', log = path("logged");
        QFile::remove(marker);
        QFile::remove(log);
        if (remembered >= 0)
            ErrorReport::rememberAnswer(line, remembered);
        Pty pty;
        m_env.mapPort(31, pty.slavePath());
        const QString file = from == "default" ? defaultFile() : path("other.bvx");
        QVERIFY(writeFile(
            file, "[Ombrix]\r\nNumSessions=1\r\n[Session1]\r\nConnector=31\r\nAutoActivate=1\r\nLogFile=" +
                      log.toUtf8() + "\r\nOnErrorRunApp=" + line.toUtf8() + "\r\nLogErrors=1\r\n"));
        Globals::LogErrorsToFile = 1;
        QObject row; // a dialog that never came leaves no answer for a later test
        auto w = makeMain(nullptr, from == "other" ? file : QString());
        if (from == "options") {
            answerModal<QDialog>(&row, [line](QDialog *options) {
                options->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(line);
                options->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
            });
            w->mnuOptions->trigger();
        }
        QPointer<ErrorProgramQuestion> question = w->findChild<ErrorProgramQuestion *>();
        QCOMPARE(bool(question), answer != 0);
        if (question) {
            QTRY_VERIFY(question->isVisible());
            QVERIFY(question->text().contains(file) && question->text().contains("Program: touch"));
            QVERIFY(pty.write("while asked"));
            QTRY_COMPARE(readFile(log), QByteArray("while asked"));
            QVERIFY(!ErrorReport::report(QStringLiteral("COM31"), QStringLiteral("File I/O Error")));
            if (answer > 0) {
                question->button(QMessageBox::StandardButton(answer))->click();
            } else {
                // Unanswered counts as No, and the line the end saves into
                // default.bvx is asked about again at the next start.
                QVERIFY(ended(*w));
                QVERIFY(!question);
                w = makeMain();
                QVERIFY(w->findChild<ErrorProgramQuestion *>());
            }
        }
        QFile::remove(ErrorReport::logPath());
        QTEST(ErrorReport::report(QStringLiteral("COM1"), QStringLiteral("File I/O Error")), "started");
        QVERIFY(readFile(ErrorReport::logPath()).startsWith("Ombrix Error: COM1, File I/O Error, "));
        QFETCH(bool, started);
        if (started)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
        const std::optional<bool> stored = ErrorReport::rememberedAnswer(line);
        QTEST(stored ? int(*stored) : -1, "remembers");
    }

    // The windows a user cannot open (their menu items are hidden), and two
    // loops deep: an end request from within closes them, then saves and ends.
    void endWhileDialogOpen_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("mismatch"); // the request comes from the password mismatch message
        QTest::newRow("options") << "mnuOptions(0)" << false;
        QTest::newRow("password") << "mPassword" << false;
        QTest::newRow("password mismatch message") << "mPassword" << true;
    }
    void endWhileDialogOpen()
    {
        QFETCH(QString, item);
        QFETCH(bool, mismatch);
        auto w = makeMain();
        const auto request = [&w] { w->close(); };
        // Triggered from the event loop, as the program's menus are.
        QTimer::singleShot(0, w->findChild<QAction *>(item), &QAction::trigger);
        const auto opened = answerModal<QDialog>(w.get(), [&](QDialog *dialog) {
            if (!mismatch)
                return request();
            dialog->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText("a");
            answerModal<QMessageBox>(w.get(), [&](QMessageBox *) { request(); });
            dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        });
        QVERIFY(ended(*w, [] {}));
        QVERIFY(*opened && !QApplication::activeModalWidget());
        QCOMPARE(PrivateProfile(defaultFile()).readInt("Ombrix", "NumSessions"), 1);
    }

    // A start-up load that stopped early keeps the file as it was; a whole load keeps no copy.
    void refusedStartupKeepsFile()
    {
        const QString backup = defaultFile() + ".bak";
        const QByteArray stored("[Ombrix]\r\nNumSessions=-1\r\nPassword=abc\r\n");
        for (const bool refused : {true, false}) {
            QVERIFY(writeFile(backup, "older copy"));
            QVERIFY(writeFile(defaultFile(), refused ? stored : QByteArray("[Ombrix]\r\nNumSessions=0\r\n")));
            if (refused)
                QTest::ignoreMessage(QtWarningMsg,
                                     QRegularExpression(".*default.bvx was not read to its end; "
                                                        "it is kept as .*default.bvx.bak"));
            QVERIFY(ended(*makeMain()));
            QCOMPARE(readFile(backup), refused ? stored : QByteArray("older copy"));
            QVERIFY(readFile(defaultFile()).contains("Password=\r\n")); // the exit wrote it
        }
        QFile::remove(backup);
    }

    void saveAsksForANameOnce()
    {
        auto *dialog = new SaveDialog;
        dialog->answer = path("first.bvx");
        auto w = makeMain(dialog);
        w->mnuFileSave->trigger();
        w->NewSession(); // Save goes to the current file without asking; Save As moves it
        w->mnuFileSave->trigger();
        QCOMPARE(dialog->opens, 1);
        QCOMPARE(PrivateProfile(path("first.bvx")).readInt("Ombrix", "NumSessions"), 2);
        dialog->answer = path("second.bvx");
        w->mnuFileSaveAs->trigger();
        dialog->answer.reset(); // cancelled, nothing changes
        w->mnuFileSaveAs->trigger();
        w->mnuFileOpen->trigger();
        QCOMPARE(dialog->opens, 4);
        QCOMPARE(w->CurrentFileName, path("second.bvx"));
        QCOMPARE(PrivateProfile(path("second.bvx")).readInt("Ombrix", "NumSessions"), 2);
    }

    void openThenExit()
    {
        const QByteArray three("[Ombrix]\r\nNumSessions=3\r\n[Session1]\r\nAutoActivate=1\r\n["
                               "Session3]\r\nLogFile=/logs/3\r\n");
        QVERIFY(writeFile(path("three.bvx"), three));
        Pty pty;
        m_env.mapPort(30, pty.slavePath());
        auto *dialog = new ScriptedFileDialog;
        dialog->answer = path("three.bvx");
        auto w = makeMain(dialog);
        frmDocument *active = w->sessions().first();
        active->Combo2->setCurrentIndex(30);
        active->Command1_Click();
        QVERIFY(active->MSComm1->portOpen());
        // The port dialog, asked for from another session, leaves the active session's number alone.
        auto refusal = std::make_shared<QString>();
        answerModal<frmPorts>(w.get(), [refusal](frmPorts *d) {
            d->cboPort->setCurrentIndex(29), d->txtPath->setText("/dev/null"), d->cmdSet->click();
            *refusal = d->lblInfo->text(), d->reject();
        });
        frmDocument *asking = w->NewSession();
        emit asking->portsRequested();
        QCOMPARE(*refusal, LoadResource(4221).arg(30));
        // Once its device is gone, the session follows a change made there.
        Pty second;
        pty.closeMaster();
        QTRY_VERIFY(active->MSComm1->waitsForDevice());
        answerModal<frmPorts>(w.get(), [&second](frmPorts *d) {
            d->cboPort->setCurrentIndex(29), d->txtPath->setText(second.slavePath()), d->cmdSet->click();
            d->reject();
        });
        emit asking->portsRequested();
        QTRY_VERIFY_WITH_TIMEOUT(!active->MSComm1->waitsForDevice(), 30000);
        QVERIFY(active->MSComm1->portOpen());
        w->mnuFileOpen->trigger();
        QCOMPARE(w->CurrentFileName, path("three.bvx"));
        const QList<frmDocument *> open = w->sessions();
        QCOMPARE(open.size(), 3);
        QCOMPARE(open[2]->txtLogFile->text(), QStringLiteral("/logs/3"));
        for (frmDocument *session : open)
            QVERIFY(!session->isActive());
        // The exit saves to default.bvx, whatever file was opened; the placement
        // goes to the settings store, a first start's unchanged.
        w->NewSession();
        QVERIFY(ended(*w, [&] { w->mnuExit->trigger(); })); // the tray menu's Exit is File > Exit
        QCOMPARE(PrivateProfile(defaultFile()).readInt("Ombrix", "NumSessions"), 4);
        QCOMPARE(readFile(path("three.bvx")), three);
        QCOMPARE(QSettings("Ombrix", "Ombrix").value("Settings/MainWidth").toString(),
                 QStringLiteral("7000"));
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
